"""lvlim.power, lvlim.expected_ratio and lvlim.sample_size: the same bits as lvlim-plan's JSON,
broadcasting, range errors, and Ctrl-C during a long search."""

import json
import math
import os
import signal
import subprocess
import sys
import time

import numpy as np
import pytest

import lvlim


@pytest.fixture(scope="module")
def lvlim_plan_exe():
    path = os.environ.get("LVLIM_PLAN_EXE")
    if not path:
        pytest.skip("LVLIM_PLAN_EXE is not set (the tests run under ctest)")
    return path


def _plan_json(exe, *arguments):
    run = subprocess.run([exe, *arguments, "--format=json"], capture_output=True, text=True,
                         check=False)
    assert run.returncode in (0, 3), run.stderr
    return json.loads(run.stdout)


@pytest.mark.parametrize("arguments, kwargs", [
    (["--gsd=2.5", "--ratio=0.5", "--n=3:60"], dict(gsd=2.5, ratio=0.5, n=(3, 60))),
    (["--gsd=2", "--ratio=0.4", "--statistic=percentile", "--power=0.9"],
     dict(gsd=2.0, ratio=0.4, statistic="percentile", power=0.9)),
    (["--log-sd=1.1", "--expected-ratio=1.8", "--n=10:200"],
     dict(log_sd=1.1, expected_ratio=1.8, n=(10, 200))),
])
def test_agrees_with_the_program_to_the_last_bit(lvlim_plan_exe, arguments, kwargs):
    want = _plan_json(lvlim_plan_exe, *arguments)
    got = lvlim.sample_size(**kwargs)
    assert got.n == want["sample_size"]
    assert got.achieved == want["achieved"]
    rows = want["rows"]
    assert got.rows["n"].tolist() == [r["n"] for r in rows]
    for key in ("power", "expected_ratio"):
        assert [None if np.isnan(v) else v for v in got.rows[key].tolist()] == \
            [r[key] for r in rows]
    # The vectorised functions give the rows' values too, bit for bit.
    spread = {k: v for k, v in kwargs.items() if k in ("gsd", "log_sd", "ratio", "statistic")}
    if "expected_ratio" in kwargs:
        values = lvlim.expected_ratio(got.rows["n"], **{k: v for k, v in spread.items()
                                                         if k in ("gsd", "log_sd")})
        assert values.value.tolist() == [r["expected_ratio"] for r in rows]
    else:
        values = lvlim.power(got.rows["n"], **spread)
        assert values.value.tolist() == [r["power"] for r in rows]
    assert list(values.status) == [r["status"] for r in rows]


def test_one_row_has_both_quantities(lvlim_plan_exe):
    want = _plan_json(lvlim_plan_exe, "--gsd=3", "--ratio=0.7", "--n=17:17")["rows"][0]
    assert lvlim.power(17, gsd=3, ratio=0.7).value == want["power"]
    assert lvlim.expected_ratio(17, gsd=3).value == want["expected_ratio"]


def test_broadcasts_over_n_gsd_and_ratio():
    n = np.array([5, 12, 30])
    gsd = np.array([[1.8], [3.0]])
    got = lvlim.power(n, gsd=gsd, ratio=0.5, statistic="percentile")
    assert got.value.shape == (2, 3) and got.status.shape == (2, 3)
    for i, g in enumerate(gsd[:, 0]):
        for j, k in enumerate(n):
            one = lvlim.power(int(k), gsd=float(g), ratio=0.5, statistic="percentile")
            assert got.value[i, j] == one.value and isinstance(one.value, float)
    ratios = lvlim.power(10, gsd=2.0, ratio=[0.2, 0.5, 1.0])
    assert ratios.value.shape == (3,)
    assert ratios.value[0] > ratios.value[1] > ratios.value[2]
    assert abs(ratios.value[2] - 0.05) < 2e-6  # the size of the test
    assert float(lvlim.power(10, gsd=2.0, ratio=1.0)) == ratios.value[2]


@pytest.mark.parametrize("call", [
    lambda: lvlim.power(10, gsd=1.0, ratio=0.5),
    lambda: lvlim.power(10, gsd=0.5, ratio=0.5),
    lambda: lvlim.power(10, gsd=2.0, ratio=0.0),
    lambda: lvlim.power(10, gsd=2.0, ratio=-1.0),
    lambda: lvlim.power(2, gsd=2.0, ratio=0.5),
    lambda: lvlim.power(10.5, gsd=2.0, ratio=0.5),
    lambda: lvlim.power(10, gsd=2.0, ratio=0.5, statistic="median"),
    lambda: lvlim.sample_size(gsd=2.0, ratio=0.5, power=1.0),
    lambda: lvlim.sample_size(gsd=2.0, ratio=0.5, power=0.0),
    lambda: lvlim.sample_size(gsd=2.0, ratio=0.5, n=(10, 5)),
    lambda: lvlim.sample_size(gsd=2.0, expected_ratio=0.9),
])
def test_values_out_of_range_raise_value_error(call):
    with pytest.raises(ValueError):
        call()


def test_an_n_beyond_a_count_is_named_as_given():
    # inf and 1e30 have no value as a count: each is refused as what it is.
    with pytest.raises(ValueError, match=r"^n = inf is not a whole number"):
        lvlim.power([10, math.inf], gsd=2.0, ratio=0.5)
    with pytest.raises(ValueError, match=r"^n = 1000000000000000019884624838656\.0+ is outside"):
        lvlim.expected_ratio(1e30, gsd=2.0)


def test_ctrl_c_stops_a_long_computation():
    # Some 3000 powers of the mean: a minute of work at the least, stopped after a second.
    code = ("import lvlim, numpy; print('started', flush=True); "
            "lvlim.power(numpy.arange(3, 3000), gsd=2.5, ratio=0.5)")
    child = subprocess.Popen([sys.executable, "-c", code], stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE, text=True, env=os.environ.copy())
    assert child.stdout.readline().strip() == "started"
    time.sleep(1.0)
    child.send_signal(signal.SIGINT)
    start = time.monotonic()
    _, err = child.communicate(timeout=60)
    assert time.monotonic() - start < 30
    assert child.returncode != 0
    assert "KeyboardInterrupt" in err
