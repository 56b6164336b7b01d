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

Submodules
----------
lvlim.dask
    ``limits`` over dask arrays, chunk by chunk, on a dask.distributed cluster
    (``import lvlim.dask``).
"""

from ._core import DEFAULT_TOLERANCE, Limits, LognormalMean, limits, lognormal_mean

__version__ = "0.1.0"

__all__ = ["limits", "lognormal_mean", "Limits", "LognormalMean", "DEFAULT_TOLERANCE",
           "__version__"]

# The public objects belong to the package, wherever they are defined: help(), reprs and
# doctest see them here.
for _item in (limits, lognormal_mean, Limits, LognormalMean):
    _item.__module__ = __name__
del _item
