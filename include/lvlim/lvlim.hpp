// lvlim: exact (uniformly most accurate unbiased) confidence limits for mu + lambda*sigma^2 of a
// normal distribution from sample estimates, and for the mean of a lognormal population from
// its measurements.
//
// Value types in, value types out. Every function may be called from many threads at once;
// nothing is printed: what the searches report comes back in Limits::messages. Inputs outside
// the supported range raise std::invalid_argument with a message that names the value and its
// range; a search that does not converge is reported through Limits::status, not an exception.
#pragma once

#include <cstddef>
#include <limits>
#include <span>
#include <string>
#include <vector>

namespace lvlim {

// ---- The supported range ---------------------------------------------------------------------

// sigma-hat and its degrees of freedom nu (fractional values allowed: the searches use the whole
// part floor(nu), the conversion to the scale of the data uses nu itself).
inline constexpr double min_sigma = 0.001;
inline constexpr double max_sigma = 10.0;
inline constexpr double min_nu = 2.0;
inline constexpr double max_nu = 100000.0;
// The number of measurements of a lognormal sample: nu = n - 1.
inline constexpr std::size_t min_measurements = 3;
inline constexpr std::size_t max_measurements = 100001;
// The largest Bessel argument for which closed forms may replace quadrature.
inline constexpr double max_bessel_arg_top = 800.0;

// ---- Inputs --------------------------------------------------------------------------------

enum class Kind {
    upper,     // a one-sided upper limit
    lower,     // a one-sided lower limit
    two_sided, // a pair of two-sided limits
};

// The sample estimates: mu-hat, sigma-hat with nu degrees of freedom, gamma^2 with
// SE(mu-hat) = sigma/gamma, and the coefficient lambda of sigma^2.
struct Setting {
    double mu = 0.0;
    double sigma = 1.0;
    double nu = 20.0;
    double gammasquared = 21.0;
    double lambda = 0.5;
};

// The lognormal setting of n measurements whose logs have mean `log_mean` and standard deviation
// `log_sd`: lambda 0.5, nu = n - 1, gammasquared = n.
[[nodiscard]] Setting lognormal_setting(double log_mean, double log_sd, std::size_t n);

// The control values of the searches, with the batch program's defaults.
struct Controls {
    int max_iterations = 200;
    double bessel_arg_top = 800.0;
    double tolerance = 9.99999993922529e-09; // the single-precision 1.0e-8, widened
    double result_tol = -1.0;                // negative: no residual test
    // When a limit is not confirmed at `tolerance` (see Status), search again at
    // precise_tolerance and return that result. Off by default: the batch program never does.
    bool refine = false;
};

// The tolerance at which the limits of the supported range are confirmed (see Status).
inline constexpr double precise_tolerance = 1.0e-12;

// ---- Limits of one setting -----------------------------------------------------------------

// A limit is ok when one Newton step on the condition it solves, integrated a hundred times more
// tightly than its search, moves it by at most 1e-6 of max(1, |k|); otherwise search_failed.
// Over the supported range an ok limit is within 1e-6 of the exact one. At the default tolerance
// some limits are marked search_failed because the tolerance cannot pin them down: two-sided
// limits for a large sigma (from about 1.5) or, with many measurements, a small one (0.03 and
// below), and one-sided limits far in the tail (alpha 0.999, few measurements, a large sigma).
// At precise_tolerance (or with Controls::refine) the limits of the range are confirmed, the
// one-sided ones good to 5e-8, at some 3 to 6 times the cost of the default; a few extreme
// two-sided ones (alpha 0.999 with 4 measurements and a sigma of 5 or more, or 100,001
// measurements and a sigma of 5 or more) are not, being off by 1e-6 to 4e-6.
enum class Status {
    ok,
    search_failed, // the search did not converge to the limit: it is not to be trusted
};

inline constexpr double not_computed = std::numeric_limits<double>::quiet_NaN();

// The limits of one setting. A one-sided upper limit fills k_upper, upper and iterations_upper;
// a lower limit fills k_lower, lower and iterations_lower; a pair fills both. What a kind does not
// have is NaN (iterations 0).
//
// k_lower and k_upper are the standardized limits exactly as the batch program prints them
// (StandardLowerLimit, StandardUpperLimit, or StandardConfidenceLimit). lower and upper are the
// ends of the interval for mu + lambda*sigma^2 with lower <= upper: for a negative lambda the
// pair is mirrored about mu-hat, so `lower` is the value the batch program labels
// UpperConfidenceLimit and comes from k_upper, and `upper` from k_lower.
struct Limits {
    Kind kind = Kind::two_sided;
    double confidence = 0.0;
    double k_lower = not_computed;
    double k_upper = not_computed;
    double lower = not_computed;
    double upper = not_computed;
    int iterations_lower = 0;
    int iterations_upper = 0;
    Status status = Status::ok;
    std::vector<std::string> messages; // what the searches reported, a line each
};

// The limits of `kind` at confidence level `confidence` (strictly between 0 and 1).
[[nodiscard]] Limits limits(const Setting& setting, Kind kind, double confidence,
                            const Controls& controls = {});

// ---- A lognormal sample ---------------------------------------------------------------------

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

// ---- Names -----------------------------------------------------------------------------------

// "upper", "lower", "two-sided"; and "ok", "search failed".
[[nodiscard]] const char* to_string(Kind kind);
[[nodiscard]] const char* to_string(Status status);
// The kind named by "upper", "lower" or "two-sided"; std::invalid_argument otherwise.
[[nodiscard]] Kind kind_from_string(const std::string& name);

} // namespace lvlim

// The one-sample assessment against a limit value.
#include "lvlim/assessment.hpp" // IWYU pragma: export
// Planning a study: power and sample size.
#include "lvlim/planning.hpp" // IWYU pragma: export
