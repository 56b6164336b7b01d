// lvlim: the one-sample assessment of lognormal measurements against a limit value: the fit of
// the lognormal model (the Shapiro-Wilk W test of the logs), the geometric mean and standard
// deviation, the exact limits of the mean, of a percentile and of the fraction exceeding a limit
// value, the exact p-values of the one-sided tests against that limit, and their verdicts.
//
// Like the rest of the API: value types in and out, safe to call from many threads at once,
// nothing printed. An input outside its range raises std::invalid_argument naming the value and
// its range; a computation that fails is marked through a Status (and a message), never returned
// as if it were right.
#pragma once

#include "lvlim/common.hpp"
#include "lvlim/lognormal.hpp"

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace lvlim {

// The verdict of a one-sided test against the limit value L at the confidence level gamma:
// below  - the one-sided upper limit at gamma is below L;
// above  - the one-sided lower limit at gamma is above L;
// undecided - neither;
// none      - not computed: no limit value was given, or a limit it needs failed.
enum class Verdict { below, above, undecided, none };

// "below", "above", "undecided", "not computed".
[[nodiscard]] std::string_view to_string(Verdict verdict);

struct AssessmentOptions {
    double percentile = 0.95;    // P, strictly between 0 and 1
    std::optional<double> limit; // the limit value L > 0, in the units of the data
    double confidence = 0.95;    // gamma, strictly between 0 and 1
    // Which limits of the mean, the percentile and the exceedance are reported: one-sided at
    // gamma, or an equal-tailed pair of one-sided limits at (1 + gamma) / 2. The p-values and
    // the verdicts always use the one-sided limits at gamma, whatever the kind.
    Kind kind = Kind::two_sided;
    Controls controls{}; // for the limits of the mean
};

// The Shapiro-Wilk test is computed for min_shapiro_wilk <= n <= max_shapiro_wilk.
inline constexpr std::size_t min_shapiro_wilk = 3;
inline constexpr std::size_t max_shapiro_wilk = 5000;
// Below this p-value the lognormal model is doubtful.
inline constexpr double fit_doubtful_below = 0.05;
// The mean's p-value is searched over the levels [bound, 1 - bound].
inline constexpr double mean_p_value_bound = 1.0e-6;

// The field names equal the names of the report's CSV and JSON fields. A quantity that does not
// apply (a limit the kind does not have, everything about L when no L was given, the W test
// outside its range or from a Summary) is NaN.
struct Assessment {
    std::size_t n = 0;
    double gm = not_computed;  // exp(ybar)
    double gsd = not_computed; // exp(s)

    // The W test of the logs. fit_status is search_failed when it could not be computed for a
    // sample within its range; fit_message says why W and p are absent ("not computed: n > 5000")
    // or is empty.
    double shapiro_wilk_w = not_computed;
    double shapiro_wilk_p = not_computed;
    Status fit_status = Status::ok;
    std::string fit_message;
    bool fit_doubtful = false; // shapiro_wilk_p < fit_doubtful_below

    LognormalMean mean; // the limits of the mean, exactly as lognormal_mean gives them

    // The percentile X_P: estimate exp(ybar + z_P s) and the limits of `kind`.
    double percentile = not_computed; // P
    double percentile_estimate = not_computed;
    double percentile_lower = not_computed;
    double percentile_upper = not_computed;

    // The fraction of the population above L: estimate 1 - Phi((ln L - ybar) / s) and the limits
    // of `kind`.
    std::optional<double> limit;
    double exceedance = not_computed;
    double exceedance_lower = not_computed;
    double exceedance_upper = not_computed;

    // The p-values of H0 "the mean is at least L" and H0 "X_P is at least L". When the level at
    // which the upper limit of the mean equals L lies outside [bound, 1 - bound], mean_p_value is
    // that bound (1e-6 or 1 - 1e-6) and mean_p_value_bounded is true.
    double mean_p_value = not_computed;
    double percentile_p_value = not_computed;
    bool mean_p_value_bounded = false;
    Verdict mean_verdict = Verdict::none;
    Verdict percentile_verdict = Verdict::none;

    // The worst status of all parts (the report's assessment_status), and a line for each part
    // that failed ("percentile upper limit: ..."). A part left out by design (the W test outside
    // its range, everything about L without L) is no failure: NaN, with the status ok.
    Status status = Status::ok;
    std::vector<std::string> messages;
};

// The assessment of positive measurements (n from min_measurements to max_measurements).
[[nodiscard]] Assessment assess(std::span<const double> measurements,
                                const AssessmentOptions& options = {});
// The assessment of a sample known by its summary: everything but the W test.
[[nodiscard]] Assessment assess(const Summary& summary, const AssessmentOptions& options = {});

// The standard normal quantile z_p, the x with Phi(x) = p, for p strictly between 0 and 1.
[[nodiscard]] double normal_quantile(double p);
// The normal score of a normal Q-Q plot: the quantile z((rank + 0.5) / n) that the rank-th
// smallest of n values (rank from 0 to n - 1) is drawn against.
[[nodiscard]] double normal_score(std::size_t rank, std::size_t n);

} // namespace lvlim
