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
assess
    The whole one-sample assessment: fit, geometric statistics, percentile, exceedance of a
    limit value, p-values and verdicts.
power, expected_ratio, sample_size
    Planning a study: the exact power, the expected ratio of the mean's upper limit to the
    mean, and the smallest sample size reaching a target.

Submodules
----------
lvlim.dask
    ``limits`` over dask arrays, chunk by chunk, on a dask.distributed cluster
    (``import lvlim.dask``).
"""

from ._core import DEFAULT_TOLERANCE, Limits, LognormalMean, limits, lognormal_mean
from ._assessment import Assessment, assess
from ._planning import PlanValues, SampleSize, expected_ratio, power, sample_size

__version__ = "0.1.0"

__all__ = ["limits", "lognormal_mean", "Limits", "LognormalMean", "DEFAULT_TOLERANCE",
           "assess", "Assessment", "power", "expected_ratio", "sample_size", "PlanValues",
           "SampleSize", "__version__"]

# The public objects belong to the package, wherever they are defined: help(), reprs and
# doctest see them here.
for _item in (limits, lognormal_mean, Limits, LognormalMean, assess, Assessment, power,
              expected_ratio, sample_size, PlanValues, SampleSize):
    _item.__module__ = __name__
del _item
