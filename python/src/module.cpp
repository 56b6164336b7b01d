// lvlim._lvlim: the compiled half of the Python package. Conversion only: every number comes
// from the C++ API (include/lvlim/lvlim.hpp); broadcasting and the result objects are in
// lvlim/__init__.py. std::invalid_argument reaches Python as ValueError with its message.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "lvlim/lvlim.hpp"
#include "assessment.hpp"

namespace py = pybind11;

namespace {

using Input = py::array_t<double, py::array::c_style | py::array::forcecast>;

// The worker threads of a call: `requested` (0: every core), never more than the cells.
unsigned worker_count(long requested, std::size_t cells) {
    if (requested < 0) {
        throw std::invalid_argument("workers = " + std::to_string(requested) +
                                    " is outside its range: at least 1 (or None: every core)");
    }
    unsigned count = requested == 0 ? std::thread::hardware_concurrency()
                                    : static_cast<unsigned>(std::min<long>(requested, 4096));
    count = std::max(1U, count);
    return static_cast<unsigned>(std::min<std::size_t>(count, std::max<std::size_t>(cells, 1)));
}

// Runs body(i) for i in [0, n) on `workers` threads that take the next index in turn. The first
// std::invalid_argument by index stops the work and is rethrown; every index before it has
// been computed by then, so the error reported does not depend on the number of threads.
template <class Body> void for_each_index(std::size_t n, unsigned workers, const Body& body) {
    std::atomic<std::size_t> next{0};
    std::atomic<bool> stop{false};
    std::mutex guard;
    std::size_t error_index = n;
    std::exception_ptr error;
    const auto work = [&] {
        for (std::size_t i = next++; i < n && !stop.load(); i = next++) {
            try {
                body(i);
            } catch (...) {
                const std::lock_guard<std::mutex> lock(guard);
                if (i < error_index) {
                    error_index = i;
                    error = std::current_exception();
                }
                stop = true;
            }
        }
    };
    std::vector<std::thread> threads;
    for (unsigned t = 1; t < workers; ++t) {
        threads.emplace_back(work);
    }
    work();
    for (std::thread& thread : threads) {
        thread.join();
    }
    if (error) {
        std::rethrow_exception(error);
    }
}

// The limits of n settings given as five flat arrays of equal length, as a dict of flat arrays.
py::dict limits(const Input& sigma, const Input& nu, const Input& mu, const Input& confidence,
                const Input& gammasquared, const std::string& kind_name, double lambda,
                int max_iterations, double bessel_arg_top, double tolerance, double result_tol,
                long workers) {
    const auto n = static_cast<std::size_t>(sigma.size());
    for (const Input* a : {&nu, &mu, &confidence, &gammasquared}) {
        if (static_cast<std::size_t>(a->size()) != n) {
            throw std::invalid_argument("the input arrays differ in length");
        }
    }
    const lvlim::Kind kind = lvlim::kind_from_string(kind_name);
    const lvlim::Controls controls{max_iterations, bessel_arg_top, tolerance, result_tol};
    const unsigned threads = worker_count(workers, n);
    const auto size = static_cast<py::ssize_t>(n);
    py::array_t<double> k_lower(size), k_upper(size), lower(size), upper(size);
    py::array_t<std::int32_t> iterations_lower(size), iterations_upper(size);
    py::array_t<std::int8_t> status(size);
    std::vector<std::vector<std::string>> messages(n);
    {
        const double* s = sigma.data();
        const double* v = nu.data();
        const double* m = mu.data();
        const double* c = confidence.data();
        const double* g = gammasquared.data();
        double* kl = k_lower.mutable_data();
        double* ku = k_upper.mutable_data();
        double* lo = lower.mutable_data();
        double* up = upper.mutable_data();
        std::int32_t* il = iterations_lower.mutable_data();
        std::int32_t* iu = iterations_upper.mutable_data();
        std::int8_t* st = status.mutable_data();
        const py::gil_scoped_release release;
        for_each_index(n, threads, [&](std::size_t i) {
            const lvlim::Setting setting{m[i], s[i], v[i], g[i], lambda};
            lvlim::Limits r = lvlim::limits(setting, kind, c[i], controls);
            kl[i] = r.k_lower;
            ku[i] = r.k_upper;
            lo[i] = r.lower;
            up[i] = r.upper;
            il[i] = r.iterations_lower;
            iu[i] = r.iterations_upper;
            st[i] = static_cast<std::int8_t>(r.status);
            messages[i] = std::move(r.messages);
        });
    }
    py::dict out;
    out["k_lower"] = k_lower;
    out["k_upper"] = k_upper;
    out["lower"] = lower;
    out["upper"] = upper;
    out["iterations_lower"] = iterations_lower;
    out["iterations_upper"] = iterations_upper;
    out["status"] = status;
    out["messages"] = messages;
    return out;
}

// The summary and limits of a lognormal sample, as a dict of the fields of lvlim-data's row.
py::dict lognormal_mean(const Input& x, double confidence, const std::string& kind_name) {
    const lvlim::Kind kind = lvlim::kind_from_string(kind_name);
    const std::span<const double> values(x.data(), static_cast<std::size_t>(x.size()));
    lvlim::LognormalMean r;
    {
        const py::gil_scoped_release release;
        r = lvlim::lognormal_mean(values, kind, confidence);
    }
    py::dict out;
    out["n"] = r.summary.n;
    out["log_mean"] = r.summary.log_mean;
    out["log_sd"] = r.summary.log_sd;
    out["nu"] = r.nu;
    out["gammasquared"] = r.gammasquared;
    out["confidence"] = r.limits.confidence;
    out["kind"] = lvlim::to_string(r.limits.kind);
    out["mvue"] = r.summary.mvue;
    out["sample_mean"] = r.summary.sample_mean;
    out["plug_in"] = r.summary.plug_in;
    out["k_lower"] = r.limits.k_lower;
    out["k_upper"] = r.limits.k_upper;
    out["log_lower"] = r.limits.lower;
    out["log_upper"] = r.limits.upper;
    out["mean_lower"] = r.mean_lower;
    out["mean_upper"] = r.mean_upper;
    out["status"] = lvlim::to_string(r.limits.status);
    out["messages"] = r.limits.messages;
    return out;
}

} // namespace

PYBIND11_MODULE(_lvlim, m) {
    m.doc() = "The compiled core of lvlim; use the functions of the lvlim package instead.";
    m.def("limits", &limits, py::arg("sigma"), py::arg("nu"), py::arg("mu"),
          py::arg("confidence"), py::arg("gammasquared"), py::arg("kind"), py::arg("lam"),
          py::arg("max_iterations"), py::arg("bessel_arg_top"), py::arg("tolerance"),
          py::arg("result_tol"), py::arg("workers"),
          "Limits of the settings in five flat float64 arrays of equal length, computed on "
          "`workers` threads (0: every core) with the GIL released; a dict of flat arrays.");
    m.def("lognormal_mean", &lognormal_mean, py::arg("x"), py::arg("confidence"),
          py::arg("kind"),
          "Summary and limits of the mean of a lognormal population from its measurements; "
          "a dict of the fields.");
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
}
