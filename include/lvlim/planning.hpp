// Planning a study: the exact power of the one-sided upper limits against a limit value, the
// expected overshoot of the upper limit of a lognormal mean, and the smallest sample that
// reaches a target.
//
// The population is lognormal with log standard deviation sigma = ln(GSD); the true value of the
// statistic (its mean, or its P-th percentile) is `ratio` times the limit value L. A sample of n
// passes when the one-sided upper limit at the confidence level lies below L; the power is the
// probability that it does. Nothing depends on L itself.
//
// - The mean: power(n) = E_s[ Phi((ln L - mu - s^2/2 - k(s, n) s / sqrt(n - 1)) sqrt(n) / sigma) ]
//   with mu = ln(ratio L) - sigma^2/2, (n - 1) s^2 / sigma^2 ~ chi^2(n - 1) and k(s, n) the
//   one-sided upper standardized limit of the lognormal mean (lognormal_mean, Kind::upper) at
//   log_sd s. The integral over s is evaluated by adaptive quadrature to 1e-6 absolute, the
//   engine searched at each node. The engine covers s from min_sigma to max_sigma; the
//   probability of s outside that range is bounded (see PlanRow::error), never dropped.
// - The percentile X_P: power(n) = 1 - F(sqrt(n) K; n - 1, sqrt(n) (z_P - ln(ratio) / sigma)),
//   with K = t'_gamma(n - 1, z_P sqrt(n)) / sqrt(n) the factor of the percentile's upper limit and
//   F the noncentral t distribution function.
// - The expected ratio of the mean (no limit value needed): E[upper limit] / true mean
//   = exp(sigma^2/(2n) - sigma^2/2) E_s[ exp(s^2/2 + k(s, n) s / sqrt(n - 1)) ], to 1e-6 of
//   itself.
//
// Every function may be called from many threads at once and prints nothing. Values outside
// the supported range raise std::invalid_argument naming the value and its range; a value that
// is not computed to its tolerance is returned with Status::search_failed and a message saying
// why, never as if it were right.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "lvlim/common.hpp"

namespace lvlim {

// The statistic whose upper limit is compared with the limit value.
enum class Statistic {
    mean,       // the lognormal mean exp(mu + sigma^2/2)
    percentile, // the percentile exp(mu + z_P sigma)
};

// "mean", "percentile"; and the statistic of such a name (std::invalid_argument otherwise).
[[nodiscard]] const char* to_string(Statistic statistic);
[[nodiscard]] Statistic statistic_from_string(const std::string& name);

// The supported range of a plan: the log standard deviation is that of the engine
// (min_sigma to max_sigma); the sample sizes are min_measurements to max_measurements.

// ln(gsd), for a geometric standard deviation from exp(min_sigma) to exp(max_sigma);
// std::invalid_argument otherwise (a GSD of 1 or less says so). Every door converts a GSD with
// this one function, so that all give the same bits.
[[nodiscard]] double log_sd_from_gsd(double gsd);

// What is assumed of the population and the test.
struct PlanSetting {
    double log_sd = 0.0;          // sigma = ln(GSD), min_sigma to max_sigma
    std::optional<double> ratio;  // true value / limit value, finite and above 0; needed for power
    Statistic statistic = Statistic::mean;
    double percentile = 0.95;     // P, strictly between 0 and 1 (the percentile only)
    double confidence = 0.95;     // gamma, strictly between 0 and 1
};

// One computed value with its error bound. `error` bounds |value - exact|: the quadrature's
// estimate plus the bound on the part of the integral outside the engine's range of s (0 for
// the percentile's closed form; infinite where there is no bound). status
// is ok when error is within the tolerance (1e-6 absolute for power, 1e-6 relative for the
// expected ratio) and every search of the engine converged; search_failed otherwise, with the
// reasons in `messages`. value is NaN where it is not computed at all.
struct PowerResult {
    double value = not_computed;
    double error = not_computed;
    Status status = Status::ok;
    std::vector<std::string> messages;
};

// The power of a sample of n (min_measurements to max_measurements). Needs setting.ratio.
[[nodiscard]] PowerResult power(std::size_t n, const PlanSetting& setting);

// The expected ratio of the mean's upper limit to the true mean for a sample of n (the mean
// only: std::invalid_argument for the percentile). setting.ratio is not used.
[[nodiscard]] PowerResult expected_ratio(std::size_t n, const PlanSetting& setting);

// One row of the curve over n: the power (NaN without a ratio) and, for the mean, the expected
// ratio (NaN for the percentile), with the worse status of the two. Each is bit for bit the value
// power() or expected_ratio() returns; for the mean the second reuses the engine's limits that
// the first searched where their nodes meet.
struct PlanRow {
    std::size_t n = 0;
    PowerResult power;
    PowerResult expected_ratio;
    Status status = Status::ok;
};
[[nodiscard]] PlanRow plan_row(std::size_t n, const PlanSetting& setting);

// What the sample size must reach: power at least `value` (strictly between 0 and 1, needs a
// ratio), or an expected ratio at most `value` (above 1; the mean only).
enum class Goal { power, expected_ratio };
[[nodiscard]] const char* to_string(Goal goal); // "power", "expected_ratio"
struct Target {
    Goal goal = Goal::power;
    double value = 0.8;
};

// The result of a search over n_from..n_to.
//
// The search evaluates a grid over the range (every n in a range of up to 16 values, otherwise
// 16 values spaced evenly on the log scale, both ends included), then bisects between the last
// grid point short of the target and the first that reaches it. `rows` holds every evaluated n,
// in increasing n: the curve. Each row holds the quantity searched (the other is NaN), bit for
// bit what power() or expected_ratio() returns; a range of one n (n_from == n_to) holds the
// plan_row() of that n, both quantities where they apply. "Checked monotone" means: over these evaluated n, each power is at
// least the one before it (each expected ratio at most the one before it) less the sum of their
// error bounds. Monotonicity between evaluated points is assumed, not shown. When the check
// fails, `monotone` is false, a message names the first pair out of order, and the sample size
// is still the smallest evaluated n found by the search: the first grid crossing, bisected.
struct SampleSize {
    std::optional<std::size_t> n; // the smallest n reaching the target; none in the range: nullopt
    double achieved = not_computed; // its power (or expected ratio); NaN without n
    std::vector<PlanRow> rows;      // every evaluated n, increasing
    bool monotone = true;
    Status status = Status::ok;     // search_failed when a row is unreliable
    std::vector<std::string> messages;
};

// The smallest n in [n_from, n_to] whose power is at least target.value (or whose expected
// ratio is at most it). std::invalid_argument for an empty or out-of-range n range, a target out
// of its range, or a goal the setting cannot have (power without a ratio, the expected ratio of
// the percentile). `progress`, when given, is called after each row is computed, with the row
// and the number of rows computed so far (from the calling thread), in the order the rows are
// computed: the grid in increasing n, then the bisection. Each row it sees is bit for bit the
// one in `rows`, and the result does not depend on whether it is given. It lets a caller write
// rows as they come; an exception it throws ends the search and propagates to the caller.
// The checks sample_size makes before it computes anything: std::invalid_argument as it raises.
void check_search(const PlanSetting& setting, const Target& target, std::size_t n_from,
                  std::size_t n_to);

[[nodiscard]] SampleSize sample_size(
    const PlanSetting& setting, const Target& target, std::size_t n_from = min_measurements,
    std::size_t n_to = 1000,
    const std::function<void(const PlanRow&, std::size_t)>& progress = {});

} // namespace lvlim
