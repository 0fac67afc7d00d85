"""Time the concept engine through the Python module on one seeded random context.

Builds a Burmeister CXT text for a random context (default 1,000 objects x 60
attributes at 15% density), parses it once with tessara.parse_context, then
times tessara.compute_concepts for every supported algorithm and
tessara.compute_implications, printing the best and median wall-clock times
over the repeats together with the number of concepts or implications found.

    python bench/engine_bench.py [--objects N] [--attributes M] [--density D]
                                 [--seed S] [--repeats R] [--implication-repeats R]

The canonical base is much slower than the enumerations (minutes at the
default size), so it is timed once unless asked otherwise.
"""

import argparse
import random
import statistics
import time

import tessara


def random_cxt(n_objects: int, n_attributes: int, density: float, seed: int) -> bytes:
    rng = random.Random(seed)
    lines = ["B", "", str(n_objects), str(n_attributes), ""]
    lines += [f"g{g}" for g in range(n_objects)]
    lines += [f"m{m}" for m in range(n_attributes)]
    for _ in range(n_objects):
        lines.append("".join("X" if rng.random() < density else "." for _ in range(n_attributes)))
    return ("\n".join(lines) + "\n").encode("ascii")


def timed(run, repeats: int):
    """Runs `run` repeatedly; returns (seconds of each run, result of the last run)."""
    seconds = []
    result = None
    for _ in range(repeats):
        start = time.perf_counter()
        result = run()
        seconds.append(time.perf_counter() - start)
    return seconds, result


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--objects", type=int, default=1000)
    parser.add_argument("--attributes", type=int, default=60)
    parser.add_argument("--density", type=float, default=0.15)
    parser.add_argument("--seed", type=int, default=20260101)
    parser.add_argument("--repeats", type=int, default=3)
    parser.add_argument("--implication-repeats", type=int, default=1)
    args = parser.parse_args()

    data = random_cxt(args.objects, args.attributes, args.density, args.seed)
    ctx = tessara.parse_context(data, "bench.cxt")
    print(f"tessara {tessara.__version__}: {args.objects} objects x {args.attributes} attributes, "
          f"density {args.density}, seed {args.seed}")

    runs = [(f"compute_concepts({name!r})", "concepts", args.repeats,
             lambda name=name: tessara.compute_concepts(ctx, name))
            for name in tessara.supported_algorithms()]
    runs.append(("compute_implications()", "implications", args.implication_repeats,
                 lambda: tessara.compute_implications(ctx)))
    for label, unit, repeats, run in runs:
        seconds, result = timed(run, repeats)
        print(f"  {label:32} {min(seconds):9.3f} s best {statistics.median(seconds):9.3f} s median"
              f" of {repeats}   {len(result):>8} {unit}")


if __name__ == "__main__":
    main()
