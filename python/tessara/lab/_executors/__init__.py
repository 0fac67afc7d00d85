"""Where the units of a walk run: local threads, a Dask cluster or a Ray session, behind one small protocol.

An executor starts once per run (shipping the context to its workers once), then takes units and hands back
their summaries. Adding an engine is one module here with a class that has these five methods, and one line in
:func:`resolve_executor`.
"""

from __future__ import annotations

import queue
from typing import Any, Iterable, Optional, Protocol

from tessara.lab._units import ContextPayload, UnitSummary


class Executor(Protocol):
    """What the driver of a split walk needs from an engine."""

    #: The engine's name, as the run's summary reports it.
    name: str

    def start(self, payload: ContextPayload, kernel: Any, algorithm: str, min_support: int, directory: str,
              budget: int, extents: bool) -> None:
        """Prepares the run: ships the context once to every worker (or prepares the local walk)."""

    def submit(self, key: tuple[int, ...], unit: tuple[bytes, ...]) -> Any:
        """Starts one unit (subtrees of the walk, in order); a handle for :meth:`wait`, :meth:`result` and :meth:`cancel`."""

    def wait(self, handles: Iterable[Any], timeout: float) -> list[Any]:
        """The handles among ``handles`` that are done, after at most ``timeout`` seconds (maybe none)."""

    def result(self, handle: Any) -> UnitSummary:
        """The summary of a finished unit (raises what the unit raised)."""

    def cancel(self, handles: Iterable[Any]) -> None:
        """Stops the given units and every later one as soon as the engine allows."""

    def close(self) -> None:
        """Gives back what :meth:`start` took (threads, the shipped context)."""


def drain(finished: queue.SimpleQueue[Any], timeout: float) -> list[Any]:
    """What finished: waits up to ``timeout`` for the first, then takes every other one already there."""
    try:
        done = [finished.get(timeout=timeout)]
    except queue.Empty:
        return []
    while True:
        try:
            done.append(finished.get_nowait())
        except queue.Empty:
            return done


class FinishedFutures:
    """The part of an executor whose handles are ``concurrent.futures``-like futures (local threads, Dask): the
    finished ones reach the driver through one C-level queue, put by the engine's callback thread, so waiting
    costs nothing per pending unit and Ctrl-C in the waiting thread never leaves a lock held."""

    def __init__(self) -> None:
        self._finished: queue.SimpleQueue[Any] = queue.SimpleQueue()

    def _watch(self, future: Any) -> Any:
        future.add_done_callback(self._finished.put)
        return future

    def wait(self, handles: Iterable[Any], timeout: float) -> list[Any]:
        return drain(self._finished, timeout)

    def result(self, handle: Any) -> UnitSummary:
        summary: UnitSummary = handle.result()
        return summary


def resolve_executor(executor: Any, threads: Optional[int]) -> Executor:
    """The executor for the ``executor=`` argument of :meth:`Context.to_parquet`.

    ``None`` runs on local threads; a ``dask.distributed.Client`` on its cluster; ``"ray"`` or the ``ray``
    module on the running (or a new local) Ray session.
    """
    if executor is None:
        from tessara.lab._executors._local import LocalExecutor

        return LocalExecutor(threads)
    module = type(executor).__module__ or ""
    if module.split(".")[0] == "distributed" and type(executor).__name__ == "Client":
        from tessara.lab._executors._dask import DaskExecutor

        return DaskExecutor(executor)
    if executor == "ray" or getattr(executor, "__name__", None) == "ray":
        from tessara.lab._executors._ray import RayExecutor

        return RayExecutor()
    raise TypeError(
        "executor must be None (local threads), a dask.distributed.Client, or \"ray\" (the ray module), "
        f"not {executor!r}"
    )
