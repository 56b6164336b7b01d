"""Planning a study: the exact power of the one-sided upper limit against a limit value, the
expected ratio of the mean's upper limit to the mean, and the sample size that reaches a target.

Every number comes from the C++ library (``lvlim/planning.hpp``), the same bits as the program
``lvlim-plan --format=json``. Ctrl-C stops a long call with KeyboardInterrupt.
"""

from __future__ import annotations


import numpy as np

from . import _lvlim

__all__ = ["power", "expected_ratio", "sample_size", "PlanValues", "SampleSize"]


class PlanValues:
    """Power or expected ratio of one setting or of a broadcast array of settings.

    Attributes
    ----------
    value : float or ndarray
        The power (or expected ratio); NaN where it is not computed at all.
    error : float or ndarray
        A bound on ``|value - exact|`` (0 for the percentile's closed form, inf without one).
    status : str or ndarray of str
        ``"ok"``, or ``"search failed"`` where the value is not computed to its tolerance (1e-6
        absolute for the power, 1e-6 relative for the expected ratio): not to be trusted.
    messages : list of str, or ndarray of lists
        Why a value is not reliable, a line each.

    ``float(v)`` and ``numpy.asarray(v)`` give the values.
    """

    __slots__ = ("value", "error", "status", "messages")

    def __init__(self, value, error, status, messages):
        self.value = value
        self.error = error
        self.status = status
        self.messages = messages

    def __float__(self) -> float:
        return float(self.value)

    def __array__(self, dtype=None, copy=None):
        return np.asarray(self.value, dtype=dtype)

    def __repr__(self) -> str:
        return f"PlanValues(value={self.value!r}, status={self.status!r})"


class SampleSize:
    """The result of a sample-size search.

    Attributes
    ----------
    n : int or None
        The smallest n in the range that reaches the target; None when none does.
    achieved : float
        Its power (or expected ratio); NaN without n.
    rows : dict of ndarray
        The curve: every n evaluated, increasing (``"n"``), with ``"power"``,
        ``"expected_ratio"`` (the quantity searched; the other NaN, except for a range of one
        n, which has both where they apply) and ``"status"``.
    monotone : bool
        Whether the values over the evaluated n are in order (each no worse than the one before
        it less their error bounds); between evaluated n, monotonicity is assumed.
    status : str
        ``"ok"``, or ``"search failed"`` when a value of the curve is not reliable.
    messages : list of str
    """

    __slots__ = ("n", "achieved", "rows", "monotone", "status", "messages")

    def __init__(self, raw):
        self.n = raw["n"]
        self.achieved = raw["achieved"]
        self.rows = {
            "n": np.asarray(raw["rows_n"], dtype=np.int64),
            "power": np.asarray(raw["rows_power"], dtype=np.float64),
            "expected_ratio": np.asarray(raw["rows_expected_ratio"], dtype=np.float64),
            "status": np.asarray(raw["rows_status"], dtype=str),
        }
        self.monotone = raw["monotone"]
        self.status = raw["status"]
        self.messages = list(raw["messages"])

    def __repr__(self) -> str:
        return (f"SampleSize(n={self.n!r}, achieved={self.achieved!r}, "
                f"rows={len(self.rows['n'])}, monotone={self.monotone!r}, "
                f"status={self.status!r})")


def _log_sd(gsd, log_sd):
    if (gsd is None) == (log_sd is None):
        raise TypeError("give exactly one of gsd and log_sd")
    if log_sd is not None:
        return np.asarray(log_sd, dtype=np.float64)
    g = np.asarray(gsd, dtype=np.float64)
    return np.vectorize(_lvlim.log_sd_from_gsd, otypes=[np.float64])(g) if g.ndim else \
        np.float64(_lvlim.log_sd_from_gsd(float(g)))


def _values(quantity, n, gsd, log_sd, ratio, statistic, percentile, confidence):
    s = _log_sd(gsd, log_sd)
    r = np.asarray(np.nan if ratio is None else ratio, dtype=np.float64)
    n_arr = np.asarray(n)
    if n_arr.dtype.kind not in "iuf":
        raise TypeError(f"n must be a whole number or an array of them, not {n_arr.dtype}")
    shape = np.broadcast_shapes(n_arr.shape, s.shape, r.shape)
    flat = [np.ascontiguousarray(np.broadcast_to(a, shape), dtype=np.float64).ravel()
            for a in (n_arr, s, r)]
    raw = _lvlim.plan_values(flat[0], flat[1], flat[2], statistic, float(percentile),
                             float(confidence), quantity)
    if shape == ():
        return PlanValues(float(raw["value"][0]), float(raw["error"][0]), raw["status"][0],
                          list(raw["messages"][0]))
    messages = np.empty(len(raw["messages"]), dtype=object)
    messages[:] = [list(m) for m in raw["messages"]]
    return PlanValues(raw["value"].reshape(shape), raw["error"].reshape(shape),
                      np.asarray(raw["status"], dtype=str).reshape(shape),
                      messages.reshape(shape))


def power(n, *, gsd=None, log_sd=None, ratio, statistic="mean", percentile=0.95,
          confidence=0.95) -> PlanValues:
    """The probability that the exact one-sided upper limit at ``confidence`` comes out below
    a limit value L, for a lognormal population whose mean (``statistic="mean"``) or
    ``percentile`` (``statistic="percentile"``) is ``ratio`` times L, from n measurements.

    ``n``, ``gsd`` (or ``log_sd``, its logarithm) and ``ratio`` broadcast like numpy arrays.
    Values out of their range raise ValueError.
    """
    return _values("power", n, gsd, log_sd, ratio, statistic, percentile, confidence)


def expected_ratio(n, *, gsd=None, log_sd=None, confidence=0.95) -> PlanValues:
    """The expected value of the exact one-sided upper limit of the mean at ``confidence``,
    over the true mean, for n measurements of a lognormal population; broadcasts over ``n``
    and ``gsd`` (or ``log_sd``). Where the upper limit's tail makes the expectation unbounded
    (few measurements, a large GSD) the value is NaN with status ``"search failed"``."""
    return _values("expected_ratio", n, gsd, log_sd, None, "mean", 0.95, confidence)


def sample_size(*, gsd=None, log_sd=None, ratio=None, statistic="mean", percentile=0.95,
                confidence=0.95, power=None, expected_ratio=None, n=(3, 1000)) -> SampleSize:
    """The smallest n in ``n = (from, to)`` whose power is at least ``power`` (default 0.8),
    or whose expected ratio is at most ``expected_ratio`` (the mean only), with the curve."""
    if power is not None and expected_ratio is not None:
        raise TypeError("give a target power or a target expected_ratio, not both")
    goal, target = ("expected_ratio", expected_ratio) if expected_ratio is not None else \
        ("power", 0.8 if power is None else power)
    s = float(_log_sd(gsd, log_sd))
    n_from, n_to = n
    if any(isinstance(v, bool) or not float(v).is_integer() for v in (n_from, n_to)):
        raise ValueError(f"n = {n!r} must be two whole numbers (from, to)")
    if min(n_from, n_to) < 0:
        raise ValueError(f"n = {n!r} is outside the supported range of measurements")
    raw = _lvlim.sample_size(s, None if ratio is None else float(ratio), statistic,
                             float(percentile), float(confidence), goal, float(target),
                             int(n_from), int(n_to))
    return SampleSize(raw)


