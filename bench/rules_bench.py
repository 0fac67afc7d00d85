"""Time the rule bases and concept measures on mushroom.

Jobs, each on ../shared/data/mushroom.dat (8,124 objects, 119 items):

- luxenburger: the Luxenburger basis at min_support 10% (813 objects) and
  min_confidence 0.8, given the iceberg lattice; and the same from the
  context (whole lattice, its iceberg part, the rules), today's path until
  the enumeration prunes by support itself
- all-rules: every rule at the same thresholds, from the iceberg lattice
- canonical: the canonical base at min_support 0 and 10%
- proper-premise: the canonical direct base (proper premises)
- stability: exact stability of every concept of the whole lattice
- generators: the keys of every concept of the whole lattice

The lattice is computed once (FCbO) and not timed, except in "from the
context". Prints the best and median wall-clock time of the repeats and the
size of the result.

    python bench/rules_bench.py [--repeats R] [--job NAME ...] [--data DIR]
"""

import argparse
import pathlib
import statistics
import time

from tessara import _lab

DEFAULT_DATA = pathlib.Path(__file__).resolve().parents[1] / ".." / "shared" / "data"
NO_ATTRIBUTES = b""


def timed(repeats, job):
    seconds, result = [], None
    for _ in range(repeats):
        start = time.perf_counter()
        result = job()
        seconds.append(time.perf_counter() - start)
    return min(seconds), statistics.median(seconds), result


def rule_count(columns):
    return len(columns[0]) // 4


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--repeats", type=int, default=5)
    parser.add_argument("--job", action="append", help="run only these jobs")
    parser.add_argument("--data", type=pathlib.Path, default=DEFAULT_DATA)
    args = parser.parse_args()

    context = _lab.read_context((args.data / "mushroom.dat").read_bytes(), "mushroom.dat")
    lattice = _lab.compute_lattice(context, "fcbo")
    min_support = -(-context.n_objects // 10)
    iceberg = _lab.frequent_lattice(lattice, min_support)
    no = NO_ATTRIBUTES

    def rules(basis, source):
        return lambda: rule_count(_lab.association_rules(source(), basis, 0.8, -1, no, no, no, no))

    def from_context():
        whole = _lab.compute_lattice(context, "fcbo")
        return rule_count(_lab.association_rules(_lab.frequent_lattice(whole, min_support), "luxenburger", 0.8, -1,
                                                 no, no, no, no))

    jobs = {
        "luxenburger": [
            ("Luxenburger, 10% / 0.8, iceberg given", rules("luxenburger", lambda: iceberg), "rules"),
            ("Luxenburger, 10% / 0.8, from the context", from_context, "rules"),
        ],
        "all-rules": [("every rule, 10% / 0.8, iceberg given", rules("all", lambda: iceberg), "rules")],
        "canonical": [
            ("canonical base", lambda: len(_lab.implications(context, 0, "canonical")[2]) // 8, "implications"),
            ("canonical base, 10%", lambda: len(_lab.implications(context, min_support, "canonical")[2]) // 8,
             "implications"),
        ],
        "proper-premise": [("proper-premise base", lambda: len(_lab.implications(context, 0, "proper-premise")[2])
                            // 8, "implications")],
        "stability": [("exact stability, whole lattice", lambda: len(_lab.exact_stability(lattice, 2**64 - 1)) // 8,
                       "concepts")],
        "generators": [("keys of every concept", lambda: len(_lab.all_generators(lattice)[1]) // 16, "keys")],
    }
    print(f"mushroom: {context.n_objects} objects, {lattice.n_concepts} concepts, iceberg at {min_support} objects: "
          f"{iceberg.n_concepts} concepts; {args.repeats} runs each")
    for name, entries in jobs.items():
        if args.job and name not in args.job:
            continue
        for label, job, unit in entries:
            best, median, size = timed(args.repeats, job)
            print(f"  {label:44} {best:8.3f} s min {median:8.3f} s median  {size:>8} {unit}", flush=True)


if __name__ == "__main__":
    main()
