"""Contexts built without the dense matrix: from scipy.sparse matrices, baskets of items and long tables of pairs.

Every builder here ends in :func:`kernel_from_pairs`: the crosses as (object, attribute) index pairs, sorted
and made unique with numpy, handed to the kernel as compressed rows. The kernel then stores the context sparse
or packed by its size and density.
"""

from __future__ import annotations

from collections.abc import Iterable
from itertools import chain
from typing import TYPE_CHECKING, Any, Optional

from tessara import _lab
from tessara.lab._names import names_tuple
from tessara.lab._optional import optional_module

if TYPE_CHECKING:
    import numpy as np
    import numpy.typing as npt
else:
    from tessara.lab._lazy import np

#: The most attributes integer item ids may ask for (the largest id plus one), as the FIMI reader allows: one
#: large id would otherwise make millions of generated names.
MAX_ITEM_IDS = 1 << 23
#: Objects and attributes are numbered with 32-bit indices.
MAX_INDEX_COUNT = (1 << 32) - 1


def kernel_from_pairs(
    objects: tuple[str, ...], attributes: tuple[str, ...], rows: npt.NDArray[Any], columns: npt.NDArray[Any]
) -> _lab.Context:
    """A kernel context from names and the crosses as index pairs (in any order, repeats allowed)."""
    n_objects, n_attributes = len(objects), len(attributes)
    if n_objects > MAX_INDEX_COUNT or n_attributes > MAX_INDEX_COUNT:
        raise ValueError(f"a context holds at most {MAX_INDEX_COUNT} objects and as many attributes")
    keys = rows.astype(np.uint64) * np.uint64(max(n_attributes, 1)) + columns.astype(np.uint64)
    if keys.size > 1 and not bool(np.all(keys[1:] > keys[:-1])):
        keys = np.unique(keys)
    width = np.uint64(max(n_attributes, 1))
    row_of = (keys // width).astype(np.int64)
    offsets = np.zeros(n_objects + 1, dtype=np.uint64)
    if n_objects:
        np.cumsum(np.bincount(row_of, minlength=n_objects), out=offsets[1:])
    items = (keys % width).astype(np.uint32)
    return _lab.make_sparse_context(objects, attributes, offsets.tobytes(), items.tobytes())


def _names_or_default(parameter: str, names: Optional[Iterable[str]], count: int, what: str) -> tuple[str, ...]:
    if names is None:
        return tuple(str(i) for i in range(count))
    checked = names_tuple(parameter, names)
    if len(checked) != count:
        raise ValueError(f"{parameter} has {len(checked)} names, but there are {count} {what}")
    return checked


def _bad_value_message(where: str, value: Any) -> str:
    shown = value.item() if isinstance(value, np.generic) else value
    return f"{where} is {shown!r}, not a boolean or 0/1"


def from_sparse_matrix(
    matrix: Any, objects: Optional[Iterable[str]], attributes: Optional[Iterable[str]]
) -> tuple[_lab.Context, tuple[str, ...], tuple[str, ...]]:
    """The kernel and names of :meth:`Context.from_sparse`."""
    sparse = optional_module("scipy.sparse")
    if not sparse.issparse(matrix):
        raise TypeError(
            f"from_sparse takes a scipy.sparse matrix or array, not {type(matrix).__name__}; "
            "use Context(objects, attributes, incidence) for dense data"
        )
    if len(matrix.shape) != 2:
        raise ValueError(f"the matrix has {len(matrix.shape)} dimensions (shape {matrix.shape}), expected 2")
    n_objects, n_attributes = (int(n) for n in matrix.shape)
    object_names = _names_or_default("objects", objects, n_objects, "rows in the matrix")
    attribute_names = _names_or_default("attributes", attributes, n_attributes, "columns in the matrix")
    coo = matrix.tocoo()
    data = np.asarray(coo.data)
    rows, columns = np.asarray(coo.row), np.asarray(coo.col)
    if data.dtype.kind not in "biuf":
        raise TypeError(f"the matrix must hold booleans or 0/1, not values of dtype {data.dtype}")
    bad = _first_invalid(data)
    if bad is not None:
        raise ValueError(_bad_value_message(f"matrix[{int(rows[bad])}, {int(columns[bad])}]", data[bad]))
    stored = data != 0
    kernel = kernel_from_pairs(object_names, attribute_names, rows[stored], columns[stored])
    return kernel, object_names, attribute_names


def _is_item_id(kind: type) -> bool:
    return issubclass(kind, (int, np.integer)) and not issubclass(kind, (bool, np.bool_))


def _locate(offsets: npt.NDArray[np.int64], position: int) -> str:
    """Where the flat position lies: 'item k of transaction t' (both 0-based)."""
    transaction = int(np.searchsorted(offsets, position, side="right")) - 1
    return f"item {position - int(offsets[transaction])} of transaction {transaction}"


def from_transactions(
    transactions: Iterable[Iterable[Any]], objects: Optional[Iterable[str]]
) -> tuple[_lab.Context, tuple[str, ...], tuple[str, ...]]:
    """The kernel and names of :meth:`Context.from_transactions`."""
    if isinstance(transactions, (str, bytes)) or not isinstance(transactions, Iterable):
        raise TypeError(f"transactions must be an iterable of item iterables, not {type(transactions).__name__}")
    baskets: list[list[Any]] = []
    for position, basket in enumerate(transactions):
        if isinstance(basket, (str, bytes)) or not isinstance(basket, Iterable):
            raise TypeError(
                f"transaction {position} is {type(basket).__name__} {basket!r}, not an iterable of items "
                "(a str is one item: put it in a list)"
            )
        baskets.append(list(basket))
    lengths = np.fromiter((len(b) for b in baskets), dtype=np.int64, count=len(baskets))
    offsets = np.zeros(len(baskets) + 1, dtype=np.int64)
    np.cumsum(lengths, out=offsets[1:])
    flat = list(chain.from_iterable(baskets))
    kinds = set(map(type, flat))
    object_names = _names_or_default("objects", objects, len(baskets), "transactions")
    if all(_is_item_id(kind) for kind in kinds):
        ids = _checked_ids(flat, offsets)
        width = int(ids.max()) + 1 if ids.size else 0
        attribute_names = tuple(str(i) for i in range(width))
        codes = ids
    elif kinds == {str}:
        index: dict[str, int] = {}
        first_codes = np.fromiter((index.setdefault(item, len(index)) for item in flat), dtype=np.int64,
                                  count=len(flat))
        names = list(index)
        order = sorted(range(len(names)), key=names.__getitem__)
        rank = np.empty(len(names), dtype=np.int64)
        rank[order] = np.arange(len(names), dtype=np.int64)
        attribute_names = tuple(names[i] for i in order)
        codes = rank[first_codes] if flat else first_codes
    else:
        want_ids = any(_is_item_id(kind) for kind in kinds)
        for position, item in enumerate(flat):
            if (want_ids and not _is_item_id(type(item))) or (not want_ids and type(item) is not str):
                expected = "an integer item id like the others" if want_ids else "a str or an integer item id"
                raise TypeError(f"{_locate(offsets, position)} is {type(item).__name__} {item!r}, not {expected}")
        raise AssertionError("unreachable: mixed item kinds without an offending item")
    rows = np.repeat(np.arange(len(baskets), dtype=np.int64), lengths)
    kernel = kernel_from_pairs(object_names, attribute_names, rows, codes)
    return kernel, object_names, attribute_names


def _checked_ids(flat: list[Any], offsets: npt.NDArray[np.int64]) -> npt.NDArray[np.int64]:
    """The integer ids as an array, or ValueError naming the first negative one or one past the limit."""
    try:
        ids = np.fromiter(flat, dtype=np.int64, count=len(flat))
    except OverflowError:  # beyond 64 bits: find it one by one (this is the failure path)
        ids = np.fromiter((min(max(int(item), -1), MAX_ITEM_IDS) for item in flat), dtype=np.int64, count=len(flat))
    bad = np.flatnonzero((ids < 0) | (ids >= MAX_ITEM_IDS))
    if bad.size:
        position = int(bad[0])
        value = int(flat[position])
        if value < 0:
            raise ValueError(f"{_locate(offsets, position)} is {value}, a negative item id")
        raise ValueError(f"{_locate(offsets, position)} is {value}, past the largest item id {MAX_ITEM_IDS - 1}")
    return ids


def _codes_and_labels(pd: Any, column: Any, name: str) -> tuple[npt.NDArray[np.int64], tuple[str, ...]]:
    """Codes of a column's values and their labels as str, sorted when the values compare; ValueError for NaN."""
    try:
        codes, labels = pd.factorize(column, sort=True)
    except TypeError:
        codes, labels = pd.factorize(column, sort=False)
    missing = np.flatnonzero(codes < 0)
    if missing.size:
        row = column.index[int(missing[0])]
        raise ValueError(f"column {name!r} has a missing value at row {row!r}")
    return np.asarray(codes, dtype=np.int64), tuple(str(label) for label in labels)


def from_pandas_pairs(frame: Any, transactions: Any) -> tuple[_lab.Context, tuple[str, ...], tuple[str, ...]]:
    """The kernel and names of :meth:`Context.from_pandas` with ``transactions=(object column, item column)``."""
    pd = optional_module("pandas")
    if not (isinstance(transactions, (tuple, list)) and len(transactions) == 2):
        raise TypeError(
            f"transactions must be a pair (object column, item column), not {transactions!r}"
        )
    object_column, item_column = transactions
    for column in (object_column, item_column):
        if column not in frame.columns:
            raise KeyError(f"no column {column!r} in the DataFrame (columns: {list(frame.columns)})")
    rows, objects = _codes_and_labels(pd, frame[object_column], object_column)
    columns, attributes = _codes_and_labels(pd, frame[item_column], item_column)
    return kernel_from_pairs(objects, attributes, rows, columns), objects, attributes


def from_pandas_sparse_columns(
    frame: Any, objects: tuple[str, ...], attributes: tuple[str, ...]
) -> _lab.Context:
    """The kernel of a DataFrame whose columns are all pandas sparse, column by column, never densified."""
    row_parts: list[npt.NDArray[np.int64]] = []
    column_parts: list[npt.NDArray[np.int64]] = []
    n_objects = len(objects)
    for position in range(len(attributes)):
        array = frame.iloc[:, position].array
        fill = array.fill_value
        values = np.asarray(array.sp_values)
        where = np.asarray(array.sp_index.to_int_index().indices, dtype=np.int64)
        bad = _first_invalid(values)
        if bad is not None:
            label = frame.index[int(where[bad])]
            raise ValueError(_bad_value_message(f"column {attributes[position]!r} at row {label!r}", values[bad]))
        if not _zero_or_one(fill):
            raise ValueError(_bad_value_message(f"the fill value of column {attributes[position]!r}", fill))
        if fill:  # a sparse column of mostly True: the crosses are the rows not stored as False
            present = np.ones(n_objects, dtype=bool)
            present[where] = values.astype(bool)
            hits = np.flatnonzero(present)
        else:
            hits = where[values.astype(bool)]
        row_parts.append(hits)
        column_parts.append(np.full(hits.size, position, dtype=np.int64))
    rows = np.concatenate(row_parts) if row_parts else np.zeros(0, dtype=np.int64)
    columns = np.concatenate(column_parts) if column_parts else np.zeros(0, dtype=np.int64)
    return kernel_from_pairs(objects, attributes, rows, columns)


def _first_invalid(values: npt.NDArray[Any]) -> Optional[int]:
    """The position of the first value that is neither a boolean nor 0/1 (NaN included), or None."""
    kind = values.dtype.kind
    if kind == "b" or values.size == 0:
        return None
    if kind in "iuf":
        valid = (values == 0) | (values == 1)
    else:
        valid = np.frompyfunc(_zero_or_one, 1, 1)(values).astype(bool)
    return None if bool(valid.all()) else int(np.flatnonzero(~valid)[0])


def _zero_or_one(value: Any) -> bool:
    if isinstance(value, (bool, np.bool_)):
        return True
    return isinstance(value, (int, float, np.integer, np.floating)) and (value == 0 or value == 1)


def csr_parts(kernel: _lab.Context) -> tuple[npt.NDArray[np.uint64], npt.NDArray[np.uint32]]:
    """The kernel's sparse rows: offsets (n_objects + 1) and attribute indices, as read-only arrays."""
    offsets, items = kernel.sparse_rows()
    return np.frombuffer(offsets, dtype=np.uint64), np.frombuffer(items, dtype=np.uint32)


def dense_block(kernel: _lab.Context, n_rows: int, n_columns: int) -> npt.NDArray[np.bool_]:
    """The first n_rows x n_columns cells of the incidence, from the sparse rows."""
    offsets, items = csr_parts(kernel)
    block = np.zeros((n_rows, n_columns), dtype=bool)
    end = int(offsets[n_rows]) if n_rows else 0
    rows = np.repeat(np.arange(n_rows, dtype=np.int64), np.diff(offsets[: n_rows + 1]).astype(np.int64))
    columns = items[:end].astype(np.int64)
    kept = columns < n_columns
    block[rows[kept], columns[kept]] = True
    return block


def crosses(kernel: _lab.Context) -> tuple[npt.NDArray[np.int64], npt.NDArray[np.int64]]:
    """Every cross as (object, attribute) index arrays, row by row."""
    offsets, items = csr_parts(kernel)
    rows = np.repeat(np.arange(offsets.size - 1, dtype=np.int64), np.diff(offsets).astype(np.int64))
    return rows, items.astype(np.int64)


def selected_crosses(
    kernel: _lab.Context, objects: npt.NDArray[np.uint32], attributes: npt.NDArray[np.uint32]
) -> tuple[npt.NDArray[np.int64], npt.NDArray[np.int64]]:
    """The crosses of the sub-context of the chosen positions (in the order given, repeats allowed), as index
    pairs into it, from the sparse rows alone."""
    offsets, items = csr_parts(kernel)
    chosen = objects.astype(np.int64)
    starts = offsets[chosen].astype(np.int64)
    lengths = (offsets[chosen + 1] - offsets[chosen]).astype(np.int64)
    total = int(lengths.sum())
    within = np.arange(total, dtype=np.int64) - np.repeat(np.cumsum(lengths) - lengths, lengths)
    old_items = items[np.repeat(starts, lengths) + within].astype(np.int64)
    new_rows = np.repeat(np.arange(chosen.size, dtype=np.int64), lengths)
    # Each old attribute goes to every new column that chose it: the chosen columns sorted by old attribute,
    # and for each cross the run of them that carries its attribute.
    order = np.argsort(attributes, kind="stable").astype(np.int64)
    sorted_old = attributes[order].astype(np.int64)
    first = np.searchsorted(sorted_old, old_items, side="left")
    count = np.searchsorted(sorted_old, old_items, side="right") - first
    rows = np.repeat(new_rows, count)
    runs = np.repeat(first, count) + (np.arange(int(count.sum()), dtype=np.int64) - np.repeat(np.cumsum(count) - count, count))
    return rows, order[runs]
