"""The work that transposes packed incidences: K.arrows() and K.reduce() on transaction files and dense shapes.

    python bench/transpose_bench.py [--runs 5] [--data DIR] [--cases retail-20k,t10i4d100k,mushroom,...]

Each case is read once, then every operation runs `--runs` times in this process; prints the min and median of
their CPU time (this process, every thread). Run it with two builds of the lab (PYTHONPATH=build/dev/python and
one of main's code) to compare.
"""

import argparse
import os
import statistics
import time

import tessara.lab as tl

SHARED = "/work/shared/data"

CASES = {
    "retail-20k": "{data}/retail_20k.dat",  # head -20000 retail.dat: 20,000 x 10,229
    "t10i4d100k": f"{SHARED}/fimi/T10I4D100K.dat",
    "mushroom": f"{SHARED}/mushroom.dat",
    "chess-like": "{data}/chess_like.dat",
    "connect-like": "{data}/connect_like.dat",
}

OPERATIONS = {
    "arrows": lambda K: K.arrows(),
    "reduce": lambda K: K.reduce(),
}


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--data", default="bench/data")
    parser.add_argument("--cases", default=",".join(CASES))
    args = parser.parse_args()
    print(f"load average before: {os.getloadavg()}")
    print("| case | shape | operation | min CPU s | median CPU s |")
    print("|---|---|---|---|---|")
    for case in args.cases.split(","):
        path = CASES[case].format(data=args.data)
        if not os.path.exists(path):
            print(f"| {case} | missing: {path} | | | |")
            continue
        K = tl.read(path, format="dat")
        for name, operation in OPERATIONS.items():
            times = []
            for _ in range(args.runs):
                start = time.process_time()
                operation(K)
                times.append(time.process_time() - start)
            print(f"| {case} | {K.shape[0]} x {K.shape[1]} | {name} | {min(times):.3f} | "
                  f"{statistics.median(times):.3f} |", flush=True)
    print(f"\nload average after: {os.getloadavg()}")


if __name__ == "__main__":
    main()
