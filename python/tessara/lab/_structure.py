"""Lattice structure: irreducibles, arrow relations, lattice laws with their witnesses, and the lattices inside a
lattice (intervals, filters, ideals, generated sublattices)."""

from __future__ import annotations

from collections.abc import Iterable
from typing import TYPE_CHECKING, Any, Optional

import numpy as np

from tessara import _lab
from tessara.lab._context import unpacked_rows
from tessara.lab._optional import optional_module

if TYPE_CHECKING:
    from tessara.lab._context import Context
    from tessara.lab._lattice import Concept, ConceptLike, Lattice


class Verdict:
    """Whether a lattice obeys a law, and the concepts that break it when it does not.

    Truthy exactly when the law holds, so ``if L.is_modular():`` reads as expected. A failed verdict carries a
    witness, concepts of the lattice that was asked:

    - ``"N5"``: a pentagon sublattice ``(bottom, low, high, side, top)`` with ``low < high`` and ``side``
      incomparable with both (breaks modularity, hence distributivity);
    - ``"M3"``: a diamond sublattice ``(bottom, a, b, c, top)`` whose three middles cover ``bottom`` and are
      covered by ``top`` (breaks distributivity);
    - ``"pair"``: two concepts ``(a, b)`` that both cover their meet while their join does not cover both
      (breaks upper semimodularity; for the lower law, covered by their join while their meet is not covered by
      both);
    - ``"concept"``: one join-irreducible concept that is not an atom, hence not the join of the atoms below it.

    Attributes
    ----------
    law : str
        ``"distributive"``, ``"modular"``, ``"upper semimodular"``, ``"lower semimodular"`` or ``"atomic"``.
    holds : bool
    kind : str or None
        The kind of witness (above); None when the law holds.
    witness : tuple of Concept
        Empty when the law holds.
    reason : str
        The failure in words, with concepts as ``#index``; empty when the law holds.

    Examples
    --------
    >>> import tessara.lab as tl
    >>> K = tl.Context(["g1", "g2", "g3"], ["a", "b", "c"], [[1, 0, 0], [0, 1, 0], [0, 0, 1]])
    >>> verdict = K.lattice().is_distributive()   # the diamond M3
    >>> bool(verdict), verdict.kind
    (False, 'M3')
    >>> verdict.reason
    'diamond M3 (#2, #1, #3, #4, #0): #1, #3, #4 cover #2 and are covered by #0'
    """

    __slots__ = ("law", "holds", "kind", "witness", "reason")

    law: str
    holds: bool
    kind: Optional[str]
    witness: tuple[Concept, ...]
    reason: str

    def __init__(self, law: str, kind: Optional[str], witness: tuple[Concept, ...], reason: str) -> None:
        self.law = law
        self.holds = kind is None
        self.kind = kind
        self.witness = witness
        self.reason = reason

    def __bool__(self) -> bool:
        return self.holds

    def __repr__(self) -> str:
        if self.holds:
            return f"Verdict({self.law}: holds)"
        return f"Verdict(not {self.law}: {self.reason})"


def _ids(concepts: Iterable[Concept]) -> str:
    return ", ".join(f"#{concept.index}" for concept in concepts)


def _reason(law: str, kind: str, witness: tuple[Concept, ...]) -> str:
    if kind == "N5":
        bottom, low, high, side, top = (f"#{c.index}" for c in witness)
        return (f"pentagon N5 ({_ids(witness)}): {low} < {high}, and {side} meets both in {bottom} "
                f"and joins both to {top}")
    if kind == "M3":
        return (f"diamond M3 ({_ids(witness)}): {_ids(witness[1:4])} cover #{witness[0].index} "
                f"and are covered by #{witness[4].index}")
    if kind == "pair":
        a, b, x = (f"#{c.index}" for c in witness)
        if law == "upper semimodular":
            return f"{a} and {b} cover their meet {x}, but their join does not cover both"
        return f"{a} and {b} are covered by their join {x}, but their meet is not covered by both"
    return f"#{witness[0].index} is join-irreducible but not an atom: it is not the join of the atoms below it"


def check_law(lattice: Lattice, law: str) -> Verdict:
    """Ask the kernel about one law (its name as the kernel spells it) and wrap the answer."""
    name = law.replace("_", " ")
    lattice._require_lattice(f"testing whether it is {name}")
    kind, witness_bytes = _lab.structure(lattice._data.kernel, law)
    if not kind:
        return Verdict(name, None, (), "")
    indices = np.frombuffer(witness_bytes, dtype=np.uint32).tolist()
    witness = tuple(lattice._concept(i) for i in indices)
    reason = _reason(name, kind, witness)
    if kind == "pair":
        witness = witness[:2]  # the pair; the meet (join) they cover is named in the reason
    return Verdict(name, kind, witness, reason)


def irreducibles(lattice: Lattice, join: bool) -> tuple[Concept, ...]:
    lattice._require_lattice("finding its irreducible concepts")
    indices = np.frombuffer(_lab.irreducibles(lattice._data.kernel, join), dtype=np.uint32).tolist()
    return tuple(lattice._concept(i) for i in indices)


def interval(lattice: Lattice, lower: Optional[ConceptLike], upper: Optional[ConceptLike]) -> Lattice:
    from tessara.lab._lattice import Lattice

    low = -1 if lower is None else lattice._resolve(lower)
    high = -1 if upper is None else lattice._resolve(upper)
    if low >= 0 and high >= 0 and not lattice._concept(low) <= lattice._concept(high):
        raise ValueError(f"the interval is empty: {lattice._concept(low)!r} does not lie below "
                         f"{lattice._concept(high)!r}")
    return Lattice._part(_lab.interval(lattice._data.kernel, low, high), lattice)


def sublattice(lattice: Lattice, concepts: Iterable[ConceptLike]) -> Lattice:
    from tessara.lab._lattice import Concept, Lattice

    if isinstance(concepts, (Concept, int)):
        raise TypeError("concepts must be an iterable of concepts or indices, not a single one")
    lattice._require_lattice("generating a sublattice")
    indices = np.array([lattice._resolve(concept) for concept in concepts], dtype=np.uint32)
    if len(indices) == 0:
        raise ValueError("the sublattice needs at least one concept (the empty set is no lattice)")
    return Lattice._part(_lab.sublattice(lattice._data.kernel, indices.tobytes()), lattice)


class Arrows:
    """The arrow relations of a context, as read-only bool arrays of shape (n_objects, n_attributes).

    - ``down[g, m]`` (g ↙ m): g lacks m, and every object whose intent strictly contains g's has m;
    - ``up[g, m]`` (g ↗ m): g lacks m, and every attribute whose extent strictly contains m's is had by g;
    - ``double`` (g ↕ m): both.

    An object g has a down arrow exactly when its object concept is join-irreducible, and an attribute m an up
    arrow exactly when its attribute concept is meet-irreducible. Made by :meth:`Context.arrows`.

    Attributes
    ----------
    objects, attributes : tuple of str
        The context's names, labelling the rows and the columns.
    down, up, double : numpy.ndarray of bool

    Examples
    --------
    >>> import tessara.lab as tl
    >>> K = tl.Context(["g1", "g2", "g3"], ["a", "b", "c"], [[1, 1, 0], [0, 1, 1], [0, 1, 0]])
    >>> arrows = K.arrows()
    >>> arrows.double.astype(int)
    array([[0, 0, 1],
           [1, 0, 0],
           [0, 0, 0]])
    >>> arrows.to_pandas()
        a  b  c
    g1  ×  ×  ↕
    g2  ↕  ×  ×
    g3  ↗  ×  ↗
    """

    __slots__ = ("objects", "attributes", "down", "up", "double", "_incidence")

    def __init__(self, context: Context) -> None:
        n_objects, n_attributes = context.shape
        down, up = _lab.arrows(context._kernel)
        self.objects = context.objects
        self.attributes = context.attributes
        self.down = unpacked_rows(down, n_objects, n_attributes)
        self.up = unpacked_rows(up, n_objects, n_attributes)
        double = self.down & self.up
        double.flags.writeable = False
        self.double = double
        self._incidence = context.incidence

    def to_pandas(self) -> Any:
        """The context as a table of marks, the way FCA books print it: ``×`` for a cross, ``↕``, ``↗`` and ``↙``
        for the arrows, and an empty string elsewhere.

        Returns
        -------
        pandas.DataFrame
            Indexed by object names, one column per attribute.

        Examples
        --------
        >>> import tessara.lab as tl
        >>> K = tl.Context(["g1", "g2", "g3"], ["a", "b", "c"], [[1, 1, 0], [0, 1, 1], [0, 1, 0]])
        >>> K.arrows().to_pandas().loc["g3"].tolist()
        ['↗', '×', '↗']
        """
        pd = optional_module("pandas")
        marks = np.full(self.down.shape, "", dtype=object)
        marks[self.down] = "↙"
        marks[self.up] = "↗"
        marks[self.double] = "↕"
        marks[self._incidence] = "×"
        return pd.DataFrame(marks, index=pd.Index(self.objects), columns=pd.Index(self.attributes))

    def __repr__(self) -> str:
        return (f"Arrows(objects={len(self.objects)}, attributes={len(self.attributes)}, down={int(self.down.sum())}, "
                f"up={int(self.up.sum())}, double={int(self.double.sum())})")
