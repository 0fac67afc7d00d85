"""Units as tasks of a Dask cluster: the context is scattered to every worker once, tasks return summaries."""

from __future__ import annotations

import uuid
from typing import Any, Iterable

from tessara.lab._executors import FinishedFutures
from tessara.lab._optional import optional_module
from tessara.lab._units import ContextPayload, part_name, run_shipped_unit


class DaskExecutor(FinishedFutures):
    """Runs units on the workers of a ``dask.distributed.Client``; its dashboard shows them as tasks."""

    name = "dask"

    def __init__(self, client: Any) -> None:
        super().__init__()
        self._distributed = optional_module("distributed")
        self._client = client
        self._payload: Any = None
        self._job: tuple[str, int, str, int, bool] = ("", 0, "", 0, False)
        self._run = uuid.uuid4().hex[:12]

    def start(self, payload: ContextPayload, kernel: Any, algorithm: str, min_support: int, directory: str,
              budget: int, extents: bool) -> None:
        # One copy per worker, not one per task.
        self._payload = self._client.scatter(payload, broadcast=True, hash=False)
        self._job = (algorithm, min_support, directory, budget, extents)

    def submit(self, key: tuple[int, ...], unit: tuple[bytes, ...]) -> Any:
        algorithm, min_support, directory, budget, extents = self._job
        return self._watch(self._client.submit(
            run_shipped_unit, self._payload, algorithm, min_support, directory, key, unit, budget, extents,
            key=f"tessara-unit-{self._run}-{part_name(key)}", pure=False,
        ))

    def cancel(self, handles: Iterable[Any]) -> None:
        futures = list(handles)
        if futures:
            self._client.cancel(futures, force=True)

    def close(self) -> None:
        if self._payload is not None:
            self._payload.release()
            self._payload = None

