"""Lattices and rules of a transaction file stored sparse, whole process: time and peak memory of
`tl.read(path).lattice(min_support=s)` and of `.rules(min_support=s, min_confidence=c)`, each run a fresh interpreter.

    python bench/sparse_lattice_bench.py [--file retail.dat] [--support 10] [--confidence 0.5] [--runs 5] \\
        [--compare build/base/python]

The tessara under test is the one this interpreter imports (PYTHONPATH=build/dev/python); --compare names the
python folder of another build tree, run beside it. Prints a Markdown table: min and median wall time, min CPU time
(user + system, every thread), peak RSS, and the number of concepts (edges) or rules.
"""

import argparse
import os
import resource
import statistics
import subprocess
import sys
import time

SCRIPTS = {
    "lattice": """
import resource, sys
import tessara.lab as tl
L = tl.read(sys.argv[1], format="dat").lattice(min_support=int(sys.argv[2]))
print(f"{len(L)}/{len(L.edges)}", resource.getrusage(resource.RUSAGE_SELF).ru_maxrss)
""",
    "rules": """
import resource, sys
import tessara.lab as tl
R = tl.read(sys.argv[1], format="dat").rules(min_support=int(sys.argv[2]), min_confidence=float(sys.argv[3]))
print(len(R), resource.getrusage(resource.RUSAGE_SELF).ru_maxrss)
""",
}


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--file", default="/work/shared/data/fimi/retail.dat")
    parser.add_argument("--support", type=int, default=10)
    parser.add_argument("--confidence", type=float, default=0.5)
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--compare", default=None)
    parser.add_argument("--timeout", type=float, default=300.0)
    args = parser.parse_args()
    builds = [("this build", dict(os.environ))]
    if args.compare:
        builds.insert(0, ("before", dict(os.environ, PYTHONPATH=args.compare)))
    print(f"load average before: {os.getloadavg()}", flush=True)
    print("| work | build | result | min s | median s | min CPU s | peak MB |")
    print("|---|---|---|---|---|---|---|", flush=True)
    for work, script in SCRIPTS.items():
        for label, env in builds:
            times, cpus, result, peak, failure = [], [], "", 0.0, ""
            for _ in range(args.runs):
                before = resource.getrusage(resource.RUSAGE_CHILDREN)
                start = time.perf_counter()
                try:
                    done = subprocess.run([sys.executable, "-c", script, args.file, str(args.support),
                                           str(args.confidence)], env=env, capture_output=True, text=True,
                                          timeout=args.timeout)
                except subprocess.TimeoutExpired:
                    failure = f"> {args.timeout:.0f} s"
                    break
                times.append(time.perf_counter() - start)
                after = resource.getrusage(resource.RUSAGE_CHILDREN)
                cpus.append(after.ru_utime + after.ru_stime - before.ru_utime - before.ru_stime)
                if done.returncode != 0:
                    failure = done.stderr.strip().splitlines()[-1][:60]
                    break
                result, rss = done.stdout.split()
                peak = max(peak, int(rss) / 1024)
            if failure:
                print(f"| {work} | {label} | {failure} | | | | |", flush=True)
                continue
            print(f"| {work} | {label} | {result} | {min(times):.2f} | {statistics.median(times):.2f} | "
                  f"{min(cpus):.2f} | {peak:.0f} |", flush=True)
    print(f"\nload average after: {os.getloadavg()}")


if __name__ == "__main__":
    main()
