// lvlim._lvlim: the compiled half of the Python package. Conversion only: every number comes
// from the C++ API (include/lvlim/lvlim.hpp); broadcasting and the result objects are in
// lvlim/__init__.py. std::invalid_argument reaches Python as ValueError with its message.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "common.hpp"
#include "lvlim/lvlim.hpp"
#include "assessment.hpp"

namespace py = pybind11;

namespace {

using Input = py::array_t<double, py::array::c_style | py::array::forcecast>;
using lvlim_python::first_invalid;
using lvlim_python::interruptible_for;
using lvlim_python::worker_count;

// The five flat arrays of settings, of one length.
struct Cells {
    const double* sigma;
    const double* nu;
    const double* mu;
    const double* confidence;
    const double* gammasquared;
    std::size_t size;

    Cells(const Input& s, const Input& v, const Input& m, const Input& c, const Input& g)
        : sigma(s.data()), nu(v.data()), mu(m.data()), confidence(c.data()),
          gammasquared(g.data()), size(static_cast<std::size_t>(s.size())) {
        for (const Input* a : {&v, &m, &c, &g}) {
            if (static_cast<std::size_t>(a->size()) != size) {
                throw std::invalid_argument("the input arrays differ in length");
            }
        }
    }
    [[nodiscard]] lvlim::Setting setting(std::size_t i, double lambda) const {
        return lvlim::Setting{mu[i], sigma[i], nu[i], gammasquared[i], lambda};
    }
};

// None when every cell is within range; else the flat index of the first that is not and the
// API's message for it.
py::object check_limits(const Input& sigma, const Input& nu, const Input& mu,
                        const Input& confidence, const Input& gammasquared, double lambda,
                        int max_iterations, double bessel_arg_top, double tolerance,
                        double result_tol) {
    const Cells cells(sigma, nu, mu, confidence, gammasquared);
    const lvlim::Controls controls{max_iterations, bessel_arg_top, tolerance, result_tol};
    const auto bad = first_invalid(cells.size, [&](std::size_t i) {
        lvlim::check_setting(cells.setting(i, lambda), cells.confidence[i], controls);
    });
    if (!bad) {
        return py::none();
    }
    return py::make_tuple(bad->first, bad->second);
}

// The limits of n settings given as five flat arrays of equal length, as a dict of flat arrays;
// the messages as a list of (index, lines) for the cells that have any.
py::dict limits(const Input& sigma, const Input& nu, const Input& mu, const Input& confidence,
                const Input& gammasquared, const std::string& kind_name, double lambda,
                int max_iterations, double bessel_arg_top, double tolerance, double result_tol,
                bool refine, long workers) {
    const Cells cells(sigma, nu, mu, confidence, gammasquared);
    const std::size_t n = cells.size;
    const lvlim::Kind kind = lvlim::kind_from_string(kind_name);
    const lvlim::Controls controls{max_iterations, bessel_arg_top, tolerance, result_tol, refine};
    const unsigned threads = worker_count(workers, n);
    const auto size = static_cast<py::ssize_t>(n);
    py::array_t<double> k_lower(size), k_upper(size), lower(size), upper(size);
    py::array_t<std::int32_t> iterations_lower(size), iterations_upper(size);
    py::array_t<std::int8_t> status(size);
    std::vector<std::vector<std::string>> messages(n);
    double* kl = k_lower.mutable_data();
    double* ku = k_upper.mutable_data();
    double* lo = lower.mutable_data();
    double* up = upper.mutable_data();
    std::int32_t* il = iterations_lower.mutable_data();
    std::int32_t* iu = iterations_upper.mutable_data();
    std::int8_t* st = status.mutable_data();
    interruptible_for(n, threads, [&](std::size_t i) {
        lvlim::Limits r =
            lvlim::limits(cells.setting(i, lambda), kind, cells.confidence[i], controls);
        kl[i] = r.k_lower;
        ku[i] = r.k_upper;
        lo[i] = r.lower;
        up[i] = r.upper;
        il[i] = r.iterations_lower;
        iu[i] = r.iterations_upper;
        st[i] = static_cast<std::int8_t>(r.status);
        messages[i] = std::move(r.messages);
    });
    py::list reported;
    for (std::size_t i = 0; i < n; ++i) {
        if (!messages[i].empty()) {
            reported.append(py::make_tuple(i, py::cast(messages[i])));
        }
    }
    py::dict out;
    out["k_lower"] = k_lower;
    out["k_upper"] = k_upper;
    out["lower"] = lower;
    out["upper"] = upper;
    out["iterations_lower"] = iterations_lower;
    out["iterations_upper"] = iterations_upper;
    out["status"] = status;
    out["messages"] = reported;
    return out;
}

// The summary and limits of a lognormal sample at each confidence level, as a list of dicts of
// the fields of lvlim-data's row.
py::list lognormal_mean(const Input& x, const Input& confidence, const std::string& kind_name) {
    const lvlim::Kind kind = lvlim::kind_from_string(kind_name);
    const std::span<const double> values(x.data(), static_cast<std::size_t>(x.size()));
    const std::span<const double> levels(confidence.data(),
                                         static_cast<std::size_t>(confidence.size()));
    std::vector<lvlim::LognormalMean> results(levels.size());
    {
        const py::gil_scoped_release release;
        // Thousands of levels take seconds: Ctrl-C is looked for between them.
        lvlim_python::SignalPoll poll;
        // The first level checks and summarises the measurements; the others reuse the summary.
        for (std::size_t i = 0; i < levels.size(); ++i) {
            poll();
            results[i] = i == 0 ? lvlim::lognormal_mean(values, kind, levels[i])
                                : lvlim::lognormal_mean(results[0].summary, kind, levels[i]);
        }
    }
    py::list rows;
    for (const lvlim::LognormalMean& r : results) {
        rows.append(lognormal_mean_fields(r));
    }
    return rows;
}

} // namespace

void bind_planning(py::module_& m); // python/src/planning.cpp

PYBIND11_MODULE(_lvlim, m) {
    m.doc() = "The compiled core of lvlim; use the functions of the lvlim package instead.";
    m.def("check_limits", &check_limits, py::arg("sigma"), py::arg("nu"), py::arg("mu"),
          py::arg("confidence"), py::arg("gammasquared"), py::arg("lam"),
          py::arg("max_iterations"), py::arg("bessel_arg_top"), py::arg("tolerance"),
          py::arg("result_tol"),
          "None when every setting is within range, else (flat index, message) of the first "
          "that is not.");
    m.def("limits", &limits, py::arg("sigma"), py::arg("nu"), py::arg("mu"),
          py::arg("confidence"), py::arg("gammasquared"), py::arg("kind"), py::arg("lam"),
          py::arg("max_iterations"), py::arg("bessel_arg_top"), py::arg("tolerance"),
          py::arg("result_tol"), py::arg("refine"), py::arg("workers"),
          "Limits of the settings in five flat float64 arrays of equal length, computed on "
          "`workers` threads (0: every core) with the GIL released and Ctrl-C watched; a dict "
          "of flat arrays, the messages as (index, lines) pairs.");
    m.def("lognormal_mean", &lognormal_mean, py::arg("x"), py::arg("confidence"),
          py::arg("kind"),
          "Summary and limits of the mean of a lognormal population from its measurements at "
          "each of the confidence levels; a list of dicts of the fields.");
    m.def("psi", &lvlim::psi, py::arg("n"), py::arg("t"),
          "psi_n(t), the factor of the minimum-variance unbiased estimate of a lognormal mean.");
    m.attr("default_tolerance") = lvlim::Controls{}.tolerance;
    m.attr("default_max_iterations") = lvlim::Controls{}.max_iterations;
    m.attr("default_bessel_arg_top") = lvlim::Controls{}.bessel_arg_top;
    m.attr("default_result_tol") = lvlim::Controls{}.result_tol;
    m.attr("min_sigma") = lvlim::min_sigma;
    m.attr("max_sigma") = lvlim::max_sigma;
    m.attr("min_nu") = lvlim::min_nu;
    m.attr("max_nu") = lvlim::max_nu;
    bind_assessment(m);
    bind_planning(m);
}
