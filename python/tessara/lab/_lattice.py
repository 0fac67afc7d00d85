"""The concept lattice and its concepts."""

from __future__ import annotations

import weakref
from collections.abc import Iterable, Iterator
from typing import TYPE_CHECKING, Any, Optional, Union, cast, overload

import numpy as np
import numpy.typing as npt

from tessara import _lab
from tessara.lab._diagram import COUNTS_ABOVE, ConceptSelection, Diagram, draw
from tessara.lab._formats import Path, path_text
from tessara.lab._names import Key, names_at
from tessara.lab._optional import optional_module
from tessara.lab._run import Progress, check_progress, progress_reporter

if TYPE_CHECKING:
    from tessara.lab._context import Context
    from tessara.lab._names import Indices
    from tessara.lab._rules import Stability
    from tessara.lab._structure import Verdict

#: How many names a concept's repr shows of its extent or intent before it shortens.
REPR_NAMES = 6

#: A concept, or its index in its lattice.
ConceptLike = Union["Concept", int]


def _shortened(names: tuple[str, ...]) -> str:
    if len(names) <= REPR_NAMES:
        return repr(names)
    shown = ", ".join(repr(name) for name in names[: REPR_NAMES - 1])
    return f"({shown}, … {len(names) - REPR_NAMES + 1} more)"


class _LatticeData:
    """What a lattice knows, shared by the Lattice and every Concept of it: the kernel, the context and arrays
    made once. It holds no Concept and refers to its Lattice only weakly, so concepts handed out keep it alive
    without a reference cycle, and a dropped lattice frees its memory at once."""

    __slots__ = ("kernel", "context", "part", "view", "_supports", "_edges", "_upper", "_lower")

    def __init__(self, kernel: _lab.Lattice, context: Context, part: bool = False) -> None:
        self.kernel = kernel
        self.context = context
        # A part of a lattice closed under meet and join (an interval, filter, ideal or generated sublattice):
        # a lattice, though not every concept of its context.
        self.part = part
        self.view: Optional[weakref.ref[Lattice]] = None
        self._supports: Optional[npt.NDArray[np.int64]] = None
        self._edges: Optional[npt.NDArray[np.intp]] = None
        # Neighbour lists in compressed form: for concept i, indices[pointers[i]:pointers[i + 1]].
        self._upper: Optional[tuple[npt.NDArray[np.intp], npt.NDArray[np.intp]]] = None
        self._lower: Optional[tuple[npt.NDArray[np.intp], npt.NDArray[np.intp]]] = None

    def lattice(self) -> Lattice:
        """The Lattice over this data: the one alive, or a new one."""
        view = None if self.view is None else self.view()
        return Lattice._over(self) if view is None else view

    @property
    def supports(self) -> npt.NDArray[np.int64]:
        if self._supports is None:
            supports = np.frombuffer(self.kernel.extent_sizes(), dtype=np.uint64).astype(np.int64)
            supports.flags.writeable = False
            self._supports = supports
        return self._supports

    @property
    def edges(self) -> npt.NDArray[np.intp]:
        if self._edges is None:
            edges = np.frombuffer(self.kernel.edges(), dtype=np.uint32).reshape(-1, 2).astype(np.intp)
            edges.flags.writeable = False
            self._edges = edges
        return self._edges

    def neighbour_lists(self, upper: bool) -> tuple[npt.NDArray[np.intp], npt.NDArray[np.intp]]:
        """(pointers, indices): the upper (lower) neighbours of concept i are indices[pointers[i]:pointers[i + 1]]."""
        lists = self._upper if upper else self._lower
        if lists is not None:
            return lists
        edges = self.edges
        # Edges are sorted by (lower, upper): grouped by lower they list each concept's upper neighbours
        # ascending; a stable sort by upper groups the lower neighbours, ascending as well.
        if upper:
            keys, indices = edges[:, 0], edges[:, 1]
        else:
            order = np.argsort(edges[:, 1], kind="stable")
            keys, indices = edges[order, 1], edges[order, 0]
        pointers = np.zeros(self.kernel.n_concepts + 1, dtype=np.intp)
        np.cumsum(np.bincount(keys, minlength=self.kernel.n_concepts), out=pointers[1:])
        lists = (pointers, np.ascontiguousarray(indices))
        if upper:
            self._upper = lists
        else:
            self._lower = lists
        return lists


class Concept:
    """One formal concept of a lattice: a view (lattice, index) that reads the lattice on demand.

    Two concepts are equal when they are the same index of the same lattice. ``a <= b`` says that ``a`` is a
    subconcept of ``b`` (its extent lies inside ``b``'s).

    Examples
    --------
    >>> import tessara.lab as tl
    >>> K = tl.Context(["duck", "trout", "frog"], ["flies", "swims", "croaks"], [[1, 1, 0], [0, 1, 0], [0, 1, 1]])
    >>> L = K.lattice()
    >>> frog = L.object_concept("frog")
    >>> frog.extent, frog.intent, frog.support
    (('frog',), ('swims', 'croaks'), 1)
    >>> frog <= L.top, [c.intent for c in frog.upper]
    (True, [('swims',)])
    """

    __slots__ = ("_data", "_index", "_extent", "_intent", "__weakref__")

    def __init__(self, data: _LatticeData, index: int) -> None:
        self._data = data
        self._index = index
        self._extent: Optional[tuple[str, ...]] = None
        self._intent: Optional[tuple[str, ...]] = None

    @property
    def index(self) -> int:
        """The position of the concept in its lattice (the enumeration algorithm's order).

        Examples
        --------
        >>> import tessara.lab as tl
        >>> K = tl.datasets.load("planets")
        >>> L = K.lattice()
        >>> L.object_concept("Earth").index
        4
        """
        return self._index

    @property
    def lattice(self) -> Lattice:
        """The lattice the concept belongs to.

        Examples
        --------
        >>> import tessara.lab as tl
        >>> K = tl.datasets.load("planets")
        >>> L = K.lattice()
        >>> L[0].lattice is L
        True
        """
        return self._data.lattice()

    @property
    def extent(self) -> tuple[str, ...]:
        """The object names of the extent, in context order.

        Examples
        --------
        >>> import tessara.lab as tl
        >>> K = tl.datasets.load("planets")
        >>> L = K.lattice()
        >>> L.attribute_concept("far").extent
        ('Jupiter', 'Saturn', 'Uranus', 'Neptune', 'Pluto')
        """
        if self._extent is None:
            self._extent = names_at(self._data.context.objects, self.extent_indices)
        return self._extent

    @property
    def intent(self) -> tuple[str, ...]:
        """The attribute names of the intent, in context order.

        Examples
        --------
        >>> import tessara.lab as tl
        >>> K = tl.datasets.load("planets")
        >>> L = K.lattice()
        >>> L.object_concept("Earth").intent
        ('small', 'near', 'moon')
        """
        if self._intent is None:
            self._intent = names_at(self._data.context.attributes, self.intent_indices)
        return self._intent

    @property
    def extent_indices(self) -> Indices:
        """The object positions of the extent, ascending (read-only uint32 array).

        Examples
        --------
        >>> import tessara.lab as tl
        >>> K = tl.datasets.load("planets")
        >>> L = K.lattice()
        >>> L.attribute_concept("far").extent_indices
        array([4, 5, 6, 7, 8], dtype=uint32)
        """
        return np.frombuffer(self._data.kernel.extent(self._index), dtype=np.uint32)

    @property
    def intent_indices(self) -> Indices:
        """The attribute positions of the intent, ascending (read-only uint32 array).

        Examples
        --------
        >>> import tessara.lab as tl
        >>> K = tl.datasets.load("planets")
        >>> L = K.lattice()
        >>> L.object_concept("Earth").intent_indices
        array([0, 3, 5], dtype=uint32)
        """
        return np.frombuffer(self._data.kernel.intent(self._index), dtype=np.uint32)

    @property
    def support(self) -> int:
        """The number of objects in the extent.

        Examples
        --------
        >>> import tessara.lab as tl
        >>> K = tl.datasets.load("planets")
        >>> L = K.lattice()
        >>> L.attribute_concept("moon").support
        7
        """
        return int(self._data.supports[self._index])

    @property
    def upper(self) -> tuple[Concept, ...]:
        """The upper neighbours (the concepts covering this one), by ascending index.

        Examples
        --------
        >>> import tessara.lab as tl
        >>> K = tl.datasets.load("planets")
        >>> L = K.lattice()
        >>> [c.intent for c in L.object_concept("Earth").upper]
        [('small', 'near'), ('small', 'moon')]
        """
        return self._neighbours(upper=True)

    @property
    def lower(self) -> tuple[Concept, ...]:
        """The lower neighbours (the concepts this one covers), by ascending index.

        Examples
        --------
        >>> import tessara.lab as tl
        >>> K = tl.datasets.load("planets")
        >>> L = K.lattice()
        >>> [c.extent for c in L.attribute_concept("far").lower]
        [('Pluto',), ('Uranus', 'Neptune'), ('Jupiter', 'Saturn')]
        """
        return self._neighbours(upper=False)

    @property
    def generators(self) -> tuple[tuple[str, ...], ...]:
        """The minimal generators (keys) of the intent: see :meth:`Lattice.generators`.

        Examples
        --------
        >>> import tessara.lab as tl
        >>> K = tl.datasets.load("planets")
        >>> L = K.lattice()
        >>> L.object_concept("Earth").generators
        (('near', 'moon'),)
        """
        return self.lattice.generators(self)

    def _neighbours(self, upper: bool) -> tuple[Concept, ...]:
        view = None if self._data.view is None else self._data.view()
        if view is not None:
            return view._neighbours(self._index, upper)
        # The lattice itself was dropped: new views of the neighbours, not cached.
        pointers, indices = self._data.neighbour_lists(upper)
        chosen = indices[pointers[self._index] : pointers[self._index + 1]].tolist()
        return tuple([Concept(self._data, i) for i in chosen])

    def _comparable(self, other: object) -> bool:
        return isinstance(other, Concept) and other._data is self._data

    def __eq__(self, other: object) -> bool:
        if not isinstance(other, Concept):
            return NotImplemented
        return self._data is other._data and self._index == other._index

    def __hash__(self) -> int:
        return hash((id(self._data), self._index))

    def __le__(self, other: Concept) -> bool:
        if not self._comparable(other):
            return NotImplemented
        return bool(np.isin(other.intent_indices, self.intent_indices, assume_unique=True).all())

    def __lt__(self, other: Concept) -> bool:
        if not self._comparable(other):
            return NotImplemented
        return self._index != other._index and self <= other

    def __ge__(self, other: Concept) -> bool:
        if not self._comparable(other):
            return NotImplemented
        return other <= self

    def __gt__(self, other: Concept) -> bool:
        if not self._comparable(other):
            return NotImplemented
        return other < self

    def __repr__(self) -> str:
        return f"Concept(#{self._index}, extent={_shortened(self.extent)}, intent={_shortened(self.intent)})"


class Lattice:
    """Every concept of a context with the cover relation between them.

    Made by :meth:`Context.lattice` or :func:`load`. An iceberg lattice (``Context.lattice(min_support=...)``)
    holds the frequent concepts only, with the cover relation among them; its ``bottom`` may then be None. ``len(L)``, ``L[i]`` and ``iter(L)`` give the concepts in
    the enumeration algorithm's order; ``L.edges`` holds the cover relation as (lower, upper) index pairs.

    Examples
    --------
    >>> import tessara.lab as tl
    >>> K = tl.Context(["duck", "trout", "frog"], ["flies", "swims", "croaks"], [[1, 1, 0], [0, 1, 0], [0, 1, 1]])
    >>> L = K.lattice()
    >>> L
    Lattice(concepts=4, edges=4, objects=3, attributes=3)
    >>> [c.intent for c in L]
    [('swims',), ('flies', 'swims'), ('flies', 'swims', 'croaks'), ('swims', 'croaks')]
    >>> L.join(L.object_concept("duck"), L.object_concept("frog")).intent
    ('swims',)
    """

    __slots__ = ("_data", "_concepts", "_complete", "_upper", "_lower", "__weakref__")

    _data: _LatticeData
    _concepts: list[Optional[Concept]]
    _complete: bool  # whether every concept has been made
    # Each concept's neighbours as the tuple a query returns, made for every concept on the first query.
    _upper: Optional[list[tuple[Concept, ...]]]
    _lower: Optional[list[tuple[Concept, ...]]]

    def __init__(self) -> None:
        raise TypeError("a Lattice comes from Context.lattice() or tessara.lab.load()")

    @classmethod
    def _from_kernel(cls, kernel: _lab.Lattice, context: Context) -> Lattice:
        return cls._over(_LatticeData(kernel, context))

    @classmethod
    def _part(cls, kernel: _lab.Lattice, whole: Lattice) -> Lattice:
        return cls._over(_LatticeData(kernel, whole.context, part=True))

    @classmethod
    def _over(cls, data: _LatticeData) -> Lattice:
        lattice = cls.__new__(cls)
        lattice._data = data
        lattice._concepts = [None] * data.kernel.n_concepts
        lattice._complete = False
        lattice._upper = None
        lattice._lower = None
        data.view = weakref.ref(lattice)
        return lattice

    # -- the concepts -----------------------------------------------------------------------------------------------

    def __len__(self) -> int:
        return len(self._concepts)

    @overload
    def __getitem__(self, index: int) -> Concept: ...

    @overload
    def __getitem__(self, index: slice) -> list[Concept]: ...

    def __getitem__(self, index: Union[int, slice]) -> Union[Concept, list[Concept]]:
        if isinstance(index, slice):
            return [self._concept(i) for i in range(*index.indices(len(self._concepts)))]
        if not isinstance(index, (int, np.integer)) or isinstance(index, bool):
            raise TypeError(f"concept indices are int, not {type(index).__name__}")
        position = int(index)
        count = len(self._concepts)
        if not -count <= position < count:
            raise IndexError(f"concept index {position} out of range for {count} concepts")
        return self._concept(position % count)

    def __iter__(self) -> Iterator[Concept]:
        return (self._concept(i) for i in range(len(self._concepts)))

    def _concept(self, index: int) -> Concept:
        concept = self._concepts[index]
        if concept is None:
            concept = self._concepts[index] = Concept(self._data, index)
        return concept

    def _resolve(self, concept: ConceptLike) -> int:
        if isinstance(concept, Concept):
            if concept._data is not self._data:
                raise ValueError(f"{concept!r} belongs to another lattice")
            return concept._index
        return self[concept]._index

    @property
    def context(self) -> Context:
        """The context the lattice was computed from.

        Examples
        --------
        >>> import tessara.lab as tl
        >>> K = tl.datasets.load("planets")
        >>> L = K.lattice()
        >>> L.context is K
        True
        """
        return self._data.context

    @property
    def top(self) -> Concept:
        """The largest concept: every object, the attributes they all share.

        Only an iceberg lattice whose ``min_support`` exceeds the number of objects has none (ValueError).

        Examples
        --------
        >>> import tessara.lab as tl
        >>> K = tl.datasets.load("planets")
        >>> L = K.lattice()
        >>> L.top.support, L.top.intent
        (9, ())
        """
        if len(self._concepts) == 0:
            raise ValueError("the lattice is empty: no concept reaches its min_support")
        return self._concept(int(np.argmax(self.supports)))

    @property
    def bottom(self) -> Optional[Concept]:
        """The smallest concept: every attribute, the objects having them all.

        None in an iceberg lattice (``min_support``) where that concept is not frequent. In a part of a lattice
        (:meth:`interval`, :meth:`sublattice`, ...) the least concept of the part.

        Examples
        --------
        >>> import tessara.lab as tl
        >>> K = tl.datasets.load("planets")
        >>> L = K.lattice()
        >>> L.bottom.extent
        ()
        >>> print(K.lattice(min_support=2).bottom)
        None
        """
        if len(self._concepts) == 0:
            return None
        if self._data.part:
            return self._concept(int(np.argmin(self.supports)))
        # The smallest extent lies inside every other, so it is unique; it is the real bottom when its intent
        # holds every attribute.
        smallest = self._concept(int(np.argmin(self.supports)))
        return smallest if len(smallest.intent_indices) == self._data.context.shape[1] else None

    @property
    def supports(self) -> npt.NDArray[np.int64]:
        """The extent size of every concept, by index (read-only int64 array).

        Examples
        --------
        >>> import tessara.lab as tl
        >>> K = tl.datasets.load("planets")
        >>> L = K.lattice()
        >>> L.supports
        array([9, 5, 0, 4, 2, 2, 1, 3, 2, 2, 5, 7])
        """
        return self._data.supports

    @property
    def edges(self) -> npt.NDArray[np.intp]:
        """The cover relation: one row (lower, upper) per pair where ``upper`` covers ``lower``, sorted.

        A read-only integer array of shape (n_edges, 2).

        Examples
        --------
        >>> import tessara.lab as tl
        >>> K = tl.datasets.load("planets")
        >>> L = K.lattice()
        >>> L.edges[:3]
        array([[1, 0],
               [2, 4],
               [2, 5]])
        >>> lower, upper = L.edges[0]
        >>> L[lower] <= L[upper]
        True
        """
        return self._data.edges

    def _neighbours(self, index: int, upper: bool) -> tuple[Concept, ...]:
        table = self._upper if upper else self._lower
        return (table or self._neighbour_table(upper))[index]

    def _neighbour_table(self, upper: bool) -> list[tuple[Concept, ...]]:
        # Neighbour queries hand out many concepts: making them all, and every answer, at once costs less than
        # making them query by query, and leaves each query a look-up.
        if not self._complete:
            self._concepts = [concept or Concept(self._data, i) for i, concept in enumerate(self._concepts)]
            self._complete = True
        concepts = cast("list[Concept]", self._concepts)
        pointers, indices = self._data.neighbour_lists(upper)
        targets = [concepts[i] for i in indices.tolist()]
        bounds = pointers.tolist()
        table = [tuple(targets[bounds[i] : bounds[i + 1]]) for i in range(len(concepts))]
        if upper:
            self._upper = table
        else:
            self._lower = table
        return table

    # -- order questions --------------------------------------------------------------------------------------------

    def join(self, a: ConceptLike, b: ConceptLike) -> Concept:
        """The least concept above both (supremum): its intent is the intersection of the intents.

        Examples
        --------
        >>> import tessara.lab as tl
        >>> K = tl.datasets.load("planets")
        >>> L = K.lattice()
        >>> L.join(L.object_concept("Earth"), L.object_concept("Pluto")).intent
        ('small', 'moon')
        """
        return self._concept(_lab.join(self._data.kernel, self._resolve(a), self._resolve(b)))

    def meet(self, a: ConceptLike, b: ConceptLike) -> Concept:
        """The greatest concept below both (infimum): its extent is the intersection of the extents.

        Examples
        --------
        >>> import tessara.lab as tl
        >>> K = tl.datasets.load("planets")
        >>> L = K.lattice()
        >>> L.meet(L.attribute_concept("small"), L.attribute_concept("far")).extent
        ('Pluto',)
        """
        return self._concept(_lab.meet(self._data.kernel, self._resolve(a), self._resolve(b)))

    def object_concept(self, name: Key) -> Concept:
        """The smallest concept whose extent holds the object (by name or position).

        Examples
        --------
        >>> import tessara.lab as tl
        >>> K = tl.datasets.load("planets")
        >>> L = K.lattice()
        >>> L.object_concept("Mars")
        Concept(#4, extent=('Earth', 'Mars'), intent=('small', 'near', 'moon'))
        """
        position = int(self._data.context._object_positions(name)[0])
        return self._concept(_lab.object_concept(self._data.kernel, position))

    def attribute_concept(self, name: Key) -> Concept:
        """The largest concept whose intent holds the attribute (by name or position).

        Examples
        --------
        >>> import tessara.lab as tl
        >>> K = tl.datasets.load("planets")
        >>> L = K.lattice()
        >>> L.attribute_concept("near")
        Concept(#3, extent=('Mercury', 'Venus', 'Earth', 'Mars'), intent=('small', 'near'))
        """
        position = int(self._data.context._attribute_positions(name)[0])
        return self._concept(_lab.attribute_concept(self._data.kernel, position))

    # -- structure --------------------------------------------------------------------------------------------------

    def _require_lattice(self, question: str) -> None:
        """ValueError unless the concepts are closed under meet and join (a whole lattice or a part of one)."""
        if self._data.part or self.bottom is not None:
            return
        raise ValueError(
            f"{question} needs a lattice, and this iceberg lattice is not one: it holds only the frequent concepts "
            "(min_support), without the bottom concept, so some pairs of concepts have no meet in it. Compute the "
            "whole lattice (min_support=0), or take an interval or filter of this one"
        )

    def join_irreducibles(self) -> tuple[Concept, ...]:
        """The join-irreducible concepts: those with exactly one lower neighbour, by ascending index.

        In a concept lattice they are the object concepts of the irreducible objects (those :meth:`Context.reduce`
        keeps); every concept is the join of the join-irreducibles below it.

        Raises
        ------
        ValueError
            On an iceberg lattice without its bottom concept (not a lattice).

        Examples
        --------
        >>> import tessara.lab as tl
        >>> K = tl.Context(["g1", "g2", "g3"], ["a", "b", "c"], [[1, 1, 0], [0, 1, 1], [0, 1, 0]])
        >>> [c.extent for c in K.lattice().join_irreducibles()]
        [('g1',), ('g2',)]
        """
        from tessara.lab._structure import irreducibles

        return irreducibles(self, join=True)

    def meet_irreducibles(self) -> tuple[Concept, ...]:
        """The meet-irreducible concepts: those with exactly one upper neighbour, by ascending index.

        In a concept lattice they are the attribute concepts of the irreducible attributes; every concept is the
        meet of the meet-irreducibles above it.

        Raises
        ------
        ValueError
            On an iceberg lattice without its bottom concept (not a lattice).

        Examples
        --------
        >>> import tessara.lab as tl
        >>> K = tl.Context(["g1", "g2", "g3"], ["a", "b", "c"], [[1, 1, 0], [0, 1, 1], [0, 1, 0]])
        >>> [c.intent for c in K.lattice().meet_irreducibles()]
        [('a', 'b'), ('b', 'c')]
        """
        from tessara.lab._structure import irreducibles

        return irreducibles(self, join=False)

    def is_distributive(self) -> Verdict:
        """Whether meet distributes over join (and join over meet) for every three concepts.

        A lattice is distributive exactly when it has no pentagon N5 and no diamond M3 as a sublattice. The test
        runs on the cover relation in time linear in the paths of two covers: modularity first (see
        :meth:`is_modular`), then, since a modular lattice of finite length is distributive exactly when no concept
        has three upper neighbours with a common upper neighbour, a search for such a diamond.

        Returns
        -------
        Verdict
            Truthy when distributive; otherwise its witness is an ``"N5"`` or ``"M3"`` sublattice.

        Raises
        ------
        ValueError
            On an iceberg lattice without its bottom concept (not a lattice).

        Examples
        --------
        >>> import tessara.lab as tl
        >>> K = tl.Context(["g1", "g2", "g3"], ["a", "b", "c"], [[1, 0, 0], [0, 1, 0], [0, 0, 1]])
        >>> boolean = tl.Context(["x", "y", "z"], ["x", "y", "z"], [[0, 1, 1], [1, 0, 1], [1, 1, 0]])
        >>> bool(boolean.lattice().is_distributive())   # the Boolean lattice of three atoms
        True
        >>> diamond = tl.Context(["x", "y", "z"], ["x", "y", "z"], [[1, 0, 0], [0, 1, 0], [0, 0, 1]])
        >>> verdict = diamond.lattice().is_distributive()   # M3
        >>> bool(verdict), verdict.kind, len(verdict.witness)
        (False, 'M3', 5)
        """
        from tessara.lab._structure import check_law

        return check_law(self, "distributive")

    def is_modular(self) -> Verdict:
        """Whether ``a <= c`` implies ``a | (b & c) == (a | b) & c`` for all concepts (``|`` join, ``&`` meet).

        A lattice of finite length is modular exactly when it is upper and lower semimodular, which the cover
        relation answers in linear time; a failure of either gives a pentagon N5 sublattice, the witness.

        Returns
        -------
        Verdict
            Truthy when modular; otherwise its witness is an ``"N5"`` sublattice ``(bottom, low, high, side, top)``.

        Raises
        ------
        ValueError
            On an iceberg lattice without its bottom concept (not a lattice).

        Examples
        --------
        >>> import tessara.lab as tl
        >>> N5 = tl.Context(["1", "2", "3"], ["a", "b", "c"], [[1, 1, 0], [1, 0, 0], [0, 0, 1]])
        >>> verdict = N5.lattice().is_modular()
        >>> bool(verdict), verdict.kind, len(verdict.witness)
        (False, 'N5', 5)
        """
        from tessara.lab._structure import check_law

        return check_law(self, "modular")

    def is_semimodular(self, lower: bool = False) -> Verdict:
        """Whether two concepts that cover their meet are both covered by their join (upper semimodularity).

        Parameters
        ----------
        lower : bool, default False
            Ask the dual law instead: two concepts covered by their join both cover their meet.

        Returns
        -------
        Verdict
            Truthy when semimodular; otherwise its witness is a ``"pair"`` of concepts breaking the law.

        Raises
        ------
        ValueError
            On an iceberg lattice without its bottom concept (not a lattice).

        Examples
        --------
        >>> import tessara.lab as tl
        >>> N5 = tl.Context(["1", "2", "3"], ["a", "b", "c"], [[1, 1, 0], [1, 0, 0], [0, 0, 1]])
        >>> verdict = N5.lattice().is_semimodular()
        >>> bool(verdict), verdict.kind
        (False, 'pair')
        """
        from tessara.lab._structure import check_law

        return check_law(self, "lower_semimodular" if lower else "upper_semimodular")

    def is_atomic(self) -> Verdict:
        """Whether every concept is the join of the atoms (the upper neighbours of the bottom) below it.

        (Lattice theory also calls this atomistic.) It holds exactly when every join-irreducible concept is an atom.

        Returns
        -------
        Verdict
            Truthy when atomic; otherwise its witness is one ``"concept"``: join-irreducible, not an atom.

        Raises
        ------
        ValueError
            On an iceberg lattice without its bottom concept (not a lattice).

        Examples
        --------
        >>> import tessara.lab as tl
        >>> chain = tl.Context(["1", "2", "3"], ["a", "b"], [[1, 1], [1, 0], [0, 0]])   # three concepts in a row
        >>> verdict = chain.lattice().is_atomic()
        >>> bool(verdict), verdict.witness[0].extent
        (False, ('1', '2', '3'))
        """
        from tessara.lab._structure import check_law

        return check_law(self, "atomic")

    def interval(self, lower: ConceptLike, upper: ConceptLike) -> Lattice:
        """The concepts ``c`` with ``lower <= c <= upper``, as a lattice of their own.

        The interval is a sublattice: its concepts keep their extents and intents, its cover relation is the
        lattice's among them. It works on an iceberg lattice too (everything above a frequent concept is frequent).

        Parameters
        ----------
        lower, upper : Concept or int
            Concepts of this lattice, or their indices.

        Returns
        -------
        Lattice
            Its concepts in this lattice's order (by ascending index here); new Concept objects, whose
            ``index`` is their position in the interval.

        Raises
        ------
        ValueError
            When ``lower`` does not lie below ``upper``.

        Examples
        --------
        >>> import tessara.lab as tl
        >>> K = tl.Context(["g1", "g2", "g3"], ["a", "b", "c"], [[1, 0, 0], [0, 1, 0], [0, 0, 1]])
        >>> L = K.lattice()
        >>> part = L.interval(L.bottom, L.object_concept("g1") )
        >>> len(part), [c.extent for c in part]
        (2, [('g1',), ()])
        """
        from tessara.lab._structure import interval

        return interval(self, lower, upper)

    def filter(self, concept: ConceptLike) -> Lattice:
        """The concepts above ``concept`` (itself included), as a lattice of their own: see :meth:`interval`.

        Examples
        --------
        >>> import tessara.lab as tl
        >>> K = tl.Context(["g1", "g2", "g3"], ["a", "b", "c"], [[1, 0, 0], [0, 1, 0], [0, 0, 1]])
        >>> L = K.lattice()
        >>> len(L.filter(L.object_concept("g1")))
        2
        """
        from tessara.lab._structure import interval

        return interval(self, concept, None)

    def ideal(self, concept: ConceptLike) -> Lattice:
        """The concepts below ``concept`` (itself included), as a lattice of their own: see :meth:`interval`.

        Raises
        ------
        ValueError
            On an iceberg lattice without its bottom concept (the ideal would lack its infrequent concepts).

        Examples
        --------
        >>> import tessara.lab as tl
        >>> K = tl.Context(["g1", "g2", "g3"], ["a", "b", "c"], [[1, 0, 0], [0, 1, 0], [0, 0, 1]])
        >>> L = K.lattice()
        >>> len(L.ideal(L.attribute_concept("a")))
        2
        """
        from tessara.lab._structure import interval

        self._require_lattice("taking an ideal")
        return interval(self, None, concept)

    def sublattice(self, concepts: Iterable[ConceptLike]) -> Lattice:
        """The smallest sublattice holding the given concepts: closed under meet and join.

        Every new concept is met and joined with every one found before, so the work grows with the square of the
        result's size (Ctrl-C stops it). The cover relation is that of the sublattice itself, which may link
        concepts that are not neighbours in this lattice.

        Parameters
        ----------
        concepts : iterable of Concept or int
            At least one concept of this lattice (or its index).

        Returns
        -------
        Lattice
            Its concepts by ascending index here; new Concept objects, indexed by position in the sublattice.

        Raises
        ------
        ValueError
            For no concepts, or on an iceberg lattice without its bottom concept (not a lattice).

        Examples
        --------
        >>> import tessara.lab as tl
        >>> K = tl.Context(["g1", "g2", "g3"], ["a", "b", "c"], [[1, 0, 0], [0, 1, 0], [0, 0, 1]])
        >>> L = K.lattice()
        >>> part = L.sublattice([L.object_concept("g1"), L.object_concept("g2")])
        >>> sorted(c.extent for c in part)
        [(), ('g1',), ('g1', 'g2', 'g3'), ('g2',)]
        """
        from tessara.lab._structure import sublattice

        return sublattice(self, concepts)

    # -- tables and graphs ------------------------------------------------------------------------------------------

    def _name_tuples(self) -> tuple[list[tuple[str, ...]], list[tuple[str, ...]]]:
        return self._name_column(intents=False), self._name_column(intents=True)

    def _name_column(self, intents: bool) -> list[tuple[str, ...]]:
        names = self._data.context.attributes if intents else self._data.context.objects
        column: list[tuple[str, ...]] = _lab.name_tuples(self._data.kernel, names, intents)
        return column

    def to_pandas(self, measures: Iterable[str] = (), progress: Progress = False) -> Any:
        """One row per concept, indexed by concept index: ``extent`` and ``intent`` (tuples of names) and
        ``support`` (the extent size).

        Parameters
        ----------
        measures : iterable of str
            Columns to add: ``"stability"`` (as :meth:`stability` gives it by default), ``"delta_stability"``
            and ``"generators"`` (each concept's keys, a tuple of tuples of names).
        progress : bool or callable
            ``True`` shows the columns made (a tqdm bar, or a line on stderr without tqdm); a callable is called,
            from the calling thread, with that count.

        Returns
        -------
        pandas.DataFrame

        Examples
        --------
        >>> import tessara.lab as tl
        >>> K = tl.datasets.load("planets")
        >>> L = K.lattice()
        >>> L.to_pandas(measures=("stability",))[["intent", "support", "stability"]].head(3)
                                                   intent  support  stability
        concept
        0                                              ()        9   0.703125
        1                                        (small,)        5   0.375000
        2        (small, medium, large, near, far, moon, no moon)        0   1.000000
        """
        pd = optional_module("pandas")
        check_progress(progress)
        added: dict[str, Any] = {}
        with progress_reporter(progress, "columns") as reporter:
            report = reporter.callback or (lambda done: None)
            if measures:
                from tessara.lab._rules import measure_columns

                added = measure_columns(self, measures, report)
            index = pd.RangeIndex(len(self), name="concept")
            # Series of dtype object keep each tuple as one element and spare pandas a type inference pass.
            columns = {"extent": pd.Series(self._name_column(intents=False), index=index, dtype=object)}
            report(len(added) + 1)
            columns["intent"] = pd.Series(self._name_column(intents=True), index=index, dtype=object)
            report(len(added) + 2)
            columns["support"] = pd.Series(self.supports.copy(), index=index)
            for name, values in added.items():
                columns[name] = pd.Series(values, index=index, dtype=object if name == "generators" else None)
            frame = pd.DataFrame(columns)
            reporter.finish(len(columns))
        return frame

    # -- measures ---------------------------------------------------------------------------------------------------

    def generators(self, concept: ConceptLike) -> tuple[tuple[str, ...], ...]:
        """The minimal generators (keys) of a concept's intent: the smallest attribute sets whose closure is
        the intent and every proper subset of which closes to less.

        Parameters
        ----------
        concept : Concept or int

        Returns
        -------
        tuple of tuples of str
            Each key as attribute names in context order, smallest keys first.

        Examples
        --------
        >>> import tessara.lab as tl
        >>> K = tl.datasets.load("planets")
        >>> L = K.lattice()
        >>> L.generators(L.object_concept("Pluto"))
        (('small', 'far'),)
        """
        from tessara.lab._rules import generators

        return generators(self, self._resolve(concept))

    def stability(self, method: str = "auto", samples: int = 10_000, seed: int = 0, confidence: float = 0.99,
                  max_visits: int = 100_000_000, progress: Progress = False) -> Stability:
        """The (intensional) stability of every concept: the share of the subsets of its extent whose common
        attributes are exactly its intent.

        Parameters
        ----------
        method : str
            ``"exact"`` counts over the concepts below each concept; ``"sampled"`` estimates from ``samples``
            random subsets of each extent; ``"auto"`` counts when that takes at most ``max_visits`` visits
            of a concept from one above it, and samples otherwise.
        samples, seed, confidence : int, int, float
            The sampled estimate: subsets per concept, the generator's seed (the same seed gives the same
            values) and the probability with which each value lies within the stated error bound.
        max_visits : int
            The budget of ``"auto"``.
        progress : bool or callable
            ``True`` shows the concepts done (a tqdm bar, or a line on stderr without tqdm); a callable is called,
            from the calling thread, with that count (an exact count given up for sampling starts again at 0).

        Returns
        -------
        Stability
            ``values`` by concept index, ``exact``, and for sampled values ``error_bound`` (Hoeffding's bound
            at ``confidence``). ``numpy.asarray(L.stability())`` gives the values.

        Examples
        --------
        >>> import tessara.lab as tl
        >>> K = tl.datasets.load("planets")
        >>> L = K.lattice()
        >>> s = L.stability()
        >>> s
        Stability(exact, concepts=12)
        >>> s.values[:4]
        array([0.703125, 0.375   , 1.      , 0.5625  ])
        >>> L.stability(method="sampled", samples=1000, seed=7).exact
        False
        >>> done = []
        >>> L.stability(progress=done.append).exact, done[-1]
        (True, 12)
        """
        from tessara.lab._rules import stability

        return stability(self, method, samples, seed, confidence, max_visits, progress)

    def delta_stability(self) -> npt.NDArray[np.int64]:
        """For every concept, the smallest drop in support to one of its lower neighbours (its whole support
        for the bottom concept), by concept index (read-only int64 array).

        Examples
        --------
        >>> import tessara.lab as tl
        >>> K = tl.datasets.load("planets")
        >>> L = K.lattice()
        >>> L.delta_stability()
        array([2, 1, 0, 2, 2, 2, 1, 1, 2, 2, 3, 2])
        """
        from tessara.lab._rules import delta_stability

        return delta_stability(self)

    def to_networkx(self) -> Any:
        """The cover relation as a networkx DiGraph: nodes are concept indices with the attributes ``extent``,
        ``intent`` (tuples of names) and ``support``; each edge goes from a concept to one that covers it.

        Returns
        -------
        networkx.DiGraph

        Examples
        --------
        >>> import tessara.lab as tl
        >>> K = tl.datasets.load("planets")
        >>> L = K.lattice()
        >>> g = L.to_networkx()
        >>> g.number_of_nodes(), g.number_of_edges()
        (12, 18)
        """
        nx = optional_module("networkx")
        extents, intents = self._name_tuples()
        graph = nx.DiGraph()
        graph.add_nodes_from(
            (i, {"extent": extent, "intent": intent, "support": support})
            for i, (extent, intent, support) in enumerate(zip(extents, intents, self.supports.tolist()))
        )
        graph.add_edges_from(map(tuple, self.edges.tolist()))
        return graph

    # -- drawing ----------------------------------------------------------------------------------------------------

    def draw(
        self,
        labels: str = "reduced",
        layout: str = "layered",
        *,
        highlight: Optional[ConceptLike] = None,
        size_by_support: bool = False,
        shade_by_support: bool = False,
        counts_above: Optional[int] = COUNTS_ABOVE,
        concepts: Optional[ConceptSelection] = None,
        top: Optional[int] = None,
        by: str = "stability",
        progress: Progress = False,
    ) -> Diagram:
        """Lay the lattice out as a labelled Hasse diagram (top at the top).

        A big lattice is best looked at through a focus view: ``concepts=`` or ``top=`` draws some of its
        concepts with the order the lattice induces among them.

        Parameters
        ----------
        labels
            ``"reduced"``: each attribute name once, above its attribute concept, and each object name once,
            below its object concept. ``"full"``: whole intents above and extents below each concept.
            ``"counts"``: the support of each concept and, in brackets, its number of own objects.
            ``"none"``: no labels. Long lists are wrapped and shortened ("+12 more").
        layout
            ``"layered"``: layers from the order with few edge crossings and short, straight edges.
            ``"additive"``: each attribute a vector, each concept the sum of its intent's vectors.
        highlight
            A concept (or its index) drawn in colour with its upper and lower sets.
        size_by_support, shade_by_support
            Show each concept's support by the size or the shade of its circle.
        counts_above
            With ``"reduced"`` or ``"full"`` labels, a lattice of more concepts than this is labelled with
            counts instead, and the caption says so. None keeps the labels asked for at any size.
        progress : bool or callable
            ``True`` shows the layout's progress (a tqdm bar, or a line on stderr without tqdm); a callable is
            called, from the calling thread, with the number of layout steps done.

        Returns
        -------
        Diagram
            Shown by notebooks (interactive: hover, click, zoom, pan); ``save(path)`` writes .svg, .html,
            .dot, .tex (TikZ) or .json.

        Raises
        ------
        ValueError
            For an unknown `labels` or `layout` (the message lists the choices).
        IndexError, TypeError
            For a `highlight` or `concepts` that is not a concept of this lattice or an index in range.
        ValueError
            For both `concepts` and `top`, an empty selection, a `top` below 1, an unknown `by`, or a
            `highlight` that is not drawn.

        Examples
        --------
        >>> import tessara.lab as tl
        >>> K = tl.Context(["a", "b", "c"], ["x", "y", "z"], [[1, 1, 0], [0, 1, 1], [1, 0, 1]])
        >>> L = K.lattice()
        >>> L.draw()
        Diagram(concepts=8, labels='reduced', layout='layered', size=...)
        >>> d = L.draw(concepts=[L.top, L.bottom, L.attribute_concept("x")])
        >>> d.n_concepts, d.caption.split(" \N{MIDDLE DOT} ")[0]
        (3, '3 of 8 concepts')
        >>> L.draw(top=3, by="support").n_concepts  # the top and two of two objects, with their meet
        4
        >>> steps = []
        >>> L.draw(progress=steps.append).n_concepts
        8
        """
        return draw(
            self,
            labels,
            layout,
            highlight=highlight,
            size_by_support=size_by_support,
            shade_by_support=shade_by_support,
            counts_above=counts_above,
            concepts=concepts,
            top=top,
            by=by,
            progress=progress,
        )

    # -- files ------------------------------------------------------------------------------------------------------

    def save(self, path: Path) -> None:
        """Write the lattice (its context, concepts and cover relation) to one JSON document.

        :func:`load` reads it back without computing the concepts again. The document stores each concept's
        intent as attribute positions and each concept's upper neighbours; extents are derived on loading.

        Examples
        --------
        >>> import tessara.lab as tl
        >>> K = tl.datasets.load("planets")
        >>> L = K.lattice()
        >>> L.save("planets-lattice.json")
        >>> tl.load("planets-lattice.json")
        Lattice(concepts=12, edges=18, objects=9, attributes=7)
        """
        data = _lab.save_lattice(self._data.kernel)
        with open(path_text(path), "wb") as file:
            file.write(data)

    def __repr__(self) -> str:
        n_objects, n_attributes = self._data.context.shape
        return (
            f"Lattice(concepts={len(self)}, edges={len(self.edges)}, "
            f"objects={n_objects}, attributes={n_attributes})"
        )
