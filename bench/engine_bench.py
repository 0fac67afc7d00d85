"""Time the concept engine through the Python module on a list of named cases.

Each case builds one context (a seeded random Burmeister CXT text, or a data
file read with its own file name) and runs its measures: compute_lattice for
every algorithm (engine and context copy, no dicts), compute_concepts end to
end (the dicts included), the peak resident memory of compute_lattice and of
compute_concepts, each in a fresh interpreter, and compute_implications. Every
timed measure prints the best and the median wall-clock time over the repeats,
the number of concepts or implications found, and the best and median CPU time
of the process (steadier than the wall clock on a machine shared with other
jobs).

    python bench/engine_bench.py [--case NAME ...] [--repeats R] [--list]

Cases are listed by --list. The canonical base is much slower than the
enumerations, so compute_implications is timed once. To add a case, append a
Case to CASES below.
"""

import argparse
import dataclasses
import os
import pathlib
import random
import statistics
import subprocess
import sys
import time
from typing import Callable, List

import tessara

# The shared data folder beside the repository, or the one TESSARA_BENCH_DATA names (a worktree
# elsewhere); the fresh interpreters of the memory measure inherit the variable.
DATA = pathlib.Path(os.environ.get("TESSARA_BENCH_DATA")
                    or pathlib.Path(__file__).resolve().parent.parent.parent / "shared" / "data")
ALGORITHMS = ("next-closure", "in-close-5", "fcbo")


def random_cxt(n_objects: int, n_attributes: int, density: float, seed: int) -> bytes:
    rng = random.Random(seed)
    lines = ["B", "", str(n_objects), str(n_attributes), ""]
    lines += [f"g{g}" for g in range(n_objects)]
    lines += [f"m{m}" for m in range(n_attributes)]
    for _ in range(n_objects):
        lines.append("".join("X" if rng.random() < density else "." for _ in range(n_attributes)))
    return ("\n".join(lines) + "\n").encode("ascii")


@dataclasses.dataclass
class Source:
    """How a case gets its context: the bytes and the file name parse_context sees."""

    describe: str
    load: Callable[[], bytes]
    filename: str

    def context(self):
        return tessara.parse_context(self.load(), self.filename)


def random_source(n_objects: int, n_attributes: int, density: float, seed: int) -> Source:
    return Source(f"{n_objects} objects x {n_attributes} attributes, density {density}, seed {seed}",
                  lambda: random_cxt(n_objects, n_attributes, density, seed), "bench.cxt")


def file_source(name: str) -> Source:
    return Source(str(DATA / name), lambda: (DATA / name).read_bytes(), name)


@dataclasses.dataclass
class Measure:
    """One timed call on the case's context; `run` returns something with a len()."""

    label: str
    unit: str
    run: Callable[[object], object]
    repeats: int = 0  # 0: the --repeats value


def lattice_measures(algorithms=ALGORITHMS) -> List[Measure]:
    return [Measure(f"compute_lattice({name!r})", "concepts",
                    lambda ctx, name=name: range(tessara.compute_lattice(ctx, name).n_concepts))
            for name in algorithms]


def concepts_measures(algorithms=ALGORITHMS) -> List[Measure]:
    return [Measure(f"compute_concepts({name!r})", "concepts",
                    lambda ctx, name=name: tessara.compute_concepts(ctx, name))
            for name in algorithms]


def implications_measure(repeats: int = 1) -> Measure:
    return Measure("compute_implications()", "implications", tessara.compute_implications, repeats)


@dataclasses.dataclass
class Case:
    name: str
    source: Source
    measures: List[Measure]
    peak_rss: bool = False  # also measure the peak memory of compute_lattice and compute_concepts


CASES = [
    Case("mushroom", file_source("mushroom.dat"),
         lattice_measures() + concepts_measures(("next-closure",)), peak_rss=True),
    Case("random-1000x60", random_source(1000, 60, 0.15, 20260101),
         lattice_measures() + concepts_measures()),
    Case("random-5000x100", random_source(5000, 100, 0.10, 20260102), lattice_measures()),
    Case("dense-200x30", random_source(200, 30, 0.50, 20260103),
         lattice_measures() + concepts_measures(("next-closure",))),
    Case("implications-1000x60", random_source(1000, 60, 0.15, 20260101), [implications_measure()]),
]


def timed(run, repeats: int):
    """Runs `run` repeatedly; returns (wall-clock seconds of each run, CPU seconds of each run,
    result of the last run). On a machine shared with other jobs the CPU time moves less."""
    seconds = []
    cpu_seconds = []
    result = None
    for _ in range(repeats):
        result = None  # free the last result before the next run
        start, cpu_start = time.perf_counter(), time.process_time()
        result = run()
        seconds.append(time.perf_counter() - start)
        cpu_seconds.append(time.process_time() - cpu_start)
    return seconds, cpu_seconds, result


PEAK_RSS_SCRIPT = """
import importlib.util, sys
found = importlib.util.spec_from_file_location("engine_bench", {path!r})
bench = sys.modules["engine_bench"] = importlib.util.module_from_spec(found)
found.loader.exec_module(bench)
ctx = bench.CASES_BY_NAME[{case!r}].source.context()
result = getattr(bench.tessara, {function!r})(ctx)
concepts = result.n_concepts if isinstance(result, bench.tessara.Lattice) else len(result)
# VmHWM belongs to this process image; ru_maxrss would carry the parent's over the exec.
peak = next(line.split()[1] for line in open("/proc/self/status") if line.startswith("VmHWM:"))
print(concepts, peak)
"""


PEAK_RSS_FUNCTIONS = ("compute_lattice", "compute_concepts")


def peak_rss(case: Case, function: str):
    """(concepts, peak RSS in MB) of tessara.<function>(ctx) in a fresh interpreter."""
    script = PEAK_RSS_SCRIPT.format(path=str(pathlib.Path(__file__).resolve()), case=case.name, function=function)
    out = subprocess.run([sys.executable, "-c", script], check=True, capture_output=True, text=True).stdout
    concepts, kilobytes = out.split()
    return int(concepts), int(kilobytes) / 1024


CASES_BY_NAME = {case.name: case for case in CASES}


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--case", action="append", choices=sorted(CASES_BY_NAME), help="run only these cases")
    parser.add_argument("--repeats", type=int, default=5)
    parser.add_argument("--list", action="store_true", help="list the cases and exit")
    args = parser.parse_args()
    if args.list:
        for case in CASES:
            print(f"{case.name:22} {case.source.describe}")
        return

    print(f"tessara {tessara.__version__}, Python {sys.version.split()[0]}")
    for case in CASES if args.case is None else [CASES_BY_NAME[name] for name in args.case]:
        ctx = case.source.context()
        print(f"{case.name}: {case.source.describe} ({ctx})")
        for measure in case.measures:
            repeats = measure.repeats or args.repeats
            seconds, cpu_seconds, result = timed(lambda: measure.run(ctx), repeats)
            print(f"  {measure.label:32} {min(seconds):9.3f} s best {statistics.median(seconds):9.3f} s median"
                  f" of {repeats}   {len(result):>8} {measure.unit}"
                  f"   (CPU {min(cpu_seconds):.3f} s best {statistics.median(cpu_seconds):.3f} s median)", flush=True)
        for function in PEAK_RSS_FUNCTIONS if case.peak_rss else ():
            concepts, megabytes = peak_rss(case, function)
            print(f"  {'peak RSS of ' + function:32} {megabytes:9.0f} MB (fresh interpreter)"
                  f"   {concepts:>8} concepts", flush=True)


if __name__ == "__main__":
    main()
