"""Times the lab's labelled diagrams and compares their edge crossings with the tessara module's layout.

    python bench/diagram_bench.py [--cases crossings 1k 20k mushroom] [--runs 5]

crossings: the edge crossings of the module's drawing (its Lattice.svg() layout, long edges drawn
straight) and of the lab's layered layout, over a fixed set: the test data, the example, and seeded
random contexts whose lattices have at most 2,000 concepts.
1k: a labelled diagram (reduced labels, SVG text) of a ~1,000-concept lattice.
20k: a diagram with count labels (SVG text) of a ~20,000-concept lattice.
mushroom: the layered layout alone of mushroom's 238,710 concepts (no labels, no text).
Each timing is min and median of --runs runs, beside the module's Lattice.svg() on the same lattice
(today's drawing: unlabelled) where that finishes in reasonable time.
"""

import argparse
import pathlib
import random
import statistics
import time

import tessara
from tessara import _lab

from svg_bench import cxt_bytes

ROOT = pathlib.Path(__file__).resolve().parents[1]
MUSHROOM = ROOT / ".." / "shared" / "data" / "mushroom.dat"
FILES = ["tests/data/animals_en.cxt", "tests/data/tealady.cxt", "tests/data/liveinwater.csv",
         "tests/data/seasoningplanner_de.cxt", "examples/data/animals.cxt"]


def random_cxt(n_objects, n_attributes, density, seed):
    rng = random.Random(seed)
    return cxt_bytes([[rng.random() < density for _ in range(n_attributes)] for _ in range(n_objects)], n_attributes)


def kernel_lattice(data, filename):
    return _lab.compute_lattice(_lab.read_context(data, filename), "fcbo")


def timed(call, runs):
    """Min and median wall-clock time, and the min processor time (what the run cost when the machine is shared)."""
    times, cpu = [], []
    for _ in range(runs):
        start, start_cpu = time.perf_counter(), time.process_time()
        call()
        times.append(time.perf_counter() - start)
        cpu.append(time.process_time() - start_cpu)
    return min(times), statistics.median(times), min(cpu)


def seeded_set():
    """Random contexts of varied shape and density with at most 2,000 concepts, the same on every run."""
    rng = random.Random(20260117)
    cases = []
    while len(cases) < 30:
        n, m, d = rng.randint(10, 120), rng.randint(6, 20), rng.uniform(0.15, 0.5)
        data = random_cxt(n, m, d, rng.randrange(2**31))
        lattice = kernel_lattice(data, "random.cxt")
        if lattice.n_concepts <= 2000:
            cases.append((f"random {n}x{m} at {d:.0%}", lattice))
    return cases


def crossings(args):
    cases = [(name, kernel_lattice((ROOT / name).read_bytes(), name)) for name in FILES] + seeded_set()
    module_total = layered_total = 0
    for name, lattice in cases:
        module, layered = _lab.layout_crossings(lattice)
        module_total += module
        layered_total += layered
        if args.verbose:
            print(f"  {name:40} {lattice.n_concepts:6} concepts: module {module:9}, layered {layered:9}")
    print(f"crossings over {len(cases)} lattices ({len(FILES)} files, {len(cases) - len(FILES)} random): "
          f"module layout {module_total}, layered layout {layered_total}, "
          f"{100 - 100 * layered_total / module_total:.1f}% fewer", flush=True)


def drawing(name, data, filename, labels, args, module_svg=True):
    context = tessara.parse_context(data, filename=filename)
    lattice = kernel_lattice(data, filename)
    best, median, cpu = timed(lambda: _lab.draw(lattice, labels=labels).write(".svg"), args.runs)
    line = (f"{name}: {lattice.n_concepts} concepts, {labels} labels: draw + SVG min {best:.3f} s "
            f"median {median:.3f} s (processor min {cpu:.3f} s)")
    if module_svg:
        module = tessara.compute_lattice(context)
        module.svg()  # the first drawing also computes the covering relation
        m_best, m_median, _ = timed(module.svg, args.runs)
        line += f"; module Lattice.svg() (unlabelled) min {m_best:.3f} s median {m_median:.3f} s"
    print(line + f" ({args.runs} runs)", flush=True)


def mushroom(args):
    lattice = kernel_lattice(pathlib.Path(args.mushroom).read_bytes(), "mushroom.dat")
    best, median, cpu = timed(lambda: _lab.draw(lattice, labels="none"), args.runs)
    print(f"mushroom: {lattice.n_concepts} concepts, layered layout alone min {best:.3f} s median {median:.3f} s "
          f"(processor min {cpu:.3f} s; {args.runs} runs)", flush=True)


CASES = {
    "crossings": crossings,
    # 70 x 20 at 30 %: 1,017 concepts; 300 x 30 at 30 %: 23,239.
    "1k": lambda args: drawing("1k", random_cxt(70, 20, 0.3, 7), "r1k.cxt", "reduced", args),
    "20k": lambda args: drawing("20k", random_cxt(300, 30, 0.3, 7), "r20k.cxt", "counts", args),
    "mushroom": mushroom,
}


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--cases", nargs="+", choices=list(CASES), default=list(CASES))
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--mushroom", default=str(MUSHROOM))
    parser.add_argument("--verbose", action="store_true")
    args = parser.parse_args()
    for name in args.cases:
        CASES[name](args)


if __name__ == "__main__":
    main()
