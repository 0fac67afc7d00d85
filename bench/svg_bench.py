"""Times Lattice.svg() on seeded random contexts of about 1,000 and 5,000 concepts.

The first drawing of a lattice computes and caches its covering relation; later
drawings only redo the layout and the text. Both are timed.

    python bench/svg_bench.py [--targets 1000 5000] [--repeats 3]
"""

import argparse
import random
import time

import tessara

ATTRIBUTES = 24
DENSITY = 0.3


def cxt_bytes(rows, n_attributes):
    lines = ["B", "", str(len(rows)), str(n_attributes), ""]
    lines += [f"g{i}" for i in range(len(rows))] + [f"m{j}" for j in range(n_attributes)]
    lines += ["".join("X" if cell else "." for cell in row) for row in rows]
    return ("\n".join(lines) + "\n").encode("utf-8")


def context_with_about(target, seed):
    """Adds seeded random objects until the context has at least `target` concepts."""
    rng = random.Random(seed)
    rows = []
    while True:
        rows.extend([rng.random() < DENSITY for _ in range(ATTRIBUTES)] for _ in range(5))
        context = tessara.parse_context(cxt_bytes(rows, ATTRIBUTES), filename="bench.cxt")
        if len(tessara.compute_concepts(context)) >= target:
            return context


def timed(call):
    start = time.perf_counter()
    result = call()
    return time.perf_counter() - start, result


def bench(target, repeats, seed):
    context = context_with_about(target, seed)
    lattice = tessara.compute_lattice(context)
    first, svg = timed(lattice.svg)
    again = min(timed(lattice.svg)[0] for _ in range(repeats))
    print(
        f"{lattice.n_concepts:>6} concepts ({context.n_objects} objects x {context.n_attributes} attributes): "
        f"first svg() {first:8.3f} s (covering relation + layout + text), "
        f"cached svg() {again:8.3f} s, {len(svg) / 1e6:.2f} MB of SVG",
        flush=True,
    )


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--targets", type=int, nargs="+", default=[1000, 5000])
    parser.add_argument("--repeats", type=int, default=3)
    parser.add_argument("--seed", type=int, default=7)
    args = parser.parse_args()
    for target in args.targets:
        bench(target, args.repeats, args.seed)


if __name__ == "__main__":
    main()
