// lvlim: what every subject of the API shares. The supported range, the kinds of limits, a
// setting of sample estimates, the control values of the searches, the status of a search and
// the names of kinds and statuses.
#pragma once

#include <cstddef>
#include <limits>
#include <string>

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

// The control values of the searches, with the batch program's defaults.
struct Controls {
    int max_iterations = 200;
    double bessel_arg_top = 800.0;
    double tolerance = 9.99999993922529e-09; // the single-precision 1.0e-8, widened
    double result_tol = -1.0;                // negative: no residual test
    // When a limit is not confirmed at `tolerance` (see Status), search again at
    // precise_tolerance and return that result; a limit that stays unconfirmed and that the
    // searches reported nothing about gets a message saying which limit and why. Off by
    // default: the batch program never does.
    bool refine = false;
};

// The tolerance at which the limits of the supported range are confirmed (see Status).
inline constexpr double precise_tolerance = 1.0e-12;

// ---- The status of a search ------------------------------------------------------------

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

// ---- Names -----------------------------------------------------------------------------------

// "upper", "lower", "two-sided"; and "ok", "search failed".
[[nodiscard]] const char* to_string(Kind kind);
[[nodiscard]] const char* to_string(Status status);
// The kind named by "upper", "lower" or "two-sided"; std::invalid_argument otherwise.
[[nodiscard]] Kind kind_from_string(const std::string& name);

} // namespace lvlim
