// The noncentral t distribution through Boost.Math, and the two searches on it.
#include "noncentral_t.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <exception>
#include <functional>
#include <limits>
#include <numbers>
#include <utility>

#include <boost/math/distributions/non_central_t.hpp>
#include <boost/math/distributions/normal.hpp>
#include <boost/math/tools/toms748_solve.hpp>

namespace lvlim::detail {

namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
// The iteration limit of each search, and of the widening of its bracket.
constexpr std::uintmax_t max_search_iterations = 200;
constexpr int max_bracket_steps = 80;

NctResult failure(std::string message) {
    return {nan, false, 0, std::move(message)};
}

// A search ends when its bracket [a, b] is no wider than a few units in the last place of
// max(1, |a|, |b|): the roots here are t values and noncentralities on a scale of order one
// or more, so an absolute floor of a few 1e-16 keeps a root near zero from searching forever.
struct Narrow {
    bool operator()(double a, double b) const {
        const double scale = std::max({1.0, std::abs(a), std::abs(b)});
        return std::abs(b - a) <= 8.0 * std::numeric_limits<double>::epsilon() * scale;
    }
};

// The root of the monotone f (rising or falling) starting from `guess` with a first half-width
// `step`: the bracket is widened by doubling until f changes sign, then TOMS 748 narrows it.
// f returns NaN where its distribution function failed.
NctResult bracketed_root(const std::function<double(double)>& f, double guess, double step,
                         const char* what) {
    double a = guess - step;
    double b = guess + step;
    double fa = f(a);
    double fb = f(b);
    int widenings = 0;
    while (std::isfinite(fa) && std::isfinite(fb) && (fa > 0.0) == (fb > 0.0) && fa != 0.0 &&
           fb != 0.0) {
        if (++widenings > max_bracket_steps) {
            return failure(std::string(what) + ": no bracket found");
        }
        step *= 2.0;
        // Widen on the side where the root must lie: |f| smaller there.
        if (std::abs(fa) < std::abs(fb)) {
            b = a;
            fb = fa;
            a -= step;
            fa = f(a);
        } else {
            a = b;
            fa = fb;
            b += step;
            fb = f(b);
        }
    }
    if (!std::isfinite(fa) || !std::isfinite(fb)) {
        return failure(std::string(what) + ": the distribution function failed while bracketing");
    }
    if (fa == 0.0) {
        return {a, true, widenings, {}};
    }
    if (fb == 0.0) {
        return {b, true, widenings, {}};
    }
    std::uintmax_t iterations = max_search_iterations;
    bool evaluation_failed = false;
    const auto checked = [&](double x) {
        const double value = f(x);
        if (!std::isfinite(value)) {
            evaluation_failed = true;
            return 0.0; // ends the search; marked below
        }
        return value;
    };
    std::pair<double, double> bracket;
    try {
        bracket = boost::math::tools::toms748_solve(checked, a, b, fa, fb, Narrow{}, iterations);
    } catch (const std::exception& e) {
        return failure(std::string(what) + ": " + e.what());
    }
    if (evaluation_failed) {
        return failure(std::string(what) + ": the distribution function failed during the search");
    }
    if (iterations >= max_search_iterations) {
        return failure(std::string(what) + ": the search did not converge in " +
                       std::to_string(max_search_iterations) + " iterations");
    }
    return {bracket.first + (bracket.second - bracket.first) / 2.0, true,
            widenings + static_cast<int>(iterations), {}};
}

} // namespace

double normal_cdf(double x) {
    // erfc keeps the lower tail accurate far out, where 1 - (upper tail) would cancel.
    return 0.5 * std::erfc(-x / std::numbers::sqrt2);
}

double normal_quantile(double p) {
    return boost::math::quantile(boost::math::normal_distribution<double>(), p);
}

NctResult nct_cdf(double t, double nu, double delta, bool upper) {
    if (!(std::isfinite(t) && std::isfinite(delta) && nu > 0.0)) {
        return failure("noncentral t distribution function: arguments outside its domain");
    }
    try {
        const boost::math::non_central_t_distribution<double> d(nu, delta);
        const double p = upper ? boost::math::cdf(boost::math::complement(d, t))
                               : boost::math::cdf(d, t);
        // Where a tail is formed as 1 less a sum near 1, rounding can carry it a few units of
        // 1e-16 past 0 or 1: that is the end itself. Anything further is a failure.
        constexpr double rounding = 1e-12;
        if (!(p >= -rounding && p <= 1.0 + rounding)) {
            return failure("noncentral t distribution function: a value outside [0, 1]");
        }
        return {std::clamp(p, 0.0, 1.0), true, 0, {}};
    } catch (const std::exception& e) {
        return failure(std::string("noncentral t distribution function: ") + e.what());
    }
}

NctResult nct_quantile(double q, double nu, double delta) {
    if (!(q > 0.0 && q < 1.0)) {
        return failure("noncentral t quantile: the probability is outside (0, 1)");
    }
    // T is near delta + z * sqrt(1 + delta^2 / (2 nu)) for large nu.
    const double spread = std::sqrt(1.0 + delta * delta / (2.0 * nu));
    const double guess = delta + normal_quantile(q) * spread;
    const auto f = [&](double t) {
        // The smaller tail is the accurate one.
        if (q <= 0.5) {
            const NctResult r = nct_cdf(t, nu, delta);
            return r.ok ? r.value - q : nan;
        }
        const NctResult r = nct_cdf(t, nu, delta, true);
        return r.ok ? (1.0 - q) - r.value : nan;
    };
    return bracketed_root(f, guess, 0.5 * spread, "noncentral t quantile");
}

NctResult nct_noncentrality(double t, double nu, double q) {
    if (!(q > 0.0 && q < 1.0)) {
        return failure("noncentrality search: the probability is outside (0, 1)");
    }
    if (!std::isfinite(t)) {
        return failure("noncentrality search: t is not finite");
    }
    const double spread = std::sqrt(1.0 + t * t / (2.0 * nu));
    const double guess = t - normal_quantile(q) * spread;
    const auto f = [&](double delta) {
        if (q <= 0.5) {
            const NctResult r = nct_cdf(t, nu, delta);
            return r.ok ? r.value - q : nan;
        }
        const NctResult r = nct_cdf(t, nu, delta, true);
        return r.ok ? (1.0 - q) - r.value : nan;
    };
    return bracketed_root(f, guess, 0.5 * spread, "noncentrality search");
}

} // namespace lvlim::detail
