"""Conceptual scaling: a many-valued table (a DataFrame of categorical, boolean and numeric columns) becomes a formal
context, each column turned into binary attributes by a scale."""

from __future__ import annotations

from collections.abc import Mapping, Sequence
from dataclasses import dataclass
from typing import Any, Literal, Optional, Union

import numpy as np
import numpy.typing as npt

from tessara.lab._checks import whole_number
from tessara.lab._context import Context
from tessara.lab._optional import optional_module

#: Numeric columns with at most this many distinct values are scaled nominally by default.
FEW_VALUES = 10
#: Other numeric columns are scaled ordinally by default, at this many quantiles.
DEFAULT_QUANTILES = 4
#: The most bins or quantiles a scale makes: as many attributes as a context can index.
MAX_PARTS = 2**32 - 1
#: The most crosses (rows times bins or quantiles) one column may make, as for a context read from a file.
MAX_CELLS = 2**34

Block = tuple[list[str], "npt.NDArray[np.bool_]"]
Floats = npt.NDArray[np.float64]


def _number(value: Any) -> str:
    """A number as attribute names show it: integral values without a fraction, others in the shortest exact form."""
    number = float(value)
    if number.is_integer() and abs(number) < 1e15:
        return str(int(number))
    return repr(number)


def _value_text(value: Any) -> str:
    if isinstance(value, np.generic):
        value = value.item()
    if isinstance(value, bool):
        return str(value)
    if isinstance(value, (int, float)):
        return _number(value)
    return str(value)


def _numbers(column: str, series: Any) -> Floats:
    """The column as floats, missing values as NaN; TypeError for a column that is not numeric."""
    pd = optional_module("pandas")
    if pd.api.types.is_bool_dtype(series.dtype) or not pd.api.types.is_numeric_dtype(series.dtype):
        raise TypeError(
            f"column {column!r} holds {series.dtype} values; only numeric columns can be scaled by cut points"
        )
    values: Floats = series.to_numpy(dtype=np.float64, na_value=np.nan)
    return values


def _present(values: Floats) -> Floats:
    return values[~np.isnan(values)]


def _finite(values: Floats) -> Floats:
    """The values present other than ±inf: quantiles and equal-width bins are taken of these alone, since
    an infinite value would make every bound it touches infinite or NaN."""
    return values[np.isfinite(values)]


def _checked_cuts(column: str, cuts: Sequence[float]) -> Floats:
    points = np.asarray(cuts, dtype=np.float64).reshape(-1)
    if np.isnan(points).any() or (np.diff(points) <= 0).any():
        raise ValueError(f"cut points for column {column!r} must be numbers in increasing order, not {list(cuts)!r}")
    return points


def _quantile_cuts(column: str, values: Floats, quantiles: int) -> Floats:
    """The interior k-quantiles of the finite values, without repeats (±inf compare with them as they are)."""
    finite = _finite(values)
    if finite.size == 0:
        return np.empty(0)
    _check_parts(column, "quantiles", quantiles, len(values))
    return np.unique(np.quantile(finite, np.linspace(0.0, 1.0, quantiles + 1)[1:-1]))


def _count(name: str, value: Optional[int]) -> Optional[int]:
    return None if value is None else whole_number(name, value, least=1, most=MAX_PARTS)


def _check_parts(column: str, name: str, parts: int, rows: int) -> None:
    """ValueError when ``parts`` bins or quantiles of a column of ``rows`` values would pass MAX_CELLS crosses."""
    if parts * max(rows, 1) > MAX_CELLS:
        raise ValueError(f"{name}={parts} for column {column!r} of {rows} rows makes more than {MAX_CELLS} crosses")


class Scale:
    """A way of turning one column into binary attributes. See :class:`Nominal`, :class:`Ordinal`,
    :class:`Interordinal` and :class:`Interval`.

    Examples
    --------
    >>> import pandas as pd, tessara.lab as tl
    >>> names, crosses = tl.Ordinal(cuts=[2]).attributes("size", pd.Series([1.0, 3.0]))
    >>> names, crosses.tolist()
    (['size<=2'], [[True], [False]])
    """

    def attributes(self, column: str, series: Any) -> Block:
        """The attribute names for the column and the (n_rows, n_attributes) crosses.

        Parameters
        ----------
        column : str
            The column's name, the start of every attribute name.
        series : pandas.Series
            The column's values, one per object.

        Returns
        -------
        tuple of (list of str, numpy.ndarray of bool)
            The attribute names and the crosses, one row per value and one column per attribute.

        Examples
        --------
        >>> import pandas as pd, tessara.lab as tl
        >>> names, crosses = tl.Interval(cuts=[0, 10, 20]).attributes("price", pd.Series([5, 15, 25]))
        >>> names, crosses.astype(int).tolist()
        (['price in [0, 10)', 'price in [10, 20]'], [[1, 0], [0, 1], [0, 0]])
        """
        raise NotImplementedError


@dataclass(frozen=True)
class Nominal(Scale):
    """One attribute ``column=value`` per value; an object has the attribute of its own value.

    Parameters
    ----------
    values : sequence, optional
        The values that get an attribute, in this order. By default every value present: a categorical column's
        categories in their order, other values sorted (in order of appearance when they do not sort).

    Examples
    --------
    >>> import pandas as pd, tessara.lab as tl
    >>> frame = pd.DataFrame({"colour": ["red", "blue", "red"]}, index=["a", "b", "c"])
    >>> tl.scale(frame, {"colour": tl.Nominal()}).attributes
    ('colour=blue', 'colour=red')
    >>> tl.scale(frame, {"colour": tl.Nominal(values=["red", "green"])}).extent(["colour=red"])
    ('a', 'c')
    """

    values: Optional[Sequence[Any]] = None

    def attributes(self, column: str, series: Any) -> Block:
        pd = optional_module("pandas")
        if self.values is not None:
            categories = list(self.values)
            index = pd.Index(categories)
            if not index.is_unique:
                raise ValueError(f"the values of a nominal scale must differ, not {categories!r}")
            codes = index.get_indexer(series)
        elif isinstance(series.dtype, pd.CategoricalDtype):
            categories = list(series.cat.categories)
            codes = np.asarray(series.cat.codes)
        else:
            try:
                codes, uniques = pd.factorize(series, sort=True)
            except TypeError:  # values of kinds that do not compare
                codes, uniques = pd.factorize(series, sort=False)
            categories = list(uniques)
        crosses = np.asarray(codes)[:, None] == np.arange(len(categories))[None, :]
        return [f"{column}={_value_text(value)}" for value in categories], crosses


@dataclass(frozen=True)
class Ordinal(Scale):
    """Attributes ``column<=v`` for cut points v in increasing order (``column>=v`` with ``direction=">="``).

    Parameters
    ----------
    cuts : sequence of numbers, optional
        The cut points, increasing.
    quantiles : int, optional
        Cut at the interior k-quantiles of the column (k - 1 points, fewer when they coincide).
    direction : {"<=", ">="}
        Attributes ``column<=v`` (at most v) or ``column>=v`` (at least v).

    Notes
    -----
    With neither ``cuts`` nor ``quantiles``, every value present is a cut point except the largest (for "<=")
    or the smallest (for ">="), whose attribute every present value would have.

    Examples
    --------
    >>> import pandas as pd, tessara.lab as tl
    >>> frame = pd.DataFrame({"age": [25, 40, 70]}, index=["a", "b", "c"])
    >>> K = tl.scale(frame, {"age": tl.Ordinal(cuts=[30, 65], direction=">=")})
    >>> K.attributes
    ('age>=30', 'age>=65')
    >>> K.extent(["age>=30"])
    ('b', 'c')
    """

    cuts: Optional[Sequence[float]] = None
    quantiles: Optional[int] = None
    direction: Literal["<=", ">="] = "<="

    def __post_init__(self) -> None:
        if self.cuts is not None and self.quantiles is not None:
            raise ValueError("give cuts or quantiles, not both")
        _count("quantiles", self.quantiles)
        if self.direction not in ("<=", ">="):
            raise ValueError(f'direction must be "<=" or ">=", not {self.direction!r}')

    def points(self, column: str, values: Floats) -> Floats:
        """The cut points for a column's values (NaN for a missing value): the cuts given, or those chosen.

        Examples
        --------
        >>> import numpy as np, tessara.lab as tl
        >>> tl.Ordinal(quantiles=2).points("age", np.array([20.0, 30.0, 40.0, np.nan]))
        array([30.])
        >>> tl.Ordinal(direction=">=").points("age", np.array([20.0, 30.0, 40.0]))
        array([30., 40.])
        """
        if self.cuts is not None:
            return _checked_cuts(column, self.cuts)
        if self.quantiles is not None:
            return _quantile_cuts(column, values, self.quantiles)
        distinct = np.unique(_present(values))
        return distinct[:-1] if self.direction == "<=" else distinct[1:]

    def attributes(self, column: str, series: Any) -> Block:
        values = _numbers(column, series)
        return _compared(column, values, self.points(column, values), self.direction)


def _compared(column: str, values: Floats, points: Floats, direction: str) -> Block:
    # Comparisons with NaN are false: a missing value has none of the attributes.
    if direction == "<=":
        crosses = values[:, None] <= points[None, :]
    else:
        crosses = values[:, None] >= points[None, :]
    return [f"{column}{direction}{_number(point)}" for point in points], crosses


@dataclass(frozen=True)
class Interordinal(Scale):
    """Attributes ``column<=v`` for every cut point v, then ``column>=v`` for every cut point, both increasing.

    The concepts of an interordinal scale are the intervals of values. Parameters as :class:`Ordinal`; by
    default the cut points are the values present (the largest has no ``<=`` attribute and the smallest no
    ``>=`` attribute, since every present value would have it).

    Parameters
    ----------
    cuts : sequence of numbers, optional
        The cut points, increasing.
    quantiles : int, optional
        Cut at the interior k-quantiles of the column.

    Examples
    --------
    >>> import pandas as pd, tessara.lab as tl
    >>> frame = pd.DataFrame({"age": [25, 40, 70]}, index=["a", "b", "c"])
    >>> K = tl.scale(frame, {"age": tl.Interordinal(cuts=[30, 65])})
    >>> K.attributes
    ('age<=30', 'age<=65', 'age>=30', 'age>=65')
    >>> K.extent(["age>=30", "age<=65"])
    ('b',)
    """

    cuts: Optional[Sequence[float]] = None
    quantiles: Optional[int] = None

    def __post_init__(self) -> None:
        if self.cuts is not None and self.quantiles is not None:
            raise ValueError("give cuts or quantiles, not both")
        _count("quantiles", self.quantiles)

    def attributes(self, column: str, series: Any) -> Block:
        values = _numbers(column, series)
        below = Ordinal(self.cuts, self.quantiles, "<=").points(column, values)
        above = Ordinal(self.cuts, self.quantiles, ">=").points(column, values)
        names_below, crosses_below = _compared(column, values, below, "<=")
        names_above, crosses_above = _compared(column, values, above, ">=")
        return names_below + names_above, np.hstack([crosses_below, crosses_above])


@dataclass(frozen=True)
class Interval(Scale):
    """One attribute per bin, ``column in [a, b)`` (the last bin closed, ``column in [a, b]``); a value outside
    every bin, or missing, gets no attribute.

    Give at most one of the parameters; with none, ``quantiles=4``.

    Parameters
    ----------
    cuts : sequence of numbers, optional
        The bin edges, increasing: k + 1 edges make k bins.
    bins : int, optional
        k bins of equal width between the smallest and the largest value present.
    quantiles : int, optional
        k bins holding about equally many values (fewer bins when quantiles coincide).

    Examples
    --------
    >>> import pandas as pd, tessara.lab as tl
    >>> frame = pd.DataFrame({"age": [25, 40, 70]}, index=["a", "b", "c"])
    >>> tl.scale(frame, {"age": tl.Interval(cuts=[18, 30, 65, 100])}).attributes
    ('age in [18, 30)', 'age in [30, 65)', 'age in [65, 100]')
    >>> tl.scale(frame, {"age": tl.Interval(bins=3)}).attributes
    ('age in [25, 40)', 'age in [40, 55)', 'age in [55, 70]')
    """

    cuts: Optional[Sequence[float]] = None
    bins: Optional[int] = None
    quantiles: Optional[int] = None

    def __post_init__(self) -> None:
        if sum(option is not None for option in (self.cuts, self.bins, self.quantiles)) > 1:
            raise ValueError("give one of cuts, bins and quantiles")
        _count("bins", self.bins)
        _count("quantiles", self.quantiles)

    def edges(self, column: str, values: Floats) -> Floats:
        """The bin edges: the cuts, or those of the finite values (see :meth:`attributes` for ±inf).

        Examples
        --------
        >>> import numpy as np, tessara.lab as tl
        >>> tl.Interval(bins=2).edges("age", np.array([20.0, 30.0, 40.0]))
        array([20., 30., 40.])
        """
        if self.cuts is not None:
            return _checked_cuts(column, self.cuts)
        finite = _finite(values)
        if finite.size == 0:
            return np.empty(0)
        if self.bins is not None:
            _check_parts(column, "bins", self.bins, len(values))
            low, high = finite.min(), finite.max()
            # Weighted ends rather than low + i * step: the step of a range wider than the largest float is inf.
            share = np.linspace(0.0, 1.0, self.bins + 1)
            edges = np.unique(low * (1.0 - share) + high * share)
        else:
            quantiles = DEFAULT_QUANTILES if self.quantiles is None else self.quantiles
            _check_parts(column, "quantiles", quantiles, len(values))
            edges = np.unique(np.quantile(finite, np.linspace(0.0, 1.0, quantiles + 1)))
        # A column of one value gets the one bin [v, v].
        return np.repeat(edges, 2) if len(edges) == 1 else edges

    def attributes(self, column: str, series: Any) -> Block:
        """The bins of the column; with bins or quantiles taken from the data, -inf and +inf get bins of their
        own, ``column in [-inf, a)`` below the first edge and ``column in (b, inf]`` above the last, when the
        column holds them.

        Examples
        --------
        >>> import pandas as pd, tessara.lab as tl
        >>> names, crosses = tl.Interval(bins=2).attributes("age", pd.Series([20.0, 30.0, 40.0]))
        >>> names, crosses.tolist()
        (['age in [20, 30)', 'age in [30, 40]'], [[True, False], [False, True], [False, True]])
        """
        values = _numbers(column, series)
        edges = self.edges(column, values)
        n_bins = len(edges) - 1
        names: list[str] = []
        blocks: list[npt.NDArray[np.bool_]] = []
        derived = self.cuts is None
        if derived and np.isneginf(values).any():
            names.append(f"{column} in [-inf, {_number(edges[0])})" if n_bins >= 1 else f"{column} in [-inf, -inf]")
            blocks.append(np.isneginf(values)[:, None])
        if n_bins >= 1:
            # Bin i holds edges[i] <= x < edges[i + 1], the last bin also its upper edge; NaN sorts past every
            # edge.
            index = np.searchsorted(edges, values, side="right") - 1
            index[values == edges[-1]] = n_bins - 1
            blocks.append(index[:, None] == np.arange(n_bins)[None, :])
            names.extend(
                f"{column} in [{_number(edges[i])}, {_number(edges[i + 1])}{']' if i == n_bins - 1 else ')'}"
                for i in range(n_bins)
            )
        if derived and np.isposinf(values).any():
            names.append(f"{column} in ({_number(edges[-1])}, inf]" if n_bins >= 1 else f"{column} in [inf, inf]")
            blocks.append(np.isposinf(values)[:, None])
        if not blocks:
            return [], np.zeros((len(values), 0), dtype=bool)
        return names, np.hstack(blocks)


#: What ``scales`` maps a column to: a scale, its name, or None to leave the column out.
ScaleChoice = Union[Scale, Literal["nominal", "ordinal", "interordinal", "interval"], None]

_NAMED: dict[str, Scale] = {
    "nominal": Nominal(),
    "ordinal": Ordinal(),
    "interordinal": Interordinal(),
    "interval": Interval(),
}


def default_scale(series: Any) -> Scale:
    """The scale a column gets when ``scales`` names none: nominal for categorical, boolean, text and other
    non-numeric columns and for numeric columns with at most FEW_VALUES distinct values; otherwise ordinal at the
    quartiles (``column<=q1``, ``column<=median``, ``column<=q3``)."""
    pd = optional_module("pandas")
    numeric = pd.api.types.is_numeric_dtype(series.dtype) and not pd.api.types.is_bool_dtype(series.dtype)
    if not numeric or series.nunique(dropna=True) <= FEW_VALUES:
        return Nominal()
    return Ordinal(quantiles=DEFAULT_QUANTILES)


def scale(frame: Any, scales: Optional[Mapping[Any, ScaleChoice]] = None) -> Context:
    """Turn a many-valued table into a formal context.

    Parameters
    ----------
    frame : pandas.DataFrame
        One row per object (the index labels, as str, name the objects), one column per many-valued attribute.
    scales : mapping, optional
        Column label -> a :class:`Scale` (:class:`Nominal`, :class:`Ordinal`, :class:`Interordinal`,
        :class:`Interval`), one of the names "nominal", "ordinal", "interordinal", "interval" (the scale with its
        defaults), or None to leave the column out. Other columns get a default scale: nominal for
        categorical, boolean and text columns and for numeric columns with at most 10 distinct values,
        ordinal at the quartiles for other numeric columns.

    Returns
    -------
    Context
        The attributes of every column in column order, each column's in its scale's order (values, cut points
        or bins increasing). Missing values (NaN, None, NA) have no attribute of their column.

    Raises
    ------
    KeyError
        When ``scales`` names a column the frame does not have.
    TypeError
        When a scale by cut points meets a column that is not numeric, or a scale is of the wrong type.

    Examples
    --------
    >>> import pandas as pd, tessara.lab as tl
    >>> frame = pd.DataFrame({"size": [1.0, 2.5, 4.0], "colour": ["red", "blue", "red"]}, index=["a", "b", "c"])
    >>> tl.scale(frame, {"size": tl.Ordinal(cuts=[2, 3])}).attributes
    ('size<=2', 'size<=3', 'colour=blue', 'colour=red')
    """
    pd = optional_module("pandas")
    if not isinstance(frame, pd.DataFrame):
        raise TypeError(f"scale takes a pandas DataFrame, not {type(frame).__name__}")
    chosen = dict(scales or {})
    unknown = [column for column in chosen if column not in frame.columns]
    if unknown:
        raise KeyError(f"no column named {unknown[0]!r}")
    names: list[str] = []
    blocks: list[npt.NDArray[np.bool_]] = []
    for position, column in enumerate(frame.columns):
        choice = chosen[column] if column in chosen else default_scale(frame.iloc[:, position])
        if choice is None:
            continue
        if isinstance(choice, str):
            if choice not in _NAMED:
                raise ValueError(f"unknown scale {choice!r} for column {column!r}: expected one of {', '.join(_NAMED)}")
            choice = _NAMED[choice]
        if not isinstance(choice, Scale):
            raise TypeError(f"the scale for column {column!r} is {type(choice).__name__}, not a Scale")
        block_names, crosses = choice.attributes(str(column), frame.iloc[:, position])
        names.extend(block_names)
        blocks.append(crosses)
    n_objects = len(frame.index)
    matrix = np.hstack(blocks) if blocks else np.zeros((n_objects, 0), dtype=bool)
    objects = tuple(str(label) for label in frame.index)
    return Context._from_matrix(objects, tuple(names), np.ascontiguousarray(matrix, dtype=bool))
