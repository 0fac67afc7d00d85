"""Concepts to Parquet on local threads, Dask and Ray: the engines' cost, how far the split scales, memory.

    python bench/cluster_bench.py --part engines --repeats 5      # threads=2 vs 2 Dask workers vs 2 Ray workers
    python bench/cluster_bench.py --part makespan                 # simulated makespan on 8, 32, 128 workers
    python bench/cluster_bench.py --part memory --objects 20000 --attributes 60 --density 0.32
                                                                  # peak RSS of the driver and 2 Dask workers
                                                                  # while ~10^8 concepts stream out

The job is a seeded random context (--objects, --attributes, --density) whose full walk takes about a minute
on one thread by default. Every figure is the whole call of Context.to_parquet, min and median of the runs,
with the CPU time of the process and every process under it (the workers): the machine may be shared.
"""

from __future__ import annotations

import argparse
import heapq
import os
import shutil
import statistics
import tempfile
import time
from typing import Optional

import numpy as np

import tessara.lab as tl


def job(objects: int, attributes: int, density: float, seed: int) -> tl.Context:
    rng = np.random.default_rng(seed)
    matrix = rng.random((objects, attributes)) < density
    return tl.Context([f"g{i}" for i in range(objects)], [f"m{j}" for j in range(attributes)], matrix)


def cpu_seconds() -> float:
    """CPU time of this process and every process under it (a local cluster's workers, Ray's raylet and
    workers): on a shared machine the engines' cost shows here, whatever the load."""
    import psutil

    total = 0.0
    me = psutil.Process()
    for process in [me] + me.children(recursive=True):
        try:
            times = process.cpu_times()
        except psutil.Error:
            continue
        total += times.user + times.system
    return total


def timed(K: tl.Context, repeats: int, **arguments: object) -> tuple[list[float], list[float], tl.ParquetSummary]:
    times = []
    cpu = []
    summary = None
    for _ in range(repeats):
        folder = tempfile.mkdtemp(prefix="tessara-bench-")
        shutil.rmtree(folder)
        cpu_start = cpu_seconds()
        start = time.perf_counter()
        summary = K.to_parquet(folder, **arguments)
        times.append(time.perf_counter() - start)
        cpu.append(cpu_seconds() - cpu_start)
        shutil.rmtree(folder)
    assert summary is not None
    return times, cpu, summary


def report(label: str, times: list[float], cpu: list[float], summary: tl.ParquetSummary) -> None:
    print(f"{label:<28} min {min(times):8.2f} s  median {statistics.median(times):8.2f} s  "
          f"CPU median {statistics.median(cpu):8.2f} s  {summary.count:,} concepts in {summary.units} units  "
          f"(load {os.getloadavg()[0]:.1f})", flush=True)


def engines(K: tl.Context, repeats: int, which: list[str]) -> None:
    from dask.distributed import Client, LocalCluster
    import ray

    if "one-thread" in which:
        report("local, 1 thread (once)", *timed(K, 1, threads=1))
    report("local, threads=2", *timed(K, repeats, threads=2))
    if "dask" in which:
        with LocalCluster(n_workers=2, threads_per_worker=1, processes=True, host="127.0.0.1",
                          dashboard_address=None) as cluster, Client(cluster) as client:
            timed(K, 1, executor=client)  # the workers import pyarrow and build the walk once
            report("dask, 2 worker processes", *timed(K, repeats, executor=client))
    if "ray" in which:
        ray.init(num_cpus=2, include_dashboard=False, log_to_driver=False)
        try:
            timed(K, 1, executor="ray")
            report("ray, 2 workers", *timed(K, repeats, executor="ray"))
        finally:
            ray.shutdown()
    report("local, threads=2 (again)", *timed(K, repeats, threads=2))


def makespan(timings: tuple[tuple[tuple[int, ...], float, int], ...], workers: int) -> float:
    """List scheduling of the measured units: a unit can start once the unit that split it off has ended."""
    seconds = {key: s for key, s, _ in timings}
    children: dict[tuple[int, ...], list[tuple[int, ...]]] = {}
    for key in seconds:
        if len(key) > 1:
            children.setdefault(key[:-1], []).append(key)
    ready = [(0.0, (0,))]
    free = [0.0] * workers
    end = 0.0
    while ready:
        available, key = heapq.heappop(ready)
        start = max(available, heapq.heappop(free))
        finish = start + seconds[key]
        heapq.heappush(free, finish)
        end = max(end, finish)
        for child in children.get(key, []):
            heapq.heappush(ready, (finish, child))
    return end


def longest_chain(timings: tuple[tuple[tuple[int, ...], float, int], ...]) -> float:
    seconds = {key: s for key, s, _ in timings}
    return max(sum(seconds[key[:i]] for i in range(1, len(key) + 1)) for key in seconds)


def budget(unit_concepts: Optional[int]) -> dict[str, int]:
    """The ``unit_concepts=`` argument when one was given: to_parquet's own default otherwise."""
    return {} if unit_concepts is None else {"unit_concepts": unit_concepts}


def simulate(K: tl.Context, unit_concepts: Optional[int]) -> None:
    folder = tempfile.mkdtemp(prefix="tessara-bench-")
    shutil.rmtree(folder)
    summary = K.to_parquet(folder, threads=1, **budget(unit_concepts))
    shutil.rmtree(folder)
    total = sum(s for _, s, _ in summary.timings)
    longest = max(s for _, s, _ in summary.timings)
    most = max(count for _, _, count in summary.timings)
    print(f"{summary.count:,} concepts, {summary.units} units (the largest {most:,} concepts); "
          f"total unit time {total:.2f} s, longest unit {longest:.2f} s, longest chain of splits "
          f"{longest_chain(summary.timings):.2f} s")
    for workers in (1, 2, 8, 32, 128):
        span = makespan(summary.timings, workers)
        print(f"  {workers:>4} workers: makespan {span:8.2f} s, speed-up {total / span:6.1f} "
              f"(ideal {workers}), efficiency {total / span / workers:5.0%}")


class RssSampler:
    """Samples the resident memory of the given processes every ``interval`` seconds; keeps each one's peak."""

    def __init__(self, pids: dict[str, int], interval: float = 0.25) -> None:
        import threading

        import psutil

        self._processes = {name: psutil.Process(pid) for name, pid in pids.items()}
        self.peaks = {name: 0 for name in pids}
        self.samples = 0
        self._interval = interval
        self._stop = threading.Event()
        self._thread = threading.Thread(target=self._run, daemon=True)

    def _run(self) -> None:
        while not self._stop.wait(self._interval):
            for name, process in self._processes.items():
                try:
                    self.peaks[name] = max(self.peaks[name], process.memory_info().rss)
                except Exception:
                    pass
            self.samples += 1

    def __enter__(self) -> "RssSampler":
        self._thread.start()
        return self

    def __exit__(self, *exc: object) -> None:
        self._stop.set()
        self._thread.join()


def memory(K: tl.Context, unit_concepts: Optional[int]) -> None:
    """Streams the whole walk to Parquet on 2 Dask workers while sampling the RSS of the driver and workers."""
    from dask.distributed import Client, LocalCluster

    folder = tempfile.mkdtemp(prefix="tessara-bench-")
    shutil.rmtree(folder)
    with LocalCluster(n_workers=2, threads_per_worker=1, processes=True, host="127.0.0.1",
                      dashboard_address=None) as cluster, Client(cluster) as client:
        pids = {"driver (and scheduler)": os.getpid()}
        for i, pid in enumerate(client.run(os.getpid).values()):
            pids[f"worker {i}"] = pid
        with RssSampler(pids) as sampler:
            start = time.perf_counter()
            summary = K.to_parquet(folder, max_concepts=None, executor=client, **budget(unit_concepts))
            seconds = time.perf_counter() - start
    shutil.rmtree(folder)
    print(f"{summary.count:,} concepts in {seconds:.1f} s on 2 Dask workers, {summary.units} units, "
          f"{summary.bytes / 2**20:,.0f} MiB of Parquet; {sampler.samples} samples (load "
          f"{os.getloadavg()[0]:.1f})")
    for name, peak in sampler.peaks.items():
        print(f"  peak RSS {name:<24} {peak / 2**20:8,.0f} MiB")


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--part", choices=["engines", "makespan", "memory"], action="append", required=True)
    parser.add_argument("--repeats", type=int, default=5)
    parser.add_argument("--engine", choices=["one-thread", "dask", "ray"], action="append",
                        help="with --part engines: which engines beside local threads=2 (default: all)")
    parser.add_argument("--objects", type=int, default=3000)
    parser.add_argument("--attributes", type=int, default=80)
    parser.add_argument("--density", type=float, default=0.3)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--unit-concepts", type=int, default=None,
                        help="with --part makespan or memory: the units' budget (default: to_parquet's)")
    arguments = parser.parse_args()
    print(f"load average {os.getloadavg()[0]:.1f}; job {arguments.objects} x {arguments.attributes} at "
          f"{arguments.density}, seed {arguments.seed}")
    K = job(arguments.objects, arguments.attributes, arguments.density, arguments.seed)
    if "engines" in arguments.part:
        engines(K, arguments.repeats, arguments.engine or ["one-thread", "dask", "ray"])
    if "makespan" in arguments.part:
        simulate(K, arguments.unit_concepts)
    if "memory" in arguments.part:
        memory(K, arguments.unit_concepts)


if __name__ == "__main__":
    main()
