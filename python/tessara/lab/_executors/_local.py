"""Units on this process's threads: the walk is prepared once and shared by every thread."""

from __future__ import annotations

import concurrent.futures
from typing import Any, Iterable, Optional

from tessara import _lab
from tessara.lab._executors import FinishedFutures
from tessara.lab._run import resolve_threads
from tessara.lab._units import ContextPayload, run_unit


class LocalExecutor(FinishedFutures):
    """Runs units on a pool of threads of this process (the kernels run without the interpreter lock)."""

    name = "local"

    def __init__(self, threads: Optional[int]) -> None:
        super().__init__()
        self._threads = resolve_threads(threads)
        self._pool: Optional[concurrent.futures.ThreadPoolExecutor] = None
        self._walk: Any = None
        self._job: tuple[str, int, bool] = ("", 0, False)

    def start(self, payload: ContextPayload, kernel: Any, algorithm: str, min_support: int, directory: str,
              budget: int, extents: bool) -> None:
        self._walk = _lab.unit_walk(kernel, algorithm, min_support)
        self._job = (directory, budget, extents)
        self._pool = concurrent.futures.ThreadPoolExecutor(self._threads, thread_name_prefix="tessara-unit")

    def submit(self, key: tuple[int, ...], unit: tuple[bytes, ...]) -> Any:
        assert self._pool is not None
        directory, budget, extents = self._job
        # Not concurrent.futures.wait, whose Ctrl-C can leave a future's lock held.
        return self._watch(self._pool.submit(run_unit, self._walk, directory, key, unit, budget, extents))

    def cancel(self, handles: Iterable[Any]) -> None:
        if self._walk is not None:
            self._walk.cancel()
        for handle in handles:
            handle.cancel()

    def close(self) -> None:
        if self._pool is not None:
            self._pool.shutdown(wait=True)
            self._pool = None
        self._walk = None
