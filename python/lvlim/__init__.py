"""Exact confidence limits for mu + lambda*sigma^2 of a normal distribution, and for the mean
of a lognormal population.

The limits are the uniformly most accurate unbiased ones, computed by the same engine as the
programs ``lvlim``, ``lvlim-table`` and ``lvlim-data``, with identical results.

Functions
---------
limits
    The limits of settings given by sample estimates; broadcasts over numpy arrays.
lognormal_mean
    The summary of positive measurements and the limits of their lognormal mean.
"""

from __future__ import annotations

import math

import numpy as np

from . import _lvlim

__all__ = ["limits", "lognormal_mean", "Limits", "LognormalMean", "DEFAULT_TOLERANCE"]

#: The searches' default step and bracket-width tolerance: the single-precision 1.0e-8 widened.
DEFAULT_TOLERANCE: float = _lvlim.default_tolerance

_STATUS = np.array(["ok", "search failed"])
_LIMIT_FIELDS = ("k_lower", "k_upper", "lower", "upper", "iterations_lower",
                 "iterations_upper", "status", "messages")


def _short(value) -> str:
    if isinstance(value, float):
        return "nan" if math.isnan(value) else f"{value:.6g}"
    return repr(value)


class Limits:
    """The limits of one setting or of an array of settings.

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
        ``"ok"``, or ``"search failed"`` where a search did not converge: such a limit is not
        to be trusted.
    messages : list of str, or ndarray of lists
        What the searches reported, a line each.
    """

    __slots__ = ("kind",) + _LIMIT_FIELDS

    def __init__(self, kind: str, **fields):
        self.kind = kind
        for name in _LIMIT_FIELDS:
            setattr(self, name, fields[name])

    def __repr__(self) -> str:
        parts = [f"kind={self.kind!r}"]
        for name in _LIMIT_FIELDS[:-1]:
            value = getattr(self, name)
            parts.append(f"{name}={_short(value) if np.ndim(value) == 0 else repr(value)}")
        return "Limits(" + ", ".join(parts) + ")"


def limits(sigma, nu, *, kind="two-sided", confidence=0.95, mu=0.0, lam=0.5,
           gammasquared=None, max_iterations=200, bessel_arg_top=800.0,
           tolerance=DEFAULT_TOLERANCE, result_tol=-1.0, workers=None):
    """Exact confidence limits for mu + lam*sigma^2 from sample estimates.

    Broadcasts over ``sigma``, ``nu``, ``mu``, ``confidence`` and ``gammasquared`` like a numpy
    ufunc: the result has their broadcast shape, and plain scalars give plain scalars. Every
    value is computed exactly as the program ``lvlim`` computes the same record.

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
        For a value outside its range, naming the value and the range.

    Examples
    --------
    >>> import lvlim
    >>> r = lvlim.limits(1.2, 20, mu=3.1)
    >>> print(f"{r.lower:.6f} {r.upper:.6f} {r.status}")
    3.225876 4.727831 ok
    >>> lvlim.limits([0.5, 1.0, 2.0], 20, kind="upper").upper.shape
    (3,)
    """
    if (isinstance(max_iterations, bool) or not isinstance(max_iterations, (int, np.integer))
            or not -2**31 <= max_iterations < 2**31):
        raise ValueError(f"max_iterations = {max_iterations!r} is outside its range: an integer "
                         f"from {-2**31} to {2**31 - 1} (the searches never take more than 1000)")
    if workers is None:
        workers = 0
    elif isinstance(workers, bool) or not isinstance(workers, (int, np.integer)) or workers < 1:
        raise ValueError(f"workers = {workers!r} is outside its range: an integer of at "
                         "least 1, or None for every core")
    sigma_a = np.asarray(sigma, dtype=np.float64)
    nu_a = np.asarray(nu, dtype=np.float64)
    g_a = nu_a + 1.0 if gammasquared is None else np.asarray(gammasquared, dtype=np.float64)
    arrays = np.broadcast_arrays(sigma_a, nu_a, np.asarray(mu, dtype=np.float64),
                                 np.asarray(confidence, dtype=np.float64), g_a)
    shape = arrays[0].shape
    flat = [np.ascontiguousarray(a).reshape(-1) for a in arrays]
    out = _lvlim.limits(*flat, kind, float(lam), int(max_iterations), float(bessel_arg_top),
                        float(tolerance), float(result_tol), int(workers))
    out["status"] = _STATUS[out["status"]]
    messages = np.empty(len(out["messages"]), dtype=object)
    messages[:] = out["messages"]
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


class LognormalMean:
    """The summary of a lognormal sample and the limits of its mean.

    The fields of a row of ``lvlim-data --format=json``:

    Attributes
    ----------
    n : int
        The number of measurements.
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
        ``"ok"``, or ``"search failed"`` where a search did not converge.
    messages : list of str
        What the searches reported, a line each.
    """

    FIELDS = ("n", "log_mean", "log_sd", "nu", "gammasquared", "confidence", "kind", "mvue",
              "sample_mean", "plug_in", "k_lower", "k_upper", "log_lower", "log_upper",
              "mean_lower", "mean_upper", "status", "messages")
    __slots__ = FIELDS

    def __init__(self, **fields):
        for name in self.FIELDS:
            setattr(self, name, fields[name])

    def as_dict(self) -> dict:
        """The fields as a dict, in the order of lvlim-data's JSON row."""
        return {name: getattr(self, name) for name in self.FIELDS}

    def __repr__(self) -> str:
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
        return (f"LognormalMean(n={self.n}, kind={self.kind!r}, confidence={self.confidence!r}, "
                f"status={self.status!r})\n"
                f"  estimates of the mean: MVUE {_short(self.mvue)}, sample mean "
                f"{_short(self.sample_mean)}, plug-in {_short(self.plug_in)}\n"
                f"  {what}\n"
                f"  logs: mean {_short(self.log_mean)}, sd {_short(self.log_sd)} "
                f"(nu {_short(self.nu)}, gammasquared {_short(self.gammasquared)}); {scale}")


def lognormal_mean(x, *, confidence=0.95, kind="two-sided"):
    """Exact confidence limits for the mean of a lognormal population from its measurements.

    Follows the lognormal recipe exactly as ``lvlim-data`` does: the natural logarithms of the
    n measurements give mu-hat and sigma-hat (divisor n - 1), and the limits for
    mu + sigma^2/2 come from lambda 0.5, nu = n - 1 and gammasquared = n; their exponentials are
    the limits of the mean.

    Parameters
    ----------
    x : array_like
        The measurements, all finite and positive: from 3 to 100001 of them, whose logarithms
        have a standard deviation in [0.001, 10]. Any shape; it is flattened.
    confidence : float
        The confidence level, strictly between 0 and 1.
    kind : {"two-sided", "upper", "lower"}
        A pair of two-sided limits, or a one-sided upper or lower limit.

    Returns
    -------
    LognormalMean
        n, log_mean, log_sd, nu, gammasquared, confidence, kind, mvue, sample_mean, plug_in,
        k_lower, k_upper, log_lower, log_upper, mean_lower, mean_upper, status, messages.

    Raises
    ------
    ValueError
        For a measurement that is not finite and positive, too few or too many of them, or a
        spread or confidence out of range.

    Examples
    --------
    >>> import lvlim
    >>> r = lvlim.lognormal_mean([3.2, 5.1, 12.7, 8.4, 2.1, 25.3], kind="upper")
    >>> r.n, r.kind, r.mean_upper > r.mvue
    (6, 'upper', True)
    """
    values = np.ascontiguousarray(np.asarray(x, dtype=np.float64).reshape(-1))
    return LognormalMean(**_lvlim.lognormal_mean(values, float(confidence), kind))
from ._assessment import Assessment, assess  # noqa: E402,F401  (the assessment of a sample)
