"""Attribute exploration (Ganter): complete a context with an expert's help, one implication at a time."""

from __future__ import annotations

from collections.abc import Iterable, Sequence
from typing import TYPE_CHECKING, Any, NamedTuple, Optional, Protocol

import numpy as np
import numpy.typing as npt

from tessara import _lab
from tessara.lab._calculus import make, pack, packed_sets, unpack
from tessara.lab._rules import Implication, Implications

if TYPE_CHECKING:
    from tessara.lab._context import Context

#: What an expert answers: None to confirm, or counterexamples as (object name, attribute names) pairs.
Answer = Optional[Sequence[tuple[str, Iterable[str]]]]


class Expert(Protocol):
    """What :meth:`Context.explore` asks: called with each question and the context so far, it returns None
    when the implication holds in its domain, or a list of counterexamples, ``(object name, attribute
    names)`` pairs: objects that have the premise but not the whole conclusion.

    Examples
    --------
    >>> import tessara.lab as tl
    >>> def every_bird_flies(implication, context):
    ...     # Knows the domain: birds that fly, and stones that do neither.
    ...     if "bird" in implication.premise or "flies" in implication.premise:
    ...         return None
    ...     return [("stone", [])]
    >>> result = tl.Context(["sparrow"], ["bird", "flies"], [[1, 1]]).explore(every_bird_flies)
    >>> result.context.objects, [(i.premise, i.conclusion) for i in result.implications]
    (('sparrow', 'stone'), [(('flies',), ('bird',)), (('bird',), ('flies',))])
    """

    def __call__(self, implication: Implication, context: Context, /) -> Answer: ...


class ExplorationResult(NamedTuple):
    """What an exploration ends with: the completed context and its canonical base, the implications the
    expert confirmed (the questions asked and accepted, in order) and the number of counterexamples given.

    Examples
    --------
    >>> import tessara.lab as tl
    >>> result = tl.Context(["sparrow"], ["bird", "flies"], [[1, 1]]).explore(lambda implication, context: None)
    >>> result.context.objects, len(result.implications), len(result.confirmed), result.counterexamples
    (('sparrow',), 1, 1, 0)
    """

    context: Context
    implications: Implications
    confirmed: Implications
    counterexamples: int


class Exploration:
    """Attribute exploration, one question at a time: Ganter's algorithm walks the pseudo-intents of the
    growing context in lectic order and asks, for each, whether ``premise -> conclusion`` holds; the answer
    is :meth:`Exploration.confirm` or :meth:`Exploration.reject` with a counterexample, until
    :attr:`Exploration.done`.

    Parameters
    ----------
    context : Context
        The objects known so far.
    background : Implications or iterable of (premise, conclusion), optional
        Implications known to hold: never asked, and every counterexample must respect them.

    Raises
    ------
    ValueError
        When an object of the context already breaks a background implication, or names are unknown.

    Examples
    --------
    >>> import tessara.lab as tl
    >>> run = tl.Exploration(tl.Context(["sparrow"], ["bird", "flies"], [[1, 1]]))
    >>> run.question
    Implication({} -> {bird, flies}, support=1)
    >>> run.reject("stone", [])
    >>> run.question
    Implication({flies} -> {bird}, support=1)
    >>> run.confirm()
    >>> run.question
    Implication({bird} -> {flies}, support=1)
    >>> run.reject("penguin", ["bird"])
    >>> run.done, run.context.objects
    (True, ('sparrow', 'stone', 'penguin'))
    """

    def __init__(self, context: Context, background: Any = None) -> None:
        from tessara.lab._calculus import from_pairs
        from tessara.lab._context import Context

        if not isinstance(context, Context):
            raise TypeError(f"Exploration takes a Context, not {type(context).__name__}")
        self._attributes = context.attributes
        self._attribute_positions = {name: k for k, name in enumerate(self._attributes)}
        if len(self._attribute_positions) != len(self._attributes):
            raise ValueError("exploration needs distinct attribute names")
        self._objects = list(context.objects)
        self._rows = np.array(context.incidence, dtype=bool).reshape(len(self._objects), len(self._attributes))
        n = len(self._attributes)
        self._background = (from_pairs([], self._attributes) if background is None
                            else from_pairs(background, self._attributes))
        # The implications to respect, as bool rows: background first, then each confirmation.
        premises, conclusions = packed_sets(self._background)
        self._premises = unpack(premises, n)
        self._conclusions = unpack(conclusions, n) | self._premises
        self._confirmed = 0
        self._counterexamples = 0
        for g in range(len(self._objects)):
            broken = self._broken(self._rows[g])
            if broken is not None:
                raise ValueError(f"object {self._objects[g]!r} breaks the background implication {broken}")
        self._index: Any = None
        self._current: Optional[npt.NDArray[np.bool_]] = self._close(np.zeros(n, dtype=bool))
        self._intent = np.zeros(n, dtype=bool)
        self._advance()

    # -- the state ----------------------------------------------------------------------------------------------

    @property
    def done(self) -> bool:
        """True once every question is answered.

        Examples
        --------
        >>> import tessara.lab as tl
        >>> run = tl.Exploration(tl.Context(["sparrow"], ["bird", "flies"], [[1, 1]]))
        >>> run.done
        False
        >>> run.reject("stone", []); run.confirm(); run.reject("penguin", ["bird"])
        >>> run.done
        True
        """
        return self._current is None

    @property
    def question(self) -> Optional[Implication]:
        """The implication asked now (its support: the objects having its premise so far); None when done.

        Examples
        --------
        >>> import tessara.lab as tl
        >>> run = tl.Exploration(tl.Context(["sparrow"], ["bird", "flies"], [[1, 1]]))
        >>> run.question
        Implication({} -> {bird, flies}, support=1)
        """
        if self._current is None:
            return None
        return self._implication(self._current, self._intent & ~self._current)

    @property
    def context(self) -> Context:
        """The context so far: the objects given at the start, then the counterexamples, in order.

        Examples
        --------
        >>> import tessara.lab as tl
        >>> run = tl.Exploration(tl.Context(["sparrow"], ["bird", "flies"], [[1, 1]]))
        >>> run.reject("stone", [])
        >>> run.context.objects
        ('sparrow', 'stone')
        """
        from tessara.lab._context import Context

        return Context._from_matrix(tuple(self._objects), self._attributes, self._rows)

    @property
    def confirmed(self) -> Implications:
        """The implications confirmed so far, in the order asked.

        Examples
        --------
        >>> import tessara.lab as tl
        >>> run = tl.Exploration(tl.Context(["sparrow"], ["bird", "flies"], [[1, 1]]))
        >>> run.reject("stone", []); run.confirm()
        >>> [(i.premise, i.conclusion) for i in run.confirmed]
        [(('flies',), ('bird',))]
        """
        skip = len(self._background)
        return make("confirmed", self._attributes, pack(self._premises[skip:]), pack(self._conclusions[skip:]))

    @property
    def counterexamples(self) -> int:
        """The number of counterexamples given so far.

        Examples
        --------
        >>> import tessara.lab as tl
        >>> run = tl.Exploration(tl.Context(["sparrow"], ["bird", "flies"], [[1, 1]]))
        >>> run.reject_many([("stone", []), ("cloud", [])])
        >>> run.counterexamples
        2
        """
        return self._counterexamples

    def result(self) -> ExplorationResult:
        """The context so far, its canonical base, the confirmed implications and the counterexample count.

        Examples
        --------
        >>> import tessara.lab as tl
        >>> run = tl.Exploration(tl.Context(["sparrow"], ["bird", "flies"], [[1, 1]]))
        >>> run.reject("stone", []); run.confirm(); run.reject("penguin", ["bird"])
        >>> result = run.result()
        >>> result.context.objects, [(i.premise, i.conclusion) for i in result.implications], result.counterexamples
        (('sparrow', 'stone', 'penguin'), [(('flies',), ('bird',))], 2)
        """
        context = self.context
        return ExplorationResult(context, context.implications(), self.confirmed, self._counterexamples)

    # -- answers ------------------------------------------------------------------------------------------------

    def confirm(self) -> None:
        """Accept the question: it holds in the domain. The next question follows (or :attr:`done`).

        Examples
        --------
        >>> import tessara.lab as tl
        >>> run = tl.Exploration(tl.Context(["sparrow"], ["bird", "flies"], [[1, 1]]))
        >>> run.reject("stone", [])
        >>> run.question
        Implication({flies} -> {bird}, support=1)
        >>> run.confirm()
        >>> run.question
        Implication({bird} -> {flies}, support=1)
        """
        current = self._asked()
        self._premises = np.vstack([self._premises, current[None, :]])
        self._conclusions = np.vstack([self._conclusions, self._intent[None, :]])
        self._confirmed += 1
        self._index = None
        self._current = self._next_closed(current)
        self._advance()

    def reject(self, name: str, attributes: Iterable[str]) -> None:
        """Refute the question with a counterexample: a new object with its attributes.

        Raises
        ------
        ValueError
            When the object does not refute the question (lacks part of the premise, or has the whole
            conclusion), breaks a confirmed or background implication, names an unknown attribute, or
            repeats an object name. Nothing changes then.

        Examples
        --------
        >>> import tessara.lab as tl
        >>> run = tl.Exploration(tl.Context(["sparrow"], ["bird", "flies"], [[1, 1]]))
        >>> run.reject("stone", ["bird", "flies"])
        Traceback (most recent call last):
        ...
        ValueError: counterexample 'stone' does not refute ...: it has the whole conclusion
        >>> run.reject("stone", [])
        >>> run.context.objects
        ('sparrow', 'stone')
        """
        self.reject_many([(name, attributes)])

    def reject_many(self, counterexamples: Iterable[tuple[str, Iterable[str]]]) -> None:
        """Refute the question with several counterexamples at once; all are checked before any is added.

        Examples
        --------
        >>> import tessara.lab as tl
        >>> run = tl.Exploration(tl.Context(["sparrow"], ["bird", "flies"], [[1, 1]]))
        >>> run.reject_many([("stone", []), ("cloud", [])])
        >>> run.context.objects
        ('sparrow', 'stone', 'cloud')
        """
        current = self._asked()
        question = self.question
        names: list[str] = []
        rows: list[npt.NDArray[np.bool_]] = []
        for item in counterexamples:
            if not (isinstance(item, (tuple, list)) and len(item) == 2):
                raise TypeError(f"a counterexample is a (name, attributes) pair, not {item!r}")
            name, attributes = item
            if not isinstance(name, str):
                raise TypeError(f"a counterexample's name must be a str, not {type(name).__name__}")
            if name in self._objects or name in names:
                raise ValueError(f"counterexample {name!r}: the context already has an object of that name")
            row = self._row(name, attributes)
            if not row[current].all():
                missing = [self._attributes[k] for k in np.flatnonzero(current & ~row)]
                raise ValueError(f"counterexample {name!r} does not refute {question}: it lacks the premise's "
                                 f"{_listed(missing)}")
            if row[self._intent].all():
                raise ValueError(f"counterexample {name!r} does not refute {question}: it has the whole conclusion")
            broken = self._broken(row)
            if broken is not None:
                raise ValueError(f"counterexample {name!r} breaks the implication {broken}, known to hold")
            names.append(name)
            rows.append(row)
        if not names:
            raise ValueError("no counterexample given; confirm() accepts the question")
        self._objects.extend(names)
        self._rows = np.vstack([self._rows, np.array(rows, dtype=bool).reshape(len(rows), len(self._attributes))])
        self._counterexamples += len(names)
        self._advance()

    # -- the walk -----------------------------------------------------------------------------------------------

    def _asked(self) -> npt.NDArray[np.bool_]:
        if self._current is None:
            raise ValueError("the exploration is done: there is no question to answer")
        return self._current

    def _advance(self) -> None:
        """From the current set on, to the next one whose closure in the context is larger (a question)."""
        while self._current is not None:
            self._intent = self._context_closure(self._current)
            if (self._intent != self._current).any():
                return
            self._current = self._next_closed(self._current)

    def _context_closure(self, attributes: npt.NDArray[np.bool_]) -> npt.NDArray[np.bool_]:
        having = self._rows[:, attributes].all(axis=1)
        if not having.any():
            return np.ones(len(self._attributes), dtype=bool)
        closed: npt.NDArray[np.bool_] = np.asarray(self._rows[having].all(axis=0), dtype=bool)
        return closed

    def _close(self, attributes: npt.NDArray[np.bool_]) -> npt.NDArray[np.bool_]:
        """The closure under the background and confirmed implications (LinClosure in the kernel)."""
        n = len(self._attributes)
        if self._index is None:
            self._index = _lab.implication_index(n, pack(self._premises).tobytes(), pack(self._conclusions).tobytes())
        positions = np.flatnonzero(attributes).astype(np.uint32)
        closed = np.frombuffer(_lab.implication_closure(self._index, positions.tobytes()), dtype=np.uint32)
        result = np.zeros(n, dtype=bool)
        result[closed] = True
        return result

    def _next_closed(self, current: npt.NDArray[np.bool_]) -> Optional[npt.NDArray[np.bool_]]:
        """The lectically next set after `current` closed under the implications (NextClosure)."""
        for i in range(len(self._attributes) - 1, -1, -1):
            if current[i]:
                continue
            candidate = current.copy()
            candidate[i + 1:] = False
            candidate[i] = True
            closed = self._close(candidate)
            if not (closed[:i] & ~current[:i]).any():
                return closed
        return None

    # -- helpers ------------------------------------------------------------------------------------------------

    def _row(self, name: str, attributes: Iterable[str]) -> npt.NDArray[np.bool_]:
        if isinstance(attributes, str):
            attributes = (attributes,)
        row = np.zeros(len(self._attributes), dtype=bool)
        unknown = []
        for attribute in attributes:
            position = self._attribute_positions.get(attribute)
            if position is None:
                unknown.append(attribute)
            else:
                row[position] = True
        if unknown:
            raise ValueError(f"counterexample {name!r} names unknown attributes: {_listed(unknown)}")
        return row

    def _broken(self, row: npt.NDArray[np.bool_]) -> Optional[Implication]:
        """The first implication to respect that the row breaks, or None."""
        if len(self._premises) == 0:
            return None
        fires = (self._premises <= row).all(axis=1)
        broken = fires & ~(self._conclusions <= row).all(axis=1)
        if not broken.any():
            return None
        k = int(np.flatnonzero(broken)[0])
        return self._implication(self._premises[k], self._conclusions[k] & ~self._premises[k], support=False)

    def _implication(self, premise: npt.NDArray[np.bool_], conclusion: npt.NDArray[np.bool_],
                     support: bool = True) -> Implication:
        names = self._attributes
        count = int(self._rows[:, premise].all(axis=1).sum()) if support else None
        return Implication(tuple(names[k] for k in np.flatnonzero(premise)),
                           tuple(names[k] for k in np.flatnonzero(conclusion)), count)

    def __repr__(self) -> str:
        state = "done" if self.done else f"asking {self.question}"
        return (f"Exploration(objects={len(self._objects)}, confirmed={self._confirmed}, "
                f"counterexamples={self._counterexamples}, {state})")


def _listed(names: Sequence[str]) -> str:
    return ", ".join(repr(name) for name in names)


def explore(context: Context, expert: Any, background: Any = None) -> ExplorationResult:
    """See :meth:`Context.explore`."""
    if not callable(expert):
        raise TypeError(f"expert must be callable (implication, context) -> None or counterexamples, "
                        f"not {type(expert).__name__}")
    run = Exploration(context, background)
    while not run.done:
        question = run.question
        answer = expert(question, run.context)
        if answer is None:
            run.confirm()
        else:
            if isinstance(answer, tuple) and len(answer) == 2 and isinstance(answer[0], str):
                answer = [answer]
            run.reject_many(answer)
    return run.result()
