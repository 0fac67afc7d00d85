"""The formal context: named objects, named attributes and which object has which attribute."""

from __future__ import annotations

import os
import sys
from collections.abc import Iterable, Iterator
from typing import TYPE_CHECKING, Any, Optional, Union

from tessara import _lab
from tessara.lab._formats import Path, format_extension, format_of_path, path_text
from tessara.lab._names import NameIndex, Selection, names_at, names_tuple
from tessara.lab._optional import optional_module
from tessara.lab._run import Progress, mine_lattice
from tessara.lab._sparse import (
    crosses,
    csr_parts,
    dense_block,
    from_pandas_pairs,
    from_pandas_sparse_columns,
    from_sparse_matrix,
    from_transactions,
    kernel_from_pairs,
    selected_crosses,
)

if TYPE_CHECKING:
    import numpy as np
    import numpy.typing as npt

    from tessara.lab._explore import Expert, ExplorationResult
    from tessara.lab._lattice import Lattice
    from tessara.lab._names import Indices
    from tessara.lab._operations import Renaming
    from tessara.lab._parquet import ParquetSummary
    from tessara.lab._rules import Implications, Rules
    from tessara.lab._stream import StreamedConcept
    from tessara.lab._structure import Arrows
else:
    from tessara.lab._lazy import np

#: The rows and columns a notebook table shows at most.
HTML_MAX_ROWS = 30
HTML_MAX_COLUMNS = 30

_LITTLE_ENDIAN = sys.byteorder == "little"

#: The largest bool array ``incidence`` builds for a context stored sparse.
MAX_INCIDENCE_BYTES = 2**31


def _checked_incidence(incidence: Any, n_objects: int, n_attributes: int) -> npt.NDArray[np.bool_]:
    """The incidence as a bool array of shape (n_objects, n_attributes), or TypeError / ValueError."""
    try:
        matrix = np.asarray(incidence)
    except ValueError as error:  # ragged nested lists
        raise ValueError(f"incidence is not a rectangular 2-D array: {error}") from None
    # A flat empty list is the one way to write "no crosses" for a context with no cell; any 2-D array must
    # have the context's shape, also when one side is empty.
    if matrix.ndim == 1 and matrix.size == 0 and n_objects * n_attributes == 0:
        return np.zeros((n_objects, n_attributes), dtype=bool)
    if matrix.shape != (n_objects, n_attributes):
        raise ValueError(
            f"incidence has shape {matrix.shape}, expected ({n_objects}, {n_attributes}) "
            "(one row per object, one column per attribute)"
        )
    kind = matrix.dtype.kind
    if kind == "b":
        return matrix
    if kind in "iuf":
        valid = (matrix == 0) | (matrix == 1)
    elif kind == "O":
        valid = np.frompyfunc(_is_zero_or_one, 1, 1)(matrix).astype(bool)
    else:
        raise TypeError(f"incidence must hold booleans or 0/1, not values of dtype {matrix.dtype}")
    if not valid.all():
        row, column = (int(i) for i in np.argwhere(~valid)[0])
        value = matrix[row, column]
        shown = value.item() if isinstance(value, np.generic) else value
        raise ValueError(f"incidence[{row}, {column}] is {shown!r}, not a boolean or 0/1")
    return matrix.astype(bool)


def _is_zero_or_one(value: Any) -> bool:
    if isinstance(value, (bool, np.bool_)):
        return True
    return isinstance(value, (int, float, np.integer, np.floating)) and (value == 0 or value == 1)


def _packed_rows(matrix: npt.NDArray[np.bool_]) -> bytes:
    """The rows as the kernel takes them: per object, ceil(n_attributes / 64) native uint64 words, bit j = column j."""
    n_objects, n_attributes = matrix.shape
    words = (n_attributes + 63) // 64
    if n_objects == 0 or words == 0:
        return b""
    packed = np.packbits(matrix, axis=1, bitorder="little")
    padded = np.zeros((n_objects, words * 8), dtype=np.uint8)
    padded[:, : packed.shape[1]] = packed
    return padded.view("<u8").astype(np.uint64, copy=False).tobytes()


def unpacked_rows(rows: bytes, n_objects: int, n_attributes: int) -> npt.NDArray[np.bool_]:
    """Packed rows as the kernels give them (see _packed_rows) as a read-only bool array (n_objects, n_attributes)."""
    words = np.frombuffer(rows, dtype=np.uint64).reshape(n_objects, (n_attributes + 63) // 64)
    if not _LITTLE_ENDIAN:
        words = words.astype("<u8")
    bits = np.unpackbits(words.view(np.uint8), axis=1, count=n_attributes, bitorder="little")
    matrix: npt.NDArray[np.bool_] = bits.view(np.bool_).reshape(n_objects, n_attributes)
    matrix.flags.writeable = False
    return matrix


class Context:
    """A formal context: objects, attributes, and which object has which attribute.

    Parameters
    ----------
    objects : sequence of str
        The object names, in order. Duplicates are allowed; looking such a name up raises ValueError.
    attributes : sequence of str
        The attribute names, in order.
    incidence : array_like of bool or 0/1, shape (n_objects, n_attributes)
        ``incidence[g, m]`` says whether object ``g`` has attribute ``m``.

    Raises
    ------
    TypeError
        When a name is not a str, or the incidence holds values that are neither booleans nor numbers.
    ValueError
        When the incidence has the wrong shape or holds numbers other than 0 and 1 (NaN included).

    Examples
    --------
    >>> import tessara.lab as tl
    >>> K = tl.Context(["duck", "dog"], ["flies", "barks"], [[1, 0], [0, 1]])
    >>> K.extent(["flies"])
    ('duck',)
    """

    __slots__ = (
        "_kernel", "_object_names", "_attribute_names", "_object_index", "_attribute_index", "_incidence", "__weakref__"
    )

    _kernel: _lab.Context
    # None until first asked for when the kernel made the names (a file read): a FIMI file of a million
    # transactions has a million generated object names, which mining and streaming never look at.
    _object_names: Optional[tuple[str, ...]]
    _attribute_names: Optional[tuple[str, ...]]
    _object_index: Optional[NameIndex]
    _attribute_index: Optional[NameIndex]
    _incidence: Optional[npt.NDArray[np.bool_]]

    def __init__(self, objects: Iterable[str], attributes: Iterable[str], incidence: npt.ArrayLike) -> None:
        object_names = names_tuple("objects", objects)
        attribute_names = names_tuple("attributes", attributes)
        matrix = _checked_incidence(incidence, len(object_names), len(attribute_names))
        kernel = _lab.make_context(object_names, attribute_names, _packed_rows(matrix))
        self._adopt(kernel, object_names, attribute_names)

    def _adopt(
        self, kernel: _lab.Context, objects: Optional[tuple[str, ...]], attributes: Optional[tuple[str, ...]]
    ) -> None:
        self._kernel = kernel
        self._object_names = objects
        self._attribute_names = attributes
        self._object_index = None
        self._attribute_index = None
        self._incidence = None

    @property
    def _objects(self) -> tuple[str, ...]:
        names = self._object_names
        if names is None:
            names = self._object_names = tuple(self._kernel.objects())
        return names

    @property
    def _attributes(self) -> tuple[str, ...]:
        names = self._attribute_names
        if names is None:
            names = self._attribute_names = tuple(self._kernel.attributes())
        return names

    @classmethod
    def _from_kernel(cls, kernel: _lab.Context) -> Context:
        """A Context around a kernel context, with the kernel's names (made when first asked for)."""
        context = cls.__new__(cls)
        context._adopt(kernel, None, None)
        return context

    @classmethod
    def _from_matrix(
        cls, objects: tuple[str, ...], attributes: tuple[str, ...], matrix: npt.NDArray[np.bool_]
    ) -> Context:
        """A Context from names already checked and a bool matrix of the right shape."""
        context = cls.__new__(cls)
        context._adopt(_lab.make_context(objects, attributes, _packed_rows(matrix)), objects, attributes)
        return context

    # -- construction from pandas -------------------------------------------------------------------------------

    @classmethod
    def _from_parts(cls, parts: tuple[_lab.Context, tuple[str, ...], tuple[str, ...]]) -> Context:
        context = cls.__new__(cls)
        context._adopt(*parts)
        return context

    @classmethod
    def from_pandas(cls, frame: Any, transactions: Optional[tuple[Any, Any]] = None) -> Context:
        """A context from a DataFrame of booleans or 0/1, or from a long table of (object, attribute) pairs.

        Parameters
        ----------
        frame : pandas.DataFrame
            One row per object, one column per attribute. The index labels become the object names and the
            column labels the attribute names, both as ``str(label)``. Columns of pandas sparse booleans (or
            sparse 0/1) are read without building the dense matrix when every column is sparse.
        transactions : (object column, attribute column), optional
            Read ``frame`` as a long table instead: each row says that the object in the first column has the
            attribute in the second (a basket and an item). Objects and attributes are the distinct labels, as
            ``str(label)``, sorted when the labels compare (else in order of first appearance); repeated pairs
            count once.

        Raises
        ------
        TypeError, ValueError
            As the constructor, for cells that are not booleans or 0/1 (missing values included); for a long
            table, a missing value in either column. KeyError for a column that is not there.

        Examples
        --------
        >>> import pandas as pd
        >>> import tessara.lab as tl
        >>> baskets = pd.DataFrame({"basket": [1, 1, 2, 3, 3], "item": ["milk", "bread", "milk", "eggs", "milk"]})
        >>> K = tl.Context.from_pandas(baskets, transactions=("basket", "item"))
        >>> K.objects, K.attributes
        (('1', '2', '3'), ('bread', 'eggs', 'milk'))
        >>> K.extent("milk")
        ('1', '2', '3')
        """
        pd = optional_module("pandas")
        if not isinstance(frame, pd.DataFrame):
            raise TypeError(f"from_pandas takes a pandas DataFrame, not {type(frame).__name__}")
        if transactions is not None:
            return cls._from_parts(from_pandas_pairs(frame, transactions))
        objects = tuple(str(label) for label in frame.index)
        attributes = tuple(str(label) for label in frame.columns)
        if len(attributes) and all(isinstance(dtype, pd.SparseDtype) for dtype in frame.dtypes):
            return cls._from_parts((from_pandas_sparse_columns(frame, objects, attributes), objects, attributes))
        if all(dtype == np.bool_ for dtype in frame.dtypes):
            matrix = frame.to_numpy(dtype=bool)
        else:
            matrix = _checked_incidence(frame.to_numpy(), len(objects), len(attributes))
        return cls._from_matrix(objects, attributes, matrix.reshape(len(objects), len(attributes)))

    @classmethod
    def from_sparse(
        cls, matrix: Any, objects: Optional[Iterable[str]] = None, attributes: Optional[Iterable[str]] = None
    ) -> Context:
        """A context from a scipy.sparse matrix or array, without building the dense matrix.

        Parameters
        ----------
        matrix : scipy.sparse matrix or array, shape (n_objects, n_attributes)
            Any sparse format; stored entries must be booleans or 0/1 (stored zeros are no cross, repeated
            entries of a COO matrix count once).
        objects, attributes : sequence of str, optional
            The names; by default the positions as str ("0", "1", ...).

        Raises
        ------
        ImportError
            Without scipy (``pip install tessara[sparse]``).
        TypeError
            For something that is not a scipy.sparse matrix, or values that are not numbers.
        ValueError
            For a matrix that is not 2-D, a value other than 0/1 (named with its row and column), or a number of
            names that does not match the shape.

        Examples
        --------
        >>> import scipy.sparse as sp
        >>> import tessara.lab as tl
        >>> K = tl.Context.from_sparse(sp.csr_array([[1, 0, 1], [0, 1, 1]]), attributes=["a", "b", "c"])
        >>> K.shape, K.nnz
        ((2, 3), 4)
        >>> K.intent(["0", "1"])
        ('c',)
        """
        return cls._from_parts(from_sparse_matrix(matrix, objects, attributes))

    @classmethod
    def from_transactions(
        cls, transactions: Iterable[Iterable[Any]], objects: Optional[Iterable[str]] = None
    ) -> Context:
        """A context from baskets: one object per transaction, one attribute per item.

        Parameters
        ----------
        transactions : iterable of iterables of str, or of int
            The items of each transaction; an item repeated within a transaction counts once, and an empty
            transaction is an object without attributes. Items that are str become the attributes, sorted.
            Items that are non-negative integers are ids, as in a FIMI file: there is an attribute for every
            id from 0 to the largest one used, named ``str(id)``.
        objects : sequence of str, optional
            The object names; by default the positions as str ("0", "1", ...).

        Raises
        ------
        TypeError
            For a transaction that is not an iterable of items (a bare str included), or an item that is
            neither a str nor an integer id (or of the other kind than the rest).
        ValueError
            For a negative id, an id of 2**23 or more, or a number of object names that does not match.

        Examples
        --------
        >>> import tessara.lab as tl
        >>> K = tl.Context.from_transactions([["milk", "bread"], ["milk"], []])
        >>> K.attributes, K.nnz
        (('bread', 'milk'), 3)
        >>> tl.Context.from_transactions([[0, 3], [3, 3]]).attributes
        ('0', '1', '2', '3')
        """
        return cls._from_parts(from_transactions(transactions, objects))

    def to_sparse(self) -> Any:
        """The incidence as a ``scipy.sparse.csr_array`` of bool, without building the dense matrix.

        Raises
        ------
        ImportError
            Without scipy (``pip install tessara[sparse]``).

        Examples
        --------
        >>> import tessara.lab as tl
        >>> K = tl.Context(["duck", "dog"], ["flies", "barks"], [[1, 0], [0, 1]])
        >>> K.to_sparse().toarray().tolist()
        [[True, False], [False, True]]
        """
        sparse = optional_module("scipy.sparse")
        offsets, items = csr_parts(self._kernel)
        data = np.ones(items.size, dtype=bool)
        return sparse.csr_array((data, items.astype(np.int64), offsets.astype(np.int64)), shape=self.shape)

    def to_pandas(self) -> Any:
        """The incidence as a DataFrame of bool: index = object names, columns = attribute names.

        Returns
        -------
        pandas.DataFrame

        Examples
        --------
        >>> import tessara.lab as tl
        >>> K = tl.Context(["duck", "trout"], ["flies", "swims"], [[1, 1], [0, 1]])
        >>> K.to_pandas()
               flies  swims
        duck    True   True
        trout  False   True
        """
        pd = optional_module("pandas")
        index = pd.Index(self._objects, dtype=object)
        return pd.DataFrame(self.incidence.copy(), index=index, columns=pd.Index(self._attributes, dtype=object))

    # -- cheap facts ----------------------------------------------------------------------------------------------

    @property
    def objects(self) -> tuple[str, ...]:
        """The object names, in order.

        Examples
        --------
        >>> import tessara.lab as tl
        >>> K = tl.datasets.load("planets")
        >>> K.objects[:4]
        ('Mercury', 'Venus', 'Earth', 'Mars')
        """
        return self._objects

    @property
    def attributes(self) -> tuple[str, ...]:
        """The attribute names, in order.

        Examples
        --------
        >>> import tessara.lab as tl
        >>> K = tl.datasets.load("planets")
        >>> K.attributes
        ('small', 'medium', 'large', 'near', 'far', 'moon', 'no moon')
        """
        return self._attributes

    @property
    def shape(self) -> tuple[int, int]:
        """(number of objects, number of attributes).

        Examples
        --------
        >>> import tessara.lab as tl
        >>> K = tl.datasets.load("planets")
        >>> K.shape
        (9, 7)
        """
        return (self._kernel.n_objects, self._kernel.n_attributes)

    @property
    def nnz(self) -> int:
        """The number of crosses (object-attribute pairs in the incidence).

        Examples
        --------
        >>> import tessara.lab as tl
        >>> tl.Context(["duck", "dog"], ["flies", "barks"], [[1, 0], [1, 1]]).nnz
        3
        """
        return int(self._kernel.nnz)

    @property
    def density(self) -> float:
        """The share of the cells that are crosses: nnz / (n_objects * n_attributes); 0.0 for an empty shape.

        Examples
        --------
        >>> import tessara.lab as tl
        >>> tl.Context(["duck", "dog"], ["flies", "barks"], [[1, 0], [1, 1]]).density
        0.75
        """
        n_objects, n_attributes = self.shape
        cells = n_objects * n_attributes
        return self.nnz / cells if cells else 0.0

    @property
    def incidence(self) -> npt.NDArray[np.bool_]:
        """The incidence as a read-only bool array of shape (n_objects, n_attributes).

        Raises
        ------
        ValueError
            For a sparse context whose dense form would not fit (more than 2 GiB of bits); the message says how
            large it would be; the same past 2 GiB of bools for a context stored sparse. :meth:`to_sparse` gives
            the incidence of any context.

        Examples
        --------
        >>> import tessara.lab as tl
        >>> K = tl.Context(["duck", "trout"], ["flies", "swims"], [[1, 1], [0, 1]])
        >>> K.incidence
        array([[ True,  True],
               [False,  True]])
        >>> K.incidence.flags.writeable
        False
        """
        if self._incidence is None:
            n_objects, n_attributes = self.shape
            cells = n_objects * n_attributes
            if self._kernel.is_sparse and cells > MAX_INCIDENCE_BYTES:
                raise ValueError(
                    f"the dense form of this context ({n_objects} objects x {n_attributes} attributes) would take "
                    f"{cells} bytes as a bool array ({-(-cells // 2**20)} MiB), more than the limit of "
                    f"{MAX_INCIDENCE_BYTES // 2**20} MiB; to_sparse() gives the incidence of any context"
                )
            self._incidence = unpacked_rows(self._kernel.rows(), n_objects, n_attributes)
        return self._incidence

    # -- derivation -------------------------------------------------------------------------------------------------

    def extent(self, attributes: Selection) -> tuple[str, ...]:
        """The objects having every given attribute, in context order.

        Parameters
        ----------
        attributes : str, int or iterable of str / int
            Attribute names or positions; a single name stands for itself.

        Raises
        ------
        KeyError
            For an unknown name (ValueError for a name several attributes carry).

        Examples
        --------
        >>> import tessara.lab as tl
        >>> K = tl.datasets.load("planets")
        >>> K.extent(["small", "moon"])
        ('Earth', 'Mars', 'Pluto')
        >>> K.extent([])[:3]
        ('Mercury', 'Venus', 'Earth')
        """
        return names_at(self._objects, self.extent_indices(attributes))

    def intent(self, objects: Selection) -> tuple[str, ...]:
        """The attributes every given object has, in context order. See :meth:`extent`.

        Examples
        --------
        >>> import tessara.lab as tl
        >>> K = tl.datasets.load("planets")
        >>> K.intent(["Earth", "Mars"])
        ('small', 'near', 'moon')
        >>> K.intent([0, 1])
        ('small', 'near', 'no moon')
        """
        return names_at(self._attributes, self.intent_indices(objects))

    def closure(self, attributes: Selection) -> tuple[str, ...]:
        """The closure of the attributes: every attribute that all objects having them share.

        Examples
        --------
        >>> import tessara.lab as tl
        >>> K = tl.datasets.load("planets")
        >>> K.closure(["near"])
        ('small', 'near')
        >>> K.closure(["large"])
        ('large', 'far', 'moon')
        """
        chosen = self._attribute_positions(attributes)
        if self._kernel.is_sparse:  # two intersections of index lists, whatever the dense form's size
            closed_bytes = self._kernel.intent(self._kernel.extent(chosen.tobytes()))
        else:
            closed_bytes = _lab.closure(self._kernel, chosen.tobytes())
        closed = np.frombuffer(closed_bytes, dtype=np.uint32)
        return names_at(self._attributes, closed)

    def extent_indices(self, attributes: Selection) -> Indices:
        """The positions of the objects having every given attribute, ascending.

        Examples
        --------
        >>> import tessara.lab as tl
        >>> K = tl.datasets.load("planets")
        >>> K.extent_indices(["near"])
        array([0, 1, 2, 3], dtype=uint32)
        """
        chosen = self._attribute_positions(attributes)
        return np.frombuffer(self._kernel.extent(chosen.tobytes()), dtype=np.uint32)

    def intent_indices(self, objects: Selection) -> Indices:
        """The positions of the attributes every given object has, ascending.

        Examples
        --------
        >>> import tessara.lab as tl
        >>> K = tl.datasets.load("planets")
        >>> K.intent_indices(["Earth"])
        array([0, 3, 5], dtype=uint32)
        """
        chosen = self._object_positions(objects)
        return np.frombuffer(self._kernel.intent(chosen.tobytes()), dtype=np.uint32)

    def _object_positions(self, objects: Selection) -> Indices:
        if self._object_index is None:
            self._object_index = NameIndex("object", self._objects)
        return self._object_index.indices(objects)

    def _attribute_positions(self, attributes: Selection) -> Indices:
        if self._attribute_index is None:
            self._attribute_index = NameIndex("attribute", self._attributes)
        return self._attribute_index.indices(attributes)

    # -- new contexts -----------------------------------------------------------------------------------------------

    def select(self, objects: Optional[Selection] = None, attributes: Optional[Selection] = None) -> Context:
        """The sub-context of the chosen objects and attributes, in the order given.

        Parameters
        ----------
        objects, attributes : names, positions or a boolean mask, optional
            ``None`` keeps every object (attribute) in context order.

        Examples
        --------
        >>> import tessara.lab as tl
        >>> K = tl.datasets.load("planets")
        >>> small = K.select(objects=["Mercury", "Earth", "Pluto"], attributes=["near", "far", "moon"])
        >>> small
        Context(objects=3, attributes=3)
        >>> small.to_pandas().astype(int)
                 near  far  moon
        Mercury     1    0     0
        Earth       1    0     1
        Pluto       0    1     1
        """
        chosen_objects = (
            np.arange(self._kernel.n_objects, dtype=np.uint32) if objects is None else self._object_positions(objects)
        )
        chosen_attributes = (
            np.arange(len(self._attributes), dtype=np.uint32)
            if attributes is None
            else self._attribute_positions(attributes)
        )
        objects_kept = names_at(self._objects, chosen_objects)
        attributes_kept = names_at(self._attributes, chosen_attributes)
        if self._kernel.is_sparse:  # from the index lists, whatever the dense form's size
            rows, columns = selected_crosses(self._kernel, chosen_objects, chosen_attributes)
            kernel = kernel_from_pairs(objects_kept, attributes_kept, rows, columns)
        else:
            kernel = _lab.subcontext(self._kernel, chosen_objects.tobytes(), chosen_attributes.tobytes())
        context = Context.__new__(Context)
        context._adopt(kernel, objects_kept, attributes_kept)
        return context

    def _kept(self, pair: tuple[bytes, bytes]) -> Context:
        objects, attributes = (np.frombuffer(indices, dtype=np.uint32) for indices in pair)
        return self.select(objects, attributes)

    def clarify(self) -> Context:
        """The clarified context: one object of each set of objects with equal rows, one attribute of each set of
        attributes with equal columns (the first, in context order). The concept lattice is the same up to
        isomorphism.

        Examples
        --------
        >>> import tessara.lab as tl
        >>> K = tl.datasets.load("planets")
        >>> K.clarify().objects
        ('Mercury', 'Earth', 'Jupiter', 'Uranus', 'Pluto')
        """
        return self._kept(_lab.clarified(self._kernel))

    def reduce(self) -> Context:
        """The reduced context: clarified, and without reducible objects and attributes (those whose row or column is
        the intersection of others). The concept lattice is the same up to isomorphism.

        Examples
        --------
        >>> import tessara.lab as tl
        >>> K = tl.datasets.load("planets")
        >>> K.reduce().attributes
        ('small', 'medium', 'large', 'near', 'far', 'moon', 'no moon')
        """
        return self._kept(_lab.irreducible(self._kernel))

    def standard_context(self) -> Context:
        """The standard context of the concept lattice: the join-irreducible concepts as objects, the
        meet-irreducible ones as attributes, a cross where the one lies below the other.

        Each join-irreducible concept is the object concept of its irreducible objects, and each meet-irreducible
        one the attribute concept of its irreducible attributes, so the standard context is named as
        :meth:`reduce` names it: by the first such object or attribute, in context order. It is the smallest
        context with the same concept lattice (up to isomorphism).

        Examples
        --------
        >>> import tessara.lab as tl
        >>> K = tl.Context(["g1", "g2", "g3"], ["a", "b", "c"], [[1, 1, 0], [0, 1, 1], [0, 1, 0]])
        >>> S = K.standard_context()
        >>> S.objects, S.attributes
        (('g1', 'g2'), ('a', 'c'))
        """
        return self.reduce()

    def arrows(self) -> Arrows:
        """The arrow relations ↙, ↗ and ↕ between objects and attributes.

        ``g ↙ m`` when g lacks m and every object with strictly more attributes than g (a superset) has m;
        ``g ↗ m`` when g lacks m and g has every attribute with strictly more objects than m. The objects with a
        down arrow are the irreducible ones, the attributes with an up arrow likewise. The work is at most
        quadratic in the objects (and in the attributes); Ctrl-C stops it.

        Returns
        -------
        Arrows
            ``down``, ``up`` and ``double`` as bool arrays of shape (n_objects, n_attributes), and ``to_pandas()``
            for the marked table.

        Examples
        --------
        >>> import tessara.lab as tl
        >>> K = tl.Context(["g1", "g2", "g3"], ["a", "b", "c"], [[1, 1, 0], [0, 1, 1], [0, 1, 0]])
        >>> K.arrows()
        Arrows(objects=3, attributes=3, down=2, up=4, double=2)
        """
        from tessara.lab._structure import Arrows

        return Arrows(self)

    def transpose(self) -> Context:
        """The dual context: attributes become objects and objects attributes.

        Examples
        --------
        >>> import tessara.lab as tl
        >>> K = tl.Context(["duck", "trout"], ["flies", "swims"], [[1, 1], [0, 1]])
        >>> T = K.transpose()
        >>> T.objects, T.attributes
        (('flies', 'swims'), ('duck', 'trout'))
        """
        if self._kernel.is_sparse:
            rows, columns = crosses(self._kernel)
            kernel = kernel_from_pairs(self._attributes, self._objects, columns, rows)
        else:
            kernel = _lab.dual(self._kernel)
        context = Context.__new__(Context)
        context._adopt(kernel, self._attributes, self._objects)
        return context

    # -- files ------------------------------------------------------------------------------------------------------

    def to_bytes(self, format: str) -> bytes:
        """The context as the contents of a file that :func:`read` reads back as an equal context.

        Parameters
        ----------
        format : str
            "cxt", "csv", "tsv", "dat" (FIMI), "xml" (FCA-XML) or "json".

        Raises
        ------
        ValueError
            When the format cannot carry this context, rather than write one that reads back different:
            CXT holds no empty names, no line breaks in names and no white space at either end of a name;
            CSV and TSV need an object and an attribute; FCA-XML needs an object and an attribute, object names
            without white space at either end, and no control characters in names; FIMI carries no names at all
            (they read back as g0, g1, … and m0, m1, …) and needs every object to have an attribute and the last
            attribute to have an object. JSON carries every context.

        Examples
        --------
        >>> import tessara.lab as tl
        >>> K = tl.Context(["duck", "trout"], ["flies", "swims"], [[1, 1], [0, 1]])
        >>> print(K.to_bytes("cxt").decode())
        B
        <BLANKLINE>
        2
        2
        <BLANKLINE>
        duck
        trout
        flies
        swims
        XX
        .X
        >>> K.to_bytes("dat").splitlines()
        [b'0 1', b'1']
        """
        return _lab.write_context(self._kernel, format_extension(format))

    def write(self, path: Path, format: Optional[str] = None) -> None:
        """Write the context to a file, in the format of its extension unless ``format`` names one.

        See :meth:`to_bytes` for the formats and what each can carry. Nothing is written when the context is
        refused.

        Examples
        --------
        >>> import tessara.lab as tl
        >>> K = tl.Context(["duck", "trout"], ["flies", "swims"], [[1, 1], [0, 1]])
        >>> K.write("pond.csv")
        >>> tl.read("pond.csv") == K
        True
        """
        target = path_text(path)
        data = self.to_bytes(format_of_path(target) if format is None else format)
        with open(target, "wb") as file:
            file.write(data)

    # -- concepts ---------------------------------------------------------------------------------------------------

    def lattice(
        self,
        algorithm: Optional[str] = None,
        *,
        min_support: Union[int, float] = 0,
        max_concepts: Optional[int] = None,
        threads: Optional[int] = None,
        progress: Progress = False,
    ) -> Lattice:
        """The concepts of the context with the cover relation, all of them or the frequent ones.

        Parameters
        ----------
        algorithm : str, optional
            One of ``tessara.supported_algorithms()`` or ``"lcm"``; it fixes the order of the concepts. None
            picks ``"lcm"`` for a context stored sparse and ``"fcbo"`` otherwise. ``"lcm"`` walks closed item
            sets the way LCM does (prefix-preserving closure extensions over conditional databases), which
            suits transaction data: its order is the top concept, then (at ``min_support=0``) the concept with
            the empty extent when there is one, then depth first, each concept before its descendants and
            children by ascending rank of the attribute that generated them, attributes ranked by ascending
            support (ties by position).
        min_support : int or float, default 0
            Keep only the concepts whose extents hold at least this many objects (an int), or this fraction of
            the objects (a float in (0, 1], rounded up). The walk prunes by extent size as it goes, so an
            iceberg lattice costs what its size costs. Its cover edges are those of the whole lattice among the
            frequent concepts, and its ``bottom`` is None unless the real bottom is frequent.
        max_concepts : int, optional
            Stop with :class:`TooManyConcepts` once the count would pass this; nothing is kept.
        threads : int, optional
            Worker threads; None uses every core the process may run on, 1 runs sequentially. The concepts and
            their order do not depend on it.
        progress : bool or callable, default False
            True shows a tqdm bar (a line on stderr without tqdm); a callable is called with the running count
            of concepts, from the calling thread.

        Returns
        -------
        Lattice

        Raises
        ------
        TooManyConcepts
            When ``max_concepts`` is passed.
        KeyboardInterrupt
            On Ctrl-C, within a fraction of a second; nothing is kept.

        Examples
        --------
        >>> import tessara.lab as tl
        >>> K = tl.datasets.load("planets")
        >>> K.lattice()
        Lattice(concepts=12, edges=18, objects=9, attributes=7)
        >>> K.lattice(min_support=0.5)
        Lattice(concepts=4, edges=3, objects=9, attributes=7)
        >>> [c.intent for c in K.lattice("next-closure")][:3]
        [(), ('moon',), ('far', 'moon')]
        """
        from tessara.lab._lattice import Lattice

        algorithm = self._algorithm_or_default(algorithm)
        kernel = mine_lattice(self._kernel, self.shape[0], algorithm, min_support, max_concepts, threads, progress)
        return Lattice._from_kernel(kernel, self)

    def iter_concepts(
        self,
        min_support: Union[int, float] = 0,
        algorithm: Optional[str] = None,
        threads: Optional[int] = None,
        *,
        max_concepts: Optional[int] = None,
        progress: Progress = False,
    ) -> Iterator[StreamedConcept]:
        """The concepts one at a time, in the algorithm's order, in memory that does not grow with their number.

        The walk runs in the background, a few thousand concepts ahead of the caller. The arguments are those
        of :meth:`lattice` and are checked at once; ``TooManyConcepts`` comes after the first ``max_concepts``
        concepts were handed out. Closing the iterator (or dropping it) stops the walk.

        Returns
        -------
        Iterator[StreamedConcept]
            Concepts with ``index``, ``extent``, ``intent``, ``support``, ``extent_indices`` and
            ``intent_indices`` (no neighbours: there is no lattice around them).

        Examples
        --------
        >>> import tessara.lab as tl
        >>> K = tl.datasets.load("planets")
        >>> for c in K.iter_concepts(min_support=5):
        ...     print(c.support, c.intent)
        9 ()
        5 ('small',)
        5 ('far', 'moon')
        7 ('moon',)
        """
        from tessara.lab._stream import iter_concepts

        return iter_concepts(self, min_support, self._algorithm_or_default(algorithm), threads, max_concepts, progress)

    def _algorithm_or_default(self, algorithm: Optional[str]) -> str:
        # LCM walks index lists, which is what a sparse context stores; the close-by-one kernels walk bit columns.
        if algorithm is None:
            return "lcm" if self._kernel.is_sparse else "fcbo"
        if not isinstance(algorithm, str):
            raise TypeError(f"algorithm must be a str, not {type(algorithm).__name__}")
        return algorithm

    def to_parquet(
        self,
        path: Union[str, os.PathLike[str]],
        min_support: Union[int, float] = 0,
        algorithm: Optional[str] = None,
        executor: Any = None,
        max_concepts: Optional[int] = None,
        extents: bool = False,
        progress: Progress = False,
        *,
        threads: Optional[int] = None,
        unit_concepts: int = 400_000,
    ) -> ParquetSummary:
        """Writes the concepts as a Parquet dataset, mined on local threads, a Dask cluster or a Ray session.

        The walk is split into units (subtrees); a unit that lists ``unit_concepts`` concepts hands the rest of
        its subtree back as new units, so a skewed tree keeps every worker busy. Each unit writes one part file
        (to a temporary name, renamed when complete); a retried unit writes the same bytes. The context is
        shipped once per worker. The parts in name order hold exactly the concepts of :meth:`iter_concepts` with
        the same arguments, in its order; ``_manifest.json`` is written last, so an unfinished run is never read
        as a finished one (:func:`read_concepts` refuses it). Ctrl-C cancels every outstanding unit and removes
        what the run wrote.

        Parameters
        ----------
        path : str or os.PathLike
            A new or empty folder.
        min_support : int or float
            As for :meth:`lattice`.
        algorithm : str, optional
            ``"fcbo"``, ``"next-closure"``, ``"in-close-5"`` or ``"lcm"``; by default as for
            :meth:`iter_concepts` (``"lcm"`` on a context stored sparse, ``"fcbo"`` otherwise).
        executor : None, dask.distributed.Client or "ray"
            ``None`` runs on this process's threads (``threads`` of them, every core by default); a Dask client
            runs on its cluster (``pip install tessara[dask]``); ``"ray"`` or the ``ray`` module on the running
            Ray session, or a new local one (``pip install tessara[ray]``).
        max_concepts : int, optional
            Raise :class:`TooManyConcepts` (and keep nothing) when there are more concepts, across the cluster.
        extents : bool
            Also store each concept's extent.
        progress : bool or callable
            As for :meth:`lattice`: a tqdm bar of the concepts written, or a callable given the running count.
        threads : int, optional
            Threads of the local executor.
        unit_concepts : int
            The concepts a unit lists before it splits. Fewer make more, shorter units: more workers busy at
            once on a large cluster, and more of the engine's cost per unit.

        Returns
        -------
        ParquetSummary
            The count, the part files, their bytes, the seconds and the units run.

        Raises
        ------
        ValueError
            ``path`` is a file or a folder that is not empty; bad arguments.
        TooManyConcepts
            More than ``max_concepts`` concepts.
        ImportError
            pyarrow (``pip install tessara[parquet]``), or the executor's engine, is missing.

        Examples
        --------
        >>> import tempfile, os
        >>> import tessara.lab as tl
        >>> K = tl.Context(["a", "b", "c"], ["x", "y"], [[1, 0], [1, 1], [0, 1]])
        >>> summary = K.to_parquet(os.path.join(tempfile.mkdtemp(), "concepts"))
        >>> summary.count, summary.units
        (4, 1)
        """
        from tessara.lab._parquet import to_parquet

        return to_parquet(self, path, min_support, algorithm, executor, max_concepts, extents, progress, threads,
                          unit_concepts)

    # -- implications and rules -------------------------------------------------------------------------------------

    def implications(self, min_support: Union[int, float] = 0, basis: str = "canonical") -> Implications:
        """The implications of a basis: rules of confidence 1 that every object respects.

        Parameters
        ----------
        min_support : int or float
            Keep only implications whose premise at least this many objects have (an int) or this fraction
            of the objects (a float in (0, 1]).
        basis : str
            ``"canonical"``: the Duquenne-Guigues base, the fewest implications that derive every other;
            ``"proper-premise"``: the canonical direct base (one pass of its implications closes any set).

        Returns
        -------
        Implications
            A sequence of :class:`Implication` (premise, conclusion: tuples of names in context order, the
            conclusion without the premise's attributes; support; confidence 1.0), with ``to_pandas()``.

        Examples
        --------
        >>> import tessara.lab as tl
        >>> K = tl.datasets.load("planets")
        >>> K.implications()[:3]
        [Implication({no moon} -> {small, near}, support=2), Implication({far} -> {moon}, support=5), Implication({near} -> {small}, support=4)]
        >>> K.implications(min_support=3, basis="proper-premise")
        Implications(basis='proper-premise', implications=2, min_support=3)
        """
        from tessara.lab._rules import implications

        return implications(self, min_support, basis)

    def rules(
        self,
        min_support: Union[int, float],
        min_confidence: float,
        basis: str = "luxenburger",
        *,
        premise_includes: Optional[Selection] = None,
        premise_excludes: Optional[Selection] = None,
        conclusion_includes: Optional[Selection] = None,
        conclusion_excludes: Optional[Selection] = None,
        max_premise: Optional[int] = None,
        threads: Optional[int] = None,
        progress: Any = False,
    ) -> Rules:
        """Association rules X -> Y between frequent closed sets, with confidence below 1.

        Parameters
        ----------
        min_support : int or float
            The objects (an int) or the fraction of them (a float in (0, 1]) that must have X and Y.
        min_confidence : float
            The least share of X's objects that have Y, in [0, 1].
        basis : str
            ``"luxenburger"``: one rule per cover edge of the frequent concepts; with
            ``implications(min_support)`` it derives every rule. ``"all"``: every rule from a frequent closed
            premise to a closed superset.
        premise_includes, premise_excludes, conclusion_includes, conclusion_excludes : names, optional
            Attributes the premise (the conclusion) must hold all of, or none of.
        max_premise : int, optional
            The most attributes a premise may have (a number past the attribute count is no limit).
        threads : int, optional
            For mining the frequent concepts, as in :meth:`lattice`.
        progress : bool or callable, default False
            Reports the running count of frequent concepts while they are mined, then of rules while they are
            found (a second tqdm bar, or a callable called with each count).

        Raises
        ------
        KeyboardInterrupt
            On Ctrl-C in any phase (mining, finding the rules, building their columns and names), within a
            fraction of a second; nothing is kept.

        Returns
        -------
        Rules
            A sequence of :class:`Rule` with ``to_pandas()``: premise, conclusion, support (count and
            fraction), confidence, lift, leverage and conviction.

        Examples
        --------
        >>> import tessara.lab as tl
        >>> K = tl.datasets.load("planets")
        >>> rules = K.rules(min_support=3, min_confidence=0.7)
        >>> for rule in rules:
        ...     print(rule)
        Rule({} -> {moon}, support=7, confidence=0.7778, lift=1)
        Rule({small} -> {near}, support=4, confidence=0.8, lift=1.8)
        Rule({moon} -> {far}, support=5, confidence=0.7143, lift=1.286)
        """
        from tessara.lab._rules import rules

        return rules(self, min_support, min_confidence, basis, premise_includes=premise_includes,
                     premise_excludes=premise_excludes, conclusion_includes=conclusion_includes,
                     conclusion_excludes=conclusion_excludes, max_premise=max_premise, threads=threads,
                     progress=progress)

    # -- operations and exploration ---------------------------------------------------------------------------------

    def complement(self) -> Context:
        """The complementary context: the same objects and attributes, an object having exactly the attributes
        it lacks here.

        Examples
        --------
        >>> import tessara.lab as tl
        >>> tl.Context(["x"], ["a", "b"], [[1, 0]]).complement().intent(["x"])
        ('b',)
        """
        from tessara.lab._operations import complement

        return complement(self)

    def rename(self, objects: Optional[Renaming] = None, attributes: Optional[Renaming] = None) -> Context:
        """The same context with new names.

        Parameters
        ----------
        objects, attributes : mapping or callable, optional
            A mapping from old names to new ones (names not in it stay; a key that is no name here raises
            ValueError), or a function from the old name to the new one.

        Examples
        --------
        >>> import tessara.lab as tl
        >>> K = tl.Context(["x"], ["a", "b"], [[1, 0]]).rename(objects={"x": "y"}, attributes=str.upper)
        >>> K.objects, K.attributes
        (('y',), ('A', 'B'))
        """
        from tessara.lab._operations import rename

        return rename(self, objects, attributes)

    def explore(self, expert: Expert, background: Any = None) -> ExplorationResult:
        """Attribute exploration (Ganter): complete the context with an expert's help.

        Walks the pseudo-intents of the growing context in lectic order; for each, the expert confirms the
        implication ``premise -> conclusion`` or gives counterexamples, new objects that are then added. Every
        question asked is either confirmed once or refuted, so the expert confirms exactly the canonical base
        of the final context (relative to the background: implications that follow from it and from those
        already confirmed are never asked). :class:`Exploration` runs the same walk one question at a time.

        Parameters
        ----------
        expert : callable
            ``expert(implication, context)`` returns None to confirm, or a list of ``(object name, attribute
            names)`` counterexamples; see :class:`Expert`.
        background : Implications or iterable of (premise, conclusion), optional
            Implications known to hold in the domain.

        Returns
        -------
        ExplorationResult
            ``(context, implications, confirmed, counterexamples)``: the final context, its canonical base,
            the confirmed implications and the number of counterexamples.

        Raises
        ------
        ValueError
            When a counterexample does not refute its question, breaks a confirmed or background implication,
            or names an unknown attribute (the exploration stops; nothing is returned).

        Examples
        --------
        An expert who knows the whole domain (here a hidden context) answers from it:

        >>> import tessara.lab as tl
        >>> hidden = tl.Context(["sparrow", "penguin", "bat", "stone"], ["bird", "flies", "mammal"],
        ...                     [[1, 1, 0], [1, 0, 0], [0, 1, 1], [0, 0, 0]])
        >>> def expert(implication, context):
        ...     for name in hidden.extent(list(implication.premise)):
        ...         if not set(implication.conclusion) <= set(hidden.intent([name])):
        ...             return [(name, hidden.intent([name]))]
        ...     return None
        >>> found = tl.Context(["sparrow"], ["bird", "flies", "mammal"], [[1, 1, 0]]).explore(expert)
        >>> found.context.objects, found.counterexamples
        (('sparrow', 'penguin', 'bat'), 2)
        >>> list(found.confirmed)
        [Implication({mammal} -> {flies})]
        >>> list(found.implications) == list(hidden.implications())
        True
        """
        from tessara.lab._explore import explore

        return explore(self, expert, background)

    # -- comparison and display -------------------------------------------------------------------------------------

    def __eq__(self, other: object) -> bool:
        if not isinstance(other, Context):
            return NotImplemented
        if self is other:
            return True
        if self._objects != other._objects or self._attributes != other._attributes:
            return False
        if not (self._kernel.is_sparse or other._kernel.is_sparse):
            return bool(self._kernel.rows() == other._kernel.rows())
        return bool(self._kernel.sparse_rows() == other._kernel.sparse_rows())

    def __hash__(self) -> int:
        # The sparse rows, so that equal contexts hash alike whichever way each is stored.
        return hash((self._objects, self._attributes, self._kernel.sparse_rows()))

    def __repr__(self) -> str:
        shown = f"Context(objects={self._kernel.n_objects}, attributes={self._kernel.n_attributes}"
        if self._kernel.is_sparse:
            shown += f", nnz={self.nnz}"
        return shown + ")"

    def _repr_html_(self) -> str:
        """A table of crosses; at most HTML_MAX_ROWS objects and HTML_MAX_COLUMNS attributes are shown."""
        import html  # only notebooks need it, and its entity table is slow to import

        n_objects, n_attributes = self.shape
        rows = min(n_objects, HTML_MAX_ROWS)
        columns = min(n_attributes, HTML_MAX_COLUMNS)
        shown = (
            dense_block(self._kernel, rows, columns) if self._kernel.is_sparse else self.incidence[:rows, :columns]
        )
        head = "".join(f"<th>{html.escape(name)}</th>" for name in self._attributes[:columns])
        if columns < n_attributes:
            head += "<th>…</th>"
        body = []
        for g in range(rows):
            cells = "".join("<td>×</td>" if cell else "<td></td>" for cell in shown[g].tolist())
            if columns < n_attributes:
                cells += "<td></td>"
            body.append(f"<tr><th>{html.escape(self._objects[g])}</th>{cells}</tr>")
        if rows < n_objects:
            body.append(f"<tr><th>…</th>{'<td></td>' * (columns + (columns < n_attributes))}</tr>")
        caption = f"Context: {n_objects} objects × {n_attributes} attributes"
        hidden = []
        if rows < n_objects:
            hidden.append(f"{n_objects - rows} objects")
        if columns < n_attributes:
            hidden.append(f"{n_attributes - columns} attributes")
        if hidden:
            caption += f" ({' and '.join(hidden)} not shown)"
        return (
            '<table class="tessara-context">'
            f"<caption>{html.escape(caption)}</caption>"
            f"<thead><tr><th></th>{head}</tr></thead><tbody>{''.join(body)}</tbody></table>"
        )
