"""Long runs: minimum support, limits, threads, progress and interrupting.

The kernels do the work in C++ (``tessara._lab.mine_lattice`` and
``tessara._lab.open_stream``); this module turns the user's arguments into
theirs and shows progress. Ctrl-C stops every run within a fraction of a
second: the computing thread takes the interpreter lock every 20 ms to let
Python handle the signal, the run is abandoned and its memory given back.
"""

from __future__ import annotations

import importlib
import numbers
import os
import sys
import time
from typing import Any, Callable, Iterator, Optional, Union

from tessara import _lab
from tessara.lab._checks import UINT64_MAX, fraction_of, whole_number

__all__ = ["TooManyConcepts", "check_progress", "resolve_min_support", "resolve_threads", "resolve_max_concepts", "progress_reporter",
           "mine_lattice", "stream_batches"]

#: No limit on the number of concepts.
UNLIMITED = UINT64_MAX
#: More worker threads than this are taken as this many.
MAX_THREADS = 1024

Progress = Union[bool, Callable[[int], Any], None]


class TooManyConcepts(ValueError):
    """A run found more concepts than its ``max_concepts`` allows.

    Nothing is kept: raise the limit, or set ``min_support`` to keep only the
    concepts whose extents hold at least that many objects.

    Examples
    --------
    >>> import tessara.lab as tl
    >>> K = tl.Context(["duck", "trout", "frog"], ["flies", "swims", "croaks"], [[1, 1, 0], [0, 1, 0], [0, 1, 1]])
    >>> K.lattice(max_concepts=2)  # doctest: +IGNORE_EXCEPTION_DETAIL
    Traceback (most recent call last):
    TooManyConcepts: more than 2 concepts; raise max_concepts, or set min_support to keep only the concepts of ...
    >>> issubclass(tl.TooManyConcepts, ValueError)
    True
    """


def resolve_min_support(min_support: Union[int, float], n_objects: int) -> int:
    """The minimum support in objects.

    Parameters
    ----------
    min_support : int or float
        A number of objects (int, ``>= 0``; any number past the object count keeps no concept) or a
        fraction of the objects (float in ``(0, 1]``, rounded up exactly: 0.1 of 25 objects is 3, and any
        positive fraction of a non-empty context is at least one object).
    n_objects : int
        The number of objects of the context.
    """
    if isinstance(min_support, bool) or not isinstance(min_support, numbers.Real):
        raise TypeError(f"min_support must be an int or a float, not {type(min_support).__name__}")
    if isinstance(min_support, numbers.Integral):
        # Every threshold past the object count means the same: no extent is that large.
        return whole_number("min_support", min_support, most=n_objects + 1, saturate=True)
    fraction = float(min_support)
    if not 0.0 < fraction <= 1.0:
        raise ValueError(f"min_support as a fraction must lie in (0, 1], got {min_support}")
    return fraction_of("min_support", fraction, n_objects)


def resolve_max_concepts(max_concepts: Optional[int]) -> int:
    """The kernel's limit: ``None`` means none, and so does any limit past the kernel's count."""
    if max_concepts is None:
        return UNLIMITED
    if isinstance(max_concepts, bool) or not isinstance(max_concepts, numbers.Integral):
        raise TypeError(f"max_concepts must be an int or None, not {type(max_concepts).__name__}")
    return whole_number("max_concepts", max_concepts, most=UNLIMITED, saturate=True)


def resolve_threads(threads: Optional[int]) -> int:
    """The number of worker threads: ``None`` is every core this process may run on."""
    if threads is None:
        return max(1, len(os.sched_getaffinity(0))) if hasattr(os, "sched_getaffinity") else (os.cpu_count() or 1)
    if isinstance(threads, bool) or not isinstance(threads, numbers.Integral):
        raise TypeError(f"threads must be an int or None, not {type(threads).__name__}")
    return whole_number("threads", threads, least=1, most=MAX_THREADS, saturate=True)


def check_progress(progress: Progress) -> Progress:
    """``progress`` itself when it is a bool, None or a callable; TypeError otherwise."""
    if progress in (True, False, None) or callable(progress):
        return progress
    raise TypeError(f"progress must be a bool or a callable, not {type(progress).__name__}")


class _StderrLine:
    """A progress line on stderr, rewritten in place, for when tqdm is missing."""

    def __init__(self, description: str) -> None:
        self._description = description
        self._start = time.monotonic()

    def update_to(self, found: int) -> None:
        elapsed = time.monotonic() - self._start
        sys.stderr.write(f"\r{self._description}: {found:,}, {elapsed:.1f} s")
        sys.stderr.flush()

    def close(self) -> None:
        sys.stderr.write("\n")
        sys.stderr.flush()


class _Bar:
    """A tqdm bar counting what its description names (no total: the count is not known ahead)."""

    def __init__(self, description: str) -> None:
        tqdm = importlib.import_module("tqdm.auto").tqdm
        self._bar = tqdm(desc=description, unit=f" {description}", unit_scale=True)

    def update_to(self, found: int) -> None:
        self._bar.update(found - self._bar.n)

    def close(self) -> None:
        self._bar.close()


class progress_reporter:  # noqa: N801 - a context manager used like a function
    """What a run calls with its running count, and how it ends.

    ``progress=True`` shows a tqdm bar (``tqdm.auto``, so it renders in
    notebooks) when tqdm is installed and a line on stderr otherwise; a callable
    is called with the count; ``False``/``None`` reports nothing.
    """

    def __init__(self, progress: Progress, description: str = "concepts") -> None:
        self._view: Optional[Union[_Bar, _StderrLine]] = None
        self._callable: Optional[Callable[[int], Any]] = None
        if progress is True:
            try:
                self._view = _Bar(description)
            except ImportError:
                self._view = _StderrLine(description)
        elif callable(progress):
            self._callable = progress
        else:
            check_progress(progress)

    @property
    def callback(self) -> Optional[Callable[[int], Any]]:
        """The function the kernel calls with the running count, or None."""
        if self._view is not None:
            return self._view.update_to
        return self._callable

    def finish(self, found: int) -> None:
        """Reports the final count of a completed run."""
        callback = self.callback
        if callback is not None:
            callback(found)

    def __enter__(self) -> "progress_reporter":
        return self

    def __exit__(self, *exc_info: object) -> None:
        if self._view is not None:
            self._view.close()


def mine_lattice(kernel_context: _lab.Context, n_objects: int, algorithm: str, min_support: Union[int, float] = 0,
                 max_concepts: Optional[int] = None, threads: Optional[int] = None,
                 progress: Progress = False) -> _lab.Lattice:
    """The kernel lattice (``tessara._lab.Lattice``) of the frequent concepts and their cover edges."""
    support = resolve_min_support(min_support, n_objects)
    limit = resolve_max_concepts(max_concepts)
    workers = resolve_threads(threads)
    with progress_reporter(progress) as reporter:
        lattice = _lab.mine_lattice(kernel_context, algorithm, support, limit, workers, reporter.callback)
        reporter.finish(lattice.n_concepts)
    return lattice


def stream_batches(kernel_context: _lab.Context, n_objects: int, algorithm: str, min_support: Union[int, float] = 0,
                   max_concepts: Optional[int] = None, threads: Optional[int] = None) -> Iterator[_lab.Lattice]:
    """Batches of concepts in the algorithm's order (kernel lattices without edges), in bounded memory.

    The walk runs in the background; closing the generator (or dropping it)
    stops it and frees what it holds.
    """
    support = resolve_min_support(min_support, n_objects)
    limit = resolve_max_concepts(max_concepts)
    workers = resolve_threads(threads)
    stream = _lab.open_stream(kernel_context, algorithm, support, limit, workers)
    try:
        while True:
            batch = stream.next_batch()
            if batch is None:
                return
            yield batch
    finally:
        stream.close()
