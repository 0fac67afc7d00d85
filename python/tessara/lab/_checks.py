"""Checked numbers for the kernels: every integer and fraction a user passes goes through here.

The kernels take 64-bit counts; Python integers have no bound. A value is
never wrapped or truncated on its way down: it is either taken, saturated
where a larger value means the same thing (a limit past anything reachable is
no limit, a threshold past every object keeps nothing), or refused with an
error that names the parameter and the value.
"""

from __future__ import annotations

import math
import numbers
from fractions import Fraction

__all__ = ["UINT64_MAX", "whole_number", "real_number", "fraction_of"]

#: The largest count a kernel takes.
UINT64_MAX = 2**64 - 1


def whole_number(parameter: str, value: object, *, least: int = 0, most: int = UINT64_MAX,
                 saturate: bool = False) -> int:
    """``value`` as an int in ``[least, most]``.

    Parameters
    ----------
    parameter : str
        The name the messages give.
    value : object
        An integer (``int`` or a numpy integer; not a bool).
    least, most : int
        The range taken.
    saturate : bool
        True when every value above ``most`` means the same as ``most`` (it is then
        returned as ``most``); False refuses it.

    Raises
    ------
    TypeError
        When ``value`` is not an integer.
    ValueError
        When it is below ``least``, or above ``most`` and not saturated.

    Examples
    --------
    >>> from tessara.lab._checks import whole_number
    >>> whole_number("threads", 4, least=1)
    4
    >>> whole_number("max_premise", 2**70, most=30, saturate=True)
    30
    >>> whole_number("samples", 2**64, least=1)
    Traceback (most recent call last):
    ...
    ValueError: samples must be at most 18446744073709551615, got 18446744073709551616
    """
    if isinstance(value, bool) or not isinstance(value, numbers.Integral):
        raise TypeError(f"{parameter} must be an int, not {type(value).__name__}")
    number = int(value)
    if number < least:
        raise ValueError(f"{parameter} must be at least {least}, got {number}")
    if number > most:
        if saturate:
            return most
        raise ValueError(f"{parameter} must be at most {most}, got {number}")
    return number


def real_number(parameter: str, value: object, low: float, high: float, *, open_low: bool = False,
                open_high: bool = False) -> float:
    """``value`` as a float in the interval from ``low`` to ``high`` (NaN is never in it).

    Examples
    --------
    >>> from tessara.lab._checks import real_number
    >>> real_number("min_confidence", 0.5, 0.0, 1.0)
    0.5
    >>> real_number("confidence", 1.0, 0.0, 1.0, open_low=True, open_high=True)
    Traceback (most recent call last):
    ...
    ValueError: confidence must lie in (0, 1), got 1.0
    """
    if isinstance(value, bool) or not isinstance(value, numbers.Real):
        raise TypeError(f"{parameter} must be a number, not {type(value).__name__}")
    number = float(value)
    above = number > low if open_low else number >= low
    below = number < high if open_high else number <= high
    if not (above and below):  # also NaN
        shown = f"{'(' if open_low else '['}{low:g}, {high:g}{')' if open_high else ']'}"
        raise ValueError(f"{parameter} must lie in {shown}, got {value}")
    return number


def fraction_of(parameter: str, fraction: float, total: int) -> int:
    """The least whole number of ``total`` items that is at least ``fraction`` of them, exactly.

    The float is read as the decimal it prints as (0.1 is one tenth), so 0.1 of 30 is 3 and any positive
    fraction of a non-empty whole is at least 1.

    Examples
    --------
    >>> from tessara.lab._checks import fraction_of
    >>> fraction_of("min_support", 0.1, 30), fraction_of("min_support", 1e-12, 3), fraction_of("min_support", 0.5, 0)
    (3, 1, 0)
    """
    exact = Fraction(repr(float(fraction))) * total
    return min(total, max(0, math.ceil(exact)))

