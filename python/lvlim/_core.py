"""The functions limits and lognormal_mean and their results; re-exported by the package."""

from __future__ import annotations

import math
import warnings

import numpy as np

from . import _checks, _lvlim

__all__ = ["limits", "lognormal_mean", "Limits", "LognormalMean", "DEFAULT_TOLERANCE"]

#: The searches' default step and bracket-width tolerance: the single-precision 1.0e-8 widened.
DEFAULT_TOLERANCE: float = _lvlim.default_tolerance

# A status is one of two shared strings: an array of statuses holds references, not copies.
_STATUS_NAMES = ("ok", "search failed")
_STATUS = np.empty(2, dtype=object)
_STATUS[:] = _STATUS_NAMES
_NO_MESSAGES = ()
_UNREFINED = ("not confirmed at this tolerance (refine=False); refine=True searches again at "
              "1e-12",)
_LIMIT_FIELDS = ("k_lower", "k_upper", "lower", "upper", "iterations_lower",
                 "iterations_upper", "status", "messages")




def _short(value) -> str:
    if isinstance(value, float):
        return "nan" if math.isnan(value) else f"{value:.6g}"
    return repr(value)


def _same(a, b) -> bool:
    """Whether two field values are equal, NaN equal to NaN and arrays compared whole."""
    if isinstance(a, np.ndarray) or isinstance(b, np.ndarray):
        a, b = np.asarray(a), np.asarray(b)
        if a.shape != b.shape:
            return False
        if a.dtype == object or b.dtype == object:
            return all(_same(x, y) for x, y in zip(a.reshape(-1), b.reshape(-1)))
        return bool(np.array_equal(a, b, equal_nan=a.dtype.kind == "f"))
    if isinstance(a, float) and isinstance(b, float) and math.isnan(a) and math.isnan(b):
        return True
    if isinstance(a, (list, tuple)) and isinstance(b, (list, tuple)):
        return list(a) == list(b)
    return bool(a == b)


class _Result:
    """Equality field by field (NaN equal to NaN), as dataclasses and scipy's results compare."""

    __slots__ = ()
    _FIELDS: tuple = ()

    def __eq__(self, other):
        if type(other) is not type(self):
            return NotImplemented
        return all(_same(getattr(self, f), getattr(other, f)) for f in self._FIELDS)

    __hash__ = None

    def __iter__(self):
        return iter(self._unpacked())


class Limits(_Result):
    """The limits of one setting or of an array of settings.

    Unpacks as ``lower, upper = lvlim.limits(...)``, the ends of :meth:`confidence_interval`.
    Two results are equal when every field is (NaN equal to NaN).

    Attributes
    ----------
    kind : str
        ``"upper"``, ``"lower"`` or ``"two-sided"``.
    k_lower, k_upper : float or ndarray
        The standardized limits, as ``lvlim`` prints them (NaN where the kind has no such limit).
    lower, upper : float or ndarray
        The limits for mu + lambda*sigma^2, ``lower <= upper`` (NaN where the kind has none).
    iterations_lower, iterations_upper : int or ndarray
        The iterations of each search (0 where the kind has no such limit).
    status : str or ndarray of str
        ``"ok"``, or ``"search failed"`` where a limit is not confirmed: such a limit is not to
        be trusted, and its messages say why. An array holds references to the two strings.
    messages : list of str, or ndarray of tuples of str
        What the searches reported, a line each.
    """

    _FIELDS = ("kind",) + _LIMIT_FIELDS
    __slots__ = _FIELDS

    def __init__(self, kind: str, **fields):
        self.kind = kind
        for name in _LIMIT_FIELDS:
            setattr(self, name, fields[name])

    def confidence_interval(self):
        """``(low, high)``: the limits, with -inf and +inf on the open side of a one-sided limit."""
        low, high = self.lower, self.upper
        if self.kind == "upper":
            low = -math.inf if np.ndim(high) == 0 else np.full(np.shape(high), -math.inf)
        elif self.kind == "lower":
            high = math.inf if np.ndim(low) == 0 else np.full(np.shape(low), math.inf)
        return low, high

    _unpacked = confidence_interval

    def __repr__(self) -> str:
        parts = [f"kind={self.kind!r}"]
        for name in _LIMIT_FIELDS[:-1]:
            value = getattr(self, name)
            parts.append(f"{name}={_short(value) if np.ndim(value) == 0 else repr(value)}")
        return "Limits(" + ", ".join(parts) + ")"


def _check_cells(flat, shape, lam, controls):
    """ValueError for the first cell out of range, naming its index, before any is computed."""
    bad = _lvlim.check_limits(*flat, lam, *controls)
    if bad is not None:
        index, message = bad
        where = "" if shape == () else f" (at index {_checks.position(index, shape)})"
        raise ValueError(message + where)


def limits(sigma, nu, *, kind="two-sided", confidence=0.95, mu=0.0, lam=0.5,
           gammasquared=None, max_iterations=200, bessel_arg_top=800.0,
           tolerance=DEFAULT_TOLERANCE, result_tol=-1.0, refine=True, workers=None):
    """Exact confidence limits for mu + lam*sigma^2 from sample estimates.

    Broadcasts over ``sigma``, ``nu``, ``mu``, ``confidence`` and ``gammasquared`` like a numpy
    ufunc: the result has their broadcast shape, and plain scalars give plain scalars. Every
    cell is checked before any is computed. Ctrl-C stops the call within a fraction of a second
    (KeyboardInterrupt, no result).

    Parameters
    ----------
    sigma : array_like
        The sample standard deviation sigma-hat, in [0.001, 10].
    nu : array_like
        Its degrees of freedom, in [2, 100000]; may be fractional.
    kind : {"two-sided", "upper", "lower"}
        A pair of two-sided limits, or a one-sided upper or lower limit.
    confidence : array_like
        The confidence level, strictly between 0 and 1.
    mu : array_like
        The sample mean mu-hat.
    lam : float
        The coefficient lambda of sigma^2, finite and non-zero (0.5 for a lognormal mean).
    gammasquared : array_like, optional
        gamma^2, with SE(mu-hat) = sigma/gamma; finite and positive. None means nu + 1.
    max_iterations : int
        The iteration limit of every search (at most 1000 are made).
    bessel_arg_top : float
        The largest Bessel argument for which closed forms replace quadrature; at most 800.
    tolerance : float
        The searches' step and bracket-width tolerance and the quadrature's accuracy.
    result_tol : float
        The searches' residual tolerance; negative switches the residual test off.
    refine : bool
        Search again at tolerance 1e-12 for a limit that ``tolerance`` cannot confirm, as
        ``lognormal_mean`` always does (default). False gives exactly what the program ``lvlim``
        gives for the same record, messages included.
    workers : int, optional
        The threads that share the cells (None: every core). The results do not depend on it.

    Returns
    -------
    Limits
        ``k_lower``, ``k_upper``, ``lower``, ``upper``, ``iterations_lower``,
        ``iterations_upper``, ``status`` and ``messages``.

    Raises
    ------
    ValueError
        For a value outside its range, naming the value, the range and its index.
    TypeError
        For an argument of the wrong type.

    Examples
    --------
    >>> import lvlim
    >>> r = lvlim.limits(1.2, 20, mu=3.1)
    >>> print(f"{r.lower:.6f} {r.upper:.6f} {r.status}")
    3.225876 4.727831 ok
    >>> lvlim.limits([0.5, 1.0, 2.0], 20, kind="upper").upper.shape
    (3,)
    >>> low, high = lvlim.limits(1.2, 20, mu=3.1, kind="upper")
    >>> low, round(high, 6)
    (-inf, 4.584302)
    """
    kind = _checks.kind(kind)
    max_iterations = _checks.integer("max_iterations", max_iterations, -2**31, 2**31 - 1,
                                     " (the searches never take more than 1000)")
    if workers is None:
        workers = 0
    else:
        workers = _checks.integer("workers", workers, 1, 2**31 - 1, ", or None for every core")
    if not isinstance(refine, (bool, np.bool_)):
        raise TypeError(f"refine must be True or False, not {type(refine).__name__}")
    lam = _checks.real("lam", lam)
    controls = (max_iterations, _checks.real("bessel_arg_top", bessel_arg_top),
                _checks.real("tolerance", tolerance), _checks.real("result_tol", result_tol))
    nu_a = _checks.float_array("nu", nu)
    g_a = nu_a + 1.0 if gammasquared is None else _checks.float_array("gammasquared",
                                                                       gammasquared)
    arrays = np.broadcast_arrays(_checks.float_array("sigma", sigma), nu_a,
                                 _checks.float_array("mu", mu),
                                 _checks.float_array("confidence", confidence), g_a)
    shape = arrays[0].shape
    flat = [np.ascontiguousarray(a).reshape(-1) for a in arrays]
    _check_cells(flat, shape, lam, controls)
    out = _lvlim.limits(*flat, kind, lam, *controls, bool(refine), int(workers))
    codes = out["status"]
    out["status"] = _STATUS[codes]
    messages = np.empty(codes.size, dtype=object)
    messages.fill(_NO_MESSAGES)
    for index, lines in out["messages"]:
        messages[index] = tuple(lines)
    if not refine:
        for index in np.flatnonzero(codes):
            if not messages[index]:
                messages[index] = _UNREFINED
    out["messages"] = messages
    if shape == ():
        fields = {name: out[name][0] for name in _LIMIT_FIELDS}
        for name in ("k_lower", "k_upper", "lower", "upper"):
            fields[name] = float(fields[name])
        for name in ("iterations_lower", "iterations_upper"):
            fields[name] = int(fields[name])
        fields["status"] = str(fields["status"])
        fields["messages"] = list(fields["messages"])
    else:
        fields = {name: out[name].reshape(shape) for name in _LIMIT_FIELDS}
    return Limits(kind, **fields)


class LognormalMean(_Result):
    """The summary of a lognormal sample and the limits of its mean.

    The fields of a row of ``lvlim-data --format=json``, plus ``omitted``. For one sample at
    one confidence level each is a scalar; with ``axis`` or several confidence levels each is an
    array of the shape of the samples followed by that of the confidence levels. Unpacks as
    ``estimate, low, high``: the MVUE and the ends of :meth:`confidence_interval`.

    Attributes
    ----------
    n : int
        The number of measurements used.
    log_mean, log_sd : float
        The mean and standard deviation (divisor n - 1) of their natural logarithms.
    nu, gammasquared : float
        The setting of the limits: n - 1 and n.
    confidence : float
        The confidence level.
    kind : str
        ``"upper"``, ``"lower"`` or ``"two-sided"``.
    mvue, sample_mean, plug_in : float
        Three estimates of the mean: the minimum-variance unbiased estimate, the arithmetic mean
        of the measurements, and exp(log_mean + log_sd**2 / 2).
    k_lower, k_upper : float
        The standardized limits (NaN where the kind has no such limit).
    log_lower, log_upper : float
        The limits for mu + sigma^2/2 (NaN where the kind has none).
    mean_lower, mean_upper : float
        The limits of the mean: exp(log_lower) and exp(log_upper).
    status : str
        ``"ok"``, or ``"search failed"`` where a limit is not confirmed; its messages say why.
    messages : list of str
        What the searches reported, a line each.
    omitted : int
        The NaN and missing values (None, pandas' NA) left out under ``nan_policy="omit"``
        (masked values are not counted).
    """

    FIELDS = ("n", "log_mean", "log_sd", "nu", "gammasquared", "confidence", "kind", "mvue",
              "sample_mean", "plug_in", "k_lower", "k_upper", "log_lower", "log_upper",
              "mean_lower", "mean_upper", "status", "messages")
    _FIELDS = FIELDS + ("omitted",)
    __slots__ = _FIELDS

    def __init__(self, omitted=0, **fields):
        for name in self.FIELDS:
            setattr(self, name, fields[name])
        self.omitted = omitted

    def as_dict(self) -> dict:
        """The fields as a dict, in the order of lvlim-data's JSON row."""
        return {name: getattr(self, name) for name in self.FIELDS}

    def confidence_interval(self):
        """``(low, high)``: the limits of the mean, with 0 and +inf on the open side of a
        one-sided limit (a lognormal mean is positive)."""
        low, high = self.mean_lower, self.mean_upper
        if self.kind == "upper":
            low = 0.0 if np.ndim(high) == 0 else np.zeros(np.shape(high))
        elif self.kind == "lower":
            high = math.inf if np.ndim(low) == 0 else np.full(np.shape(low), math.inf)
        return low, high

    def _unpacked(self):
        return (self.mvue, *self.confidence_interval())

    def __repr__(self) -> str:
        if np.ndim(self.n) != 0:
            return (f"LognormalMean(shape={np.shape(self.n)}, kind={self.kind!r}, "
                    f"confidence={self.confidence!r}, status={self.status!r})")
        level = f"{100 * self.confidence:g}%"
        if self.kind == "two-sided":
            ends = (self.mean_lower, self.mean_upper, self.log_lower, self.log_upper,
                    self.k_lower, self.k_upper)
            what = "{} limits of the mean: {} to {}".format(level, *map(_short, ends[:2]))
            scale = "log-scale limits {} to {}, standardized {} to {}".format(
                *map(_short, ends[2:]))
        else:
            side = self.kind
            what = f"{level} {side} limit of the mean: {_short(getattr(self, 'mean_' + side))}"
            scale = (f"log-scale limit {_short(getattr(self, 'log_' + side))}, "
                     f"standardized {_short(getattr(self, 'k_' + side))}")
        omitted = f", omitted={self.omitted}" if self.omitted else ""
        return (f"LognormalMean(n={self.n}, kind={self.kind!r}, confidence={self.confidence!r}, "
                f"status={self.status!r}{omitted})\n"
                f"  estimates of the mean: MVUE {_short(self.mvue)}, sample mean "
                f"{_short(self.sample_mean)}, plug-in {_short(self.plug_in)}\n"
                f"  {what}\n"
                f"  logs: mean {_short(self.log_mean)}, sd {_short(self.log_sd)} "
                f"(nu {_short(self.nu)}, gammasquared {_short(self.gammasquared)}); {scale}")


def _samples(x, axis):
    """The samples of `x` as rows of a 2-D array, their shape, and the mask (or None), with
    each row's positions in `x`, the shape of `x`, and its missing values (None, pandas' NA:
    NaN in the rows) by flat position."""
    mask = None
    if np.ma.isMaskedArray(x):
        mask = np.ma.getmaskarray(x)
        x = np.ma.getdata(x)
    values, absent = _checks.float_array("x", x, missing=True)
    if axis is None:
        if values.ndim > 1:
            raise ValueError(f"x has shape {values.shape}: with axis=None it must be one "
                             "sample, 1-D; give axis=0 for a sample per column, axis=-1 per "
                             "row, or flatten it")
        values = values.reshape(1, -1)
        mask = None if mask is None else mask.reshape(1, -1)
        return values, (), mask, np.arange(values.size).reshape(1, -1), (values.size,), absent
    if values.ndim == 0:
        raise ValueError("x is a single number: axis needs an array")
    axis = _checks.integer("axis", axis, -values.ndim, values.ndim - 1)
    flat_positions = np.arange(values.size).reshape(values.shape)
    moved = [np.moveaxis(a, axis, -1) for a in (values, flat_positions)]
    batch = moved[0].shape[:-1]
    rows = moved[0].reshape(-1, values.shape[axis])
    where = moved[1].reshape(-1, values.shape[axis])
    if mask is not None:
        mask = np.moveaxis(mask, axis, -1).reshape(rows.shape)
    return rows, batch, mask, where, values.shape, absent


def lognormal_mean(x, *, confidence=0.95, kind="two-sided", axis=None, nan_policy="raise"):
    """Exact confidence limits for the mean of a lognormal population from its measurements.

    Follows the lognormal recipe exactly as ``lvlim-data`` does: the natural logarithms of the
    n measurements give mu-hat and sigma-hat (divisor n - 1), and the limits for
    mu + sigma^2/2 come from lambda 0.5, nu = n - 1 and gammasquared = n; their exponentials are
    the limits of the mean. A limit the default tolerance cannot confirm is searched again at
    1e-12.

    Parameters
    ----------
    x : array_like or masked array
        The measurements, all finite and positive: from 3 to 100001 of them, whose logarithms
        have a standard deviation in [0.001, 10]. Masked values are left out.
    confidence : float or array_like
        The confidence level(s), strictly between 0 and 1.
    kind : {"two-sided", "upper", "lower"}
        A pair of two-sided limits, or a one-sided upper or lower limit.
    axis : int or None
        None: ``x`` is one sample and must be 1-D. An integer: the axis along which ``x`` holds
        each sample, one sample per position of the other axes.
    nan_policy : {"raise", "omit"}
        "raise": a NaN or a missing value (None, pandas' NA) is an error that names its
        position. "omit": they are left out, and ``omitted`` counts them.

    Returns
    -------
    LognormalMean
        n, log_mean, log_sd, nu, gammasquared, confidence, kind, mvue, sample_mean, plug_in,
        k_lower, k_upper, log_lower, log_upper, mean_lower, mean_upper, status, messages,
        omitted; arrays of the shape of the samples and then of the confidence levels when
        there are several of either.

    Warns
    -----
    RuntimeWarning
        When a limit of the mean exceeds the largest double (inf) or is below the smallest
        (0); its log-scale limit holds it exactly.

    Raises
    ------
    ValueError
        For a measurement that is not finite and positive, too few or too many of them, or a
        spread or confidence out of range; every sample is checked before any is computed.
    TypeError
        For an argument of the wrong type.

    Examples
    --------
    >>> import lvlim
    >>> r = lvlim.lognormal_mean([3.2, 5.1, 12.7, 8.4, 2.1, 25.3], kind="upper")
    >>> r.n, r.kind, r.mean_upper > r.mvue
    (6, 'upper', True)
    >>> lvlim.lognormal_mean([[3.2, 5.1], [12.7, 8.4], [2.1, 25.3]], axis=0).n
    array([3, 3])
    """
    kind = _checks.kind(kind)
    nan_policy = _checks.choice("nan_policy", nan_policy, ("raise", "omit"))
    levels = _checks.float_array("confidence", confidence)
    rows, batch, mask, where, shape, absent = _samples(x, axis)
    samples, omitted = [], []
    for i in range(rows.shape[0]):
        row, at = rows[i], where[i]
        if mask is not None:
            row, at = row[~mask[i]], at[~mask[i]]
        nans = np.isnan(row)
        bad = ~nans & ~((row > 0) & (row < math.inf))
        if bad.any():
            first = _checks.position(at[np.argmax(bad)], shape)
            value = str(float(row[np.argmax(bad)])).removesuffix(".0")
            raise ValueError(f"measurement {value} is not positive and finite (x{first}): the "
                             "lognormal model needs positive values, whose logarithms exist")
        if nans.any():
            if nan_policy == "raise":
                flat = int(at[np.argmax(nans)])
                first = _checks.position(flat, shape)
                if flat in absent:
                    raise ValueError(f"x{first} is {absent[flat]}, a missing value: "
                                     "nan_policy='omit' leaves missing values out")
                raise ValueError(f"x{first} is NaN: nan_policy='omit' leaves NaNs out")
            row = row[~nans]
        omitted.append(int(nans.sum()))
        samples.append(np.ascontiguousarray(row))
    flat_levels = np.ascontiguousarray(levels.reshape(-1))
    results = [_lvlim.lognormal_mean(row, flat_levels, kind) for row in samples]
    if batch == () and levels.ndim == 0:
        result = LognormalMean(omitted=omitted[0], **results[0][0])
        warn_beyond_doubles(result)
        return result
    out_shape = batch + levels.shape
    fields = {}
    for name in LognormalMean.FIELDS:
        column = [row[name] for result in results for row in result]
        if name in ("kind", "status", "messages"):
            array = np.empty(len(column), dtype=object)
            array[:] = [_STATUS[_STATUS_NAMES.index(v)] if name == "status" else
                        tuple(v) if name == "messages" else v for v in column]
        else:
            array = np.array(column)
        fields[name] = array.reshape(out_shape)
    fields["kind"] = kind
    counts = np.repeat(np.array(omitted), flat_levels.size).reshape(out_shape)
    result = LognormalMean(omitted=counts, **fields)
    warn_beyond_doubles(result)
    return result


def warn_beyond_doubles(result, stacklevel=3) -> None:
    """A RuntimeWarning for each side whose limit of the mean, exp of a finite log-scale limit,
    is beyond the doubles: reported as inf (or 0), while log_lower or log_upper holds it."""
    for side in ("lower", "upper"):
        logs = np.asarray(getattr(result, "log_" + side), dtype=np.float64)
        means = np.asarray(getattr(result, "mean_" + side), dtype=np.float64)
        finite = np.isfinite(logs)
        for beyond, how in ((finite & (means == math.inf), "exceeds the largest double and is "
                             "reported as inf"),
                            (finite & (means == 0.0), "is below the smallest double and is "
                             "reported as 0")):
            if not beyond.any():
                continue
            first = int(np.argmax(beyond.reshape(-1)))
            where = "" if logs.ndim == 0 else f" at {_checks.position(first, logs.shape)}"
            more = int(beyond.sum()) - 1
            others = f" (and {more} more)" if more else ""
            warnings.warn(f"the {side} limit of the mean{where}, "
                          f"exp({logs.reshape(-1)[first]:.7g}), {how}{others}; log_{side} "
                          "holds it exactly", RuntimeWarning, stacklevel=stacklevel)
