"""The package as Python users meet it: stoppable calls, checks before work, the refined answer
by default, numpy's and scipy's conventions for samples, results and errors."""

import math
import os
import signal
import subprocess
import sys
import time

import numpy as np
import pytest

import lvlim

LONG_CALL = """
import sys, time, numpy as np, lvlim
sigma = np.full(10**6, 2.5)
x = np.exp(np.linspace(-2.0, 2.0, 100001))
print("computing", flush=True)
try:
    {call}
    print("finished", flush=True)
except KeyboardInterrupt:
    print("KeyboardInterrupt", flush=True)
"""


@pytest.mark.parametrize("call", [
    "lvlim.limits(sigma, 20.0, workers=1)",
    "lvlim.limits(sigma, 20.0, workers=None)",
    # A single sample at 10^5 levels: one call of the compiled module, minutes long.
    "lvlim.lognormal_mean(x, confidence=np.linspace(0.5, 0.999, 10**5))",
])
def test_ctrl_c_stops_a_long_call_at_once(call):
    child = subprocess.Popen([sys.executable, "-c", LONG_CALL.format(call=call)],
                             stdout=subprocess.PIPE, text=True, env=os.environ)
    try:
        assert child.stdout.readline() == "computing\n"
        time.sleep(1.0)
        assert child.poll() is None
        sent = time.monotonic()
        child.send_signal(signal.SIGINT)
        line = child.stdout.readline()
        waited = time.monotonic() - sent
        assert line == "KeyboardInterrupt\n"
        assert waited < 0.5, waited
        assert child.wait(timeout=10) == 0
    finally:
        child.kill()
        child.wait()


def test_every_cell_is_checked_before_any_is_computed():
    # A million cells take minutes; the bad last one is found before any of them is computed.
    sigma = np.full(10**6, 2.5)
    sigma[-1] = math.nan
    started = time.monotonic()
    with pytest.raises(ValueError, match=r"^sigma = nan is outside .* \(at index \[999999\]\)$"):
        lvlim.limits(sigma, 20.0)
    assert time.monotonic() - started < 30
    grid = np.full((3, 4), 20.0)
    grid[2, 1] = 1.0
    with pytest.raises(ValueError, match=r"^nu = 1 is outside .* \(at index \[2, 1\]\)$"):
        lvlim.limits(1.0, grid)
    # A missing value is named as what it is, not as a NaN.
    with pytest.raises(ValueError, match=r"^mu\[1\] is None"):
        lvlim.limits(1.0, 20, mu=[0.0, None])
    # So is a masked cell: its value behind the mask is no setting to compute.
    with pytest.raises(ValueError, match=r"^sigma\[0, 1\] is masked"):
        lvlim.limits(np.ma.masked_array([[1.0, 2.0]], mask=[[False, True]]), 20)
    unmasked = np.ma.masked_array([1.0, 2.0], mask=False)
    assert lvlim.limits(unmasked, 20) == lvlim.limits([1.0, 2.0], 20)


def test_refinement_is_on_by_default_and_a_failure_says_why():
    # 1000 measurements with a log sd of 3.8593: lognormal_mean confirms the limits, and so
    # does limits on the same summary.
    wide = dict(gammasquared=1000.0, mu=0.25)
    summary = lvlim.lognormal_mean(np.exp(0.25 + 3.8593 * np.linspace(-1.72, 1.72, 1000)))
    r = lvlim.limits(summary.log_sd, 999, **dict(wide, mu=summary.log_mean))
    assert r.status == summary.status == "ok"
    assert (r.lower, r.upper) == (summary.log_lower, summary.log_upper)
    plain = lvlim.limits(3.8593, 999, refine=False, **wide)
    assert plain.status == "search failed" and plain.messages and "refine=True" in plain.messages[0]
    # Where no search confirms a limit, its messages say which and why.
    stays = lvlim.limits([5.0, 1.0], 3, confidence=0.999)
    assert list(stays.status) == ["search failed", "ok"]
    assert stays.messages[0][-1].startswith("the upper limit (standardized 583.6")
    assert stays.messages[1] == ()


def test_results_follow_scipys_conventions():
    assert lvlim.__version__ == "0.1.0"
    two = lvlim.limits(1.2, 20, mu=3.1)
    low, high = two
    assert (low, high) == two.confidence_interval() == (two.lower, two.upper)
    assert lvlim.limits(1.2, 20, mu=3.1, kind="upper").confidence_interval()[0] == -math.inf
    ends = lvlim.limits([1.2, 2.0], 20, kind="lower").confidence_interval()
    assert np.all(ends[1] == math.inf) and np.all(np.isfinite(ends[0]))
    assert two == lvlim.limits(1.2, 20, mu=3.1) and two != lvlim.limits(1.2, 21, mu=3.1)
    # NaN on the missing side compares equal to itself.
    assert lvlim.limits(1.2, 20, kind="upper") == lvlim.limits(1.2, 20, kind="upper")
    m = lvlim.lognormal_mean([3.2, 5.1, 12.7, 8.4, 2.1, 25.3], kind="upper")
    estimate, low, high = m
    assert (estimate, low, high) == (m.mvue, 0.0, m.mean_upper)
    # Statuses and empty messages are shared objects, not a string or a list per cell: beside
    # the arrays' pointers, the objects they hold take a few hundred bytes, not 2000 strings.
    many = lvlim.limits(np.linspace(0.5, 1.5, 2000).reshape(40, 50), 20)
    ok, none = many.status[0, 0], many.messages[0, 0]
    assert ok == "ok" and none == ()
    assert all(s is ok for s in many.status.flat) and all(m is none for m in many.messages.flat)
    held = {id(x): sys.getsizeof(x) for x in (*many.status.flat, *many.messages.flat)}
    assert sum(held.values()) < 200


@pytest.mark.parametrize("call, error, message", [
    (lambda: lvlim.limits(1.0, 20, kind=1), TypeError, "kind must be one of 'two-sided'"),
    (lambda: lvlim.limits("1.0", 20), TypeError, "sigma must be a number or an array"),
    (lambda: lvlim.limits(1.0, 20, lam="0.5"), TypeError, "lam must be a real number, not str"),
    (lambda: lvlim.limits(1.0, 20, workers=1.5), TypeError, "workers must be an integer"),
    (lambda: lvlim.lognormal_mean([1, 2, 3], nan_policy="drop"), ValueError,
     "nan_policy 'drop' is not one of 'raise', 'omit'"),
    (lambda: lvlim.lognormal_mean([1, 2, None, 4]), ValueError, r"x\[2\] is None"),
    (lambda: lvlim.lognormal_mean([1, 2, 3, 10**400]), ValueError,
     r"x\[3\] is an integer of 401 digits, too large for a double"),
    (lambda: lvlim.limits(1.0, np.array([[20], [-10**400]], dtype=object)), ValueError,
     r"nu\[1, 0\] is an integer of 401 digits, too large for a double"),
    (lambda: lvlim.lognormal_mean(np.ones((30, 4))), ValueError,
     r"x has shape \(30, 4\): with axis=None it must be one sample"),
])
def test_wrong_arguments_are_clean_errors(call, error, message):
    with pytest.raises(error, match="^" + message):
        call()


def test_lognormal_mean_takes_samples_along_an_axis_with_masks_and_nans():
    rng = np.random.default_rng(7)
    x = np.exp(rng.normal(1.0, 0.8, size=(30, 4)))
    by_column = lvlim.lognormal_mean(x, axis=0)
    assert by_column.n.shape == (4,) and by_column.kind == "two-sided"
    for j in range(4):
        one = lvlim.lognormal_mean(x[:, j])
        assert (by_column.mean_lower[j], by_column.mean_upper[j]) == one.confidence_interval()
    # Several confidence levels: the last axis; each level as its own call.
    levels = lvlim.lognormal_mean(x.T, axis=-1, confidence=[0.9, 0.95])
    assert levels.mean_upper.shape == (4, 2)
    assert levels.mean_upper[3, 0] == lvlim.lognormal_mean(x[:, 3], confidence=0.9).mean_upper
    # Masked values are left out; NaNs raise with their position, or are omitted and counted.
    masked = np.ma.masked_array(x[:, 0], mask=np.arange(30) >= 20)
    assert lvlim.lognormal_mean(masked) == lvlim.lognormal_mean(x[:20, 0])
    holes = x.copy()
    holes[[3, 7], 1] = math.nan
    with pytest.raises(ValueError, match=r"^x\[3, 1\] is NaN"):
        lvlim.lognormal_mean(holes, axis=0)
    omitted = lvlim.lognormal_mean(holes, axis=0, nan_policy="omit")
    assert list(omitted.omitted) == [0, 2, 0, 0] and list(omitted.n) == [30, 28, 30, 30]
    assert omitted.mvue[1] == lvlim.lognormal_mean(np.delete(x[:, 1], [3, 7])).mvue
    # A bad sample is found before any is computed, by its position.
    holes[12, 3] = -1.0
    with pytest.raises(ValueError, match=r"^measurement -1 is not positive and finite \(x\[12, 3\]\)"):
        lvlim.lognormal_mean(holes, axis=0, nan_policy="omit")


def test_none_and_pandas_na_are_missing_values_as_nan_is():
    x = [3.2, None, 5.1, 12.7, math.nan, 8.4, 2.1]
    with pytest.raises(ValueError, match=r"^x\[1\] is None, a missing value: nan_policy='omit'"):
        lvlim.lognormal_mean(x)
    omitted = lvlim.lognormal_mean(x, nan_policy="omit")
    assert omitted.omitted == 2
    clean = lvlim.lognormal_mean([3.2, 5.1, 12.7, 8.4, 2.1])
    assert repr(omitted.as_dict()) == repr(clean.as_dict())


def test_nullable_pandas_columns_have_missing_values():
    pd = pytest.importorskip("pandas")
    frame = pd.DataFrame({"a": pd.array([3.2, None, 5.1, 12.7, 8.4], dtype="Float64"),
                          "b": pd.array([3, 5, None, None, 8], dtype="Int64")})
    with pytest.raises(ValueError, match=r"^x\[1, 0\] is <NA>, a missing value"):
        lvlim.lognormal_mean(frame, axis=0)
    by_column = lvlim.lognormal_mean(frame, axis=0, nan_policy="omit")
    assert list(by_column.omitted) == [1, 2] and list(by_column.n) == [4, 3]
    assert by_column.mvue[1] == lvlim.lognormal_mean([3.0, 5.0, 8.0]).mvue
    column = lvlim.lognormal_mean(frame["a"], nan_policy="omit")
    assert column.omitted == 1 and column.mvue == by_column.mvue[0]
    # assess has no nan_policy: NA is refused as a NaN is.
    with pytest.raises(ValueError, match="^measurement nan is not positive"):
        lvlim.assess(frame["b"])
    assert lvlim.assess(frame["b"].dropna()).n == 3
