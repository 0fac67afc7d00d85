"""Time tessara.parse_context on the files written by bench/gen_contexts.py.

Each file is read into memory once and parsed several times by file name
(so the extension picks the reader); the best and median wall-clock times and
the throughput in MB/s (10^6 bytes per second, over the best time) are printed.

    python bench/gen_contexts.py
    python bench/parse_throughput.py [FILE ...] [--repeats R]
"""

import argparse
import os
import statistics
import tempfile
import time

import tessara

DATA_DIR = os.path.join(tempfile.gettempdir(), "tessara-bench")


def time_parse(path: str, repeats: int) -> None:
    with open(path, "rb") as source:
        data = source.read()
    name = os.path.basename(path)
    times = []
    context = None
    for _ in range(repeats):
        start = time.perf_counter()
        context = tessara.parse_context(data, filename=name)
        times.append(time.perf_counter() - start)
    best = min(times)
    megabytes = len(data) / 1e6
    print(f"{name:>12}: {megabytes:7.1f} MB  {context!r:>40}  best {best:7.3f} s  "
          f"median {statistics.median(times):7.3f} s  {megabytes / best:7.1f} MB/s")


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("files", nargs="*", default=[os.path.join(DATA_DIR, name) for name in ("large.csv", "large.json", "large.xml")])
    parser.add_argument("--repeats", type=int, default=5)
    args = parser.parse_args()
    for path in args.files:
        time_parse(path, args.repeats)


if __name__ == "__main__":
    main()
