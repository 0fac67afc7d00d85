"""The implication calculus: closure under a set of implications, entailment, and the bases of the closure
system a set defines, computed by the kernels from the implications alone.

Sets of implications cross to the kernels as two arrays of packed attribute sets (uint64 words, attribute j
at bit j % 64 of word j // 64), premises and conclusions, one row per implication.
"""

from __future__ import annotations

import numbers
from collections.abc import Iterable
from typing import TYPE_CHECKING, Any, Optional

import numpy as np
import numpy.typing as npt

from tessara import _lab
from tessara.lab._names import NameIndex, names_tuple
from tessara.lab._rules import Implication, Implications

if TYPE_CHECKING:
    from tessara.lab._context import Context

Packed = npt.NDArray[np.uint64]


def _stride(n_attributes: int) -> int:
    return (n_attributes + 63) // 64


def pack(matrix: npt.NDArray[np.bool_]) -> Packed:
    """Rows of a bool matrix as packed words, shape (rows, stride)."""
    n, m = matrix.shape
    stride = _stride(m)
    if n == 0 or stride == 0:
        return np.zeros((n, stride), dtype=np.uint64)
    packed = np.packbits(matrix, axis=1, bitorder="little")
    padded = np.zeros((n, stride * 8), dtype=np.uint8)
    padded[:, : packed.shape[1]] = packed
    return padded.view("<u8").astype(np.uint64, copy=False).reshape(n, stride)


def unpack(words: Packed, n_attributes: int) -> npt.NDArray[np.bool_]:
    """Packed rows as a bool matrix of shape (rows, n_attributes)."""
    rows = words.shape[0]
    if n_attributes == 0 or rows == 0:
        return np.zeros((rows, n_attributes), dtype=bool)
    little = np.ascontiguousarray(words, dtype="<u8")
    bits = np.unpackbits(little.view(np.uint8), axis=1, count=n_attributes, bitorder="little")
    return bits.view(np.bool_).reshape(rows, n_attributes)


def _set_names(words: Packed, attributes: tuple[str, ...]) -> list[tuple[str, ...]]:
    if len(attributes) == 0:
        return [()] * words.shape[0]
    names: list[tuple[str, ...]] = _lab.set_names(np.ascontiguousarray(words).tobytes(), len(attributes), attributes)
    return names


def packed_sets(implications: Implications) -> tuple[Packed, Packed]:
    """Premises and conclusions of the set as packed words."""
    if implications._packed is None:
        index = _name_index(implications._attributes)
        premises = _positions_matrix(index, implications._premises, len(implications._attributes))
        conclusions = _positions_matrix(index, implications._conclusions, len(implications._attributes))
        implications._packed = (pack(premises), pack(conclusions))
    return implications._packed


def _name_index(attributes: tuple[str, ...]) -> NameIndex:
    return NameIndex("attribute", attributes)


def _positions_matrix(index: NameIndex, sets: list[tuple[str, ...]], n_attributes: int) -> npt.NDArray[np.bool_]:
    matrix = np.zeros((len(sets), n_attributes), dtype=bool)
    for row, names in enumerate(sets):
        matrix[row, [index.position(name) for name in names]] = True
    return matrix


def make(basis: str, attributes: tuple[str, ...], premises: Packed, conclusions: Packed) -> Implications:
    """An Implications from packed premises and conclusions (conclusions stripped of their premise here)."""
    conclusions = conclusions & ~premises
    return Implications(basis, 0, _set_names(premises, attributes), _set_names(conclusions, attributes), None,
                        attributes, (premises, conclusions))


# -- building sets from names ---------------------------------------------------------------------------------------


def _attribute_names(attributes: Any) -> tuple[str, ...]:
    from tessara.lab._context import Context

    if isinstance(attributes, Context):
        return attributes.attributes
    return names_tuple("attributes", attributes)


def _side(value: Any, where: str) -> tuple[str, ...]:
    if isinstance(value, str):
        return (value,)
    try:
        return names_tuple(where, value)
    except TypeError:
        raise TypeError(f"{where} must be an attribute name or an iterable of names, not {value!r}") from None


def _pairs(items: Any, what: str) -> list[tuple[tuple[str, ...], tuple[str, ...]]]:
    """Implications, pairs or an Implications as (premise, conclusion) name tuples."""
    if isinstance(items, Implications):
        return list(zip(items._premises, items._conclusions))
    if isinstance(items, Implication) or _is_pair(items):
        items = [items]
    pairs = []
    for position, item in enumerate(items):
        if isinstance(item, Implication):
            pairs.append((item.premise, item.conclusion))
        elif _is_pair(item) or (isinstance(item, list) and len(item) == 2):
            pairs.append((_side(item[0], f"{what}[{position}] premise"), _side(item[1], f"{what}[{position}] conclusion")))
        else:
            raise TypeError(f"{what}[{position}] is {item!r}, not an Implication or a (premise, conclusion) pair")
    return pairs


def _is_pair(item: Any) -> bool:
    """A (premise, conclusion) tuple; at the top level a 2-tuple is always one pair, never two."""
    return isinstance(item, tuple) and len(item) == 2


def _packed_pairs(pairs: list[tuple[tuple[str, ...], tuple[str, ...]]], attributes: tuple[str, ...],
                  what: str) -> tuple[Packed, Packed]:
    """The pairs packed over `attributes`; ValueError naming the first pair with unknown names."""
    index = _name_index(attributes)
    known = set(attributes)
    for position, (premise, conclusion) in enumerate(pairs):
        unknown = sorted({name for name in premise + conclusion if name not in known})
        if unknown:
            shown = ", ".join(repr(name) for name in unknown)
            raise ValueError(f"{what}[{position}] names attributes that are not among the {len(attributes)} "
                             f"attributes: {shown}")
    premises = _positions_matrix(index, [p for p, _ in pairs], len(attributes))
    conclusions = _positions_matrix(index, [c for _, c in pairs], len(attributes))
    return pack(premises), pack(conclusions)


def from_pairs(pairs: Iterable[Any], attributes: Any) -> Implications:
    """See :meth:`Implications.from_pairs`."""
    names = _attribute_names(attributes)
    listed = _pairs(pairs, "pairs")
    premises, conclusions = _packed_pairs(listed, names, "pairs")
    return make("given", names, premises, conclusions)


# -- reasoning ------------------------------------------------------------------------------------------------------


def _kernel_index(implications: Implications) -> Any:
    if implications._index is None:
        premises, conclusions = packed_sets(implications)
        implications._index = _lab.implication_index(len(implications._attributes), premises.tobytes(),
                                                     conclusions.tobytes())
    return implications._index


def _positions(implications: Implications, attributes: Any, what: str) -> npt.NDArray[np.uint32]:
    names = _side(attributes, what)
    if implications._name_index is None:
        implications._name_index = _name_index(implications._attributes)
    index = implications._name_index
    try:
        return np.array([index.position(name) for name in names], dtype=np.uint32)
    except KeyError:
        known = set(implications._attributes)
        shown = ", ".join(repr(name) for name in names if name not in known)
        raise ValueError(f"{what} names attributes the implications are not over: {shown}") from None


def closure(implications: Implications, attributes: Any) -> tuple[str, ...]:
    """See :meth:`Implications.closure`."""
    chosen = _positions(implications, attributes, "attributes")
    closed = np.frombuffer(_lab.implication_closure(_kernel_index(implications), chosen.tobytes()), dtype=np.uint32)
    names = implications._attributes
    return tuple([names[i] for i in closed.tolist()])


def _bool_row(positions: npt.NDArray[np.uint32], n_attributes: int) -> npt.NDArray[np.bool_]:
    row = np.zeros((1, n_attributes), dtype=bool)
    row[0, positions] = True
    return row


def entails(implications: Implications, items: Any) -> bool:
    """See :meth:`Implications.entails`."""
    if isinstance(items, Implications):
        premises, conclusions = repacked(items, implications._attributes, "implications")
    else:
        premises, conclusions = _packed_pairs(_pairs(items, "implications"), implications._attributes, "implications")
    if premises.shape[0] == 0 or premises.shape[1] == 0:
        return True
    entailed = _lab.implications_entailed(_kernel_index(implications), np.ascontiguousarray(premises).tobytes(),
                                          np.ascontiguousarray(conclusions).tobytes())
    return bool(np.frombuffer(entailed, dtype=np.uint8).all())


def equivalent(implications: Implications, other: Any) -> bool:
    """See :meth:`Implications.equivalent`."""
    if not isinstance(other, Implications):
        other = from_pairs(_pairs(other, "other"), implications._attributes)
    if set(other._attributes) != set(implications._attributes):
        missing = sorted(set(implications._attributes) ^ set(other._attributes))
        shown = ", ".join(repr(name) for name in missing)
        raise ValueError(f"the two sets are over different attributes; only one has {shown}")
    return entails(implications, other) and entails(other, implications)


def repacked(implications: Implications, attributes: tuple[str, ...], what: str) -> tuple[Packed, Packed]:
    """The set's premises and conclusions packed over other attributes, matched by name (array operations);
    ValueError naming the attributes the set uses that are not among them."""
    premises, conclusions = packed_sets(implications)
    if implications._attributes == attributes:
        return premises, conclusions
    n = len(implications._attributes)
    used: list[bool] = np.any(unpack(premises, n) | unpack(conclusions, n), axis=0).tolist()
    target = {name: k for k, name in reversed(list(enumerate(attributes)))}
    missing = [name for name, needed in zip(implications._attributes, used) if needed and name not in target]
    if missing:
        shown = ", ".join(repr(name) for name in missing)
        raise ValueError(f"{what} names attributes that are not among the {len(attributes)} attributes: {shown}")
    columns = np.array([target.get(name, -1) for name in implications._attributes], dtype=np.int64)
    kept = columns >= 0
    moved = []
    for words in (premises, conclusions):
        matrix = np.zeros((words.shape[0], len(attributes)), dtype=bool)
        matrix[:, columns[kept]] = unpack(words, n)[:, kept]
        moved.append(pack(matrix))
    return moved[0], moved[1]


def holds_in(implications: Implications, context: Context) -> bool:
    """See :meth:`Implications.holds_in`."""
    from tessara.lab._context import Context

    if not isinstance(context, Context):
        raise TypeError(f"holds_in takes a Context, not {type(context).__name__}")
    premises, conclusions = repacked(implications, context.attributes, "implications")
    if len(context.attributes) == 0 or len(implications) == 0:
        return True
    holds = np.frombuffer(_lab.implications_hold(context._kernel, np.ascontiguousarray(premises).tobytes(),
                                                 np.ascontiguousarray(conclusions).tobytes()), dtype=np.uint8)
    return bool(holds.all())


def respected_by(implications: Implications, attributes: Any) -> bool:
    """See :meth:`Implications.respected_by`."""
    chosen = _positions(implications, attributes, "attributes")
    n = len(implications._attributes)
    if n == 0:
        return True
    words = pack(_bool_row(chosen, n))
    premises, conclusions = packed_sets(implications)
    fires = ((premises & ~words) == 0).all(axis=1)
    broken = ((conclusions & ~words) != 0).any(axis=1)
    return not bool((fires & broken).any())


# -- bases ----------------------------------------------------------------------------------------------------------


def _kernel_result(implications: Implications, kernel: Any, basis: str) -> Implications:
    n = len(implications._attributes)
    premises, conclusions = packed_sets(implications)
    found_premises, found_conclusions = kernel(n, premises.tobytes(), conclusions.tobytes())
    stride = _stride(n)
    if stride == 0:  # over no attributes every implication is empty and none is needed
        empty = np.zeros((0, 0), dtype=np.uint64)
        return make(basis, implications._attributes, empty, empty)
    return make(basis, implications._attributes, np.frombuffer(found_premises, dtype=np.uint64).reshape(-1, stride),
                np.frombuffer(found_conclusions, dtype=np.uint64).reshape(-1, stride))


def canonical(implications: Implications) -> Implications:
    """See :meth:`Implications.canonical`."""
    return _kernel_result(implications, _lab.canonical_of_implications, "canonical")


def minimal_cover(implications: Implications) -> Implications:
    """See :meth:`Implications.minimal_cover`."""
    return _kernel_result(implications, _lab.minimum_cover, "minimal-cover")


def closed_sets(implications: Implications, limit: int) -> Optional[npt.NDArray[np.bool_]]:
    """Every set closed under the implications as rows of a bool matrix, lectic order; None past `limit`."""
    n = len(implications._attributes)
    if n == 0:
        return np.zeros((1, 0), dtype=bool)
    premises, conclusions = packed_sets(implications)
    found = _lab.closed_sets_of_implications(n, premises.tobytes(), conclusions.tobytes(), limit)
    if found is None:
        return None
    return unpack(np.frombuffer(found, dtype=np.uint64).reshape(-1, _stride(n)), n)


def direct(implications: Implications, max_closed_sets: int = 1_000_000) -> Implications:
    """See :meth:`Implications.direct`."""
    from tessara.lab._context import Context

    if isinstance(max_closed_sets, bool) or not isinstance(max_closed_sets, numbers.Integral) or max_closed_sets < 1:
        raise ValueError(f"max_closed_sets must be a positive int, got {max_closed_sets!r}")
    attributes = implications._attributes
    sets = closed_sets(implications, int(max_closed_sets))
    if sets is None:
        raise ValueError(f"the implications have more than {max_closed_sets} closed sets; "
                         "raise max_closed_sets to compute their direct base")
    # A context whose intents are exactly the closed sets has the same proper premises; only its
    # meet-irreducible closed sets (the irreducible objects) are needed.
    objects = tuple(f"c{k}" for k in range(len(sets)))
    context = Context._from_matrix(objects, attributes, sets)
    kept_objects = np.frombuffer(_lab.irreducible(context._kernel)[0], dtype=np.uint32)
    base = context.select(kept_objects).implications(basis="proper-premise")
    premises, conclusions = packed_sets(base)
    return make("proper-premise", attributes, premises, conclusions)
