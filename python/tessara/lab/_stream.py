"""Concepts one at a time, in bounded memory: what Context.iter_concepts hands out."""

from __future__ import annotations

from collections.abc import Iterator
from itertools import repeat
from typing import TYPE_CHECKING, Optional, Union

from tessara import _lab
from tessara.lab._names import names_at
from tessara.lab._run import (
    Progress,
    check_progress,
    progress_reporter,
    resolve_max_concepts,
    resolve_min_support,
    resolve_threads,
)

if TYPE_CHECKING:
    import numpy as np
    import numpy.typing as npt

    from tessara.lab._context import Context
    from tessara.lab._names import Indices
else:
    from tessara.lab._lazy import np


class _Batch:
    """One batch of a stream (a few thousand concepts in the kernel) and what its concepts share."""

    __slots__ = ("kernel", "context", "first", "_supports")

    def __init__(self, kernel: _lab.Lattice, context: Context, first: int) -> None:
        self.kernel = kernel
        self.context = context
        self.first = first
        self._supports: Optional[npt.NDArray[np.uint64]] = None

    def support(self, position: int) -> int:
        if self._supports is None:
            self._supports = np.frombuffer(self.kernel.extent_sizes(), dtype=np.uint64)
        return int(self._supports[position])


class StreamedConcept:
    """A concept handed out by :meth:`Context.iter_concepts`.

    It has what a :class:`Concept` of a lattice has on its own (``index``, ``extent``, ``intent``, ``support``,
    ``extent_indices``, ``intent_indices``) but no lattice around it, so no neighbours. ``index`` is the concept's
    position in the stream, which is its index in ``Context.lattice(...)`` with the same algorithm and
    ``min_support``. Each concept reads its sets from the batch of concepts it came in (at most a few thousand,
    held in C++): keeping a concept keeps its batch, dropping the concepts frees it.

    Two streamed concepts are equal when they come from the same context and have the same intent.

    Examples
    --------
    >>> import tessara.lab as tl
    >>> K = tl.Context(["duck", "trout", "frog"], ["flies", "swims", "croaks"], [[1, 1, 0], [0, 1, 0], [0, 1, 1]])
    >>> for concept in K.iter_concepts(min_support=2):
    ...     print(concept.index, concept.extent, concept.intent)
    0 ('duck', 'trout', 'frog') ('swims',)
    """

    __slots__ = ("_batch", "_position")

    def __init__(self, batch: _Batch, position: int) -> None:
        self._batch = batch
        self._position = position

    @property
    def index(self) -> int:
        """The position of the concept in the stream (the enumeration algorithm's order).

        Examples
        --------
        >>> import tessara.lab as tl
        >>> K = tl.datasets.load("planets")
        >>> [c.index for c in K.iter_concepts(min_support=5)]
        [0, 1, 2, 3]
        """
        return self._batch.first + self._position

    @property
    def extent(self) -> tuple[str, ...]:
        """The object names of the extent, in context order.

        Examples
        --------
        >>> import tessara.lab as tl
        >>> K = tl.datasets.load("planets")
        >>> next(iter(K.iter_concepts(min_support=7))).extent
        ('Mercury', 'Venus', 'Earth', 'Mars', 'Jupiter', 'Saturn', 'Uranus', 'Neptune', 'Pluto')
        """
        return names_at(self._batch.context.objects, self.extent_indices)

    @property
    def intent(self) -> tuple[str, ...]:
        """The attribute names of the intent, in context order.

        Examples
        --------
        >>> import tessara.lab as tl
        >>> K = tl.datasets.load("planets")
        >>> [c.intent for c in K.iter_concepts(min_support=5)]
        [(), ('small',), ('far', 'moon'), ('moon',)]
        """
        return names_at(self._batch.context.attributes, self.intent_indices)

    @property
    def extent_indices(self) -> Indices:
        """The object positions of the extent, ascending (read-only uint32 array).

        Examples
        --------
        >>> import tessara.lab as tl
        >>> K = tl.datasets.load("planets")
        >>> [c.extent_indices for c in K.iter_concepts(min_support=7)]
        [array([0, 1, 2, 3, 4, 5, 6, 7, 8], dtype=uint32), array([2, 3, 4, 5, 6, 7, 8], dtype=uint32)]
        """
        return np.frombuffer(self._batch.kernel.extent(self._position), dtype=np.uint32)

    @property
    def intent_indices(self) -> Indices:
        """The attribute positions of the intent, ascending (read-only uint32 array).

        Examples
        --------
        >>> import tessara.lab as tl
        >>> K = tl.datasets.load("planets")
        >>> [c.intent_indices for c in K.iter_concepts(min_support=5)]
        [array([], dtype=uint32), array([0], dtype=uint32), array([4, 5], dtype=uint32), array([5], dtype=uint32)]
        """
        return np.frombuffer(self._batch.kernel.intent(self._position), dtype=np.uint32)

    @property
    def support(self) -> int:
        """The number of objects in the extent.

        Examples
        --------
        >>> import tessara.lab as tl
        >>> K = tl.datasets.load("planets")
        >>> [c.support for c in K.iter_concepts(min_support=5)]
        [9, 5, 5, 7]
        """
        return self._batch.support(self._position)

    def __eq__(self, other: object) -> bool:
        if not isinstance(other, StreamedConcept):
            return NotImplemented
        return self._batch.context is other._batch.context and bool(
            np.array_equal(self.intent_indices, other.intent_indices)
        )

    def __hash__(self) -> int:
        return hash((id(self._batch.context), self._batch.kernel.intent(self._position)))

    def __repr__(self) -> str:
        from tessara.lab._lattice import _shortened

        return f"StreamedConcept(#{self.index}, extent={_shortened(self.extent)}, intent={_shortened(self.intent)})"


def iter_concepts(
    context: Context,
    min_support: Union[int, float],
    algorithm: str,
    threads: Optional[int],
    max_concepts: Optional[int],
    progress: Progress,
) -> Iterator[StreamedConcept]:
    """Checks the arguments at once, then hands the concepts out lazily (see :meth:`Context.iter_concepts`)."""
    if not isinstance(algorithm, str):
        raise TypeError(f"algorithm must be a str, not {type(algorithm).__name__}")
    support = resolve_min_support(min_support, context.shape[0])
    limit = resolve_max_concepts(max_concepts)
    workers = resolve_threads(threads)
    check_progress(progress)
    # An unknown algorithm is refused here rather than at the first next().
    stream = _lab.open_stream(context._kernel, algorithm, support, limit, workers)
    return _concepts(context, stream, progress)


def _concepts(context: Context, stream: _lab.ConceptStream, progress: Progress) -> Iterator[StreamedConcept]:
    # Closing the generator (or dropping it) stops the walk and frees what it holds. The progress bar appears
    # with the first concept asked for.
    handed_out = 0
    with progress_reporter(progress) as reporter:
        callback = reporter.callback
        try:
            while True:
                kernel = stream.next_batch()
                if kernel is None:
                    break
                batch = _Batch(kernel, context, handed_out)
                count = kernel.n_concepts
                handed_out += count
                if callback is not None:
                    callback(handed_out)
                del kernel
                # map builds the concepts without resuming this frame for each one.
                yield from map(StreamedConcept, repeat(batch, count), range(count))
                del batch
        finally:
            stream.close()
