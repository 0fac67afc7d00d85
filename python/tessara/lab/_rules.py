"""Implications, association rules and concept measures.

The bases, the rules and the measures are computed by the kernels in C++
(``tessara._lab``); this module checks the arguments, turns attribute sets
into names and gives the results as sequences with ``to_pandas()``.
"""

from __future__ import annotations

from collections.abc import Iterable, Iterator, Sequence
from dataclasses import dataclass
from typing import TYPE_CHECKING, Any, Callable, Optional, TypeVar, Union, overload

import numpy as np
import numpy.typing as npt

from tessara import _lab
from tessara.lab._checks import UINT64_MAX, real_number, whole_number
from tessara.lab._optional import optional_module
from tessara.lab._run import Progress, check_progress, progress_reporter

if TYPE_CHECKING:
    from tessara.lab._context import Context
    from tessara.lab._lattice import Lattice
    from tessara.lab._names import Selection

__all__ = ["Implication", "Implications", "Rule", "Rules", "Stability"]

IMPLICATION_BASES = ("canonical", "proper-premise")
RULE_BASES = ("luxenburger", "all")
MEASURES = ("stability", "delta_stability", "generators")

#: Visits of the exact stability count that ``method="auto"`` affords before it samples (about 10 s).
DEFAULT_MAX_VISITS = 100_000_000


def _choice(parameter: str, value: object, allowed: tuple[str, ...]) -> str:
    if not isinstance(value, str):
        raise TypeError(f"{parameter} must be a str, not {type(value).__name__}")
    if value not in allowed:
        expected = " or ".join(repr(a) for a in allowed)
        raise ValueError(f"unknown {parameter} {value!r}; expected {expected}")
    return value


def _fraction(parameter: str, value: object) -> float:
    return real_number(parameter, value, 0.0, 1.0)


def _names(context: Context, words: bytes) -> list[tuple[str, ...]]:
    """Packed attribute sets as tuples of attribute names, in context order."""
    names: list[tuple[str, ...]] = _lab.set_names(words, len(context.attributes), context.attributes)
    return names


def _shown(names: tuple[str, ...]) -> str:
    return "{" + ", ".join(names) + "}"


Row = TypeVar("Row")


class _Rows(Sequence[Row]):
    """A sequence of rows made on demand from columns; subclasses give the row at an index."""

    __slots__ = ("_premises", "_conclusions")

    _premises: list[tuple[str, ...]]
    _conclusions: list[tuple[str, ...]]

    def _row(self, i: int) -> Row:
        raise NotImplementedError

    def __len__(self) -> int:
        return len(self._premises)

    @overload
    def __getitem__(self, index: int) -> Row: ...

    @overload
    def __getitem__(self, index: slice) -> list[Row]: ...

    def __getitem__(self, index: Union[int, slice]) -> Union[Row, list[Row]]:
        if isinstance(index, slice):
            return [self._row(i) for i in range(*index.indices(len(self)))]
        return self._row(range(len(self))[index])

    def __iter__(self) -> Iterator[Row]:
        return (self._row(i) for i in range(len(self)))


# -- implications ---------------------------------------------------------------------------------------------------


@dataclass(frozen=True)
class Implication:
    """An implication ``premise -> conclusion`` that every object of the context respects.

    ``conclusion`` holds what the premise implies beyond itself (never an attribute of the premise);
    ``support`` is the number of objects having the premise, or None for implications that were not computed
    from a context (given by name, or derived by the implication calculus). Names are in attribute order.

    Examples
    --------
    >>> import tessara.lab as tl
    >>> K = tl.Context(["duck", "trout", "frog"], ["flies", "swims", "croaks"], [[1, 1, 0], [0, 1, 0], [0, 1, 1]])
    >>> first = K.implications()[0]
    >>> first
    Implication({} -> {swims}, support=3)
    >>> first.premise, first.conclusion, first.confidence
    ((), ('swims',), 1.0)
    """

    premise: tuple[str, ...]
    conclusion: tuple[str, ...]
    support: Optional[int]
    confidence: float = 1.0

    def __repr__(self) -> str:
        support = "" if self.support is None else f", support={self.support}"
        return f"Implication({_shown(self.premise)} -> {_shown(self.conclusion)}{support})"


class Implications(_Rows[Implication]):
    """A set of implications over a list of attributes, with the implication calculus.

    A basis computed from a context (:meth:`Context.implications`) comes in the basis's order (increasing
    lectic order of the premises); :meth:`from_pairs` builds a set from names. Either way the set reasons on
    its own: :meth:`closure`, :meth:`entails`, :meth:`equivalent`, :meth:`holds_in`, :meth:`respected_by`,
    and the bases of the closure system it defines, :meth:`canonical`, :meth:`minimal_cover` and
    :meth:`direct`.

    Examples
    --------
    >>> import tessara.lab as tl
    >>> L = tl.Implications.from_pairs([("a", "b"), ("b", "c")], attributes=["a", "b", "c", "d"])
    >>> L.closure(["a"])
    ('a', 'b', 'c')
    >>> L.entails(("a", "c"))
    True
    >>> L.canonical()[1]
    Implication({a} -> {b, c})
    """

    __slots__ = ("basis", "min_support", "_supports", "_attributes", "_packed", "_index", "_name_index")

    def __init__(self, basis: str, min_support: int, premises: list[tuple[str, ...]],
                 conclusions: list[tuple[str, ...]], supports: Optional[npt.NDArray[np.int64]],
                 attributes: tuple[str, ...] = (),
                 packed: Optional[tuple[npt.NDArray[np.uint64], npt.NDArray[np.uint64]]] = None) -> None:
        self.basis = basis
        self.min_support = min_support
        self._premises = premises
        self._conclusions = conclusions
        self._supports = supports
        self._attributes = attributes
        self._packed = packed
        self._index: Any = None
        self._name_index: Any = None

    def _row(self, i: int) -> Implication:
        support = None if self._supports is None else int(self._supports[i])
        return Implication(self._premises[i], self._conclusions[i], support)

    @property
    def attributes(self) -> tuple[str, ...]:
        """The attributes the implications are over, in order (the order of names in every premise and
        conclusion).

        Examples
        --------
        >>> import tessara.lab as tl
        >>> tl.Implications.from_pairs([("a", "b")], attributes=["a", "b", "c"]).attributes
        ('a', 'b', 'c')
        """
        return self._attributes

    @classmethod
    def from_pairs(cls, pairs: Iterable[Any], attributes: Any) -> Implications:
        """A set of implications from premises and conclusions given by name.

        Parameters
        ----------
        pairs : iterable
            ``(premise, conclusion)`` pairs, each side an iterable of attribute names or a single name, or
            :class:`Implication` objects.
        attributes : Context or sequence of str
            The attributes the implications are over (a context stands for its attributes).

        Returns
        -------
        Implications
            In the order given, ``basis="given"``; conclusions without their premise's attributes.

        Raises
        ------
        ValueError
            Naming the pair and the names that are not among the attributes.

        Examples
        --------
        >>> import tessara.lab as tl
        >>> tl.Implications.from_pairs([(["a"], ["b"]), ("b", ["a", "c"])], ["a", "b", "c"])[1]
        Implication({b} -> {a, c})
        """
        from tessara.lab._calculus import from_pairs

        return from_pairs(pairs, attributes)

    def closure(self, attributes: Any) -> tuple[str, ...]:
        """The closure of an attribute set under the implications (LinClosure: linear in their size).

        Parameters
        ----------
        attributes : str or iterable of str
            Attribute names; a single name stands for itself.

        Returns
        -------
        tuple of str
            The smallest set containing them that respects every implication, in attribute order.

        Examples
        --------
        >>> import tessara.lab as tl
        >>> L = tl.Implications.from_pairs([("a", "b"), (["b", "c"], "d")], ["a", "b", "c", "d"])
        >>> L.closure(["a", "c"])
        ('a', 'b', 'c', 'd')
        """
        from tessara.lab._calculus import closure

        return closure(self, attributes)

    def entails(self, implications: Any) -> bool:
        """Whether the implications derive an implication, or every one of a set.

        Parameters
        ----------
        implications : Implication, (premise, conclusion) pair, Implications, or iterable of those
            What to derive; names must be among :attr:`attributes`.

        Examples
        --------
        >>> import tessara.lab as tl
        >>> L = tl.Implications.from_pairs([("a", "b"), ("b", "c")], ["a", "b", "c"])
        >>> L.entails(("a", "c")), L.entails([("c", "a")])
        (True, False)
        """
        from tessara.lab._calculus import entails

        return entails(self, implications)

    def equivalent(self, other: Any) -> bool:
        """Whether both sets derive each other (define the same closure system).

        Examples
        --------
        >>> import tessara.lab as tl
        >>> L = tl.Implications.from_pairs([("a", "b"), ("b", "c")], ["a", "b", "c"])
        >>> L.equivalent(tl.Implications.from_pairs([("a", ["b", "c"]), ("b", "c")], ["a", "b", "c"]))
        True
        """
        from tessara.lab._calculus import equivalent

        return equivalent(self, other)

    def holds_in(self, context: Context) -> bool:
        """Whether every object of the context respects every implication.

        The context needs every attribute the implications name (matched by name).

        Examples
        --------
        >>> import tessara.lab as tl
        >>> K = tl.Context(["x", "y"], ["a", "b"], [[1, 1], [0, 1]])
        >>> tl.Implications.from_pairs([("a", "b")], K).holds_in(K)
        True
        """
        from tessara.lab._calculus import holds_in

        return holds_in(self, context)

    def respected_by(self, attributes: Any) -> bool:
        """Whether an attribute set respects every implication: holds the conclusion whenever it holds the
        premise.

        Examples
        --------
        >>> import tessara.lab as tl
        >>> L = tl.Implications.from_pairs([("a", "b")], ["a", "b"])
        >>> L.respected_by(["a"]), L.respected_by(["a", "b"])
        (False, True)
        """
        from tessara.lab._calculus import respected_by

        return respected_by(self, attributes)

    def canonical(self) -> Implications:
        """The Duquenne-Guigues base of the closure system the implications define, from the implications
        alone: the fewest implications equivalent to them, one per pseudo-closed premise, in increasing lectic
        order of the premises (as :meth:`Context.implications` orders its base).

        Computed from a :meth:`minimal_cover`: the premise of each implication is closed under the cover's
        implications with a different conclusion.

        Examples
        --------
        >>> import tessara.lab as tl
        >>> L = tl.Implications.from_pairs([("a", "b"), ("b", "c"), ("a", "c")], ["a", "b", "c"])
        >>> list(L.canonical())
        [Implication({b} -> {c}), Implication({a} -> {b, c})]
        """
        from tessara.lab._calculus import canonical

        return canonical(self)

    def minimal_cover(self) -> Implications:
        """A minimum cover: an equivalent set with as few implications as any and no redundant one, each
        conclusion the closure of its premise (shown without the premise's attributes).

        Examples
        --------
        >>> import tessara.lab as tl
        >>> L = tl.Implications.from_pairs([("a", "b"), ("b", "c"), ("a", "c")], ["a", "b", "c"])
        >>> len(L.minimal_cover())
        2
        """
        from tessara.lab._calculus import minimal_cover

        return minimal_cover(self)

    def direct(self, max_closed_sets: int = 1_000_000) -> Implications:
        """The canonical direct base (proper premises) of the closure system the implications define: one
        pass over its implications closes any set.

        It is computed from the closed sets of the implications, so its cost grows with their number.

        Parameters
        ----------
        max_closed_sets : int
            Refuse with ValueError rather than enumerate more closed sets than this.

        Examples
        --------
        >>> import tessara.lab as tl
        >>> L = tl.Implications.from_pairs([("a", "b"), ("b", "c")], ["a", "b", "c"])
        >>> list(L.direct())
        [Implication({b} -> {c}), Implication({a} -> {b, c})]
        """
        from tessara.lab._calculus import direct

        return direct(self, max_closed_sets)

    def to_pandas(self) -> Any:
        """One row per implication: ``premise`` and ``conclusion`` (tuples of names), ``support`` and
        ``confidence`` (always 1.0). ``support`` is a nullable integer column, missing for implications not
        computed from a context.

        Returns
        -------
        pandas.DataFrame

        Examples
        --------
        >>> import tessara.lab as tl
        >>> K = tl.datasets.load("planets")
        >>> K.implications().to_pandas().head(3)
                        premise     conclusion  support  confidence
        implication                                                
        0            (no moon,)  (small, near)        2         1.0
        1                (far,)        (moon,)        5         1.0
        2               (near,)       (small,)        4         1.0
        """
        pd = optional_module("pandas")
        index = pd.RangeIndex(len(self), name="implication")
        supports = (pd.Series(pd.array([None] * len(self), dtype="Int64"), index=index) if self._supports is None
                    else pd.Series(self._supports.copy(), index=index))
        return pd.DataFrame({
            "premise": pd.Series(self._premises, index=index, dtype=object),
            "conclusion": pd.Series(self._conclusions, index=index, dtype=object),
            "support": supports,
            "confidence": pd.Series(np.ones(len(self)), index=index),
        })

    def __repr__(self) -> str:
        return f"Implications(basis={self.basis!r}, implications={len(self)}, min_support={self.min_support})"


def implications(context: Context, min_support: Union[int, float] = 0, basis: str = "canonical") -> Implications:
    """The implications of a basis: see :meth:`Context.implications`."""
    from tessara.lab._run import resolve_min_support

    chosen = _choice("basis", basis, IMPLICATION_BASES)
    support = resolve_min_support(min_support, context.shape[0])
    premises, conclusions, supports = _lab.implications(context._kernel, support, chosen)
    stride = (len(context.attributes) + 63) // 64
    packed = None
    if stride:  # over no attributes the sets are zero words long and are packed from the names on demand
        packed = (np.frombuffer(premises, dtype=np.uint64).reshape(-1, stride),
                  np.frombuffer(conclusions, dtype=np.uint64).reshape(-1, stride))
    return Implications(chosen, support, _names(context, premises), _names(context, conclusions),
                        np.frombuffer(supports, dtype=np.uint64).astype(np.int64), context.attributes,
                        packed)


# -- association rules ----------------------------------------------------------------------------------------------


@dataclass(frozen=True)
class Rule:
    """An association rule ``premise -> conclusion`` between frequent closed sets, with its measures.

    ``support`` counts the objects having premise and conclusion (``support_fraction`` of all objects);
    ``confidence`` is the share of the premise's objects that have the conclusion; ``lift``, ``leverage``
    and ``conviction`` compare it with independence (lift NaN when no object has the conclusion).

    Examples
    --------
    >>> import tessara.lab as tl
    >>> K = tl.Context(["duck", "trout", "frog"], ["flies", "swims", "croaks"], [[1, 1, 0], [0, 1, 0], [0, 1, 1]])
    >>> rule = K.rules(min_support=1, min_confidence=0.3)[0]
    >>> rule
    Rule({swims} -> {flies}, support=1, confidence=0.3333, lift=1)
    >>> rule.support_fraction, rule.leverage
    (0.3333333333333333, 0.0)
    """

    premise: tuple[str, ...]
    conclusion: tuple[str, ...]
    support: int
    support_fraction: float
    confidence: float
    lift: float
    leverage: float
    conviction: float

    def __repr__(self) -> str:
        return (f"Rule({_shown(self.premise)} -> {_shown(self.conclusion)}, support={self.support}, "
                f"confidence={self.confidence:.4g}, lift={self.lift:.4g})")


#: The numeric columns of a rule table, in order.
RULE_MEASURES = ("support", "support_fraction", "confidence", "lift", "leverage", "conviction")


class Rules(_Rows[Rule]):
    """Association rules, grouped by premise; ``to_pandas()`` gives one row per rule to sort by any measure.

    A sequence of :class:`Rule`; ``basis``, ``min_support`` and ``min_confidence`` say how it was made.

    Examples
    --------
    >>> import tessara.lab as tl
    >>> K = tl.Context(["duck", "trout", "frog"], ["flies", "swims", "croaks"], [[1, 1, 0], [0, 1, 0], [0, 1, 1]])
    >>> rules = K.rules(min_support=1, min_confidence=0.3)
    >>> rules
    Rules(basis='luxenburger', rules=2, min_support=1, min_confidence=0.3)
    >>> rules.measure("confidence").round(3).tolist()
    [0.333, 0.333]
    """

    __slots__ = ("basis", "min_support", "min_confidence", "_columns")

    def __init__(self, basis: str, min_support: int, min_confidence: float, premises: list[tuple[str, ...]],
                 conclusions: list[tuple[str, ...]], columns: dict[str, npt.NDArray[Any]]) -> None:
        self.basis = basis
        self.min_support = min_support
        self.min_confidence = min_confidence
        self._premises = premises
        self._conclusions = conclusions
        self._columns = columns

    def _row(self, i: int) -> Rule:
        c = self._columns
        return Rule(self._premises[i], self._conclusions[i], int(c["support"][i]), float(c["support_fraction"][i]),
                    float(c["confidence"][i]), float(c["lift"][i]), float(c["leverage"][i]),
                    float(c["conviction"][i]))

    def measure(self, name: str) -> npt.NDArray[Any]:
        """One measure of every rule as a read-only array: ``support``, ``support_fraction``, ``confidence``,
        ``lift``, ``leverage`` or ``conviction``.

        Examples
        --------
        >>> import tessara.lab as tl
        >>> K = tl.datasets.load("planets")
        >>> rules = K.rules(min_support=3, min_confidence=0.5)
        >>> rules.measure("lift").round(3)
        array([1.   , 1.   , 1.8  , 0.771, 1.286])
        """
        return self._columns[_choice("measure", name, RULE_MEASURES)]

    def to_pandas(self) -> Any:
        """One row per rule: ``premise`` and ``conclusion`` (tuples of names), then ``support`` (objects),
        ``support_fraction``, ``confidence``, ``lift``, ``leverage`` and ``conviction``.

        Returns
        -------
        pandas.DataFrame

        Examples
        --------
        >>> import tessara.lab as tl
        >>> K = tl.datasets.load("planets")
        >>> K.rules(min_support=3, min_confidence=0.5).to_pandas()[["premise", "conclusion", "confidence"]]
               premise conclusion  confidence
        rule                                 
        0           ()   (small,)    0.555556
        1           ()    (moon,)    0.777778
        2     (small,)    (near,)    0.800000
        3     (small,)    (moon,)    0.600000
        4      (moon,)     (far,)    0.714286
        """
        pd = optional_module("pandas")
        index = pd.RangeIndex(len(self), name="rule")
        columns = {
            "premise": pd.Series(self._premises, index=index, dtype=object),
            "conclusion": pd.Series(self._conclusions, index=index, dtype=object),
        }
        for name in RULE_MEASURES:
            columns[name] = pd.Series(self._columns[name].copy(), index=index)
        return pd.DataFrame(columns)

    def __repr__(self) -> str:
        return (f"Rules(basis={self.basis!r}, rules={len(self)}, min_support={self.min_support}, "
                f"min_confidence={self.min_confidence})")


def _attribute_words(context: Context, parameter: str, names: Optional[Selection]) -> bytes:
    """The constraint's attributes as uint32 positions; unknown names raise KeyError."""
    if names is None:
        return b""
    if isinstance(names, str):
        names = (names,)
    try:
        return context._attribute_positions(names).tobytes()
    except KeyError as error:
        raise KeyError(f"{parameter}: {error.args[0] if error.args else error}") from None


def rules(context: Context, min_support: Union[int, float], min_confidence: float, basis: str = "luxenburger", *,
          premise_includes: Optional[Selection] = None, premise_excludes: Optional[Selection] = None,
          conclusion_includes: Optional[Selection] = None, conclusion_excludes: Optional[Selection] = None,
          max_premise: Optional[int] = None, threads: Optional[int] = None, progress: Any = False) -> Rules:
    """Association rules: see :meth:`Context.rules`."""
    from tessara.lab._run import mine_lattice, progress_reporter, resolve_min_support

    chosen = _choice("basis", basis, RULE_BASES)
    confidence = _fraction("min_confidence", min_confidence)
    support = resolve_min_support(min_support, context.shape[0])
    # A premise holds at most every attribute: a longer limit is no limit.
    n_attributes = len(context.attributes)
    longest = -1 if max_premise is None else whole_number("max_premise", max_premise, most=n_attributes,
                                                           saturate=True)
    constraints = [_attribute_words(context, parameter, names) for parameter, names in (
        ("premise_includes", premise_includes), ("premise_excludes", premise_excludes),
        ("conclusion_includes", conclusion_includes), ("conclusion_excludes", conclusion_excludes))]
    # The iceberg lattice: the concepts of at least `support` objects and the cover edges among them.
    iceberg = mine_lattice(context._kernel, context.shape[0], context._algorithm_or_default(None), support, None,
                           threads, progress)
    # Then the rules, counted as they are found and while they become columns and names.
    with progress_reporter(progress, "rules") as reporter:
        found = _lab.association_rules(iceberg, chosen, confidence, longest, constraints[0], constraints[1],
                                       constraints[2], constraints[3], reporter.callback)
        premises = _lab.list_names(found[9], found[10], context.attributes)
        conclusions = _lab.list_names(found[11], found[12], context.attributes)
        reporter.finish(len(premises))
    # found: premise and conclusion concepts, support, premise and conclusion supports, confidence, lift,
    # leverage, conviction, then premises and conclusions as (offsets, attribute indices).
    support_counts = np.frombuffer(found[2], dtype=np.uint64).astype(np.int64)
    n_objects = context.shape[0]
    columns: dict[str, npt.NDArray[Any]] = {
        "support": support_counts,
        "support_fraction": support_counts / n_objects if n_objects else np.zeros(len(support_counts)),
    }
    for k, name in enumerate(("confidence", "lift", "leverage", "conviction"), start=5):
        columns[name] = np.frombuffer(found[k], dtype=np.float64)
    for column in columns.values():
        column.flags.writeable = False
    return Rules(chosen, support, confidence, premises, conclusions, columns)


# -- concept measures -----------------------------------------------------------------------------------------------


class Stability:
    """The stability of every concept of a lattice, by concept index.

    ``values`` holds them (read-only float64). When ``exact`` is False they were estimated from ``samples``
    random subsets of each extent, and each lies within ``error_bound`` of the true stability with probability
    at least ``confidence`` (Hoeffding's bound); exact values have ``error_bound`` 0.

    Examples
    --------
    >>> import tessara.lab as tl
    >>> K = tl.Context(["duck", "trout", "frog"], ["flies", "swims", "croaks"], [[1, 1, 0], [0, 1, 0], [0, 1, 1]])
    >>> stability = K.lattice().stability()
    >>> stability
    Stability(exact, concepts=4)
    >>> stability.values.tolist(), stability.error_bound
    ([0.625, 0.5, 1.0, 0.5], 0.0)
    """

    __slots__ = ("values", "exact", "samples", "confidence", "error_bound")

    def __init__(self, values: npt.NDArray[np.float64], exact: bool, samples: int, confidence: float,
                 error_bound: float) -> None:
        values.flags.writeable = False
        self.values = values
        self.exact = exact
        self.samples = samples
        self.confidence = confidence
        self.error_bound = error_bound

    def __len__(self) -> int:
        return len(self.values)

    def __getitem__(self, index: int) -> float:
        return float(self.values[index])

    def __iter__(self) -> Iterator[float]:
        return iter(self.values.tolist())

    def __array__(self, dtype: Any = None, copy: Optional[bool] = None) -> npt.NDArray[Any]:
        return self.values if dtype is None else self.values.astype(dtype)

    def __repr__(self) -> str:
        if self.exact:
            return f"Stability(exact, concepts={len(self)})"
        return (f"Stability(sampled, concepts={len(self)}, samples={self.samples}, "
                f"error_bound={self.error_bound:.4g}, confidence={self.confidence})")


def stability(lattice: Lattice, method: str = "auto", samples: int = 10_000, seed: int = 0,
              confidence: float = 0.99, max_visits: int = DEFAULT_MAX_VISITS, progress: Progress = False) -> Stability:
    """Concept stability: see :meth:`Lattice.stability`."""
    chosen = _choice("method", method, ("auto", "exact", "sampled"))
    check_progress(progress)
    kernel = lattice._data.kernel
    with progress_reporter(progress) as reporter:
        if chosen != "sampled":
            # A budget past the kernel's count of visits is no budget.
            budget = UINT64_MAX if chosen == "exact" else whole_number("max_visits", max_visits, saturate=True)
            exact = _lab.exact_stability(kernel, budget, reporter.callback)
            if exact is not None:
                reporter.finish(len(lattice))
                return Stability(np.frombuffer(exact, dtype=np.float64), True, 0, 1.0, 0.0)
        # The kernel counts samples and seeds in 64 bits: more samples are refused rather than drawn fewer.
        count = whole_number("samples", samples, least=1)
        start = whole_number("seed", seed)
        chance = real_number("confidence", confidence, 0.0, 1.0, open_low=True, open_high=True)
        values = np.frombuffer(_lab.sampled_stability(kernel, count, start, reporter.callback), dtype=np.float64)
        reporter.finish(len(lattice))
    return Stability(values, False, count, chance, _lab.stability_error_bound(count, chance))


def delta_stability(lattice: Lattice) -> npt.NDArray[np.int64]:
    """Delta stability: see :meth:`Lattice.delta_stability`."""
    values = np.frombuffer(_lab.delta_stability(lattice._data.kernel), dtype=np.uint64).astype(np.int64)
    values.flags.writeable = False
    return values


def generators(lattice: Lattice, index: int) -> tuple[tuple[str, ...], ...]:
    """The keys of one concept: see :meth:`Lattice.generators`."""
    keys = _lab.generators(lattice._data.kernel, index)
    if not lattice.context.attributes:  # packed in no words: the one concept's one key, the empty set
        return ((),)
    return tuple(_names(lattice.context, keys))


def all_generators(lattice: Lattice) -> list[tuple[tuple[str, ...], ...]]:
    """The keys of every concept, by concept index."""
    first_bytes, words = _lab.all_generators(lattice._data.kernel)
    first = np.frombuffer(first_bytes, dtype=np.uint64).tolist()
    keys = _names(lattice.context, words) if lattice.context.attributes else [()] * int(first[-1])
    return [tuple(keys[first[i]:first[i + 1]]) for i in range(len(first) - 1)]


def measure_columns(lattice: Lattice, measures: Iterable[str],
                    report: Callable[[int], Any] = lambda done: None) -> dict[str, Any]:
    """The columns ``Lattice.to_pandas(measures=...)`` adds, by measure name; `report` gets the count made."""
    if isinstance(measures, str):
        measures = (measures,)
    names = [_choice("measure", name, MEASURES) for name in measures]
    columns: dict[str, Any] = {}
    for name in names:
        if name == "stability":
            columns[name] = stability(lattice).values.copy()
        elif name == "delta_stability":
            columns[name] = delta_stability(lattice).copy()
        else:
            columns[name] = all_generators(lattice)
        report(len(columns))
    return columns
