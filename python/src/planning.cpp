// The planning functions of lvlim._lvlim: power, expected ratio and sample size from the C++ API
// (include/lvlim/planning.hpp). Conversion only; the broadcasting is in lvlim/_planning.py.
// The work runs with the GIL released; between values (and between the rows of a search) the
// GIL is taken back to look for a pending signal, so Ctrl-C stops a long call at once with
// KeyboardInterrupt.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cmath>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "lvlim/lvlim.hpp"

namespace py = pybind11;

void bind_planning(py::module_& m);

namespace {

using Input = py::array_t<double, py::array::c_style | py::array::forcecast>;

// Raises the pending KeyboardInterrupt (or other signal exception), if any.
void check_signals() {
    const py::gil_scoped_acquire acquire;
    if (PyErr_CheckSignals() != 0) {
        throw py::error_already_set();
    }
}

lvlim::PlanSetting setting_of(double log_sd, std::optional<double> ratio,
                              const std::string& statistic, double percentile,
                              double confidence) {
    lvlim::PlanSetting s;
    s.log_sd = log_sd;
    s.ratio = ratio;
    s.statistic = lvlim::statistic_from_string(statistic);
    s.percentile = percentile;
    s.confidence = confidence;
    return s;
}

// Far beyond any supported n, and exact as a double and as a std::size_t.
constexpr double max_count = 1.0e15;

// power or expected ratio of flat arrays of equal length (n, log_sd, ratio; ratio NaN: none).
py::dict values(const Input& n, const Input& log_sd, const Input& ratio,
                const std::string& statistic, double percentile, double confidence,
                const std::string& quantity) {
    const std::size_t size = static_cast<std::size_t>(n.size());
    py::array_t<double> value(static_cast<py::ssize_t>(size));
    py::array_t<double> error(static_cast<py::ssize_t>(size));
    std::vector<std::string> status(size);
    std::vector<std::vector<std::string>> messages(size);
    {
        const double* pn = n.data();
        const double* ps = log_sd.data();
        const double* pr = ratio.data();
        double* pv = value.mutable_data();
        double* pe = error.mutable_data();
        const py::gil_scoped_release release;
        for (std::size_t i = 0; i < size; ++i) {
            check_signals();
            // Compared before the cast: a double beyond std::size_t (inf, 1e30) has no value
            // as one.
            if (!(std::isfinite(pn[i]) && pn[i] >= 0.0 && pn[i] == std::floor(pn[i]))) {
                throw std::invalid_argument("n = " + std::to_string(pn[i]) +
                                            " is not a whole number of measurements");
            }
            if (pn[i] > max_count) {
                throw std::invalid_argument("n = " + std::to_string(pn[i]) +
                                            " is outside the supported range of measurements");
            }
            const auto count = static_cast<std::size_t>(pn[i]);
            const std::optional<double> r =
                pr[i] == pr[i] ? std::optional<double>(pr[i]) : std::nullopt;
            const lvlim::PlanSetting s = setting_of(ps[i], r, statistic, percentile, confidence);
            const lvlim::PowerResult got = quantity == "power" ? lvlim::power(count, s)
                                                               : lvlim::expected_ratio(count, s);
            pv[i] = got.value;
            pe[i] = got.error;
            status[i] = lvlim::to_string(got.status);
            messages[i] = got.messages;
        }
    }
    py::dict out;
    out["value"] = value;
    out["error"] = error;
    out["status"] = status;
    out["messages"] = messages;
    return out;
}

py::dict sample_size(double log_sd, std::optional<double> ratio, const std::string& statistic,
                     double percentile, double confidence, const std::string& goal,
                     double target, std::size_t n_from, std::size_t n_to) {
    const lvlim::PlanSetting s = setting_of(log_sd, ratio, statistic, percentile, confidence);
    const lvlim::Target t{goal == "power" ? lvlim::Goal::power : lvlim::Goal::expected_ratio,
                          target};
    lvlim::SampleSize found;
    {
        const py::gil_scoped_release release;
        found = lvlim::sample_size(s, t, n_from, n_to,
                                   [](const lvlim::PlanRow&, std::size_t) { check_signals(); });
    }
    std::vector<std::size_t> n;
    std::vector<double> power;
    std::vector<double> expected;
    std::vector<std::string> status;
    for (const lvlim::PlanRow& row : found.rows) {
        n.push_back(row.n);
        power.push_back(row.power.value);
        expected.push_back(row.expected_ratio.value);
        status.push_back(lvlim::to_string(row.status));
    }
    py::dict out;
    out["n"] = found.n ? py::object(py::int_(*found.n)) : py::object(py::none());
    out["achieved"] = found.achieved;
    out["rows_n"] = n;
    out["rows_power"] = power;
    out["rows_expected_ratio"] = expected;
    out["rows_status"] = status;
    out["monotone"] = found.monotone;
    out["status"] = lvlim::to_string(found.status);
    out["messages"] = found.messages;
    return out;
}

} // namespace

void bind_planning(py::module_& m) {
    m.def("log_sd_from_gsd", &lvlim::log_sd_from_gsd, py::arg("gsd"),
          "ln(gsd), checked against the supported range.");
    m.def("plan_values", &values, py::arg("n"), py::arg("log_sd"), py::arg("ratio"),
          py::arg("statistic"), py::arg("percentile"), py::arg("confidence"),
          py::arg("quantity"),
          "power or expected_ratio of flat float64 arrays of equal length (ratio NaN: none); "
          "a dict of flat arrays and lists.");
    m.def("sample_size", &sample_size, py::arg("log_sd"), py::arg("ratio"), py::arg("statistic"),
          py::arg("percentile"), py::arg("confidence"), py::arg("goal"), py::arg("target"),
          py::arg("n_from"), py::arg("n_to"), "The sample-size search; a dict of its fields.");
}
