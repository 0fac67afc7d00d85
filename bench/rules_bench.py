"""Time the rule bases and concept measures of tessara.lab on mushroom.

Jobs, each on ../shared/data/mushroom.dat (8,124 objects, 119 items), through
the public API:

- luxenburger: ``K.rules(0.1, 0.8)`` (the Luxenburger basis at min_support
  10%, 813 objects, and min_confidence 0.8) from the context: the iceberg
  lattice with its cover edges, then the rules and their names
- all-rules: ``K.rules(0.1, 0.8, basis="all")``
- canonical: ``K.implications()`` beside ``tessara.compute_implications``
  (the module's canonical base), and ``K.implications(0.1)``
- proper-premise: ``K.implications(basis="proper-premise")``
- stability: ``L.stability(method="exact")`` of the whole lattice
- generators: the keys of every concept with their names, as
  ``L.to_pandas(measures=("generators",))`` adds them
- delta: ``L.delta_stability()``

The lattice is computed once (FCbO) and not timed. Prints the best and
median wall-clock and process CPU times of the repeats and the size of the
result (the machine is shared, so CPU time is the steadier figure).

    python bench/rules_bench.py [--repeats R] [--job NAME ...] [--data DIR]
"""

import argparse
import os
import pathlib
import statistics
import time

import tessara
import tessara.lab as tl
from tessara.lab._rules import all_generators

DEFAULT_DATA = pathlib.Path(os.environ.get("TESSARA_DATA", pathlib.Path(__file__).resolve().parents[1] / ".."
                                           / "shared" / "data"))


def timed(repeats, job):
    wall, cpu, result = [], [], None
    for _ in range(repeats):
        start, start_cpu = time.perf_counter(), time.process_time()
        result = job()
        wall.append(time.perf_counter() - start)
        cpu.append(time.process_time() - start_cpu)
    return min(wall), statistics.median(wall), min(cpu), statistics.median(cpu), result


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--repeats", type=int, default=5)
    parser.add_argument("--job", action="append", help="run only these jobs")
    parser.add_argument("--data", type=pathlib.Path, default=DEFAULT_DATA)
    args = parser.parse_args()

    data = (args.data / "mushroom.dat").read_bytes()
    K = tl.read(data, format="dat")
    module_context = tessara.parse_context(data, "mushroom.dat")
    L = K.lattice()

    jobs = {
        "luxenburger": [("K.rules(0.1, 0.8)", lambda: len(K.rules(0.1, 0.8)), "rules"),
                        ("K.rules(0.1, 0.8, threads=1)", lambda: len(K.rules(0.1, 0.8, threads=1)), "rules")],
        "all-rules": [("K.rules(0.1, 0.8, basis='all')", lambda: len(K.rules(0.1, 0.8, basis="all")), "rules")],
        "canonical": [
            ("tessara.compute_implications (main)", lambda: len(tessara.compute_implications(module_context)),
             "implications"),
            ("K.implications()", lambda: len(K.implications()), "implications"),
            ("K.implications(0.1)", lambda: len(K.implications(0.1)), "implications"),
        ],
        "proper-premise": [("K.implications(basis='proper-premise')",
                            lambda: len(K.implications(basis="proper-premise")), "implications")],
        "stability": [("L.stability(method='exact')", lambda: len(L.stability(method="exact")), "concepts")],
        "generators": [("keys of every concept", lambda: sum(map(len, all_generators(L))), "keys")],
        "delta": [("L.delta_stability()", lambda: len(L.delta_stability()), "concepts")],
    }
    print(f"mushroom: {len(K.objects)} objects, {len(L)} concepts; {args.repeats} runs each; "
          f"load average {os.getloadavg()[0]:.1f}")
    for name, entries in jobs.items():
        if args.job and name not in args.job:
            continue
        for label, job, unit in entries:
            best, median, best_cpu, median_cpu, size = timed(args.repeats, job)
            print(f"  {label:40} wall {best:7.3f} / {median:7.3f} s   cpu {best_cpu:7.3f} / {median_cpu:7.3f} s"
                  f"  {size:>8} {unit}", flush=True)
    print(f"load average at the end {os.getloadavg()[0]:.1f}")


if __name__ == "__main__":
    main()
