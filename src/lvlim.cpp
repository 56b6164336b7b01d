// The public API on top of the engine: range checks, one run of the engine with its messages
// captured, the status of the searches, and the summary of a lognormal sample.
#include "lvlim/lvlim.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <sstream>
#include <stdexcept>
#include <string_view>

#include "Guts/control.hpp"
#include "Guts/mainguts.hpp"
#include "Guts/messages.hpp"

namespace lvlim {

namespace {

// The shortest decimal that reads back as `value`.
std::string shortest(double value) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return {buffer, result.ptr};
}

[[noreturn]] void refuse(std::string_view name, double value, std::string_view range) {
    throw std::invalid_argument(std::string(name) + " = " + shortest(value) + " is outside " +
                                std::string(range));
}

void check_range(std::string_view name, double value, double low, double high) {
    if (!(value >= low && value <= high)) {
        refuse(name, value,
               "the supported range [" + shortest(low) + ", " + shortest(high) + "]");
    }
}

void check_setting(const Setting& s, double confidence, const Controls& c) {
    if (!(confidence > 0.0 && confidence < 1.0)) {
        refuse("confidence", confidence, "(0, 1): it must lie strictly between 0 and 1");
    }
    check_range("sigma", s.sigma, min_sigma, max_sigma);
    check_range("nu", s.nu, min_nu, max_nu);
    if (!std::isfinite(s.mu)) {
        refuse("mu", s.mu, "the finite numbers");
    }
    if (!(std::isfinite(s.gammasquared) && s.gammasquared > 0.0)) {
        refuse("gammasquared", s.gammasquared, "the finite positive numbers");
    }
    if (!(std::isfinite(s.lambda) && s.lambda != 0.0)) {
        refuse("lambda", s.lambda, "the finite non-zero numbers");
    }
    if (!(c.bessel_arg_top <= max_bessel_arg_top)) {
        refuse("bessel_arg_top", c.bessel_arg_top, "its range: it can be at most 800");
    }
}

// Points the engine's messages and control block at this call for its duration, and puts both
// back afterwards, so that a caller's own settings on the same thread are left as they were.
class EngineCall {
public:
    EngineCall() : saved_stream_(engine_messages), saved_block_(controlparms) {
        engine_messages = &captured_;
    }
    ~EngineCall() {
        engine_messages = saved_stream_;
        controlparms = saved_block_;
    }
    EngineCall(const EngineCall&) = delete;
    EngineCall& operator=(const EngineCall&) = delete;

    // The lines the engine wrote, without the leading blank of each record.
    [[nodiscard]] std::vector<std::string> lines() const {
        std::vector<std::string> out;
        std::istringstream in(captured_.str());
        for (std::string line; std::getline(in, line);) {
            if (!line.empty() && line.front() == ' ') {
                line.erase(0, 1);
            }
            out.push_back(line);
        }
        return out;
    }

private:
    std::ostringstream captured_;
    std::ostream* saved_stream_;
    ControlParms saved_block_;
};

// The final fallback of a two-sided search reports this when it runs out of iterations or cannot
// bracket the root.
constexpr std::string_view bisection_failed = "Method (Only Bisection) failed...";

} // namespace

Setting lognormal_setting(double log_mean, double log_sd, std::size_t n) {
    const double count = static_cast<double>(n);
    return Setting{log_mean, log_sd, count - 1.0, count, 0.5};
}

Limits limits(const Setting& setting, Kind kind, double confidence, const Controls& controls) {
    check_setting(setting, confidence, controls);
    Limits out;
    out.kind = kind;
    out.confidence = confidence;
    const Setting& s = setting;
    const Controls& c = controls;
    bool failed = false;
    {
        const EngineCall call;
        double time = 0.0;
        if (kind == Kind::two_sided) {
            double lower = 0.0;
            double upper = 0.0;
            twotail(s.mu, s.sigma, s.nu, confidence, s.lambda, s.gammasquared, c.bessel_arg_top,
                    c.tolerance, c.result_tol, c.max_iterations, lower, out.k_lower, upper,
                    out.k_upper, time, out.iterations_lower, out.iterations_upper);
            // For a negative lambda the pair is mirrored: the engine's lower value lies above.
            out.lower = std::min(lower, upper);
            out.upper = std::max(lower, upper);
            if (std::isnan(lower) || std::isnan(upper)) {
                out.lower = lower;
                out.upper = upper;
            }
            failed = !std::isfinite(lower) || !std::isfinite(upper);
        } else {
            const int which = kind == Kind::upper ? 1 : 2;
            double k = 0.0;
            double limit = 0.0;
            int count = 0;
            onetail(which, s.mu, s.sigma, s.nu, confidence, s.lambda, s.gammasquared,
                    c.bessel_arg_top, c.tolerance, c.result_tol, c.max_iterations, k, limit, time,
                    count);
            // The secant search stops on exact stagnation, on a small residual, or when the
            // iterations run out; only the last means it did not converge.
            failed = !std::isfinite(limit) || count > effective_iterations(c.max_iterations);
            if (kind == Kind::upper) {
                out.k_upper = k;
                out.upper = limit;
                out.iterations_upper = count;
            } else {
                out.k_lower = k;
                out.lower = limit;
                out.iterations_lower = count;
            }
        }
        out.messages = call.lines();
    }
    for (const std::string& line : out.messages) {
        failed = failed || line.find(bisection_failed) != std::string::npos;
    }
    out.status = failed ? Status::search_failed : Status::ok;
    return out;
}

// ---- The summary of a lognormal sample -------------------------------------------------------

void Summariser::add(double measurement) {
    if (!(std::isfinite(measurement) && measurement > 0.0)) {
        throw std::invalid_argument("measurement " + shortest(measurement) +
                                    " is not positive and finite: the lognormal model needs "
                                    "positive values, whose logarithms exist");
    }
    // Welford's updates of the mean and the sum of squared deviations of the logs, taken about
    // the first log: with logs far from 0 and a small spread (690.8 +- 3e-7), updates of the
    // mean itself would carry rounding errors of eps * 690 into every deviation.
    n_ += 1;
    const double count = static_cast<double>(n_);
    if (n_ == 1) {
        log_shift_ = std::log(measurement);
    }
    const double y = std::log(measurement) - log_shift_;
    const double delta = y - log_mean_;
    log_mean_ += delta / count;
    log_m2_ += delta * (y - log_mean_);
    mean_ += (measurement - mean_) / count;
}

Summary Summariser::summary() const {
    if (n_ < 2) {
        throw std::invalid_argument("a summary needs at least 2 measurements (there are " +
                                    std::to_string(n_) + ")");
    }
    Summary out = summary_from_logs(n_, log_shift_ + log_mean_,
                                    std::sqrt(log_m2_ / static_cast<double>(n_ - 1)));
    out.sample_mean = mean_;
    return out;
}

Summary summarise(std::span<const double> measurements) {
    Summariser summariser;
    for (const double x : measurements) {
        summariser.add(x);
    }
    return summariser.summary();
}

double psi(std::size_t n, double t) {
    // The terms in logarithms: term_1 = (n-1) t / n, and
    // term_(j+1) / term_j = (n-1)^2 t / (n (n + 2j - 1) (j + 1)).
    // The ratio falls below 1/2 for good once j is past about t, so the sum ends.
    if (t == 0.0) {
        return 1.0;
    }
    const double m = static_cast<double>(n);
    const double log_ratio_base = 2.0 * std::log(m - 1.0) + std::log(t) - std::log(m);
    std::vector<double> logs{0.0, std::log(m - 1.0) + std::log(t) - std::log(m)};
    double peak = std::max(logs[0], logs[1]);
    for (double j = 1.0;; j += 1.0) {
        const double next =
            logs.back() + log_ratio_base - std::log(m + 2.0 * j - 1.0) - std::log(j + 1.0);
        logs.push_back(next);
        peak = std::max(peak, next);
        const bool falling = next < logs[logs.size() - 2];
        if (falling && next < peak - 40.0) {
            break;
        }
    }
    double sum = 0.0;
    for (const double l : logs) {
        sum += std::exp(l - peak);
    }
    return std::exp(peak) * sum;
}

Summary summary_from_logs(std::size_t n, double log_mean, double log_sd) {
    Summary out;
    out.n = n;
    out.log_mean = log_mean;
    out.log_sd = log_sd;
    const double t = log_sd * log_sd / 2.0;
    out.mvue = std::exp(log_mean) * psi(n, t);
    out.plug_in = std::exp(log_mean + t);
    return out;
}

LognormalMean lognormal_mean(const Summary& summary, Kind kind, double confidence,
                             const Controls& controls) {
    if (summary.n < min_measurements || summary.n > max_measurements) {
        throw std::invalid_argument("n = " + std::to_string(summary.n) +
                                    " is outside the supported range [" +
                                    std::to_string(min_measurements) + ", " +
                                    std::to_string(max_measurements) + "] of measurements");
    }
    check_range("log_sd", summary.log_sd, min_sigma, max_sigma);
    LognormalMean out;
    out.summary = summary;
    const Setting setting = lognormal_setting(summary.log_mean, summary.log_sd, summary.n);
    out.nu = setting.nu;
    out.gammasquared = setting.gammasquared;
    out.limits = limits(setting, kind, confidence, controls);
    out.mean_lower = std::exp(out.limits.lower);
    out.mean_upper = std::exp(out.limits.upper);
    return out;
}

LognormalMean lognormal_mean(std::span<const double> measurements, Kind kind, double confidence,
                             const Controls& controls) {
    return lognormal_mean(summarise(measurements), kind, confidence, controls);
}

const char* to_string(Kind kind) {
    switch (kind) {
    case Kind::upper:
        return "upper";
    case Kind::lower:
        return "lower";
    case Kind::two_sided:
        return "two-sided";
    }
    return "two-sided";
}

const char* to_string(Status status) {
    return status == Status::ok ? "ok" : "search failed";
}

Kind kind_from_string(const std::string& name) {
    if (name == "upper") {
        return Kind::upper;
    }
    if (name == "lower") {
        return Kind::lower;
    }
    if (name == "two-sided") {
        return Kind::two_sided;
    }
    throw std::invalid_argument("kind '" + name + "' is not one of upper, lower, two-sided");
}

} // namespace lvlim
