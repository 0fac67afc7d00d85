"""Units as tasks of a Ray session: the context goes into the object store once, tasks return summaries."""

from __future__ import annotations

import queue
from typing import Any, Iterable

from tessara.lab._optional import optional_module
from tessara.lab._executors import drain
from tessara.lab._units import ContextPayload, UnitSummary, run_shipped_unit


class RayExecutor:
    """Runs units as Ray tasks in the running session (a local one is started when none runs)."""

    name = "ray"

    def __init__(self) -> None:
        self._ray = optional_module("ray")
        self._payload: Any = None
        self._task: Any = None
        self._job: tuple[str, int, str, int, bool] = ("", 0, "", 0, False)
        # Finished references, put by Ray's callback thread: waiting costs nothing per pending unit.
        self._finished: queue.SimpleQueue[Any] = queue.SimpleQueue()

    def start(self, payload: ContextPayload, kernel: Any, algorithm: str, min_support: int, directory: str,
              budget: int, extents: bool) -> None:
        if not self._ray.is_initialized():
            self._ray.init()
        self._payload = self._ray.put(payload)
        # A lost worker's unit runs again (it writes the same bytes).
        self._task = self._ray.remote(max_retries=3)(run_shipped_unit)
        self._job = (algorithm, min_support, directory, budget, extents)

    def submit(self, key: tuple[int, ...], unit: tuple[bytes, ...]) -> Any:
        algorithm, min_support, directory, budget, extents = self._job
        reference = self._task.remote(self._payload, algorithm, min_support, directory, key, unit, budget, extents)
        reference.future().add_done_callback(lambda _, finished=self._finished, done=reference: finished.put(done))
        return reference

    def wait(self, handles: Iterable[Any], timeout: float) -> list[Any]:
        return drain(self._finished, timeout)

    def result(self, handle: Any) -> UnitSummary:
        summary: UnitSummary = self._ray.get(handle)
        return summary

    def cancel(self, handles: Iterable[Any]) -> None:
        for reference in handles:
            self._ray.cancel(reference, force=True)

    def close(self) -> None:
        self._payload = None
        self._task = None
