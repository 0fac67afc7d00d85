"""Lattice structure in tessara.lab: arrow relations, irreducibles, the lattice laws and the parts of a lattice.

    python bench/structure_bench.py [--repeats R] [--data /work/shared/data/mushroom.dat]

Two lattices:
- mushroom's full lattice (238,710 concepts): real data, where every law fails; the tests stop at the
  first witness, which the table names.
- the Boolean lattice of 17 atoms (131,072 concepts, 1,114,112 cover edges, the context 17 x 17 with
  every cross but the diagonal): every law holds, so each test scans the whole cover relation (the
  worst case).

And the arrow relations alone on two more contexts: the random 5,000 x 100 at 10% of engine_bench, and
the Zipf-like transactions of transactions.py (100,000 x 1,000, about 10 items each).

Each figure is the best and the median of --repeats runs of the call alone (the lattice is made once,
before). The load average is printed beside.
"""

import argparse
import os
import pathlib
import statistics
import time

import sys

import numpy as np

import tessara.lab as tl

HERE = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))
import engine_bench  # noqa: E402
import transactions  # noqa: E402


def timed(call, repeats):
    """'wall min / median | CPU min / median' in seconds, and the last result."""
    walls, cpus = [], []
    for _ in range(repeats):
        wall, cpu = time.perf_counter(), time.process_time()
        result = call()
        walls.append(time.perf_counter() - wall)
        cpus.append(time.process_time() - cpu)
    figures = (f"{min(walls):.3f} / {statistics.median(walls):.3f} | "
               f"{min(cpus):.3f} / {statistics.median(cpus):.3f}")
    return figures, result


def describe(result):
    if isinstance(result, tl.Verdict):
        return "holds" if result else f"fails ({result.kind})"
    if isinstance(result, tl.Lattice):
        return f"{len(result)} concepts"
    if isinstance(result, tuple):
        return f"{len(result)} concepts"
    return repr(result)


def bench(name, context, repeats):
    start = time.perf_counter()
    lattice = context.lattice()
    made = time.perf_counter() - start
    print(f"\n{name}: {context.shape[0]} x {context.shape[1]}, {len(lattice)} concepts, "
          f"{len(lattice.edges)} edges (lattice made in {made:.2f} s)")
    middle = lattice[int(np.argsort(lattice.supports)[len(lattice) // 2])]
    calls = {
        "K.arrows()": context.arrows,
        "L.join_irreducibles()": lattice.join_irreducibles,
        "L.meet_irreducibles()": lattice.meet_irreducibles,
        "L.is_distributive()": lattice.is_distributive,
        "L.is_modular()": lattice.is_modular,
        "L.is_semimodular()": lattice.is_semimodular,
        "L.is_semimodular(lower=True)": lambda: lattice.is_semimodular(lower=True),
        "L.is_atomic()": lattice.is_atomic,
        "L.filter(c), c of median support": lambda: lattice.filter(middle),
        "L.ideal(L.top)": lambda: lattice.ideal(lattice.top),
    }
    print("| call | wall min / median (s) | CPU min / median (s) | result |\n|---|---:|---:|---|")
    for label, call in calls.items():
        figures, result = timed(call, repeats)
        print(f"| `{label}` | {figures} | {describe(result)} |")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--repeats", type=int, default=7)
    parser.add_argument("--data", default="/work/shared/data/mushroom.dat")
    args = parser.parse_args()
    print("load average before:", os.getloadavg())
    bench("mushroom", tl.read(pathlib.Path(args.data)), args.repeats)
    n = 17
    boolean = tl.Context([f"g{i}" for i in range(n)], [f"m{i}" for i in range(n)], ~np.eye(n, dtype=bool))
    bench("Boolean lattice of 17 atoms", boolean, args.repeats)
    print("\n| `K.arrows()` on | wall min / median (s) | CPU min / median (s) | result |\n|---|---:|---:|---|")
    for label, data, format in [
        ("random 5,000 x 100 at 10%", engine_bench.random_cxt(5000, 100, 0.10, 20260102), "cxt"),
        ("transactions 100,000 x 1,000", transactions.zipf_transactions(), "dat"),
    ]:
        context = tl.read(data, format)
        figures, result = timed(context.arrows, args.repeats)
        print(f"| {label} | {figures} | {describe(result)} |")
    print("\nload average after:", os.getloadavg())


if __name__ == "__main__":
    main()
