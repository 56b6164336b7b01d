"""lvlim.assess: the one-sample assessment of lognormal measurements against a limit value."""

from __future__ import annotations

import math
import re
import warnings

import numpy as np

from . import _checks, _lvlim
from ._core import warn_beyond_doubles

__all__ = ["assess", "Assessment"]


# A value that records a non-detect, as lvlim-data recognises one: "<0.05", "< LOD", "ND",
# "n.d.", "n/d", "BDL", "LOQ", "not detected", "ND(0.05)"...
_NON_DETECT = re.compile(
    r"\s*(<|\u2264|(nd|n\.d\.|n\.d|n/d|bdl|bld|lod|loq)(?![a-z])|not detected|non-detect"
    r"|nondetect|below (the )?detection|below lod|below loq)",
    re.IGNORECASE | re.ASCII)


def _refuse_non_detects(x) -> None:
    """Raise ValueError naming the first non-detect among text measurements."""
    if isinstance(x, (str, bytes)):
        items = [x]
    else:
        array = np.asarray(x, dtype=object) if not isinstance(x, np.ndarray) else x
        if array.dtype.kind not in "OUS":
            return
        items = array.reshape(-1).tolist()
    for item in items:
        text = item.decode(errors="replace") if isinstance(item, bytes) else item
        if isinstance(text, str) and _NON_DETECT.match(text):
            raise ValueError(
                f"'{text}' is a non-detect, a value below a detection or quantitation limit; "
                "censored data need other methods: the limits here assume that every "
                "measurement is a quantified value")


def _short(value) -> str:
    if value is None:
        return "None"
    if isinstance(value, float):
        return "nan" if math.isnan(value) else f"{value:.6g}"
    return repr(value)


def _ordinal(p: float) -> str:
    number = f"{100 * p:.10g}"
    if "." in number or "e" in number:
        return number + "th"
    whole = int(number)
    if 11 <= whole % 100 <= 13:
        return number + "th"
    return number + {1: "st", 2: "nd", 3: "rd"}.get(whole % 10, "th")


class Assessment:
    """The assessment of one sample at one confidence level.

    The fields carry the names of ``lvlim-data``'s CSV and JSON fields and the very same
    values. A float that does not apply (a limit the kind lacks, everything about the limit
    value when none was given, the W test outside 3 to 5000 measurements) is NaN; ``limit``
    and the verdicts are then None.

    Attributes
    ----------
    n : int
        The number of measurements.
    confidence : float
        The confidence level gamma.
    kind : str
        ``"two-sided"`` (equal-tailed: each end the one-sided limit at (1 + gamma) / 2),
        ``"upper"`` or ``"lower"``: the limits of the mean, the percentile and the exceedance.
    gm, gsd : float
        The geometric mean exp(ybar) and geometric standard deviation exp(s).
    shapiro_wilk_w, shapiro_wilk_p : float
        The W test of the logs and its p-value.
    fit_doubtful : bool
        True when shapiro_wilk_p < 0.05: the lognormal model is doubtful.
    fit_message : str
        Why the W test was not computed, or empty.
    percentile, percentile_estimate, percentile_lower, percentile_upper : float
        P, the estimate exp(ybar + z_P s) of the P-th quantile and its exact limits; the upper
        one-sided limit is the upper tolerance limit (P coverage, gamma confidence).
    limit : float or None
        The limit value L.
    exceedance, exceedance_lower, exceedance_upper : float
        The fraction of the population above L, its estimate and exact limits.
    mean_p_value, percentile_p_value : float
        The exact p-values of H0 "the mean is at least L" and H0 "the percentile is at least L".
    mean_p_value_bounded : bool
        True when mean_p_value is the bound of its search (1e-6 or 1 - 1e-6).
    mean_verdict, percentile_verdict : str or None
        ``"below"``, ``"above"`` or ``"undecided"`` at the level gamma, one-sided.
    assessment_status : str
        ``"ok"``, or ``"search failed"`` where any part failed: see ``messages``.
    messages : list of str
        What the parts that failed or were not computed reported.
    mean : LognormalMean
        The limits of the mean, exactly as ``lvlim.lognormal_mean`` gives them.
    """

    FIELDS = ("n", "confidence", "kind", "gm", "gsd", "shapiro_wilk_w", "shapiro_wilk_p",
              "fit_doubtful", "fit_message", "percentile", "percentile_estimate",
              "percentile_lower", "percentile_upper", "limit", "exceedance", "exceedance_lower",
              "exceedance_upper", "mean_p_value", "mean_p_value_bounded", "percentile_p_value",
              "mean_verdict", "percentile_verdict", "assessment_status", "messages", "mean")
    __slots__ = FIELDS

    def __init__(self, **fields):
        for name in self.FIELDS:
            setattr(self, name, fields[name])

    def as_dict(self) -> dict:
        """The fields as a dict; ``mean`` as the dict of its own fields."""
        out = {name: getattr(self, name) for name in self.FIELDS}
        out["mean"] = self.mean.as_dict()
        return out

    def __repr__(self) -> str:
        level = f"{100 * self.confidence:g}%"
        pct = _ordinal(self.percentile)

        def pair(lower, upper, show=_short):
            if self.kind == "upper":
                return f"{level} upper limit {show(upper)}"
            if self.kind == "lower":
                return f"{level} lower limit {show(lower)}"
            return f"{level} two-sided limits {show(lower)} to {show(upper)}"

        if math.isnan(self.shapiro_wilk_w):
            fit = f"W test {self.fit_message or 'not computed'}"
        else:
            verdict = ("the lognormal model is doubtful" if self.fit_doubtful
                       else "no evidence against the lognormal model")
            fit = (f"W {_short(self.shapiro_wilk_w)}, p {_short(self.shapiro_wilk_p)}: "
                   f"{verdict} (a weak test for small n)")
        mean_ends = pair(self.mean.mean_lower, self.mean.mean_upper)
        lines = [
            f"Assessment(n={self.n}, kind={self.kind!r}, confidence={self.confidence!r}, "
            f"limit={self.limit!r}, status={self.assessment_status!r})",
            f"  fit: {fit}",
            f"  geometric mean {_short(self.gm)}, geometric standard deviation {_short(self.gsd)}",
            f"  mean: MVUE {_short(self.mean.mvue)}, {mean_ends}",
            f"  {pct} percentile: estimate {_short(self.percentile_estimate)}, "
            + pair(self.percentile_lower, self.percentile_upper),
        ]
        if self.limit is not None:
            def percent(value):
                return "nan" if math.isnan(value) else f"{100 * value:.6g}%"
            lines += [
                f"  exceedance of {_short(self.limit)}: {percent(self.exceedance)}, "
                + pair(self.exceedance_lower, self.exceedance_upper, percent),
                f"  mean: p-value {_short(self.mean_p_value)}"
                + (" (a bound of the search)" if self.mean_p_value_bounded else "")
                + f"; at {level} confidence: {self.mean_verdict or 'no verdict'}",
                f"  {pct} percentile: p-value {_short(self.percentile_p_value)}; "
                f"at {level} confidence: {self.percentile_verdict or 'no verdict'}",
            ]
        return "\n".join(lines)


def assess(x, *, limit=None, percentile=0.95, confidence=0.95, kind="two-sided"):
    """The one-sample assessment of lognormal measurements, exactly as ``lvlim-data`` makes it.

    From n positive measurements (logs y with mean ybar and standard deviation s): the W test of
    the logs, the geometric mean and standard deviation, the limits of the mean, the estimate and
    exact limits of the P-th percentile (noncentral t), and with a limit value L the fraction
    above L with exact limits, the exact one-sided p-values of "the mean is at least L" and
    "the percentile is at least L", and a verdict for each at the level ``confidence``.

    The method assumes a lognormal population, independent measurements and no non-detects.

    Parameters
    ----------
    x : array_like
        The measurements, all finite and positive: 3 to 100001 of them, whose logarithms have a
        standard deviation in [0.001, 10]. Any shape; it is flattened. Masked values are
        left out.
    limit : float, optional
        The limit value L, above 0, in the units of the measurements.
    percentile : float
        P, strictly between 0 and 1 (0.95: the 95th percentile).
    confidence : float
        The confidence level, strictly between 0 and 1.
    kind : {"two-sided", "upper", "lower"}
        Which limits of the mean, the percentile and the exceedance: the equal-tailed pair
        (each end one-sided at (1 + confidence) / 2), or one one-sided limit. The p-values and
        verdicts are one-sided at ``confidence`` whatever the kind.

    Returns
    -------
    Assessment

    Warns
    -----
    RuntimeWarning
        When a limit of the mean, or the percentile's estimate or a limit, exceeds the largest
        double (inf) or is below the smallest (0); the mean's log-scale limit holds it exactly.

    Raises
    ------
    ValueError
        For a measurement that is not finite and positive, a non-detect given as text
        ("<0.05", "ND": censored data need other methods), too few or too many measurements, a
        spread out of range, or a limit, percentile or confidence out of its range. None and
        pandas' NA are refused as NaN is; an integer beyond the doubles is named by position.

    Examples
    --------
    >>> import lvlim
    >>> a = lvlim.assess([0.12, 0.31, 0.08, 0.22, 0.15, 0.41, 0.09, 0.18], limit=2.0,
    ...                  kind="upper")
    >>> a.percentile_verdict, a.percentile_upper < 2.0
    ('below', True)
    """
    from . import LognormalMean

    if np.ma.isMaskedArray(x):
        # Masked values are left out, as lognormal_mean leaves them out.
        x = x.compressed()
    _refuse_non_detects(x)
    values = np.ascontiguousarray(_measurements(x).reshape(-1))
    if limit is not None:
        limit = float(limit)
    fields = _lvlim.assess(values, limit, float(percentile), float(confidence), kind)
    fields["mean"] = LognormalMean(**fields["mean"])
    result = Assessment(**fields)
    warn_beyond_doubles(result.mean, stacklevel=3)
    pct = _ordinal(result.percentile)
    for name, what in (("percentile_estimate", f"the estimate of the {pct} percentile"),
                       ("percentile_lower", f"the lower limit of the {pct} percentile"),
                       ("percentile_upper", f"the upper limit of the {pct} percentile")):
        value = getattr(result, name)
        if value == math.inf or value == 0.0:
            how = ("exceeds the largest double and is reported as inf" if value == math.inf
                   else "is below the smallest double and is reported as 0")
            warnings.warn(f"{what}, {name}, {how}", RuntimeWarning, stacklevel=2)
    return result


def _measurements(x) -> np.ndarray:
    """The measurements as float64: numbers given as text are read as numbers, None and pandas'
    NA are NaN (and refused as NaN is), and a number beyond the doubles is named by position."""
    array = x if isinstance(x, np.ndarray) else np.asarray(x)
    if array.dtype != object:
        return np.asarray(array, dtype=np.float64)
    flat = array.reshape(-1)
    numbers = np.empty(flat.size, dtype=object)
    for i, item in enumerate(flat):
        numbers[i] = float(item) if isinstance(item, (str, bytes)) else item
    return _checks.float_array("x", numbers.reshape(array.shape), missing=True)[0]
