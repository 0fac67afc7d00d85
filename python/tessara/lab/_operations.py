"""Context operations: complement, apposition, subposition, direct sum and product, renaming, random
contexts. Each is one array operation on the incidence matrices."""

from __future__ import annotations

import numbers
from collections.abc import Callable, Mapping
from typing import TYPE_CHECKING, Any, Optional, Union

import numpy as np

from tessara import _lab
from tessara.lab._names import names_tuple

if TYPE_CHECKING:
    from tessara.lab._context import Context

#: A renaming: a mapping from old names to new ones (names not in it stay), or a function of the old name.
Renaming = Union[Mapping[str, str], Callable[[str], str]]


def _context(value: Any, parameter: str) -> Context:
    from tessara.lab._context import Context

    if not isinstance(value, Context):
        raise TypeError(f"{parameter} must be a Context, not {type(value).__name__}")
    return value


def _make(objects: tuple[str, ...], attributes: tuple[str, ...], matrix: Any) -> Context:
    from tessara.lab._context import Context

    return Context._from_matrix(objects, attributes, np.ascontiguousarray(matrix, dtype=bool))


def complement(context: Context) -> Context:
    """See :meth:`Context.complement`."""
    return _make(context.objects, context.attributes, ~context.incidence)


def _aligned(first: tuple[str, ...], second: tuple[str, ...], kind: str, operation: str) -> Optional[list[int]]:
    """Where the second context's names of `kind` sit, in the first context's order: None when the orders are
    equal already, positions when the same distinct names come in another order; else ValueError."""
    if first == second:
        return None
    if len(set(first)) == len(first) == len(second) and set(first) == set(second):
        where = {name: k for k, name in enumerate(second)}
        return [where[name] for name in first]
    if len(first) != len(second):
        raise ValueError(f"{operation} needs the same {kind}s in both contexts: the first has {len(first)}, "
                         f"the second {len(second)}")
    position = next(k for k, (a, b) in enumerate(zip(first, second)) if a != b)
    raise ValueError(f"{operation} needs the same {kind}s in both contexts: {kind} {position} is "
                     f"{first[position]!r} in the first and {second[position]!r} in the second")


def _disjoint(first: tuple[str, ...], second: tuple[str, ...], kind: str, operation: str) -> None:
    common = sorted(set(first) & set(second))
    if common:
        shown = ", ".join(repr(name) for name in common[:5]) + (", ..." if len(common) > 5 else "")
        raise ValueError(f"{operation} joins the {kind}s of both contexts, but both have {shown}; "
                         f"rename them first (Context.rename)")


def apposition(first: Context, second: Context) -> Context:
    """The apposition of two contexts on the same objects: the attributes of both side by side.

    Parameters
    ----------
    first, second : Context
        Contexts with the same objects, matched by name (the second's rows are taken in the first's order when
        the names are distinct), and no attribute name in common.

    Returns
    -------
    Context
        The objects, the attributes of ``first`` then those of ``second``; an object has an attribute when
        it has it in the context the attribute comes from.

    Raises
    ------
    ValueError
        Naming the first object that differs (when the names are not the same), or the attribute names both
        contexts have.

    Examples
    --------
    >>> import tessara.lab as tl
    >>> K = tl.Context(["x", "y"], ["a"], [[1], [0]])
    >>> tl.apposition(K, K.complement().rename(attributes=lambda m: "not " + m)).to_pandas()
           a  not a
    x   True  False
    y  False   True
    """
    first, second = _context(first, "first"), _context(second, "second")
    order = _aligned(first.objects, second.objects, "object", "apposition")
    _disjoint(first.attributes, second.attributes, "attribute", "apposition")
    right = second.incidence if order is None else second.incidence[order]
    return _make(first.objects, first.attributes + second.attributes, np.hstack([first.incidence, right]))


def subposition(first: Context, second: Context) -> Context:
    """The subposition of two contexts on the same attributes: the objects of both, one above the other.

    Parameters
    ----------
    first, second : Context
        Contexts with the same attributes, matched by name as :func:`apposition` matches objects, and no object
        name in common.

    Raises
    ------
    ValueError
        Naming the first attribute that differs, or the object names both contexts have.

    Examples
    --------
    >>> import tessara.lab as tl
    >>> K = tl.subposition(tl.Context(["x"], ["a", "b"], [[1, 0]]), tl.Context(["y"], ["a", "b"], [[0, 1]]))
    >>> K.objects, K.extent("b")
    (('x', 'y'), ('y',))
    """
    first, second = _context(first, "first"), _context(second, "second")
    order = _aligned(first.attributes, second.attributes, "attribute", "subposition")
    _disjoint(first.objects, second.objects, "object", "subposition")
    below = second.incidence if order is None else second.incidence[:, order]
    return _make(first.objects + second.objects, first.attributes, np.vstack([first.incidence, below]))


def _tagged(first: tuple[str, ...], second: tuple[str, ...], suffixes: tuple[str, str]) -> tuple[str, ...]:
    """Both name lists joined; names that occur in both get the suffixes, as pandas' merge does."""
    common = set(first) & set(second)
    return (tuple(name + suffixes[0] if name in common else name for name in first)
            + tuple(name + suffixes[1] if name in common else name for name in second))


def _suffixes(value: Any) -> tuple[str, str]:
    if not (isinstance(value, tuple) and len(value) == 2 and all(isinstance(s, str) for s in value)):
        raise TypeError(f"suffixes must be a tuple of two str, not {value!r}")
    if value[0] == value[1]:
        raise ValueError(f"suffixes must differ, got {value!r}")
    return value


def direct_sum(first: Context, second: Context, suffixes: tuple[str, str] = ("_1", "_2")) -> Context:
    """The direct sum of two contexts (Ganter and Wille): the disjoint union of their objects and of their
    attributes, where an object of one context has every attribute of the other. Its concept lattice is the
    product of the two lattices.

    Parameters
    ----------
    first, second : Context
    suffixes : (str, str), default ("_1", "_2")
        Appended to the names that both contexts use (objects and attributes separately), so the sum keeps
        the two apart; other names stay as they are.

    Returns
    -------
    Context
        The objects of ``first`` then those of ``second``; the attributes likewise. Incidence:
        ``[[I1, 1], [1, I2]]``.

    Examples
    --------
    >>> import tessara.lab as tl
    >>> K = tl.direct_sum(tl.Context(["x"], ["a"], [[0]]), tl.Context(["x"], ["b"], [[0]]))
    >>> K.objects, K.to_pandas().values.tolist()
    (('x_1', 'x_2'), [[False, True], [True, False]])
    """
    first, second = _context(first, "first"), _context(second, "second")
    chosen = _suffixes(suffixes)
    (g1, m1), (g2, m2) = first.shape, second.shape
    matrix = np.ones((g1 + g2, m1 + m2), dtype=bool)
    matrix[:g1, :m1] = first.incidence
    matrix[g1:, m1:] = second.incidence
    return _make(_tagged(first.objects, second.objects, chosen), _tagged(first.attributes, second.attributes, chosen),
                 matrix)


def direct_product(first: Context, second: Context) -> Context:
    """The direct product of two contexts (Ganter and Wille): objects and attributes are pairs, and
    ``(g1, g2)`` has ``(m1, m2)`` when ``g1`` has ``m1`` in the first context or ``g2`` has ``m2`` in the
    second.

    Returns
    -------
    Context
        Objects named ``"(g1, g2)"``, the pairs in row-major order (``g1`` varies slowest); attributes
        ``"(m1, m2)"`` likewise.

    Examples
    --------
    >>> import tessara.lab as tl
    >>> K = tl.direct_product(tl.Context(["x"], ["a", "b"], [[1, 0]]), tl.Context(["u", "v"], ["c"], [[1], [0]]))
    >>> K.objects, K.attributes
    (('(x, u)', '(x, v)'), ('(a, c)', '(b, c)'))
    >>> K.to_pandas().values.tolist()
    [[True, True], [True, False]]
    """
    first, second = _context(first, "first"), _context(second, "second")
    (g1, m1), (g2, m2) = first.shape, second.shape
    # matrix[(i, k), (j, l)] = I1[i, j] or I2[k, l]
    matrix = first.incidence[:, None, :, None] | second.incidence[None, :, None, :]
    objects = tuple(f"({a}, {b})" for a in first.objects for b in second.objects)
    attributes = tuple(f"({a}, {b})" for a in first.attributes for b in second.attributes)
    return _make(objects, attributes, matrix.reshape(g1 * g2, m1 * m2))


def random_context(n_objects: int, n_attributes: int, density: float = 0.5, seed: Optional[int] = None) -> Context:
    """A random context for experiments: each cross present with probability ``density``, independently.

    Parameters
    ----------
    n_objects, n_attributes : int
        The shape; objects are named ``g0, g1, ...`` and attributes ``m0, m1, ...``.
    density : float in [0, 1], default 0.5
    seed : int, optional
        The seed of numpy's default generator; the same seed gives the same context.

    Examples
    --------
    >>> import tessara.lab as tl
    >>> K = tl.random_context(4, 3, density=0.5, seed=1)
    >>> K.shape, K == tl.random_context(4, 3, density=0.5, seed=1)
    ((4, 3), True)
    """
    for parameter, value in (("n_objects", n_objects), ("n_attributes", n_attributes)):
        if isinstance(value, bool) or not isinstance(value, numbers.Integral):
            raise TypeError(f"{parameter} must be an int, not {type(value).__name__}")
        if value < 0:
            raise ValueError(f"{parameter} must be at least 0, got {value}")
    if isinstance(density, bool) or not isinstance(density, numbers.Real):
        raise TypeError(f"density must be a number, not {type(density).__name__}")
    if not 0.0 <= float(density) <= 1.0:
        raise ValueError(f"density must lie in [0, 1], got {density}")
    generator = np.random.default_rng(seed)
    matrix = generator.random((int(n_objects), int(n_attributes))) < float(density)
    return _make(tuple(f"g{k}" for k in range(int(n_objects))), tuple(f"m{k}" for k in range(int(n_attributes))),
                 matrix)


def _renamed(names: tuple[str, ...], renaming: Optional[Renaming], kind: str) -> tuple[str, ...]:
    if renaming is None:
        return names
    if isinstance(renaming, Mapping):
        known = set(names)
        unknown = [key for key in renaming if key not in known]
        if unknown:
            shown = ", ".join(repr(key) for key in unknown[:5])
            raise ValueError(f"rename: no {kind} named {shown}")
        return names_tuple(f"{kind} names", [renaming.get(name, name) for name in names])
    if callable(renaming):
        return names_tuple(f"{kind} names", [renaming(name) for name in names])
    raise TypeError(f"{kind}s must be a mapping or a callable, not {type(renaming).__name__}")


def rename(context: Context, objects: Optional[Renaming] = None, attributes: Optional[Renaming] = None) -> Context:
    """See :meth:`Context.rename`."""
    from tessara.lab._context import Context

    new_objects = _renamed(context.objects, objects, "object")
    new_attributes = _renamed(context.attributes, attributes, "attribute")
    renamed = Context.__new__(Context)
    renamed._adopt(_lab.make_context(new_objects, new_attributes, context._kernel.rows()), new_objects,
                   new_attributes)
    return renamed
