// The one-sample assessment: the W test of the logs, the geometric statistics, the limits of
// the mean (lognormal_mean, unchanged), of a percentile and of the fraction above a limit value,
// the p-values of the one-sided tests against that value, and the verdicts.
//
// With n measurements, logs of mean ybar and standard deviation s, nu = n - 1, z_P the standard
// normal quantile and t'_q(nu, delta) the q-quantile of the noncentral t distribution:
//   percentile X_P:  estimate exp(ybar + z_P s); one-sided upper limit at level g
//                    exp(ybar + K s), K = t'_g(nu, z_P sqrt n) / sqrt n; lower limit with
//                    t'_(1-g).
//   exceedance of L: u = (ln L - ybar) / s, t = sqrt(n) u; estimate Phi(-u); upper limit at g
//                    Phi(-d / sqrt n) with F(t; nu, d) = g; lower limit with F(t; nu, d) = 1 - g.
//   p-values:        mean: 1 - g*, where the one-sided upper limit of the mean at level g*
//                    equals L; percentile: 1 - F(t; nu, z_P sqrt n).
// The two-sided kind is the pair of one-sided limits at (1 + gamma) / 2; p-values and verdicts
// use the one-sided limits at gamma.
#include "lvlim/assessment.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <exception>
#include <limits>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <boost/math/tools/toms748_solve.hpp>

#include "common/number_text.hpp"
#include "noncentral_t.hpp"
#include "shapiro_wilk.hpp"

namespace lvlim {

namespace {

using detail::NctResult;

std::string text(double value) { return number_text::shortest(value); }

void check_open_unit(const char* name, double value) {
    if (!(value > 0.0 && value < 1.0)) {
        throw std::invalid_argument(std::string(name) + " = " + text(value) +
                                    " is outside (0, 1): it must lie strictly between 0 and 1");
    }
}

void check_options(const AssessmentOptions& options) {
    check_open_unit("percentile", options.percentile);
    check_open_unit("confidence", options.confidence);
    if (options.limit && !(std::isfinite(*options.limit) && *options.limit > 0.0)) {
        throw std::invalid_argument("limit = " + text(*options.limit) +
                                    " is outside the finite positive numbers");
    }
}

// Collects the failures of the parts into the assessment's status and messages.
struct Marks {
    Assessment& out;
    void fail(const std::string& part, const std::string& why) {
        out.status = Status::search_failed;
        out.messages.push_back(part + ": " + why);
    }
    // The value of r, or NaN with the failure recorded.
    double take(const std::string& part, const NctResult& r) {
        if (!r.ok) {
            fail(part, r.message);
            return not_computed;
        }
        return r.value;
    }
};

struct Sample {
    double n;        // as a double
    double root_n;   // sqrt(n)
    double nu;       // n - 1
    double log_mean; // ybar
    double log_sd;   // s
};

// The one-sided limits of X_P at level g on the data scale.
double percentile_upper(const Sample& x, double delta, double g, Marks& marks,
                        const std::string& part) {
    const double t = marks.take(part, detail::nct_quantile(g, x.nu, delta));
    return std::exp(x.log_mean + (t / x.root_n) * x.log_sd);
}
double percentile_lower(const Sample& x, double delta, double g, Marks& marks,
                        const std::string& part) {
    const double t = marks.take(part, detail::nct_quantile(1.0 - g, x.nu, delta));
    return std::exp(x.log_mean + (t / x.root_n) * x.log_sd);
}

// The one-sided limits of the exceedance at level g.
double exceedance_upper(const Sample& x, double t, double g, Marks& marks,
                        const std::string& part) {
    const double d = marks.take(part, detail::nct_noncentrality(t, x.nu, g));
    return detail::normal_cdf(-d / x.root_n);
}
double exceedance_lower(const Sample& x, double t, double g, Marks& marks,
                        const std::string& part) {
    const double d = marks.take(part, detail::nct_noncentrality(t, x.nu, 1.0 - g));
    return detail::normal_cdf(-d / x.root_n);
}

Verdict verdict(double upper, double lower, double limit) {
    if (std::isnan(upper) || std::isnan(lower)) {
        return Verdict::none;
    }
    if (upper < limit) {
        return Verdict::below;
    }
    if (lower > limit) {
        return Verdict::above;
    }
    return Verdict::undecided;
}

// The exact p-value of H0 "the mean is at least L": 1 - g*, with the one-sided upper limit of the
// mean at level g* equal to L, searched over the normal quantile z of the level (g = Phi(z)),
// in which the limit is smooth, between the levels bound and 1 - bound.
void mean_p_value(const Summary& summary, double log_limit, const Controls& controls,
                  Assessment& out, Marks& marks) {
    bool failed = false;
    const auto excess = [&](double z) {
        const LognormalMean m =
            lognormal_mean(summary, Kind::upper, detail::normal_cdf(z), controls);
        failed = failed || m.limits.status != Status::ok;
        return m.limits.upper - log_limit;
    };
    const double z_high = -detail::normal_quantile(mean_p_value_bound);
    const double at_low = excess(-z_high);
    const double at_high = excess(z_high);
    if (std::isnan(at_low) || std::isnan(at_high)) {
        marks.fail("mean p-value", "a limit of the mean at the bounds of the level is missing");
        return;
    }
    if (at_low >= 0.0) { // even at level `bound` the upper limit reaches L
        out.mean_p_value = 1.0 - mean_p_value_bound;
        out.mean_p_value_bounded = true;
    } else if (at_high <= 0.0) { // even at level 1 - bound it stays at or below L
        out.mean_p_value = mean_p_value_bound;
        out.mean_p_value_bounded = true;
    } else {
        constexpr std::uintmax_t limit = 100;
        std::uintmax_t iterations = limit;
        const auto narrow = [](double a, double b) { return std::abs(b - a) <= 1e-13; };
        failed = false; // the status that counts is that of the limits around the root
        std::pair<double, double> bracket;
        try {
            bracket = boost::math::tools::toms748_solve(excess, -z_high, z_high, at_low, at_high,
                                                        narrow, iterations);
        } catch (const std::exception& e) {
            marks.fail("mean p-value", std::string("the search over the level failed: ") +
                                           e.what());
            return;
        }
        if (iterations >= limit) {
            marks.fail("mean p-value", "the search over the level did not converge");
            return;
        }
        const double z = bracket.first + (bracket.second - bracket.first) / 2.0;
        out.mean_p_value = detail::normal_cdf(-z);
    }
    if (failed) {
        marks.fail("mean p-value", "a limit of the mean it rests on was not confirmed");
    }
}

Assessment assess_summary(const Summary& summary, const AssessmentOptions& options) {
    check_options(options);
    Assessment out;
    Marks marks{out};
    // Range errors of n and the log standard deviation come from here.
    out.mean = lognormal_mean(summary, options.kind, options.confidence, options.controls);
    if (out.mean.limits.status != Status::ok) {
        // What the searches reported is in mean.limits.messages; one line here.
        marks.fail("mean", "a limit was not confirmed");
    }
    out.n = summary.n;
    const Sample x{static_cast<double>(summary.n), std::sqrt(static_cast<double>(summary.n)),
                   static_cast<double>(summary.n) - 1.0, summary.log_mean, summary.log_sd};
    out.gm = std::exp(x.log_mean);
    out.gsd = std::exp(x.log_sd);

    const double gamma = options.confidence;
    const double two_sided_level = (1.0 + gamma) / 2.0;
    const bool upper = options.kind != Kind::lower;
    const bool lower = options.kind != Kind::upper;
    const double level = options.kind == Kind::two_sided ? two_sided_level : gamma;

    const double z_p = detail::normal_quantile(options.percentile);
    const double delta = z_p * x.root_n;
    out.percentile = options.percentile;
    out.percentile_estimate = std::exp(x.log_mean + z_p * x.log_sd);
    if (upper) {
        out.percentile_upper = percentile_upper(x, delta, level, marks, "percentile upper limit");
    }
    if (lower) {
        out.percentile_lower = percentile_lower(x, delta, level, marks, "percentile lower limit");
    }

    if (!options.limit) {
        return out;
    }
    const double limit = *options.limit;
    const double log_limit = std::log(limit);
    out.limit = limit;
    const double u = (log_limit - x.log_mean) / x.log_sd;
    const double t = x.root_n * u;
    out.exceedance = detail::normal_cdf(-u);
    if (upper) {
        out.exceedance_upper = exceedance_upper(x, t, level, marks, "exceedance upper limit");
    }
    if (lower) {
        out.exceedance_lower = exceedance_lower(x, t, level, marks, "exceedance lower limit");
    }

    // The tests against L, always one-sided at gamma.
    out.percentile_p_value =
        marks.take("percentile p-value", detail::nct_cdf(t, x.nu, delta, true));
    mean_p_value(summary, log_limit, options.controls, out, marks);

    const bool one_sided_at_gamma = options.kind != Kind::two_sided;
    const double p_upper = one_sided_at_gamma && upper
                               ? out.percentile_upper
                               : percentile_upper(x, delta, gamma, marks, "percentile verdict");
    const double p_lower = one_sided_at_gamma && lower
                               ? out.percentile_lower
                               : percentile_lower(x, delta, gamma, marks, "percentile verdict");
    out.percentile_verdict = verdict(p_upper, p_lower, limit);

    const LognormalMean m_upper = lognormal_mean(summary, Kind::upper, gamma, options.controls);
    const LognormalMean m_lower = lognormal_mean(summary, Kind::lower, gamma, options.controls);
    if (m_upper.limits.status != Status::ok || m_lower.limits.status != Status::ok) {
        marks.fail("mean verdict", "a one-sided limit of the mean was not confirmed");
        out.mean_verdict = Verdict::none;
    } else {
        out.mean_verdict = verdict(m_upper.mean_upper, m_lower.mean_lower, limit);
    }
    return out;
}

} // namespace

std::string_view to_string(Verdict verdict) {
    switch (verdict) {
    case Verdict::below:
        return "below";
    case Verdict::above:
        return "above";
    case Verdict::undecided:
        return "undecided";
    case Verdict::none:
        return "not computed";
    }
    return "not computed";
}

double normal_quantile(double p) {
    check_open_unit("p", p);
    return detail::normal_quantile(p);
}

double normal_score(std::size_t rank, std::size_t n) {
    if (rank >= n) {
        throw std::invalid_argument(
            "rank = " + std::to_string(rank) +
            " is outside [0, n - 1]: there is no such value among n = " + std::to_string(n));
    }
    // The upper half from the lower one, z(1 - q) = -z(q): a p near 1 would keep only the digits
    // of 1 - p that a double holds next to 1, and the scores would lose their symmetry.
    const auto score = [n](std::size_t r) {
        return detail::normal_quantile((static_cast<double>(r) + 0.5) / static_cast<double>(n));
    };
    return rank > n - 1 - rank ? -score(n - 1 - rank) : score(rank);
}

Assessment assess(const Summary& summary, const AssessmentOptions& options) {
    Assessment out = assess_summary(summary, options);
    out.fit_message = "not computed: only the summary of the sample is known";
    return out;
}

Assessment assess(std::span<const double> measurements, const AssessmentOptions& options) {
    if (measurements.size() < min_measurements || measurements.size() > max_measurements) {
        throw std::invalid_argument("n = " + std::to_string(measurements.size()) +
                                    " is outside the supported range [" +
                                    std::to_string(min_measurements) + ", " +
                                    std::to_string(max_measurements) + "] of measurements");
    }
    const Summary summary = summarise(measurements); // rejects values not finite and positive
    Assessment out = assess_summary(summary, options);
    std::vector<double> logs(measurements.size());
    std::transform(measurements.begin(), measurements.end(), logs.begin(),
                   [](double v) { return std::log(v); });
    const detail::ShapiroWilk fit = detail::shapiro_wilk(logs);
    out.shapiro_wilk_w = fit.w;
    out.shapiro_wilk_p = fit.p;
    out.fit_message = fit.message;
    out.fit_doubtful = fit.ok && fit.p < fit_doubtful_below;
    // Outside 3 <= n <= 5000 the test is not computed by design; within it, it always is.
    if (!fit.ok && measurements.size() <= max_shapiro_wilk) {
        out.fit_status = Status::search_failed;
        out.status = Status::search_failed;
        out.messages.push_back("fit: " + fit.message);
    }
    return out;
}

} // namespace lvlim
