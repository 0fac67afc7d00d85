"""What `import tessara.lab` costs a fresh interpreter, for two build trees side by side.

    python bench/import_bench.py BEFORE_PYTHON_DIR AFTER_PYTHON_DIR [--runs 15]

Each run is `python -c "import tessara.lab"` with PYTHONPATH set to one of the folders (say build/base/python and
build/dev/python); prints a Markdown row per folder: min and median wall time and CPU time (user + system).
"""

import argparse
import os
import resource
import statistics
import subprocess
import sys
import time


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("before")
    parser.add_argument("after")
    parser.add_argument("--runs", type=int, default=15)
    args = parser.parse_args()
    print(f"load average before: {os.getloadavg()}")
    print("| build | min s | median s | min CPU s | median CPU s |")
    print("|---|---|---|---|---|")
    for label, path in (("before", args.before), ("after", args.after)):
        env = dict(os.environ, PYTHONPATH=path)
        cpus, walls = [], []
        for _ in range(args.runs):
            before = resource.getrusage(resource.RUSAGE_CHILDREN)
            start = time.perf_counter()
            subprocess.run([sys.executable, "-c", "import tessara.lab"], env=env, check=True)
            walls.append(time.perf_counter() - start)
            after = resource.getrusage(resource.RUSAGE_CHILDREN)
            cpus.append(after.ru_utime + after.ru_stime - before.ru_utime - before.ru_stime)
        print(f"| {label} | {min(walls):.3f} | {statistics.median(walls):.3f} | {min(cpus):.3f} | "
              f"{statistics.median(cpus):.3f} |")
    print(f"\nload average after: {os.getloadavg()}")


if __name__ == "__main__":
    main()
