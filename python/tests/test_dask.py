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


def test_a_bad_value_in_a_chunk_is_the_in_process_error(client):
    sigma = da.from_array(np.r_[np.ones(6), 20.0, np.ones(3)], chunks=5)
    with pytest.raises(ValueError, match=r"^sigma = 20 is outside .* \(at index \[1\]\)"):
        lvlim.dask.limits(sigma, 20, scheduler=client)
