"""How the LCM walk shares its work between threads, measured in CPU time per thread, which a shared machine
distorts far less than the wall clock.

    PYTHONPATH=build/dev/python python bench/lcm_threads_bench.py [--runs 5] [--cases retail,t10i4d100k] \\
        [--data DIR]

Each run is a fresh interpreter that reads the file with `tl.read` and counts the concepts of
`K.iter_concepts(min_support, "lcm", threads=n)`. While it reads the stream it samples the CPU time of every
thread of the process (/proc/self/task), so it knows the CPU time of the busiest thread besides the main one.
On idle cores the mining takes about as long as its busiest thread: the ratio of the 1-thread run's worker
CPU to the 2-thread run's busiest worker is the speed-up two free cores would give the mining, and the sum
of the workers' CPU is the work (what giving work away costs). Min of the runs for every column.
"""
import argparse
import os
import subprocess
import sys

SHARED = "/work/shared/data"
CASES = {
    "retail": (f"{SHARED}/fimi/retail.dat", 10),
    "t10i4d100k": (f"{SHARED}/fimi/T10I4D100K.dat", 10),
    "kosarak-like": ("{data}/kosarak_like.dat", 990),
    "zipf-200k": ("{data}/zipf_200k.dat", 50),
}

SCRIPT = r"""
import os, sys, threading, time
import tessara.lab as tl

def thread_times():
    out = {}
    for tid in os.listdir("/proc/self/task"):
        try:
            with open(f"/proc/self/task/{tid}/stat") as f:
                fields = f.read().rsplit(")", 1)[1].split()
        except OSError:
            continue
        out[int(tid)] = (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")
    return out

K = tl.read(sys.argv[1], format="dat")
main = threading.get_native_id()
before = set(thread_times())
seen = {}
start = time.perf_counter()
n = 0
for n, _ in enumerate(K.iter_concepts(int(sys.argv[2]), "lcm", threads=int(sys.argv[3])), 1):
    if n % 512 == 0:
        seen.update({t: c for t, c in thread_times().items() if t not in before and t != main})
seen.update({t: c for t, c in thread_times().items() if t not in before and t != main})
wall = time.perf_counter() - start
workers = sorted(seen.values(), reverse=True)
print(n, wall, sum(workers), workers[0] if workers else 0.0)
"""


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--data", default="/tmp/tessara-lcm-bench")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--cases", default="retail,t10i4d100k")
    args = parser.parse_args()
    print(f"load average before: {os.getloadavg()}", flush=True)
    print("| case | threads | concepts | min mining wall s | min workers' CPU s | min busiest worker CPU s |")
    print("|---|---|---|---|---|---|", flush=True)
    for case in args.cases.split(","):
        path, support = CASES[case]
        for threads in (1, 2):
            rows = []
            for _ in range(args.runs):
                done = subprocess.run([sys.executable, "-c", SCRIPT, path.format(data=args.data), str(support),
                                       str(threads)], capture_output=True, text=True, check=True)
                count, wall, work, busiest = done.stdout.split()
                rows.append((float(wall), float(work), float(busiest)))
            print(f"| {case} | {threads} | {count} | {min(r[0] for r in rows):.2f} | {min(r[1] for r in rows):.2f} "
                  f"| {min(r[2] for r in rows):.2f} |", flush=True)
    print(f"\nload average after: {os.getloadavg()}")


if __name__ == "__main__":
    main()
