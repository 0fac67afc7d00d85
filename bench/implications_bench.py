"""Time tessara.compute_implications (the canonical base) on its benchmark contexts.

Cases: ../shared/data/mushroom.dat (parsed with the file name "mushroom.dat"),
and the seeded random contexts 1,000 x 60 at 15% (seed 20260101) and
1,000 x 50 at 12%, made by engine_bench.random_cxt. Prints the best and
median wall-clock time of the repeats and the number of implications.

    python bench/implications_bench.py [--repeats R] [--case NAME ...] [--data DIR]

Run it once with today's wheel and once with the new one, same machine, same
session, to fill the table in bench/README.md.
"""

import argparse
import pathlib
import statistics
import sys
import time

import tessara

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
from engine_bench import random_cxt  # noqa: E402  (the generator the other benchmarks use)

DEFAULT_DATA = pathlib.Path(__file__).resolve().parents[1] / ".." / "shared" / "data"


def implication_cases(data_dir: pathlib.Path):
    """(name, context) pairs, parsed once each."""
    return [
        ("mushroom", lambda: tessara.parse_context((data_dir / "mushroom.dat").read_bytes(), "mushroom.dat")),
        ("1000x60 d0.15 s20260101", lambda: tessara.parse_context(random_cxt(1000, 60, 0.15, 20260101), "r.cxt")),
        ("1000x50 d0.12 s20260101", lambda: tessara.parse_context(random_cxt(1000, 50, 0.12, 20260101), "r.cxt")),
    ]


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--repeats", type=int, default=5)
    parser.add_argument("--case", action="append", help="run only the cases whose name starts with this")
    parser.add_argument("--data", type=pathlib.Path, default=DEFAULT_DATA)
    args = parser.parse_args()

    print(f"tessara {tessara.__version__}, {args.repeats} runs each")
    for name, make in implication_cases(args.data):
        if args.case and not any(name.startswith(prefix) for prefix in args.case):
            continue
        ctx = make()
        seconds = []
        result = []
        for _ in range(args.repeats):
            start = time.perf_counter()
            result = tessara.compute_implications(ctx)
            seconds.append(time.perf_counter() - start)
        print(f"  {name:26} {min(seconds):9.3f} s min {statistics.median(seconds):9.3f} s median"
              f"   {len(result):>8} implications", flush=True)


if __name__ == "__main__":
    main()
