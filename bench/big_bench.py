"""Big contexts: threads, minimum support on sparse data, streaming memory, Ctrl-C.

    python bench/big_bench.py [--part threads|sparse|stream|interrupt ...] [--repeats R]

- threads: the enumeration alone (no cover edges) of mushroom and of the
  random 5,000 x 100 context at 10% (engine_bench's "random-5000x100"), on
  1 thread and on every core, for each algorithm; and the module's
  compute_lattice on the same data for comparison with an older wheel.
- sparse: the Zipf-like transactions of bench/transactions.py (100,000 x
  1,000, about 10 items each) at a minimum support of 0.1% (100
  transactions), one thread, each algorithm; also with the cover edges, and on
  every core.
- stream: a fresh interpreter streams every concept of a seeded random
  10,000 x 200 context through tessara.lab's stream (batches of concepts,
  dropped as read) and reports the count, the time and its peak RSS.
- interrupt: a child interpreter runs tessara.compute_lattice on a context
  that would take minutes; SIGINT is sent after 0.5 s and the time until the
  child reports KeyboardInterrupt is taken.

Every timed figure is the best and the median of --repeats runs.
"""

import argparse
import os
import pathlib
import signal
import statistics
import subprocess
import sys
import time

import tessara

HERE = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))
import engine_bench  # noqa: E402
import transactions  # noqa: E402

ALGORITHMS = engine_bench.ALGORITHMS
# The shared data beside the repository, or where TESSARA_DATA says (a git worktree sits elsewhere).
DATA = pathlib.Path(os.environ.get("TESSARA_DATA", str(engine_bench.DATA)))
UNLIMITED = 2**64 - 1


def timed(run, repeats):
    seconds, result = [], None
    for _ in range(repeats):
        result = None
        start = time.perf_counter()
        result = run()
        seconds.append(time.perf_counter() - start)
    return min(seconds), statistics.median(seconds), result


def report(label, best, median, what=""):
    print(f"  {label:44} {best:8.3f} s best {median:8.3f} s median  {what}", flush=True)


def lab():
    from tessara import _lab

    return _lab


def kernel_context(data: bytes, filename: str):
    return lab().read_context(data, filename)


def all_cores() -> int:
    return len(os.sched_getaffinity(0))


def threads_part(repeats):
    cores = all_cores()
    cases = [("mushroom", (DATA / "mushroom.dat").read_bytes(), "mushroom.dat"),
             ("random-5000x100", engine_bench.random_cxt(5000, 100, 0.10, 20260102), "bench.cxt")]
    for name, data, filename in cases:
        print(f"{name} ({cores} cores)")
        ctx = tessara.parse_context(data, filename)
        for algorithm in ALGORITHMS:
            best, median, lattice = timed(lambda: tessara.compute_lattice(ctx, algorithm), repeats)
            report(f"tessara.compute_lattice({algorithm!r})", best, median, f"{lattice.n_concepts} concepts")
        kctx = kernel_context(data, filename)
        for algorithm in ALGORITHMS:
            for threads in (1, cores):
                best, median, lattice = timed(
                    lambda: lab().mine_lattice(kctx, algorithm, 0, UNLIMITED, threads, None, False), repeats)
                report(f"enumerate {algorithm!r}, threads={threads}", best, median, f"{lattice.n_concepts} concepts")


def sparse_part(repeats):
    data = transactions.zipf_transactions()
    kctx = kernel_context(data, "sparse.dat")
    support = kctx.n_objects // 1000
    print(f"sparse transactions ({kctx.n_objects} x {kctx.n_attributes}), min_support {support}")
    for algorithm in ALGORITHMS:
        best, median, lattice = timed(
            lambda: lab().mine_lattice(kctx, algorithm, support, UNLIMITED, 1, None, False), repeats)
        report(f"enumerate {algorithm!r}, threads=1", best, median, f"{lattice.n_concepts} concepts")
    cores = all_cores()
    best, median, lattice = timed(lambda: lab().mine_lattice(kctx, "fcbo", support, UNLIMITED, cores, None, False),
                                  repeats)
    report(f"enumerate 'fcbo', threads={cores}", best, median, f"{lattice.n_concepts} concepts")
    best, median, lattice = timed(lambda: lab().mine_lattice(kctx, "fcbo", support, UNLIMITED, 1, None, True),
                                  repeats)
    report("lattice with cover edges 'fcbo', threads=1", best, median, f"{len(lattice.edges()) // 8} edges")


STREAM_SCRIPT = """
import random, sys, time
sys.path.insert(0, {here!r})
import engine_bench
from tessara import _lab
data = engine_bench.random_cxt({objects}, {attributes}, {density}, {seed})
kctx = _lab.read_context(data, "stream.cxt")
start = time.perf_counter()
stream = _lab.open_stream(kctx, "fcbo", 0, 2**64 - 1, {threads})
count = 0
while True:
    batch = stream.next_batch()
    if batch is None:
        break
    count += batch.n_concepts
seconds = time.perf_counter() - start
peak = next(line.split()[1] for line in open("/proc/self/status") if line.startswith("VmHWM:"))
print(count, seconds, int(peak) / 1024)
"""

STREAM_SHAPE = dict(objects=10_000, attributes=200, density=0.11, seed=20261208)


def stream_part(repeats):
    for threads in (1, all_cores()):
        script = STREAM_SCRIPT.format(here=str(HERE), threads=threads, **STREAM_SHAPE)
        out = subprocess.run([sys.executable, "-c", script], check=True, capture_output=True, text=True).stdout
        count, seconds, peak = out.split()
        print(f"  stream of {STREAM_SHAPE}, threads={threads}: {int(count):,} concepts in {float(seconds):.1f} s,"
              f" peak RSS {float(peak):.0f} MB", flush=True)


INTERRUPT_SCRIPT = """
import sys, time
sys.path.insert(0, {here!r})
import engine_bench, tessara
ctx = tessara.parse_context(engine_bench.random_cxt(3000, 100, 0.35, 5), "big.cxt")
print("ready", flush=True)
try:
    tessara.{call}(ctx)
except KeyboardInterrupt:
    print("interrupted", flush=True)
"""


def interrupt_part(repeats):
    for call in ("compute_lattice", "compute_concepts"):
        latencies = []
        for _ in range(repeats):
            child = subprocess.Popen([sys.executable, "-c", INTERRUPT_SCRIPT.format(here=str(HERE), call=call)],
                                     stdout=subprocess.PIPE, text=True)
            assert child.stdout.readline().strip() == "ready"
            time.sleep(0.5)
            child.send_signal(signal.SIGINT)
            sent = time.perf_counter()
            line = child.stdout.readline().strip()
            latencies.append(time.perf_counter() - sent)
            child.wait()
            assert line == "interrupted", line
        report(f"SIGINT -> KeyboardInterrupt in {call}", min(latencies), statistics.median(latencies))


PARTS = {"threads": threads_part, "sparse": sparse_part, "stream": stream_part, "interrupt": interrupt_part}


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--part", action="append", choices=sorted(PARTS))
    parser.add_argument("--repeats", type=int, default=5)
    args = parser.parse_args()
    print(f"tessara {tessara.__version__}, Python {sys.version.split()[0]}, {all_cores()} cores")
    for part in args.part or list(PARTS):
        PARTS[part](args.repeats)


if __name__ == "__main__":
    main()
