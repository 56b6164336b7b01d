"""``limits`` over dask arrays: each chunk is one call of :func:`lvlim.limits` on a worker, so a
table too large for one machine is computed by a dask.distributed cluster, with the values the
in-process call gives bit for bit.

>>> import dask.array as da                                     # doctest: +SKIP
>>> from dask.distributed import Client                          # doctest: +SKIP
>>> client = Client("scheduler-address:8786")                    # doctest: +SKIP
>>> sigma = da.linspace(0.05, 5.0, 10**6, chunks=10**4)          # doctest: +SKIP
>>> r = lvlim.dask.limits(sigma, 20.0, kind="upper")             # doctest: +SKIP
"""

from __future__ import annotations

import dask
import dask.array as da
import numpy as np

from . import _core

__all__ = ["limits"]

_NUMBERS = ("k_lower", "k_upper", "lower", "upper", "iterations_lower", "iterations_upper")
# One record per cell: a chunk's limits travel back from a worker as one structured array.
_CELL = np.dtype([("k_lower", "f8"), ("k_upper", "f8"), ("lower", "f8"), ("upper", "f8"),
                  ("iterations_lower", "i4"), ("iterations_upper", "i4"), ("failed", "?"),
                  ("messages", "O")])


def _chunk(sigma, nu, mu, confidence, gammasquared, *, kind, options):
    """The limits of one chunk, computed on a worker by the in-process call."""
    r = _core.limits(sigma, nu, mu=mu, confidence=confidence, gammasquared=gammasquared,
                     kind=kind, **options)
    out = np.empty(np.shape(sigma), dtype=_CELL)
    for name in _NUMBERS:
        out[name] = getattr(r, name)
    out["failed"] = np.asarray(r.status) != "ok"
    messages = out["messages"]
    for index in np.ndindex(out.shape):
        messages[index] = tuple(r.messages[index] if out.shape else r.messages)
    return out


def limits(sigma, nu, *, kind="two-sided", confidence=0.95, mu=0.0, lam=0.5,
           gammasquared=None, max_iterations=200, bessel_arg_top=800.0,
           tolerance=_core.DEFAULT_TOLERANCE, result_tol=-1.0, refine=True,
           workers_per_chunk=1, compute=True, scheduler=None):
    """:func:`lvlim.limits` over dask arrays, chunk by chunk.

    The arguments broadcast as in :func:`lvlim.limits`; any of them may be a dask array, and
    the others are taken whole into every chunk. Each chunk of the broadcast inputs is one
    call of :func:`lvlim.limits` on a worker, on ``workers_per_chunk`` threads; a chunk with a
    value out of range raises that call's ValueError, whose index is within the chunk.

    Parameters
    ----------
    sigma, nu, kind, confidence, mu, lam, gammasquared, max_iterations, bessel_arg_top,
    tolerance, result_tol, refine
        As for :func:`lvlim.limits`.
    workers_per_chunk : int
        The threads of each chunk's call: 1 where a dask worker has a thread per core.
    compute : bool
        True: compute now and return numpy arrays, exactly those of :func:`lvlim.limits`.
        False: return the fields as lazy dask arrays (``status`` then holds booleans, True
        where a search failed, and ``messages`` tuples).
    scheduler : optional
        What runs the chunks: a ``dask.distributed.Client``, or None for dask's current
        scheduler (the active client, if there is one).

    Returns
    -------
    lvlim.Limits
    """
    _core._checks.kind(kind)
    options = dict(lam=lam, max_iterations=max_iterations, bessel_arg_top=bessel_arg_top,
                   tolerance=tolerance, result_tol=result_tol, refine=refine,
                   workers=workers_per_chunk)
    nu = da.asarray(nu, dtype=np.float64)
    inputs = [da.asarray(sigma, dtype=np.float64), nu, da.asarray(mu, dtype=np.float64),
              da.asarray(confidence, dtype=np.float64),
              nu + 1.0 if gammasquared is None else da.asarray(gammasquared, dtype=np.float64)]
    inputs = da.broadcast_arrays(*inputs)
    chunks = da.core.normalize_chunks(inputs[0].chunks, inputs[0].shape)
    inputs = [a.rechunk(chunks) for a in inputs]
    cells = da.map_blocks(_chunk, *inputs, dtype=_CELL, kind=kind, options=options,
                          meta=np.empty((0,) * inputs[0].ndim, dtype=_CELL))
    fields = {name: cells[name] for name in _NUMBERS + ("failed", "messages")}
    if not compute:
        fields["status"] = fields.pop("failed")
        return _core.Limits(kind, **fields)
    values = dict(zip(fields, dask.compute(*fields.values(), scheduler=scheduler)))
    failed = values.pop("failed")
    values["status"] = _core._STATUS[failed.astype(np.intp)]
    messages = values["messages"]
    if messages.shape == ():
        values = {name: value[()] if isinstance(value, np.ndarray) else value
                  for name, value in values.items()}
        for name in ("k_lower", "k_upper", "lower", "upper"):
            values[name] = float(values[name])
        for name in ("iterations_lower", "iterations_upper"):
            values[name] = int(values[name])
        values["status"] = str(values["status"])
        values["messages"] = list(values["messages"])
    else:
        # The empty messages share one tuple, as in the in-process result.
        for index in np.ndindex(messages.shape):
            if not messages[index]:
                messages[index] = _core._NO_MESSAGES
    return _core.Limits(kind, **values)
