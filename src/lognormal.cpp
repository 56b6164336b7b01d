// The mean of a lognormal population: the summary of a sample and the limits of its mean.
#include "lvlim/lognormal.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>
#include <tuple>

#include "common/number_text.hpp"
#include "src/range_checks.hpp"

namespace lvlim {

using detail::check_range;
using detail::refuse;
using number_text::shortest_plain;

Setting lognormal_setting(double log_mean, double log_sd, std::size_t n) {
    const double count = static_cast<double>(n);
    return Setting{log_mean, log_sd, count - 1.0, count, 0.5};
}

void Summariser::add(double measurement) {
    if (!(std::isfinite(measurement) && measurement > 0.0)) {
        throw std::invalid_argument("measurement " + shortest_plain(measurement) +
                                    " is not positive and finite: the lognormal model needs "
                                    "positive values, whose logarithms exist");
    }
    // Welford's updates of the mean and the sum of squared deviations of the logs, taken about
    // the first log: with logs far from 0 and a small spread (690.8 +- 3e-7), updates of the
    // mean itself would carry rounding errors of eps * 690 into every deviation.
    n_ += 1;
    const double added = static_cast<double>(n_);
    if (n_ == 1) {
        log_shift_ = std::log(measurement);
    }
    const double y = std::log(measurement) - log_shift_;
    const double delta = y - log_mean_;
    log_mean_ += delta / added;
    log_m2_ += delta * (y - log_mean_);
    mean_ += (measurement - mean_) / added;
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
    if (n < 2 || !(t >= 0.0) || std::isinf(t)) {
        throw std::invalid_argument("psi_n(t) needs n >= 2 and a finite t >= 0 (n = " +
                                    std::to_string(n) + ", t = " + shortest_plain(t) + ")");
    }
    if (t == 0.0) {
        return 1.0;
    }
    // The terms in logarithms: term_0 = 1, term_1 = (n-1) t / n, and
    // term_(j+1) / term_j = (n-1)^2 t / (n (n + 2j - 1) (j + 1)),
    // summed relative to the largest term so far. The ratio falls below 1 once j is past about
    // sqrt(t); every term up to there exceeds its predecessor, so a peak beyond max_terms means
    // a sum far beyond the doubles.
    constexpr double max_terms = 1.0e6;
    const double m = static_cast<double>(n);
    const double log_ratio_base = 2.0 * std::log(m - 1.0) + std::log(t) - std::log(m);
    double term = std::log(m - 1.0) + std::log(t) - std::log(m);
    double peak = std::max(0.0, term);
    double sum = std::exp(0.0 - peak) + std::exp(term - peak);
    for (double j = 1.0;; j += 1.0) {
        if (j > max_terms) {
            return std::numeric_limits<double>::infinity();
        }
        const double next = term + log_ratio_base - std::log(m + 2.0 * j - 1.0) - std::log(j + 1.0);
        const bool falling = next < term;
        term = next;
        if (term > peak) {
            sum = sum * std::exp(peak - term) + 1.0;
            peak = term;
        } else {
            sum += std::exp(term - peak);
        }
        if (falling && term < peak - 40.0) {
            break;
        }
    }
    return std::exp(peak) * sum;
}

Summary summary_from_logs(std::size_t n, double log_mean, double log_sd) {
    if (n < 2) {
        throw std::invalid_argument("n = " + std::to_string(n) +
                                    " is too small: a summary needs at least 2 measurements");
    }
    if (!std::isfinite(log_mean)) {
        refuse("log_mean", log_mean, "the finite numbers");
    }
    if (!(std::isfinite(log_sd) && log_sd >= 0.0)) {
        refuse("log_sd", log_sd, "the finite numbers at or above 0");
    }
    Summary out;
    out.n = n;
    out.log_mean = log_mean;
    out.log_sd = log_sd;
    const double t = log_sd * log_sd / 2.0;
    out.mvue = std::exp(log_mean) * psi(n, t);
    out.plug_in = std::exp(log_mean + t);
    return out;
}

namespace {
void check_measurements(std::size_t n) {
    if (n < min_measurements || n > max_measurements) {
        throw std::invalid_argument("n = " + std::to_string(n) +
                                    " is outside the supported range [" +
                                    std::to_string(min_measurements) + ", " +
                                    std::to_string(max_measurements) + "] of measurements");
    }
}
} // namespace

LognormalMean lognormal_mean(const Summary& summary, Kind kind, double confidence,
                             const Controls& controls) {
    check_measurements(summary.n);
    check_range("log_sd", summary.log_sd, min_sigma, max_sigma);
    LognormalMean out;
    out.summary = summary;
    const Setting setting = lognormal_setting(summary.log_mean, summary.log_sd, summary.n);
    out.nu = setting.nu;
    out.gammasquared = setting.gammasquared;
    // A limit of the mean is never left unconfirmed when a tighter search can pin it down.
    Controls refined = controls;
    refined.refine = true;
    out.limits = limits(setting, kind, confidence, refined);
    out.mean_lower = std::exp(out.limits.lower);
    out.mean_upper = std::exp(out.limits.upper);
    // A limit beyond the largest double is infinity on the data scale; its logarithm is exact.
    for (const auto& [name, log_limit, limit] :
         {std::tuple{"upper", out.limits.upper, out.mean_upper},
          std::tuple{"lower", out.limits.lower, out.mean_lower}}) {
        if (std::isfinite(log_limit) && std::isinf(limit)) {
            out.limits.messages.push_back(
                std::string("the ") + name + " limit of the mean, exp(" +
                number_text::shortest(log_limit) +
                "), exceeds the largest double and is given as infinity; its logarithm is exact");
        }
    }
    return out;
}

LognormalMean lognormal_mean(std::span<const double> measurements, Kind kind, double confidence,
                             const Controls& controls) {
    check_measurements(measurements.size());
    return lognormal_mean(summarise(measurements), kind, confidence, controls);
}

} // namespace lvlim
