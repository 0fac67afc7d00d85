"""Reading transaction files: time, throughput and the peak memory of the whole process.

    python bench/sparse_read_bench.py [--repeats 5] [--new build/dev/python] [--kosarak]

Each run is a fresh interpreter that imports tessara.lab, reads one FIMI file with ``tl.read`` (or the module's
``tessara.parse_context``) and reports the read's wall-clock time and the process's peak resident memory
(VmHWM, so the interpreter, numpy and the read's input bytes are included). "old" is the tessara installed in
the running interpreter (main's wheel), "new" the build tree named by --new; both run in the same session, one
after the other, on each file. The files are retail.dat and T10I4D100K.dat from ../shared/data/fimi (or the
folder TESSARA_BENCH_DATA names), and with --kosarak a generated kosarak-shaped file (990,000 transactions over
41,000 Zipf-distributed items, about 8 a transaction), which the old readers refuse.
"""

from __future__ import annotations

import argparse
import json
import os
import statistics
import subprocess
import sys
import tempfile
from pathlib import Path

HERE = Path(__file__).resolve().parent

CHILD = """
import json, sys, time
import tessara, tessara.lab as tl

def megabytes(field):
    with open("/proc/self/status") as status:
        for line in status:
            if line.startswith(field):
                return int(line.split()[1]) / 1024

path, how = sys.argv[1], sys.argv[2]
start, cpu = time.perf_counter(), time.process_time()
try:
    if how == "lab":
        K = tl.read(path)
        shape, nnz = K.shape, getattr(K, "nnz", None)
    else:
        with open(path, "rb") as file:
            data = file.read()
        K = tessara.parse_context(data, path)
        shape, nnz = (K.n_objects, K.n_attributes), None
    outcome = "ok"
except ValueError as error:
    shape, nnz, outcome = None, None, str(error)[:60]
elapsed, cpu = time.perf_counter() - start, time.process_time() - cpu
print(json.dumps({"seconds": elapsed, "cpu": cpu, "peak_mb": megabytes("VmHWM:"), "shape": shape, "nnz": nnz,
                  "outcome": outcome}))
"""


def data_folder() -> Path:
    named = os.environ.get("TESSARA_BENCH_DATA")
    if named:
        return Path(named) / "fimi"
    for folder in (HERE.parent.parent / "shared", HERE.parent.parent.parent / "shared"):
        if (folder / "data" / "fimi").is_dir():
            return folder / "data" / "fimi"
    raise SystemExit("no data folder: set TESSARA_BENCH_DATA")


def run(path: Path, how: str, pythonpath: str | None) -> dict[str, object]:
    env = dict(os.environ)
    env.pop("PYTHONPATH", None)
    if pythonpath:
        env["PYTHONPATH"] = pythonpath
    result = subprocess.run([sys.executable, "-c", CHILD, str(path), how], capture_output=True, text=True, env=env,
                            check=True)
    return json.loads(result.stdout)


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--repeats", type=int, default=5)
    parser.add_argument("--new", default=str(HERE.parent / "build" / "dev" / "python"),
                        help="the PYTHONPATH of the new build (default: build/dev/python)")
    parser.add_argument("--kosarak", action="store_true", help="also read a generated kosarak-shaped file")
    parser.add_argument("--module", action="store_true", help="also time tessara.parse_context")
    args = parser.parse_args()

    files = [data_folder() / "retail.dat", data_folder() / "T10I4D100K.dat"]
    with tempfile.TemporaryDirectory() as folder:
        if args.kosarak:
            sys.path.insert(0, str(HERE))
            from transactions import zipf_transactions

            kosarak = Path(folder) / "kosarak-shaped.dat"
            kosarak.write_bytes(zipf_transactions(990_000, 41_000, 8.0, 1.0, 20261209))
            files.append(kosarak)
        print(f"load average before: {os.getloadavg()}")
        print("| file | MB | reader | build | wall s best / median | CPU s best / median | MB/s (best CPU) "
              "| peak RSS MB (max) | outcome |")
        print("|---|---|---|---|---|---|---|---|---|")
        for path in files:
            megabytes = path.stat().st_size / 1e6
            for how in ("lab", "module") if args.module else ("lab",):
                for label, pythonpath in (("old", None), ("new", args.new)):
                    runs = [run(path, how, pythonpath) for _ in range(args.repeats)]
                    seconds = [float(r["seconds"]) for r in runs]  # type: ignore[arg-type]
                    cpu = [float(r["cpu"]) for r in runs]  # type: ignore[arg-type]
                    peak = max(float(r["peak_mb"]) for r in runs)  # type: ignore[arg-type]
                    outcome = runs[0]["outcome"] if runs[0]["outcome"] != "ok" else f"{runs[0]['shape']} nnz={runs[0]['nnz']}"
                    reader = "tl.read" if how == "lab" else "parse_context"
                    print(f"| {path.name} | {megabytes:.1f} | {reader} | {label} | {min(seconds):.3f} / "
                          f"{statistics.median(seconds):.3f} | {min(cpu):.3f} / {statistics.median(cpu):.3f} | "
                          f"{megabytes / max(min(cpu), 1e-9):.0f} | {peak:.0f} | {outcome} |", flush=True)
        print(f"load average after: {os.getloadavg()}")


if __name__ == "__main__":
    main()
