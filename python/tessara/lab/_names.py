"""Names and positions: checking name lists, and turning names or indices into index arrays."""

from __future__ import annotations

from collections.abc import Iterable
from typing import TYPE_CHECKING, Any, NoReturn, Union


if TYPE_CHECKING:
    import numpy as np
    import numpy.typing as npt

    Indices = npt.NDArray[np.uint32]
else:
    from tessara.lab._lazy import np

#: One object or attribute, by name or by position.
Key = Union[str, int]
#: Objects or attributes chosen by names, positions, or a boolean mask; a bare name or position means that one.
Selection = Union[Key, Iterable[Key], "npt.NDArray[Any]"]


def names_tuple(parameter: str, names: Iterable[str]) -> tuple[str, ...]:
    """The names as a tuple of str; TypeError when they are not an iterable of str."""
    if isinstance(names, (str, bytes)):
        raise TypeError(f"{parameter} must be a sequence of str, not a single {type(names).__name__}")
    try:
        items = tuple(names)
    except TypeError:
        raise TypeError(f"{parameter} must be a sequence of str, not {type(names).__name__}") from None
    for position, name in enumerate(items):
        if not isinstance(name, str):
            raise TypeError(f"{parameter}[{position}] is {type(name).__name__} {name!r}, not a str")
    # Subclasses of str (numpy.str_) become plain str, so names compare and hash as users expect.
    if any(type(name) is not str for name in items):
        items = tuple(str(name) for name in items)
    return items


class NameIndex:
    """Positions of names in one tuple of names, with duplicates remembered."""

    __slots__ = ("_kind", "_names", "_first", "_repeated")

    def __init__(self, kind: str, names: tuple[str, ...]) -> None:
        self._kind = kind
        self._names = names
        self._first: dict[str, int] = {}
        self._repeated: dict[str, list[int]] = {}
        for position, name in enumerate(names):
            earlier = self._first.setdefault(name, position)
            if earlier != position:
                self._repeated.setdefault(name, [earlier]).append(position)

    def position(self, name: str) -> int:
        """The position of a name; KeyError when unknown, ValueError when several carry it."""
        position = self._first.get(name)
        if position is None:
            raise KeyError(f"no {self._kind} named {name!r}")
        repeated = self._repeated.get(name)
        if repeated is not None:
            shown = ", ".join(str(p) for p in repeated)
            raise ValueError(
                f"the {self._kind} name {name!r} is ambiguous: {self._kind}s {shown} carry it; pass a position instead"
            )
        return position

    def indices(self, selection: Selection) -> Indices:
        """Positions (uint32) of the chosen names or indices, in the order given."""
        count = len(self._names)
        if isinstance(selection, np.ndarray):
            if selection.dtype == np.bool_:
                if selection.shape != (count,):
                    raise ValueError(
                        f"a boolean mask of {self._kind}s must have shape ({count},), not {selection.shape}"
                    )
                return np.flatnonzero(selection).astype(np.uint32)
            if np.issubdtype(selection.dtype, np.integer):
                flat = selection.reshape(-1)
                if np.issubdtype(flat.dtype, np.unsignedinteger) and flat.size and int(flat.max()) >= count:
                    # Checked before the conversion to int64, which would wrap the largest to negatives.
                    self._out_of_range(int(flat[np.flatnonzero(flat >= count)[0]]))
                return self._checked(flat.astype(np.int64))
        if isinstance(selection, (str, int, np.integer)):
            selection = [selection]
        positions: list[int] = []
        for item in selection:
            if isinstance(item, str):
                positions.append(self.position(item))
            elif isinstance(item, (int, np.integer)) and not isinstance(item, (bool, np.bool_)):
                position = int(item)
                if not -count <= position < count:
                    self._out_of_range(position)
                positions.append(position)
            else:
                raise TypeError(f"{self._kind} {item!r} is neither a name (str) nor a position (int)")
        return self._checked(np.array(positions, dtype=np.int64))

    def _out_of_range(self, position: int) -> NoReturn:
        count = len(self._names)
        raise IndexError(f"{self._kind} position {position} out of range for {count} {self._kind}s")

    def _checked(self, positions: npt.NDArray[np.int64]) -> Indices:
        count = len(self._names)
        outside = (positions < -count) | (positions >= count)
        if outside.any():
            self._out_of_range(int(positions[np.flatnonzero(outside)[0]]))
        return np.where(positions < 0, positions + count, positions).astype(np.uint32)


def names_at(names: tuple[str, ...], indices: Indices) -> tuple[str, ...]:
    """The names at the given positions, as a tuple."""
    return tuple([names[i] for i in indices.tolist()])
