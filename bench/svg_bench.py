"""Times Lattice.svg() on three lattices: ~5,000 and ~23,000 concepts from seeded random
contexts, and the 238,710 concepts of the UCI mushroom data.

The first drawing of a lattice computes and caches its covering relation; later
drawings only redo the layout and the text. Both are timed: each run computes a
fresh lattice (not timed) and draws it twice. Reported: min and median over the runs.

    python bench/svg_bench.py [--cases 5k 23k mushroom] [--runs 5]
"""

import argparse
import os
import pathlib
import random
import resource
import statistics
import time

import tessara

MUSHROOM = pathlib.Path(__file__).resolve().parents[1] / ".." / "shared" / "data" / "mushroom.dat"


def cxt_bytes(rows, n_attributes):
    lines = ["B", "", str(len(rows)), str(n_attributes), ""]
    lines += [f"g{i}" for i in range(len(rows))] + [f"m{j}" for j in range(n_attributes)]
    lines += ["".join("X" if cell else "." for cell in row) for row in rows]
    return ("\n".join(lines) + "\n").encode("utf-8")


def random_context(n_objects, n_attributes, density, seed):
    rng = random.Random(seed)
    rows = [[rng.random() < density for _ in range(n_attributes)] for _ in range(n_objects)]
    return tessara.parse_context(cxt_bytes(rows, n_attributes), filename="bench.cxt")


def mushroom_context(path):
    return tessara.parse_context(pathlib.Path(path).read_bytes(), filename="mushroom.dat")


CASES = {
    # 170 x 24 at 30 %: the rows the earlier version of this bench grew to reach 5,000 concepts.
    "5k": lambda args: random_context(170, 24, 0.3, 7),
    "23k": lambda args: random_context(300, 30, 0.3, 7),
    "mushroom": lambda args: mushroom_context(args.mushroom),
}


def rss_mb():
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE") / 2**20


def timed(call):
    """(wall-clock seconds, CPU seconds, result) of one call."""
    start, cpu_start = time.perf_counter(), time.process_time()
    result = call()
    return time.perf_counter() - start, time.process_time() - cpu_start, result


def bench(name, args):
    context = CASES[name](args)
    firsts, seconds, first_cpus, second_cpus = [], [], [], []
    for _ in range(args.runs):
        lattice = tessara.compute_lattice(context)
        before = rss_mb()
        first, first_cpu, svg = timed(lattice.svg)
        second, second_cpu, again = timed(lattice.svg)
        assert again == svg
        firsts.append(first)
        seconds.append(second)
        first_cpus.append(first_cpu)
        second_cpus.append(second_cpu)
        edges = svg.count("<line ")
        size = len(svg)
        concepts = lattice.n_concepts
        del svg, again, lattice
    peak = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024
    print(
        f"{name:>8}: {context.n_objects} x {context.n_attributes}, {concepts} concepts, "
        f"{edges} cover edges, {size / 1e6:.1f} MB of SVG; "
        f"first svg() min {min(firsts):.3f} s median {statistics.median(firsts):.3f} s; "
        f"second svg() min {min(seconds):.3f} s median {statistics.median(seconds):.3f} s "
        f"({args.runs} runs); CPU time first min {min(first_cpus):.3f} s median {statistics.median(first_cpus):.3f} s, "
        f"second min {min(second_cpus):.3f} s median {statistics.median(second_cpus):.3f} s; "
        f"RSS before drawing {before:.0f} MB, peak RSS {peak:.0f} MB",
        flush=True,
    )


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--cases", nargs="+", choices=sorted(CASES), default=["5k", "23k", "mushroom"])
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--mushroom", default=str(MUSHROOM))
    args = parser.parse_args()
    for name in args.cases:
        bench(name, args)


if __name__ == "__main__":
    main()
