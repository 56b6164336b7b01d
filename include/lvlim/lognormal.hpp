// lvlim: the mean of a lognormal population from its measurements, or from the mean and the
// standard deviation of their logs.
#pragma once

#include <cstddef>
#include <span>

#include "lvlim/common.hpp"
#include "lvlim/limits.hpp"

namespace lvlim {

// The lognormal setting of n measurements whose logs have mean `log_mean` and standard deviation
// `log_sd`: lambda 0.5, nu = n - 1, gammasquared = n.
[[nodiscard]] Setting lognormal_setting(double log_mean, double log_sd, std::size_t n);

// The summary of positive measurements: n, the mean and standard deviation (divisor n - 1) of
// their natural logarithms, and three estimates of the population mean: the minimum-variance
// unbiased estimate exp(log_mean) psi_n(log_sd^2 / 2), the sample arithmetic mean, and the
// plug-in estimate exp(log_mean + log_sd^2 / 2). sample_mean is NaN when the summary was made
// from the log statistics alone.
struct Summary {
    std::size_t n = 0;
    double log_mean = 0.0;
    double log_sd = 0.0;
    double mvue = 0.0;
    double sample_mean = not_computed;
    double plug_in = 0.0;
};

// Summarises measurements one at a time in constant memory (a stable one-pass mean and variance
// of the logs). add() raises std::invalid_argument for a value that is not finite and positive.
class Summariser {
public:
    void add(double measurement);
    [[nodiscard]] std::size_t count() const { return n_; }
    // The summary of the values added so far; at least two are needed.
    [[nodiscard]] Summary summary() const;

private:
    std::size_t n_ = 0;
    double log_shift_ = 0.0; // the first log; the two below are of the logs less it
    double log_mean_ = 0.0;
    double log_m2_ = 0.0;
    double mean_ = 0.0;
};

// The summary of `measurements` (all finite and positive, at least two).
[[nodiscard]] Summary summarise(std::span<const double> measurements);

// The summary of a sample known only by n and the mean and standard deviation of its logs.
[[nodiscard]] Summary summary_from_logs(std::size_t n, double log_mean, double log_sd);

// psi_n(t) = 1 + (n-1) t / n + sum_{j>=2} (n-1)^(2j-1) t^j / (n^j (n+1)(n+3)...(n+2j-3) j!),
// the factor of the minimum-variance unbiased estimate of a lognormal mean.
[[nodiscard]] double psi(std::size_t n, double t);

// The limits of the mean of a lognormal population: the summary of its sample, the limits for
// mu + sigma^2/2 in the lognormal setting, and their exponentials.
struct LognormalMean {
    Summary summary;
    double nu = 0.0;
    double gammasquared = 0.0;
    Limits limits;                     // on the log scale, for mu + sigma^2/2
    double mean_lower = not_computed; // exp(limits.lower)
    double mean_upper = not_computed; // exp(limits.upper)
};

// Checks the summary against the supported range (n from min_measurements to max_measurements,
// log_sd from min_sigma to max_sigma) and computes the limits, always with Controls::refine: a
// limit that `controls.tolerance` cannot pin down is searched again at precise_tolerance, so
// that a limit of the mean is reported unconfirmed only where no search can confirm it. Where
// the default tolerance confirms a limit (nearly every practical sample) it is bit for bit the
// one `limits` and the batch program give.
[[nodiscard]] LognormalMean lognormal_mean(const Summary& summary, Kind kind, double confidence,
                                           const Controls& controls = {});
[[nodiscard]] LognormalMean lognormal_mean(std::span<const double> measurements, Kind kind,
                                           double confidence, const Controls& controls = {});

} // namespace lvlim
