"""Time the lab's implication calculus on mushroom.

Measures, each the best and the median of --repeats runs:
- ``Implications.canonical()`` and ``minimal_cover()`` of the proper-premise base (about 41,000 implications);
- ``Implications.closure`` under the canonical base (about 2,300 implications), per call, averaged over 1,000
  random attribute sets of 1 to 5 attributes (the same sets every run);
- ``holds_in(K)`` and ``entails`` of the proper-premise base.

Each line gives the best / median wall-clock time, then the best / median CPU time of the process.

    python bench/calculus_bench.py [--repeats R] [--data DIR]
"""

import argparse
import pathlib
import statistics
import time

import numpy as np

import tessara.lab as tl

DEFAULT_DATA = pathlib.Path(__file__).resolve().parents[1] / ".." / "shared" / "data"


def timed(repeats, work):
    """Best and median wall-clock time, then best and median CPU time of the process (on a shared machine the
    wall clock moves with the other jobs' load, the CPU time much less)."""
    wall, cpu = [], []
    for _ in range(repeats):
        start, start_cpu = time.perf_counter(), time.process_time()
        work()
        wall.append(time.perf_counter() - start)
        cpu.append(time.process_time() - start_cpu)
    return min(wall), statistics.median(wall), min(cpu), statistics.median(cpu)


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--repeats", type=int, default=5)
    parser.add_argument("--data", type=pathlib.Path, default=DEFAULT_DATA)
    args = parser.parse_args()

    K = tl.read(args.data / "mushroom.dat")
    proper = K.implications(basis="proper-premise")
    base = K.implications()
    print(f"mushroom {K.shape}: {len(proper)} proper-premise implications, canonical base {len(base)}")
    found = proper.canonical()
    assert [(i.premise, i.conclusion) for i in found] == [(i.premise, i.conclusion) for i in base]

    def show(name, times, unit="s", scale=1.0):
        best, median, best_cpu, median_cpu = (t * scale for t in times)
        print(f"{name:48s} wall {best:8.4g} / {median:<8.4g} cpu {best_cpu:8.4g} / {median_cpu:<8.4g} {unit}")

    show("canonical() of the proper-premise base", timed(args.repeats, proper.canonical))
    show("minimal_cover() of the proper-premise base", timed(args.repeats, proper.minimal_cover))
    rng = np.random.default_rng(1)
    sets = [list(rng.choice(K.attributes, int(rng.integers(1, 6)), replace=False)) for _ in range(1000)]
    base.closure(sets[0])  # the closure index is built on first use

    def closures():
        for chosen in sets:
            base.closure(chosen)

    show("closure() under the canonical base, per call", timed(args.repeats, closures), "us", 1e6 / len(sets))
    show("holds_in(K) of the proper-premise base", timed(args.repeats, lambda: proper.holds_in(K)))
    show("canonical base entails the proper-premise base", timed(args.repeats, lambda: base.entails(proper)))


if __name__ == "__main__":
    main()
