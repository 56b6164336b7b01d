// lvlim._lvlim.assess: the one-sample assessment of the C++ API (include/lvlim/assessment.hpp) as
// a dict of its fields, named as lvlim-data's CSV and JSON name them. Conversion only; the
// result object is lvlim/_assessment.py. std::invalid_argument reaches Python as ValueError.
#include "assessment.hpp"

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cstddef>
#include <optional>
#include <span>
#include <string>

#include "lvlim/assessment.hpp"
#include "lvlim/lvlim.hpp"

namespace py = pybind11;

py::dict lognormal_mean_fields(const lvlim::LognormalMean& m) {
    py::dict mean;
    mean["n"] = m.summary.n;
    mean["log_mean"] = m.summary.log_mean;
    mean["log_sd"] = m.summary.log_sd;
    mean["nu"] = m.nu;
    mean["gammasquared"] = m.gammasquared;
    mean["confidence"] = m.limits.confidence;
    mean["kind"] = lvlim::to_string(m.limits.kind);
    mean["mvue"] = m.summary.mvue;
    mean["sample_mean"] = m.summary.sample_mean;
    mean["plug_in"] = m.summary.plug_in;
    mean["k_lower"] = m.limits.k_lower;
    mean["k_upper"] = m.limits.k_upper;
    mean["log_lower"] = m.limits.lower;
    mean["log_upper"] = m.limits.upper;
    mean["mean_lower"] = m.mean_lower;
    mean["mean_upper"] = m.mean_upper;
    mean["status"] = lvlim::to_string(m.limits.status);
    mean["messages"] = m.limits.messages;
    return mean;
}

namespace {

using Input = py::array_t<double, py::array::c_style | py::array::forcecast>;

// A verdict; None where none was reached.
py::object verdict(lvlim::Verdict v) {
    if (v == lvlim::Verdict::none) {
        return py::none();
    }
    return py::str(std::string(lvlim::to_string(v)));
}

py::dict assess(const Input& x, std::optional<double> limit, double percentile, double confidence,
                const std::string& kind_name) {
    lvlim::AssessmentOptions options;
    options.kind = lvlim::kind_from_string(kind_name);
    options.limit = limit;
    options.percentile = percentile;
    options.confidence = confidence;
    const std::span<const double> values(x.data(), static_cast<std::size_t>(x.size()));
    lvlim::Assessment a;
    {
        const py::gil_scoped_release release;
        a = lvlim::assess(values, options);
    }
    const lvlim::LognormalMean& m = a.mean;
    const py::dict mean = lognormal_mean_fields(m);

    py::dict out;
    out["n"] = a.n;
    out["confidence"] = options.confidence;
    out["kind"] = lvlim::to_string(options.kind);
    out["gm"] = a.gm;
    out["gsd"] = a.gsd;
    out["shapiro_wilk_w"] = a.shapiro_wilk_w;
    out["shapiro_wilk_p"] = a.shapiro_wilk_p;
    out["fit_doubtful"] = a.fit_doubtful;
    out["fit_message"] = a.fit_message;
    out["percentile"] = a.percentile;
    out["percentile_estimate"] = a.percentile_estimate;
    out["percentile_lower"] = a.percentile_lower;
    out["percentile_upper"] = a.percentile_upper;
    out["limit"] = a.limit ? py::object(py::float_(*a.limit)) : py::object(py::none());
    out["exceedance"] = a.exceedance;
    out["exceedance_lower"] = a.exceedance_lower;
    out["exceedance_upper"] = a.exceedance_upper;
    out["mean_p_value"] = a.mean_p_value;
    out["mean_p_value_bounded"] = a.mean_p_value_bounded;
    out["percentile_p_value"] = a.percentile_p_value;
    out["mean_verdict"] = verdict(a.mean_verdict);
    out["percentile_verdict"] = verdict(a.percentile_verdict);
    out["assessment_status"] = lvlim::to_string(a.status);
    out["messages"] = a.messages;
    out["mean"] = mean;
    return out;
}

} // namespace

void bind_assessment(py::module_& m) {
    m.def("assess", &assess, py::arg("x"), py::arg("limit"), py::arg("percentile"),
          py::arg("confidence"), py::arg("kind"),
          "The one-sample assessment of lognormal measurements against an optional limit "
          "value; a dict of the fields, the limits of the mean in a dict of their own.");
}
