"""Argument checks shared by the functions of the package: numbers and arrays of numbers, the
kind of limit, integers and option names. Each raises TypeError for a value of the wrong type
and ValueError for a value of the right type out of range, naming the argument and, in an
array, the position of the first bad value."""

from __future__ import annotations

import math
import numbers

import numpy as np

KINDS = ("two-sided", "upper", "lower")


def position(flat_index, shape) -> str:
    """The index of a flat position in an array of `shape`, as Python writes it: [3] or [1, 2]."""
    if shape == ():
        return ""
    return "[" + ", ".join(str(int(i)) for i in np.unravel_index(flat_index, shape)) + "]"


def is_missing(item) -> bool:
    """Whether an element of an object array is a missing value: None, or pandas' NA (known by
    its type, so that pandas need not be imported)."""
    return item is None or (type(item).__name__ == "NAType"
                            and type(item).__module__.startswith("pandas"))


def _double(name, where, item) -> float:
    """One element of an object array as a double; one beyond the doubles' range is an error
    that names it (float() would raise OverflowError without saying where)."""
    try:
        return float(item)
    except OverflowError:
        if isinstance(item, numbers.Integral):
            digits = int(math.log10(abs(int(item)))) + 1
            what = f"an integer of {digits} digits"
        else:
            what = f"a {type(item).__name__}"
        raise ValueError(f"{name}{where} is {what}, too large for a double (at most about "
                         "1.8e308)") from None


def float_array(name, value, missing=False):
    """`value` as an array of float64; a None or a non-number in it is an error that names it.

    With `missing`, None and pandas' NA become NaN instead, and the result is a pair: the array
    and a dict from the flat positions of those values to how they were given ("None", "<NA>").
    """
    if value is None:
        raise TypeError(f"{name} must be a number or an array of numbers, not None")
    if isinstance(value, (str, bytes)):
        raise TypeError(f"{name} must be a number or an array of numbers, not {type(value).__name__}")
    if np.ma.isMaskedArray(value):
        # np.asarray would drop the mask and compute the masked cells as if they were given.
        masked = np.ma.getmaskarray(value)
        if masked.any():
            first = int(np.argmax(masked.reshape(-1)))
            raise ValueError(f"{name}{position(first, masked.shape)} is masked: every cell is "
                             "computed, so give the values (compressed() or filled())")
        value = np.ma.getdata(value)
    array = np.asarray(value)
    absent = {}
    if array.dtype == object:
        flat = array.reshape(-1)
        out = np.empty(flat.size, dtype=np.float64)
        for i, item in enumerate(flat):
            if is_missing(item):
                if not missing:
                    raise ValueError(f"{name}{position(i, array.shape)} is {item!r}: a missing "
                                     "value where a number is needed")
                absent[i] = repr(item)
                out[i] = math.nan
            elif not isinstance(item, numbers.Real):
                raise TypeError(f"{name}{position(i, array.shape)} = {item!r} is not a number")
            else:
                out[i] = _double(name, position(i, array.shape), item)
        out = out.reshape(array.shape)
    elif not (np.issubdtype(array.dtype, np.number) or array.dtype == np.bool_):
        raise TypeError(f"{name} must be a number or an array of numbers, not an array of "
                        f"{array.dtype}")
    elif np.issubdtype(array.dtype, np.complexfloating):
        raise TypeError(f"{name} must be real, not complex")
    else:
        out = np.asarray(array, dtype=np.float64)
    return (out, absent) if missing else out


def real(name, value) -> float:
    """A single real number."""
    if isinstance(value, (bool, np.bool_)) or not isinstance(value, numbers.Real):
        raise TypeError(f"{name} must be a real number, not {type(value).__name__}")
    return float(value)


def integer(name, value, low, high, what="") -> int:
    """An integer in [low, high]."""
    if isinstance(value, (bool, np.bool_)) or not isinstance(value, (int, np.integer)):
        raise TypeError(f"{name} must be an integer, not {type(value).__name__}")
    if not low <= value <= high:
        raise ValueError(f"{name} = {value!r} is outside its range: an integer from {low} to "
                         f"{high}{what}")
    return int(value)


def choice(name, value, allowed) -> str:
    """One of the strings `allowed`."""
    if not isinstance(value, str):
        raise TypeError(f"{name} must be one of {', '.join(map(repr, allowed))}, not "
                        f"{type(value).__name__} {value!r}")
    if value not in allowed:
        raise ValueError(f"{name} {value!r} is not one of {', '.join(map(repr, allowed))}")
    return value


def kind(value) -> str:
    """The kind of limit: "two-sided", "upper" or "lower"."""
    if not isinstance(value, str):
        raise TypeError(f"kind must be one of 'two-sided', 'upper', 'lower', not "
                        f"{type(value).__name__} {value!r}")
    return value
