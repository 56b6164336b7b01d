"""lvlim.dask.limits on a local cluster of two worker processes: the in-process values, bit for
bit, whatever the chunks."""

import numpy as np
import pytest

import lvlim

da = pytest.importorskip("dask.array")
distributed = pytest.importorskip("dask.distributed")
import lvlim.dask  # noqa: E402  (after the skip: it needs dask)


@pytest.fixture(scope="module")
def client():
    with distributed.LocalCluster(n_workers=2, processes=True, threads_per_worker=1,
                                  dashboard_address=None) as cluster, \
            distributed.Client(cluster) as c:
        yield c


def test_chunks_on_two_workers_give_the_in_process_limits(client):
    sigma = np.geomspace(0.05, 8.0, 24)[:, None]
    nu = np.array([2.0, 3.5, 12.0, 250.0, 4000.0])
    confidence = np.linspace(0.8, 0.999, 5)
    for kind in ("two-sided", "upper"):
        here = lvlim.limits(sigma, nu, confidence=confidence, kind=kind, mu=1.5)
        there = lvlim.dask.limits(da.from_array(np.broadcast_to(sigma, (24, 5)),
                                                chunks=(7, 3)),
                                  da.from_array(nu, chunks=2), confidence=confidence,
                                  kind=kind, mu=1.5, scheduler=client)
        assert there == here, kind
        assert all(a is b for a, b in zip(there.status.flat, here.status.flat))
    # The chunks ran on both workers, and a scalar setting is a scalar result.
    assert len(client.scheduler_info()["workers"]) == 2
    assert lvlim.dask.limits(1.2, 20, mu=3.1, scheduler=client) == lvlim.limits(1.2, 20, mu=3.1)
    lazy = lvlim.dask.limits(da.ones(10, chunks=5), 20, compute=False)
    assert isinstance(lazy.upper, da.Array)
    np.testing.assert_array_equal(lazy.upper.compute(scheduler=client),
                                  lvlim.limits(np.ones(10), 20).upper)


def _in_process_error(*args, **kwargs):
    with pytest.raises(ValueError) as here:
        lvlim.limits(*args, **kwargs)
    return str(here.value)


def test_a_bad_value_in_a_chunk_is_the_in_process_error(client):
    # The index is the whole array's, not the chunk's, and the first bad cell of all is named,
    # in whichever chunk it lies; a 2-D array's chunks are boxes offset in both dimensions.
    sigma = np.r_[np.ones(6), 20.0, np.ones(3)]
    expected = _in_process_error(sigma, 20)
    assert expected.endswith("(at index [6])")
    with pytest.raises(ValueError) as there:
        lvlim.dask.limits(da.from_array(sigma, chunks=5), 20, scheduler=client)
    assert str(there.value) == expected
    table = np.ones((6, 7))
    table[4, 2] = 0.0       # in the chunk of rows 3-5, columns 0-3: local [1, 2]
    table[5, 6] = 11.0      # later in C order, in another chunk
    nu = np.full(7, 20.0)
    nu[5] = 1.0             # row 0: the first bad cell of all, in the last column chunk
    expected = _in_process_error(table, nu)
    assert expected.endswith("(at index [0, 5])")
    with pytest.raises(ValueError) as there:
        lvlim.dask.limits(da.from_array(table, chunks=(3, 4)), da.from_array(nu, chunks=4),
                          scheduler=client)
    assert str(there.value) == expected
    nu[5] = 20.0
    expected = _in_process_error(table, nu)
    assert expected.endswith("(at index [4, 2])")
    with pytest.raises(ValueError) as there:
        lvlim.dask.limits(da.from_array(table, chunks=(3, 4)), nu, compute=False).upper.compute(
            scheduler=client)
    assert str(there.value) == expected


@pytest.mark.filterwarnings("ignore:Running on a single-machine scheduler")
def test_no_chunk_is_computed_before_every_cell_is_checked(monkeypatch):
    # A bad value in the last chunk stops the call before any chunk's limits are sought.
    computed = []

    def counted(sigma, *args, **kwargs):
        computed.append(np.size(sigma))
        return lvlim.limits(sigma, *args, **kwargs)

    monkeypatch.setattr(lvlim.dask._core, "limits", counted)
    sigma = da.from_array(np.r_[np.ones(9), 0.0], chunks=2)
    with pytest.raises(ValueError, match=r"\(at index \[9\]\)$"):
        lvlim.dask.limits(sigma, 20, scheduler="sync")
    assert computed == []
    assert lvlim.dask.limits(sigma[:8], 20, scheduler="sync") == lvlim.limits(np.ones(8), 20)
    assert computed == [2, 2, 2, 2]
