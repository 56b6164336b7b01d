// Planning a study (lvlim/planning.hpp): the power at the size of the test and in its limits,
// the percentile's closed form against an independent noncentral t, the expected ratio, the
// sample-size search and the range checks.
//
// The size of the test is an exact check of the mean's integral: with the true value at the
// limit (ratio 1) the exact upper limit lies below it with probability 1 - gamma, since it is an
// exact limit; for a ratio above 1 with less.
//
// The independent noncentral t is written here in long double, without Boost and without the
// library's quadrature: F(t; nu, delta) = E[Phi(t sqrt(X / nu) - delta)], X ~ chi^2(nu), by
// composite Simpson in ln X; its quantile by bisection on it.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <stdexcept>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "lvlim/lvlim.hpp"

namespace lvlim {
namespace {

// ---- The independent noncentral t ---------------------------------------------------------

long double phi_upper(long double x) {
    return 0.5L * std::erfc(x / std::sqrt(2.0L));
}

// P(T > t) for T noncentral t(nu, delta).
long double reference_nct_upper(long double t, long double nu, long double delta) {
    // X = e^y; the density of y is the chi^2 density of X times X.
    const long double centre = std::log(nu);
    const long double width = 36.0L / std::sqrt(nu) + 4.0L;
    const long double lo = centre - width;
    const long double hi = centre + 12.0L / std::sqrt(nu) + 2.5L;
    const int panels = 6000; // even
    const long double h = (hi - lo) / panels;
    const long double log_norm = -(nu / 2.0L) * std::log(2.0L) - std::lgamma(nu / 2.0L);
    long double sum = 0.0L;
    for (int i = 0; i <= panels; ++i) {
        const long double y = lo + h * i;
        const long double x = std::exp(y);
        const long double density = std::exp(log_norm + (nu / 2.0L) * y - x / 2.0L);
        // P(Z + delta > t sqrt(x / nu)) with Z standard normal.
        const long double f = phi_upper(t * std::sqrt(x / nu) - delta) * density;
        const int weight = i == 0 || i == panels ? 1 : (i % 2 == 1 ? 4 : 2);
        sum += weight * f;
    }
    return sum * h / 3.0L;
}

long double reference_nct_quantile(long double q, long double nu, long double delta) {
    long double lo = delta - 50.0L;
    long double hi = delta * 4.0L + 200.0L;
    for (int i = 0; i < 200 && hi - lo > 1e-15L * std::fabs(hi); ++i) {
        const long double mid = 0.5L * (lo + hi);
        (1.0L - reference_nct_upper(mid, nu, delta) < q ? lo : hi) = mid;
    }
    return 0.5L * (lo + hi);
}

long double reference_normal_quantile(long double p) {
    long double lo = -40.0L;
    long double hi = 40.0L;
    for (int i = 0; i < 200; ++i) {
        const long double mid = 0.5L * (lo + hi);
        (1.0L - phi_upper(mid) < p ? lo : hi) = mid;
    }
    return 0.5L * (lo + hi);
}

// power = P(T > t'_gamma(nu, z_P sqrt n)) for T ~ t(nu, sqrt(n)(z_P - ln r / sigma)).
long double reference_percentile_power(std::size_t n, double sigma, double r, double p,
                                       double gamma) {
    const long double count = static_cast<long double>(n);
    const long double nu = count - 1.0L;
    const long double z = reference_normal_quantile(p);
    const long double t = reference_nct_quantile(gamma, nu, z * std::sqrt(count));
    const long double delta =
        std::sqrt(count) * (z - std::log(static_cast<long double>(r)) / sigma);
    return reference_nct_upper(t, nu, delta);
}

PlanSetting setting_of(Statistic statistic, double gsd, double ratio, double confidence = 0.95,
                       double percentile = 0.95) {
    PlanSetting s;
    s.log_sd = log_sd_from_gsd(gsd);
    s.ratio = ratio;
    s.statistic = statistic;
    s.confidence = confidence;
    s.percentile = percentile;
    return s;
}

// ---- The percentile's closed form ---------------------------------------------------------

TEST(PlanningPercentile, PowerAgreesWithAnIndependentNoncentralT) {
    struct Case {
        std::size_t n;
        double gsd, ratio, p, gamma;
    };
    const Case cases[] = {
        {3, 2.5, 0.5, 0.95, 0.95},   {5, 1.5, 0.3, 0.95, 0.95},   {5, 4.0, 0.9, 0.9, 0.95},
        {10, 2.0, 0.5, 0.99, 0.9},   {10, 3.0, 0.2, 0.95, 0.99},  {20, 2.5, 0.7, 0.95, 0.95},
        {30, 1.5, 0.9, 0.9, 0.9},    {30, 4.0, 0.4, 0.95, 0.95},  {60, 2.5, 0.8, 0.99, 0.95},
        {100, 3.0, 0.6, 0.95, 0.99}, {100, 1.8, 1.0, 0.95, 0.95}, {8, 2.2, 1.4, 0.9, 0.95},
    };
    for (const Case& c : cases) {
        const PowerResult got =
            power(c.n, setting_of(Statistic::percentile, c.gsd, c.ratio, c.gamma, c.p));
        const long double want =
            reference_percentile_power(c.n, std::log(c.gsd), c.ratio, c.p, c.gamma);
        ASSERT_EQ(got.status, Status::ok);
        EXPECT_NEAR(got.value, static_cast<double>(want), 1e-8)
            << "n " << c.n << " gsd " << c.gsd << " ratio " << c.ratio << " P " << c.p << " gamma "
            << c.gamma;
    }
}

// ---- The size of the test and the limits of the integral ------------------------------------

TEST(PlanningLimits, RatioOneGivesTheSizeAndAboveOneLess) {
    for (const Statistic statistic : {Statistic::mean, Statistic::percentile}) {
        for (const std::size_t n : {3UL, 6UL, 25UL}) {
            for (const double gsd : {1.5, 2.5, 4.0}) {
                for (const double gamma : {0.9, 0.95}) {
                    const PowerResult at_one = power(n, setting_of(statistic, gsd, 1.0, gamma));
                    ASSERT_EQ(at_one.status, Status::ok) << to_string(statistic) << " n " << n;
                    // The engine's limits are good to about 1e-6 (of k): so is the size.
                    EXPECT_NEAR(at_one.value, 1.0 - gamma, 2e-6 + at_one.error)
                        << to_string(statistic) << " n " << n << " gsd " << gsd;
                    const PowerResult above = power(n, setting_of(statistic, gsd, 1.3, gamma));
                    EXPECT_LE(above.value, 1.0 - gamma)
                        << to_string(statistic) << " n " << n << " gsd " << gsd;
                }
            }
        }
    }
}

TEST(PlanningLimits, PowerTendsToOneAsTheRatioTendsToZero) {
    for (const Statistic statistic : {Statistic::mean, Statistic::percentile}) {
        for (const std::size_t n : {3UL, 5UL, 20UL}) {
            for (const double gsd : {1.5, 4.0}) {
                double before = 0.0;
                for (const double ratio : {0.5, 1e-2, 1e-4, 1e-8, 1e-20, 1e-60}) {
                    const PowerResult p = power(n, setting_of(statistic, gsd, ratio));
                    ASSERT_EQ(p.status, Status::ok);
                    EXPECT_GE(p.value, before - 1e-6) << "ratio " << ratio << " n " << n;
                    before = p.value;
                }
                // With 3 measurements and a GSD of 4, the mean's limit has a heavy upper tail:
                // the power creeps up slowly.
                EXPECT_GT(before, n == 3 ? 0.99 : 1.0 - 1e-6)
                    << to_string(statistic) << " n " << n << " gsd " << gsd;
            }
        }
    }
}

// ---- The expected ratio -------------------------------------------------------------------

TEST(PlanningExpectedRatio, FallsTowardOneAndIsUnboundedWhereTheTailIsHeavy) {
    const PlanSetting s = setting_of(Statistic::mean, 2.5, 0.5);
    double before = std::numeric_limits<double>::infinity();
    for (const std::size_t n : {10UL, 20UL, 50UL, 200UL, 2000UL}) {
        const PowerResult r = expected_ratio(n, s);
        ASSERT_EQ(r.status, Status::ok) << n;
        EXPECT_GT(r.value, 1.0);
        EXPECT_LT(r.value, before);
        before = r.value;
    }
    EXPECT_LT(before, 1.05);
    // With 3 measurements the upper limit grows faster than the density of s falls: there is no
    // finite expectation to give, and it is said, not returned as a number.
    const PowerResult heavy = expected_ratio(3, s);
    EXPECT_EQ(heavy.status, Status::search_failed);
    EXPECT_TRUE(std::isnan(heavy.value));
    ASSERT_FALSE(heavy.messages.empty());
    EXPECT_NE(heavy.messages.front().find("not bounded"), std::string::npos);
}

// ---- The search -----------------------------------------------------------------------------

TEST(PlanningSampleSize, FindsTheSmallestNReachingTheTarget) {
    const PlanSetting s = setting_of(Statistic::mean, 2.5, 0.5);
    const SampleSize found = sample_size(s, Target{Goal::power, 0.8}, 3, 1000);
    ASSERT_TRUE(found.n.has_value());
    EXPECT_TRUE(found.monotone);
    EXPECT_EQ(found.status, Status::ok);
    const PowerResult at = power(*found.n, s);
    const PowerResult before = power(*found.n - 1, s);
    EXPECT_GE(at.value, 0.8);
    EXPECT_LT(before.value, 0.8);
    EXPECT_EQ(found.achieved, at.value); // the same bits
    for (std::size_t i = 1; i < found.rows.size(); ++i) {
        EXPECT_LT(found.rows[i - 1].n, found.rows[i].n);
    }
    EXPECT_EQ(found.rows.front().n, 3U);
    EXPECT_EQ(found.rows.back().n, 1000U);

    // By the expected ratio of the mean, and by the percentile's power.
    const SampleSize by_ratio = sample_size(s, Target{Goal::expected_ratio, 1.5}, 3, 1000);
    ASSERT_TRUE(by_ratio.n.has_value());
    EXPECT_LE(expected_ratio(*by_ratio.n, s).value, 1.5);
    EXPECT_GT(expected_ratio(*by_ratio.n - 1, s).value, 1.5);
    const PlanSetting pct = setting_of(Statistic::percentile, 2.0, 0.4);
    const SampleSize by_pct = sample_size(pct, Target{Goal::power, 0.9}, 3, 100000);
    ASSERT_TRUE(by_pct.n.has_value());
    EXPECT_GE(power(*by_pct.n, pct).value, 0.9);
    EXPECT_LT(power(*by_pct.n - 1, pct).value, 0.9);
}

TEST(PlanningSampleSize, EdgesOfTheRange) {
    const PlanSetting s = setting_of(Statistic::percentile, 2.5, 0.5);
    // Reached at the first n: that n; never reached: none, said so.
    const SampleSize first = sample_size(s, Target{Goal::power, 0.05}, 5, 400);
    EXPECT_EQ(first.n, std::optional<std::size_t>(5));
    const SampleSize none = sample_size(s, Target{Goal::power, 0.99}, 3, 6);
    EXPECT_FALSE(none.n.has_value());
    EXPECT_TRUE(std::isnan(none.achieved));
    EXPECT_EQ(none.rows.size(), 4U);
    ASSERT_FALSE(none.messages.empty());
    // One n: one row, with both quantities of the mean.
    const SampleSize one =
        sample_size(setting_of(Statistic::mean, 2.5, 0.5), Target{Goal::power, 0.5}, 40, 40);
    ASSERT_EQ(one.rows.size(), 1U);
    EXPECT_FALSE(std::isnan(one.rows[0].power.value));
    EXPECT_FALSE(std::isnan(one.rows[0].expected_ratio.value));
    const PlanRow row = plan_row(40, setting_of(Statistic::mean, 2.5, 0.5));
    EXPECT_EQ(one.rows[0].power.value, row.power.value);
    EXPECT_EQ(one.rows[0].expected_ratio.value, row.expected_ratio.value);
}

TEST(PlanningSampleSize, EachRowIsHandedOnAsItIsComputed) {
    // The callback sees every row once, counted from 1, in the order computed: the grid in
    // increasing n, then the bisection. Its rows are the result's bit for bit, and the result
    // is the same with or without it. An exception it throws ends the search there.
    const PlanSetting s = setting_of(Statistic::percentile, 2.0, 0.4);
    const Target target{Goal::power, 0.9};
    std::vector<PlanRow> seen;
    const SampleSize found =
        sample_size(s, target, 3, 1000, [&](const PlanRow& row, std::size_t count) {
            seen.push_back(row);
            EXPECT_EQ(count, seen.size());
        });
    ASSERT_EQ(seen.size(), found.rows.size());
    EXPECT_FALSE(std::is_sorted(seen.begin(), seen.end(),
                                [](const PlanRow& a, const PlanRow& b) { return a.n < b.n; }));
    EXPECT_EQ(seen.front().n, 3U);
    const auto grid_end =
        std::find_if(seen.begin(), seen.end(), [](const PlanRow& row) { return row.n == 1000; });
    ASSERT_NE(grid_end, seen.end());
    EXPECT_TRUE(std::is_sorted(seen.begin(), grid_end + 1,
                               [](const PlanRow& a, const PlanRow& b) { return a.n < b.n; }));
    std::sort(seen.begin(), seen.end(),
              [](const PlanRow& a, const PlanRow& b) { return a.n < b.n; });
    const SampleSize plain = sample_size(s, target, 3, 1000);
    ASSERT_EQ(plain.rows.size(), found.rows.size());
    for (std::size_t i = 0; i < seen.size(); ++i) {
        EXPECT_EQ(seen[i].n, found.rows[i].n);
        EXPECT_EQ(seen[i].power.value, found.rows[i].power.value);
        EXPECT_EQ(plain.rows[i].power.value, found.rows[i].power.value);
    }
    EXPECT_EQ(plain.n, found.n);
    EXPECT_EQ(plain.achieved, found.achieved);

    std::size_t calls = 0;
    const auto stop = [&](const PlanRow&, std::size_t) {
        ++calls;
        throw std::runtime_error("stopped");
    };
    EXPECT_THROW(static_cast<void>(sample_size(s, target, 3, 1000, stop)), std::runtime_error);
    EXPECT_EQ(calls, 1U);
}

TEST(PlanningRange, ValuesOutsideTheirRangeAreRefused) {
    EXPECT_THROW(static_cast<void>(log_sd_from_gsd(1.0)), std::invalid_argument);
    EXPECT_THROW(static_cast<void>(log_sd_from_gsd(0.5)), std::invalid_argument);
    EXPECT_THROW(static_cast<void>(log_sd_from_gsd(std::nan(""))), std::invalid_argument);
    PlanSetting s = setting_of(Statistic::mean, 2.0, 0.5);
    EXPECT_THROW(static_cast<void>(power(2, s)), std::invalid_argument);
    for (const double ratio : {0.0, -1.0, std::numeric_limits<double>::infinity()}) {
        s.ratio = ratio;
        EXPECT_THROW(static_cast<void>(power(10, s)), std::invalid_argument) << ratio;
    }
    s.ratio.reset();
    EXPECT_THROW(static_cast<void>(power(10, s)), std::invalid_argument); // no ratio
    s.ratio = 0.5;
    for (const double target : {0.0, 1.0, -0.2, 1.5}) {
        EXPECT_THROW(check_search(s, Target{Goal::power, target}, 3, 100), std::invalid_argument)
            << target;
    }
    EXPECT_THROW(check_search(s, Target{Goal::expected_ratio, 1.0}, 3, 100), std::invalid_argument);
    EXPECT_THROW(check_search(s, Target{Goal::power, 0.8}, 10, 9), std::invalid_argument);
    EXPECT_THROW(check_search(s, Target{Goal::power, 0.8}, 3, 100002), std::invalid_argument);
    s.statistic = Statistic::percentile;
    EXPECT_THROW(static_cast<void>(expected_ratio(10, s)), std::invalid_argument);
    s.percentile = 1.0;
    EXPECT_THROW(static_cast<void>(power(10, s)), std::invalid_argument);
}

TEST(PlanningThreads, ConcurrentCallsGiveTheSameBits) {
    const PlanSetting s = setting_of(Statistic::mean, 3.0, 0.6);
    const double alone = power(12, s).value;
    std::vector<double> got(4);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < got.size(); ++i) {
        threads.emplace_back([&, i] { got[i] = power(12, s).value; });
    }
    for (std::thread& t : threads) {
        t.join();
    }
    for (const double value : got) {
        EXPECT_EQ(value, alone);
    }
}

} // namespace
} // namespace lvlim
