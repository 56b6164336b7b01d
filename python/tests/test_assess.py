"""lvlim.assess against lvlim-data's JSON rows (the same doubles), and its contract."""

import concurrent.futures
import csv
import json
import math
import os
import pathlib
import re
import subprocess

import numpy as np
import pytest

import lvlim

ASSESSMENT_FIELDS = ("gm", "gsd", "shapiro_wilk_w", "shapiro_wilk_p", "percentile",
                     "percentile_estimate", "percentile_lower", "percentile_upper", "limit",
                     "exceedance", "exceedance_lower", "exceedance_upper", "mean_p_value",
                     "percentile_p_value", "mean_verdict", "percentile_verdict",
                     "assessment_status")


@pytest.fixture(scope="module")
def exposure():
    root = os.environ.get("LVLIM_SOURCE_DIR", pathlib.Path(__file__).resolve().parents[2])
    return pathlib.Path(root) / "examples" / "exposure.csv"


def twa(path):
    lines = [line for line in path.read_text().splitlines() if not line.startswith("#")]
    return [float(row["twa_mg_m3"]) for row in csv.DictReader(lines)]


def same(mine, theirs, name):
    """A float is the JSON number bit for bit; NaN or None is JSON's null."""
    if mine is None or (isinstance(mine, float) and math.isnan(mine)):
        assert theirs is None, name
    else:
        assert mine == theirs, name


@pytest.mark.parametrize("kind, options", [
    ("two-sided", dict(limit=50.0)),
    ("upper", dict(limit=50.0, percentile=0.9, confidence=0.9)),
    ("lower", dict(limit=12.5, percentile=0.99)),
    ("upper", dict()),
])
def test_assess_is_lvlim_datas_json_row(lvlim_data_exe, exposure, kind, options):
    args = [lvlim_data_exe, "--format=json", "--column=twa_mg_m3", "--" + kind]
    if "limit" in options:
        args.append(f"--limit={options['limit']!r}")
    args.append(f"--percentile={options.get('percentile', 0.95)!r}")
    args.append(f"--confidence={options.get('confidence', 0.95)!r}")
    done = subprocess.run(args + [str(exposure)], capture_output=True, text=True)
    assert done.returncode == 0, done.stderr
    row = json.loads(done.stdout)["results"][0]
    # A (2, 7) array is flattened as the program reads the column.
    a = lvlim.assess(np.array(twa(exposure)).reshape(2, 7), kind=kind, **options)
    for name in ASSESSMENT_FIELDS:
        same(getattr(a, name), row[name], name)
    for name, value in a.mean.as_dict().items():
        same(value, row[name], name)
    assert a.n == row["n"] == 14 and a.kind == kind
    assert (a.limit is None) == ("limit" not in options)
    assert a.assessment_status == "ok" and a.messages == []
    text = repr(a)
    assert text.startswith(f"Assessment(n=14, kind='{kind}'")
    assert f"geometric mean {a.gm:.6g}" in text
    assert f"estimate {a.percentile_estimate:.6g}" in text
    if a.limit is not None:
        assert f"confidence: {a.percentile_verdict}" in text


def test_errors_are_value_errors(exposure):
    x = twa(exposure)
    for bad in (dict(limit=0), dict(limit=-1.0), dict(limit=math.nan), dict(limit=math.inf),
                dict(percentile=1.0), dict(percentile=0.0), dict(confidence=1.0),
                dict(kind="both")):
        with pytest.raises(ValueError):
            lvlim.assess(x, **bad)
    with pytest.raises(ValueError, match="abc"):
        lvlim.assess(x, limit="abc")
    with pytest.raises(ValueError):
        lvlim.assess([0.5, 0.0, 1.2])
    with pytest.raises(ValueError):
        lvlim.assess([0.5, 1.2])
    with pytest.raises(ValueError, match=r"^x\[3\] is an integer of 401 digits"):
        lvlim.assess(np.array([0.5, 1.2, 0.8, 10**400], dtype=object))


def test_limits_beyond_the_doubles_are_warned():
    x = [1e308, 1e307, 1e306]
    with pytest.warns(RuntimeWarning) as caught:
        a = lvlim.assess(x, kind="upper")
    assert [str(w.message) for w in caught] == [
        f"the upper limit of the mean, exp({a.mean.log_upper:.7g}), exceeds the largest "
        "double and is reported as inf; log_upper holds it exactly",
        "the estimate of the 95th percentile, percentile_estimate, exceeds the largest double "
        "and is reported as inf",
        "the upper limit of the 95th percentile, percentile_upper, exceeds the largest double "
        "and is reported as inf"]
    assert math.isfinite(a.mean.log_upper) and a.percentile_upper == math.inf
    # The same data scaled down: the percentile's limit is indeed beyond 1.8e308 at full scale.
    scaled = lvlim.assess([v / 1e300 for v in x], kind="upper")
    assert 1.8e8 < scaled.percentile_upper < math.inf


def test_masked_values_are_left_out(exposure):
    # As lognormal_mean leaves them out: the sample is the unmasked values alone.
    x = np.array(twa(exposure) + [5000.0, -1.0])
    masked = np.ma.masked_array(x, mask=x > 1000.0)
    masked[-1] = np.ma.masked
    a = lvlim.assess(masked, limit=30)
    assert a.n == len(x) - 2
    assert repr(a.as_dict()) == repr(lvlim.assess(x[:-2], limit=30).as_dict())


def test_non_detects_are_refused_as_censored_data(exposure):
    # Text as a spreadsheet export gives it: numbers and non-detects side by side.
    quantified = [str(v) for v in twa(exposure)]
    for non_detect in ("<0.05", "< LOD", "ND", "n.d.", "BDL", "nd(0.05)", "\u22640.05"):
        for x in (quantified + [non_detect], np.array([non_detect] + quantified),
                  np.array([1.5, non_detect, 2.5], dtype=object), non_detect):
            with pytest.raises(ValueError, match=f"'{re.escape(non_detect)}' is a non-detect.*"
                                                 "censored data need other methods"):
                lvlim.assess(x, limit=30)
    # Numbers as text are still read; a word that merely starts like one is no non-detect.
    a = lvlim.assess(quantified, limit=30)
    assert a.n == len(quantified)
    with pytest.raises(ValueError) as refused:
        lvlim.assess(quantified + ["Ndola"])
    assert "censored" not in str(refused.value)


def test_threads_give_what_one_thread_gives(exposure):
    x = twa(exposure)
    limits = [5.0 + 7 * i for i in range(16)]
    alone = [lvlim.assess(x, limit=L).as_dict() for L in limits]
    with concurrent.futures.ThreadPoolExecutor(8) as pool:
        together = list(pool.map(lambda L: lvlim.assess(x, limit=L).as_dict(), limits))
    for a, b in zip(alone, together):
        assert json.dumps(a, default=str) == json.dumps(b, default=str)
    verdicts = {a["percentile_verdict"] for a in alone}
    assert verdicts == {"above", "undecided", "below"}
