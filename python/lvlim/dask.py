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

from . import _checks, _core, _lvlim

__all__ = ["limits"]

_NUMBERS = ("k_lower", "k_upper", "lower", "upper", "iterations_lower", "iterations_upper")
# One record per cell: a chunk's limits travel back from a worker as one structured array.
_CELL = np.dtype([("k_lower", "f8"), ("k_upper", "f8"), ("lower", "f8"), ("upper", "f8"),
                  ("iterations_lower", "i4"), ("iterations_upper", "i4"), ("failed", "?"),
                  ("messages", "O")])


def _check_block(sigma, nu, mu, confidence, gammasquared, *, lam, controls, block_info=None):
    """The first cell of one block out of range, as (its index in the whole array, the
    message), or None; in a one-element object array per dimension, for the verdict."""
    out = np.empty((1,) * sigma.ndim, dtype=object)
    flat = [np.ascontiguousarray(a, dtype=np.float64).reshape(-1)
            for a in (sigma, nu, mu, confidence, gammasquared)]
    bad = _lvlim.check_limits(*flat, lam, *controls)
    if bad is not None:
        # A block is a box of the whole array, so its first cell in its own C order is also its
        # first in the whole array's.
        local = np.unravel_index(bad[0], sigma.shape)
        start = [first for first, _ in block_info[0]["array-location"]]
        bad = (tuple(int(i) + s for i, s in zip(local, start)), bad[1])
    out[(0,) * sigma.ndim] = bad
    return out


def _verdict(found, shape):
    """Raises the ValueError of lvlim.limits for the first bad cell of all, in C order."""
    bad = [b for b in np.asarray(found, dtype=object).reshape(-1) if b is not None]
    if bad:
        index, message = min(bad, key=lambda b: b[0])
        where = ("" if shape == () else
                 f" (at index {_checks.position(np.ravel_multi_index(index, shape), shape)})")
        raise ValueError(message + where)
    return np.True_


def _chunk(sigma, nu, mu, confidence, gammasquared, checked, *, kind, options):
    """The limits of one chunk, computed on a worker by the in-process call, once every cell of
    the whole array has passed the check (`checked`, on which each chunk waits)."""
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
    call of :func:`lvlim.limits` on a worker, on ``workers_per_chunk`` threads. As there, every
    cell is checked before any is computed: a value out of range raises the ValueError of
    :func:`lvlim.limits`, naming its index in the whole array, and no chunk is computed.

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
    kind = _checks.kind(kind)
    # The settings common to every cell, checked here as lvlim.limits checks them.
    max_iterations = _checks.integer("max_iterations", max_iterations, -2**31, 2**31 - 1,
                                     " (the searches never take more than 1000)")
    lam = _checks.real("lam", lam)
    bessel_arg_top = _checks.real("bessel_arg_top", bessel_arg_top)
    tolerance = _checks.real("tolerance", tolerance)
    result_tol = _checks.real("result_tol", result_tol)
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
    # The check of every cell: a cheap pass over the blocks, whose verdict each chunk waits for.
    controls = (max_iterations, bessel_arg_top, tolerance, result_tol)
    found = da.map_blocks(_check_block, *inputs, dtype=object,
                          chunks=tuple((1,) * len(c) for c in chunks),
                          lam=lam, controls=controls,
                          meta=np.empty((0,) * inputs[0].ndim, dtype=object))
    checked = da.from_delayed(dask.delayed(_verdict)(found, inputs[0].shape), shape=(),
                              dtype=bool)
    cells = da.map_blocks(_chunk, *inputs, checked, dtype=_CELL, kind=kind, options=options,
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
