"""Closed itemsets of transaction files, whole process: tessara.lab (algorithm="lcm", and the dense default)
beside main's wheel and pyfim's closed miners, each run a fresh interpreter.

    python bench/lcm_bench.py --data DIR [--runs 5] [--cases retail,t10i4d100k,...] \\
        [--main /work/main/.venv/bin/python] [--peers bench/.venv-peers/bin/python] \\
        [--main-path build/base/python --main-algorithm lcm]

DIR holds the generated files (bench/transactions.py, commands in bench/README.md); retail.dat and
T10I4D100K.dat come from /work/shared/data/fimi, mushroom.dat from /work/shared/data. The tessara under test
is the one this interpreter imports (PYTHONPATH=build/dev/python for a development build). Each run reads the
file and lists every closed set of at least the minimum support (tessara: the concepts, one more than pyfim's
closed sets when the closure of the empty set is empty, since the top concept is counted). Prints a Markdown
table: min and median wall time of the runs, the min of their CPU time (user + system, every thread: on a
loaded machine it shows the work where wall time shows the waiting), peak resident memory, and the number of
sets.
"""

import argparse
import os
import resource
import statistics
import subprocess
import sys
import time

SHARED = "/work/shared/data"

# name: (file, minimum support as a count, dense)
CASES = {
    "retail": (f"{SHARED}/fimi/retail.dat", 10, False),
    "t10i4d100k": (f"{SHARED}/fimi/T10I4D100K.dat", 10, False),
    "kosarak-like": ("{data}/kosarak_like.dat", 990, False),
    "zipf-100k": ("{data}/zipf_100k.dat", 100, False),
    "zipf-200k": ("{data}/zipf_200k.dat", 50, False),
    "mushroom-20": (f"{SHARED}/mushroom.dat", 20, True),
    "mushroom-400": (f"{SHARED}/mushroom.dat", 400, True),
    "mushroom-2000": (f"{SHARED}/mushroom.dat", 2000, True),
    "chess-like": ("{data}/chess_like.dat", 1598, True),
    "connect-like": ("{data}/connect_like.dat", 5000, True),
}

TESSARA = """
import resource, sys
import tessara.lab as tl
K = tl.read(sys.argv[1], format="dat")
n = sum(1 for _ in K.iter_concepts(int(sys.argv[2]), {algorithm}, threads=int(sys.argv[3])))
print(n, resource.getrusage(resource.RUSAGE_SELF).ru_maxrss)
"""

PYFIM = """
import resource, sys
import fim
with open(sys.argv[1]) as f:
    tracts = [line.split() for line in f]
n = len(fim.{miner}(tracts, target="c", supp=-int(sys.argv[2]), report="a"))
print(n, resource.getrusage(resource.RUSAGE_SELF).ru_maxrss)
"""


def tools(args, dense):
    """(label, python, script, threads, extra environment) of every contestant."""
    here = dict(os.environ)
    main_env = {k: v for k, v in os.environ.items() if k != "PYTHONPATH"}
    main_env["PYTHONDONTWRITEBYTECODE"] = "1"
    out = []
    for threads in (1, 2):
        out.append((f"tessara lcm", sys.executable, TESSARA.format(algorithm='"lcm"'), threads, here))
    if dense:
        for threads in (1, 2):
            out.append(("tessara default (fcbo)", sys.executable, TESSARA.format(algorithm="None"), threads, here))
    if args.main:
        if args.main_path:
            main_env["PYTHONPATH"] = args.main_path
        for threads in (1, 2):
            out.append((f"main ({args.main_algorithm})", args.main,
                        TESSARA.format(algorithm=f'"{args.main_algorithm}"'), threads, main_env))
    if args.peers:
        for miner in ("eclat", "fpgrowth"):
            out.append((f"pyfim {miner}", args.peers, PYFIM.format(miner=miner), 1, main_env))
    return out


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--data", required=True)
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--cases", default=",".join(CASES))
    parser.add_argument("--main", default=None, help="an interpreter with main's tessara installed")
    parser.add_argument("--main-path", default=None,
                        help="put on main's PYTHONPATH (a build tree's python directory instead of the wheel)")
    parser.add_argument("--main-algorithm", default="fcbo", help="what main runs (fcbo, or lcm once main has it)")
    parser.add_argument("--peers", default=None, help="an interpreter with pyfim installed")
    parser.add_argument("--timeout", type=float, default=90.0)
    args = parser.parse_args()
    print(f"load average before: {os.getloadavg()}", flush=True)
    print("| case | program | threads | sets | min s | median s | min CPU s | peak MB |")
    print("|---|---|---|---|---|---|---|---|", flush=True)
    for case in args.cases.split(","):
        path, support, dense = CASES[case]
        path = path.format(data=args.data)
        for label, python, script, threads, env in tools(args, dense):
            times, cpus, sets, peak, failure = [], [], "", 0.0, ""
            for _ in range(args.runs):
                start = time.perf_counter()
                before = resource.getrusage(resource.RUSAGE_CHILDREN)
                try:
                    done = subprocess.run([python, "-c", script, path, str(support), str(threads)], env=env,
                                          capture_output=True, text=True, timeout=args.timeout)
                except subprocess.TimeoutExpired:
                    failure = f"> {args.timeout:.0f} s"
                    break
                elapsed = time.perf_counter() - start
                after = resource.getrusage(resource.RUSAGE_CHILDREN)
                cpus.append(after.ru_utime + after.ru_stime - before.ru_utime - before.ru_stime)
                if done.returncode != 0:
                    failure = done.stderr.strip().splitlines()[-1][:60]
                    break
                count, rss = done.stdout.split()
                times.append(elapsed)
                sets, peak = count, max(peak, int(rss) / 1024)
            if failure:
                print(f"| {case} | {label} | {threads} | | {failure} | | | |", flush=True)
                continue
            print(f"| {case} | {label} | {threads} | {sets} | {min(times):.2f} | {statistics.median(times):.2f} "
                  f"| {min(cpus):.2f} | {peak:.0f} |", flush=True)
    print(f"\nload average after: {os.getloadavg()}")


if __name__ == "__main__":
    main()
