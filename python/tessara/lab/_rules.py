"""Implications, association rules and concept measures.

The bases, the rules and the measures are computed by the kernels in C++
(``tessara._lab``); this module checks the arguments, turns attribute sets
into names and gives the results as sequences with ``to_pandas()``.
"""

from __future__ import annotations

import numbers
from collections.abc import Iterable, Iterator, Sequence
from dataclasses import dataclass
from typing import TYPE_CHECKING, Any, Optional, TypeVar, Union, overload

import numpy as np
import numpy.typing as npt

from tessara import _lab
from tessara.lab._optional import optional_module

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
    if isinstance(value, bool) or not isinstance(value, numbers.Real):
        raise TypeError(f"{parameter} must be a number, not {type(value).__name__}")
    number = float(value)
    if not 0.0 <= number <= 1.0:
        raise ValueError(f"{parameter} must lie in [0, 1], got {value}")
    return number


def _count(parameter: str, value: object, least: int) -> int:
    if isinstance(value, bool) or not isinstance(value, numbers.Integral):
        raise TypeError(f"{parameter} must be an int, not {type(value).__name__}")
    if int(value) < least:
        raise ValueError(f"{parameter} must be at least {least}, got {value}")
    return int(value)


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
    ``support`` is the number of objects having the premise. Names are in context order.
    """

    premise: tuple[str, ...]
    conclusion: tuple[str, ...]
    support: int
    confidence: float = 1.0

    def __repr__(self) -> str:
        return f"Implication({_shown(self.premise)} -> {_shown(self.conclusion)}, support={self.support})"


class Implications(_Rows[Implication]):
    """The implications of a basis, in the basis's order (increasing lectic order of the premises)."""

    __slots__ = ("basis", "min_support", "_supports")

    def __init__(self, basis: str, min_support: int, premises: list[tuple[str, ...]],
                 conclusions: list[tuple[str, ...]], supports: npt.NDArray[np.int64]) -> None:
        self.basis = basis
        self.min_support = min_support
        self._premises = premises
        self._conclusions = conclusions
        self._supports = supports

    def _row(self, i: int) -> Implication:
        return Implication(self._premises[i], self._conclusions[i], int(self._supports[i]))

    def to_pandas(self) -> Any:
        """One row per implication: ``premise`` and ``conclusion`` (tuples of names), ``support`` and
        ``confidence`` (always 1.0).

        Returns
        -------
        pandas.DataFrame
        """
        pd = optional_module("pandas")
        index = pd.RangeIndex(len(self), name="implication")
        return pd.DataFrame({
            "premise": pd.Series(self._premises, index=index, dtype=object),
            "conclusion": pd.Series(self._conclusions, index=index, dtype=object),
            "support": pd.Series(self._supports.copy(), index=index),
            "confidence": pd.Series(np.ones(len(self)), index=index),
        })

    def __repr__(self) -> str:
        return f"Implications(basis={self.basis!r}, implications={len(self)}, min_support={self.min_support})"


def implications(context: Context, min_support: Union[int, float] = 0, basis: str = "canonical") -> Implications:
    """The implications of a basis: see :meth:`Context.implications`."""
    from tessara.lab._run import resolve_min_support

    chosen = _choice("basis", basis, IMPLICATION_BASES)
    support = resolve_min_support(min_support, len(context.objects))
    premises, conclusions, supports = _lab.implications(context._kernel, support, chosen)
    return Implications(chosen, support, _names(context, premises), _names(context, conclusions),
                        np.frombuffer(supports, dtype=np.uint64).astype(np.int64))


# -- association rules ----------------------------------------------------------------------------------------------


@dataclass(frozen=True)
class Rule:
    """An association rule ``premise -> conclusion`` between frequent closed sets, with its measures.

    ``support`` counts the objects having premise and conclusion (``support_fraction`` of all objects);
    ``confidence`` is the share of the premise's objects that have the conclusion; ``lift``, ``leverage``
    and ``conviction`` compare it with independence (lift NaN when no object has the conclusion).
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
    """Association rules, grouped by premise; ``to_pandas()`` gives one row per rule to sort by any measure."""

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
        ``lift``, ``leverage`` or ``conviction``."""
        return self._columns[_choice("measure", name, RULE_MEASURES)]

    def to_pandas(self) -> Any:
        """One row per rule: ``premise`` and ``conclusion`` (tuples of names), then ``support`` (objects),
        ``support_fraction``, ``confidence``, ``lift``, ``leverage`` and ``conviction``.

        Returns
        -------
        pandas.DataFrame
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
    from tessara.lab._run import mine_lattice, resolve_min_support

    chosen = _choice("basis", basis, RULE_BASES)
    confidence = _fraction("min_confidence", min_confidence)
    support = resolve_min_support(min_support, len(context.objects))
    longest = -1 if max_premise is None else _count("max_premise", max_premise, 0)
    constraints = [_attribute_words(context, parameter, names) for parameter, names in (
        ("premise_includes", premise_includes), ("premise_excludes", premise_excludes),
        ("conclusion_includes", conclusion_includes), ("conclusion_excludes", conclusion_excludes))]
    # The iceberg lattice: the concepts of at least `support` objects and the cover edges among them.
    iceberg = mine_lattice(context._kernel, len(context.objects), context._algorithm_or_default(None), support, None,
                           threads, progress)
    found = _lab.association_rules(iceberg, chosen, confidence, longest, *constraints)
    # found: premise and conclusion concepts, support, premise and conclusion supports, confidence, lift,
    # leverage, conviction, premises, conclusions.
    support_counts = np.frombuffer(found[2], dtype=np.uint64).astype(np.int64)
    n_objects = len(context.objects)
    columns: dict[str, npt.NDArray[Any]] = {
        "support": support_counts,
        "support_fraction": support_counts / n_objects if n_objects else np.zeros(len(support_counts)),
    }
    for k, name in enumerate(("confidence", "lift", "leverage", "conviction"), start=5):
        columns[name] = np.frombuffer(found[k], dtype=np.float64)
    for column in columns.values():
        column.flags.writeable = False
    return Rules(chosen, support, confidence, _names(context, found[9]), _names(context, found[10]), columns)


# -- concept measures -----------------------------------------------------------------------------------------------


class Stability:
    """The stability of every concept of a lattice, by concept index.

    ``values`` holds them (read-only float64). When ``exact`` is False they were estimated from ``samples``
    random subsets of each extent, and each lies within ``error_bound`` of the true stability with probability
    at least ``confidence`` (Hoeffding's bound); exact values have ``error_bound`` 0.
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
              confidence: float = 0.99, max_visits: int = DEFAULT_MAX_VISITS) -> Stability:
    """Concept stability: see :meth:`Lattice.stability`."""
    chosen = _choice("method", method, ("auto", "exact", "sampled"))
    kernel = lattice._data.kernel
    if chosen != "sampled":
        budget = 2**64 - 1 if chosen == "exact" else _count("max_visits", max_visits, 0)
        exact = _lab.exact_stability(kernel, budget)
        if exact is not None:
            return Stability(np.frombuffer(exact, dtype=np.float64), True, 0, 1.0, 0.0)
    count = _count("samples", samples, 1)
    _count("seed", seed, 0)
    if isinstance(confidence, bool) or not isinstance(confidence, numbers.Real) or not 0.0 < confidence < 1.0:
        raise ValueError(f"confidence must lie in (0, 1), got {confidence}")
    values = np.frombuffer(_lab.sampled_stability(kernel, count, seed % 2**64), dtype=np.float64)
    return Stability(values, False, count, float(confidence), _lab.stability_error_bound(count, float(confidence)))


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


def measure_columns(lattice: Lattice, measures: Iterable[str]) -> dict[str, Any]:
    """The columns ``Lattice.to_pandas(measures=...)`` adds, by measure name."""
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
    return columns
