"""The Python package against the programs lvlim and lvlim-data, and its own contract:
broadcasting, scalars, errors and threads."""

import json
import math
import subprocess
import threading
import warnings

import numpy as np
import pytest

import lvlim

KINDS = {"upper": 1, "lower": 2, "two-sided": 3}
SIGMAS = [0.1, 1.2, 6.0]
NUS = [2.0, 20.0, 407.5]


def run_lvlim(exe, record):
    """lvlim's values by key, and the lines before its record (the searches' messages)."""
    out = subprocess.run([exe], input=record, capture_output=True, text=True, check=True).stdout
    values, messages, in_record = {}, [], False
    for line in out.splitlines():
        in_record = in_record or line.startswith(" WhichLimit=")
        if not in_record:
            messages.append(line[1:])
            continue
        key, _, value = line.partition("=")
        values[key.strip()] = value.strip().rstrip("+").strip()
    return values, messages


def printed(value):
    """A value rounded to the 9 significant digits lvlim prints."""
    return float(f"{value:.8e}")


@pytest.mark.parametrize("kind", KINDS)
@pytest.mark.parametrize("lam", [0.5, -0.5])
def test_values_are_lvlims_on_a_grid(lvlim_exe, kind, lam):
    sigma, nu = np.meshgrid(SIGMAS, NUS, indexing="ij")
    got = lvlim.limits(sigma, nu, kind=kind, mu=3.1, lam=lam, confidence=0.95)
    assert got.lower.shape == (3, 3)
    for i, j in np.ndindex(sigma.shape):
        record = f"{KINDS[kind]} 0.95 {lam} {sigma[i, j]!r} {nu[i, j]!r} 3.1 {nu[i, j] + 1.0!r} /"
        values, messages = run_lvlim(lvlim_exe, record)
        assert list(got.messages[i, j]) == messages, record
        if kind == "two-sided":
            assert printed(got.k_lower[i, j]) == float(values["StandardLowerLimit"]), record
            assert printed(got.k_upper[i, j]) == float(values["StandardUpperLimit"]), record
            ends = sorted(float(values[k]) for k in ("LowerConfidenceLimit",
                                                     "UpperConfidenceLimit"))
            assert [printed(got.lower[i, j]), printed(got.upper[i, j])] == ends, record
            assert got.iterations_lower[i, j] == int(values["NumberIterationsLower"])
            assert got.iterations_upper[i, j] == int(values["NumberIterationsUpper"])
        else:
            side = "upper" if kind == "upper" else "lower"
            other = "lower" if kind == "upper" else "upper"
            k = getattr(got, "k_" + side)[i, j]
            assert printed(k) == float(values["StandardConfidenceLimit"]), record
            assert printed(getattr(got, side)[i, j]) == float(values["ConfidenceLimit"]), record
            assert getattr(got, "iterations_" + side)[i, j] == int(values["NumberIterations"])
            assert math.isnan(getattr(got, other)[i, j])
            assert math.isnan(getattr(got, "k_" + other)[i, j])
            assert getattr(got, "iterations_" + other)[i, j] == 0
        assert got.status[i, j] == "ok"


def test_broadcasting_follows_numpy_and_each_cell_is_its_scalar_call():
    sigma = np.array([[0.5], [1.0], [2.0]])         # (3, 1)
    nu = np.array([5.0, 10.0, 30.0, 100.0])          # (4,)
    confidence = np.array([0.9, 0.95]).reshape(2, 1, 1)
    mu = np.array([0.0, 1.0, -1.0, 2.0])             # (4,)
    got = lvlim.limits(sigma, nu, confidence=confidence, mu=mu, kind="lower")
    for name in ("k_lower", "k_upper", "lower", "upper", "iterations_lower", "status"):
        assert getattr(got, name).shape == (2, 3, 4), name
    for c, s, v in np.ndindex(2, 3, 4):
        one = lvlim.limits(sigma[s, 0], nu[v], confidence=confidence[c, 0, 0], mu=mu[v],
                           kind="lower")
        assert one.lower == got.lower[c, s, v] and one.k_lower == got.k_lower[c, s, v]
        assert one.iterations_lower == got.iterations_lower[c, s, v]
    # gammasquared None is nu + 1; another gammasquared changes the data-scale limits only.
    explicit = lvlim.limits(sigma, nu, confidence=confidence, mu=mu, kind="lower",
                            gammasquared=nu + 1.0)
    np.testing.assert_array_equal(explicit.lower, got.lower)
    with pytest.raises(ValueError):
        lvlim.limits(np.ones(3), np.full(4, 10.0))


def test_scalars_in_scalars_out():
    r = lvlim.limits(1.2, 20, mu=3.1)
    assert type(r.lower) is float and type(r.k_upper) is float
    assert type(r.iterations_lower) is int and r.status == "ok" and r.messages == []
    assert r.lower < r.upper
    one = lvlim.limits(np.float64(1.2), np.array(20.0), mu=3.1, kind="upper")
    assert type(one.upper) is float and math.isnan(one.lower)
    vector = lvlim.limits([1.2], 20, mu=3.1)
    assert vector.lower.shape == (1,) and vector.lower[0] == r.lower
    assert "Limits(" in repr(r) and "two-sided" in repr(r)


@pytest.mark.parametrize("call, message", [
    (lambda: lvlim.limits(0.0005, 20), "sigma = 0.0005 is outside the supported range"),
    (lambda: lvlim.limits(1.0, [20, math.inf]), "nu = inf is outside the supported range"),
    (lambda: lvlim.limits(1.0, 20, confidence=math.nan), "confidence = nan is outside (0, 1)"),
    (lambda: lvlim.limits(1.0, 20, lam=0.0), "lambda = 0 is outside the finite non-zero"),
    (lambda: lvlim.limits(1.0, 20, gammasquared=-1), "gammasquared = -1 is outside"),
    (lambda: lvlim.limits(1.0, 20, mu=math.inf), "mu = inf is outside the finite numbers"),
    (lambda: lvlim.limits(1.0, 20, bessel_arg_top=900), "bessel_arg_top = 900 is outside"),
    (lambda: lvlim.limits(1.0, 20, kind="both"), "kind 'both' is not one of"),
    (lambda: lvlim.limits(1.0, 20, workers=0), "workers = 0 is outside its range"),
    (lambda: lvlim.limits(1.0, 20, max_iterations=10**12), "max_iterations = 1000000000000 is"),
    (lambda: lvlim.lognormal_mean([]), "n = 0 is outside the supported range [3,"),
    (lambda: lvlim.lognormal_mean([1.0, 2.0, -3.0]), "measurement -3 is not positive"),
    (lambda: lvlim.lognormal_mean([1.0, 2.0]), "n = 2 is outside the supported range [3,"),
    (lambda: lvlim.lognormal_mean([1, 2, 3], confidence=1.5), "confidence = 1.5 is outside"),
])
def test_errors_are_value_errors_with_the_message(call, message):
    with pytest.raises(ValueError, match="^" + message.replace("(", r"\(").replace(")", r"\)")
                       .replace("[", r"\[")):
        call()


def test_the_first_bad_cell_is_reported_whatever_the_workers():
    sigma = np.full(50, 1.0)
    sigma[[17, 31]] = [20.0, 30.0]
    for workers in (1, 2, 7):
        with pytest.raises(ValueError, match="^sigma = 20 is outside"):
            lvlim.limits(sigma, 10, kind="upper", workers=workers)


def test_a_failed_search_is_a_status():
    r = lvlim.limits(1.2, 20, confidence=0.9999999999999)
    assert r.status == "search failed"
    assert r.messages[-1] == "Method (Only Bisection) failed..."


def fields(result):
    return {name: getattr(result, name) for name in
            ("k_lower", "k_upper", "lower", "upper", "iterations_lower", "iterations_upper",
             "status", "messages")}


def assert_same(a, b):
    for name, value in fields(a).items():
        other = getattr(b, name)
        if name == "messages":
            assert [list(m) for m in np.ravel(value)] == [list(m) for m in np.ravel(other)]
        else:
            np.testing.assert_array_equal(value, other, err_msg=name)


def test_results_do_not_depend_on_the_number_of_workers():
    sigma = np.geomspace(0.05, 8.0, 9)[:, None]
    nu = np.array([2.0, 3.5, 12.0, 250.0])
    one = lvlim.limits(sigma, nu, kind="two-sided", confidence=0.9, workers=1)
    for workers in (2, 3, 64, None):
        assert_same(lvlim.limits(sigma, nu, kind="two-sided", confidence=0.9, workers=workers),
                    one)


def test_a_hundred_threads_at_once_give_what_one_thread_gives():
    sigma = np.array([0.3, 1.0, 2.5])
    nu = np.array([[4.0], [40.0]])
    kinds = ["upper", "lower", "two-sided"]
    alone = {kind: lvlim.limits(sigma, nu, kind=kind) for kind in kinds}
    start = threading.Barrier(100)
    results = [None] * 100

    def call(i):
        start.wait()
        results[i] = lvlim.limits(sigma, nu, kind=kinds[i % 3], workers=1 + i % 2)

    threads = [threading.Thread(target=call, args=(i,)) for i in range(100)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    for i, result in enumerate(results):
        assert_same(result, alone[kinds[i % 3]])


# ---- lognormal_mean against lvlim-data -----------------------------------------------------

def measurements(path):
    """The values of an lvlim-data input file: blanks, tabs or commas, '#' comments."""
    values = []
    for line in path.read_text().splitlines():
        values += [float(v) for v in line.split("#")[0].replace(",", " ").split()]
    return values


def run_data(exe, path, *options):
    done = subprocess.run([exe, *options, str(path)], capture_output=True, text=True)
    return done


def psi(n, t):
    """psi_n(t) summed term by term in floating point."""
    total, term, j = 1.0 + (n - 1) * t / n, (n - 1) * t / n, 1
    while True:
        term *= (n - 1) ** 2 * t / (n * (n + 2 * j - 1) * (j + 1))
        total += term
        j += 1
        if term < 1e-17 * total:
            return total


@pytest.mark.parametrize("kind", ["two-sided", "upper", "lower"])
def test_lognormal_mean_is_lvlim_datas(lvlim_data_exe, concentrations, kind):
    done = run_data(lvlim_data_exe, concentrations, "--" + kind, "--confidence=0.9",
                    "--format=csv")
    assert done.returncode == 0, done.stderr
    header, line = done.stdout.splitlines()
    row = dict(zip(header.split(","), line.split(",")))
    x = measurements(concentrations)
    r = lvlim.lognormal_mean(np.array(x), confidence=0.9, kind=kind)
    assert r.n == int(row["n"]) == len(x)
    assert r.nu == float(row["nu"]) and r.gammasquared == float(row["gammasquared"])
    assert r.kind == row["kind"] == kind and r.confidence == float(row["confidence"]) == 0.9
    # The same API summarises both; the CSV is at full precision.
    for name in ("log_mean", "log_sd", "mvue", "sample_mean", "plug_in"):
        assert getattr(r, name) == float(row[name]), name
    assert r.sample_mean == pytest.approx(math.fsum(x) / len(x), rel=1e-14)
    assert r.mvue == pytest.approx(math.exp(r.log_mean) * psi(r.n, r.log_sd ** 2 / 2), rel=1e-14)
    assert r.mvue < r.plug_in
    for side in ("lower", "upper"):
        if row["log_" + side]:
            assert getattr(r, "log_" + side) == float(row["log_" + side])
            assert getattr(r, "mean_" + side) == float(row["mean_" + side])
            assert getattr(r, "mean_" + side) == math.exp(getattr(r, "log_" + side))
        else:
            assert row["mean_" + side] == ""
            assert math.isnan(getattr(r, "log_" + side))
            assert math.isnan(getattr(r, "mean_" + side))
    assert r.status == "ok" == row["status"] and r.messages == [] and row["messages"] == ""
    text = repr(r)
    assert text.startswith(f"LognormalMean(n={len(x)}, kind='{kind}', confidence=0.9")
    bound = r.mean_lower if kind == "lower" else r.mean_upper
    assert f"MVUE {r.mvue:.6g}" in text and f"{bound:.6g}" in text


def test_lognormal_mean_fields_are_lvlim_datas_json_row(lvlim_data_exe, concentrations):
    done = run_data(lvlim_data_exe, concentrations, "--format=json")
    assert done.returncode == 0, done.stderr
    row = json.loads(done.stdout)["results"][0]
    r = lvlim.lognormal_mean(measurements(concentrations))
    mine = r.as_dict()
    assert set(mine) <= set(row), set(mine) - set(row)
    for name, value in mine.items():
        theirs = row[name]
        if isinstance(value, float):
            theirs = math.nan if theirs is None else float(theirs)
            if math.isnan(value):
                assert math.isnan(theirs), name
            else:
                assert value == theirs, name
        else:
            assert value == theirs, name


def test_a_limit_of_the_mean_beyond_the_doubles_is_warned_and_its_log_kept():
    x = np.array([1e308, 1e307, 1e306])
    beyond = (r"the upper limit of the mean{}, exp\(7\d\d\.\d+\), exceeds the largest double "
              r"and is reported as inf{}; log_upper holds it exactly$")
    with pytest.warns(RuntimeWarning, match="^" + beyond.format("", "")) as caught:
        big = lvlim.lognormal_mean(x)
    assert len(caught) == 1 and big.status == "ok" and big.mean_upper == math.inf
    # Scaled down, nothing overflows; the log-scale limits move by the log of the factor.
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        small = lvlim.lognormal_mean(x / 1e300)
    assert big.log_upper == pytest.approx(small.log_upper + 300 * math.log(10), abs=1e-7)
    assert big.mean_lower == pytest.approx(small.mean_lower * 1e300, rel=1e-12)
    with pytest.warns(RuntimeWarning, match="^" + beyond.format(r" at \[1, 0\]",
                                                                 r" \(and 1 more\)")):
        many = lvlim.lognormal_mean(np.stack([x / 1e300, x]), axis=-1, confidence=[0.9, 0.95])
    assert list(np.isinf(many.mean_upper).reshape(-1)) == [False, False, True, True]


def test_docstrings_everywhere():
    for item in (lvlim, lvlim.limits, lvlim.lognormal_mean, lvlim.Limits, lvlim.LognormalMean):
        assert item.__doc__ and len(item.__doc__) > 40, item


def test_the_examples_run(concentrations):
    """The docstrings' examples and the README's worked example, as doctests."""
    import doctest
    failures, _ = doctest.testmod(lvlim, optionflags=doctest.NORMALIZE_WHITESPACE)
    assert failures == 0
    readme = (concentrations.parents[1] / "README.md").read_text()
    block = readme.split("## Use from Python", 1)[1].split("```python\n", 1)[1].split("```")[0]
    test = doctest.DocTestParser().get_doctest(block, {}, "README", "README.md", 0)
    runner = doctest.DocTestRunner(optionflags=doctest.NORMALIZE_WHITESPACE)
    runner.run(test)
    assert runner.failures == 0
