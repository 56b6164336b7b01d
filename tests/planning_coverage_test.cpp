// The computed power, measured: simulated lognormal samples (fixed seed), the exact upper limit
// of each through the public API (lognormal_mean for the mean, assess for the percentile), and a
// count of how often it lies below the limit value L = 1. The computed power must lie within 3.5
// standard errors, sqrt(p (1 - p) / N), of the share observed. For the mean with 30 or more
// measurements the average of upper limit / true mean is held to the expected ratio in the same
// way (its standard error from the sample).
//
// A sample of n is simulated through its sufficient statistics: the mean of the logs
// ~ N(mu, sigma^2 / n) and (n - 1) s^2 / sigma^2 ~ chi^2(n - 1) as a sum of n - 1 squared
// normals; std::mt19937_64 (fixed by the standard) with Box-Muller normals, so every standard
// library draws the same samples.
//
// Label `coverage`, like the limits' own coverage test.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "lvlim/lvlim.hpp"
#include "normals.hpp"

namespace lvlim {
namespace {

constexpr int samples = 4000;
constexpr double allowed_standard_errors = 3.5;
constexpr std::uint64_t base_seed = 20261207;

using test::Normals;

struct Case {
    Statistic statistic;
    std::size_t n;
    double gsd;
    double ratio;
};

struct Sample {
    double log_mean;
    double log_sd;
};

// The upper limit of one sample, and whether it lies below L = 1.
double upper_limit(const Case& c, const Sample& x) {
    const Summary summary = summary_from_logs(c.n, x.log_mean, x.log_sd);
    if (c.statistic == Statistic::mean) {
        return lognormal_mean(summary, Kind::upper, 0.95).mean_upper;
    }
    AssessmentOptions options;
    options.percentile = 0.95;
    options.confidence = 0.95;
    options.kind = Kind::upper;
    return assess(summary, options).percentile_upper;
}

TEST(PlanningCoverage, ComputedPowerMatchesSimulatedSamples) {
    const Case cases[] = {
        {Statistic::mean, 5, 1.5, 0.5},        {Statistic::mean, 10, 2.5, 0.4},
        {Statistic::mean, 30, 4.0, 0.6},       {Statistic::mean, 100, 3.0, 0.8},
        {Statistic::mean, 30, 2.0, 0.9},       {Statistic::percentile, 5, 1.5, 0.3},
        {Statistic::percentile, 10, 2.0, 0.4}, {Statistic::percentile, 30, 3.0, 0.5},
        {Statistic::percentile, 100, 4.0, 0.8}, {Statistic::percentile, 100, 1.5, 0.9},
    };
    std::printf("%-10s %5s %5s %5s %10s %10s %8s %8s %10s %10s\n", "statistic", "n", "GSD",
                "ratio", "computed", "simulated", "SE", "z", "E[ratio]", "simulated");
    std::uint64_t seed = base_seed;
    for (const Case& c : cases) {
        seed += 1;
        const double sigma = log_sd_from_gsd(c.gsd);
        PlanSetting setting;
        setting.log_sd = sigma;
        setting.ratio = c.ratio;
        setting.statistic = c.statistic;
        const PlanRow row = plan_row(c.n, setting);
        ASSERT_EQ(row.power.status, Status::ok);

        // The true value is ratio * L with L = 1.
        const double count = static_cast<double>(c.n);
        const double mu = c.statistic == Statistic::mean
                              ? std::log(c.ratio) - sigma * sigma / 2.0
                              : std::log(c.ratio) - 1.6448536269514722 * sigma;
        std::vector<Sample> drawn(samples);
        Normals normals(seed);
        for (Sample& x : drawn) {
            x.log_mean = mu + sigma / std::sqrt(count) * normals.next();
            double chi2 = 0.0;
            for (std::size_t i = 1; i < c.n; ++i) {
                const double z = normals.next();
                chi2 += z * z;
            }
            x.log_sd = sigma * std::sqrt(chi2 / (count - 1.0));
            ASSERT_TRUE(x.log_sd >= min_sigma && x.log_sd <= max_sigma);
        }
        std::vector<double> limits(samples);
        const unsigned workers = std::max(1U, std::thread::hardware_concurrency());
        std::vector<std::thread> threads;
        for (unsigned w = 0; w < workers; ++w) {
            threads.emplace_back([&, w] {
                for (std::size_t i = w; i < drawn.size(); i += workers) {
                    limits[i] = upper_limit(c, drawn[i]);
                }
            });
        }
        for (std::thread& t : threads) {
            t.join();
        }
        int below = 0;
        double sum = 0.0;
        double sum2 = 0.0;
        for (const double u : limits) {
            below += u < 1.0 ? 1 : 0;
            sum += u / c.ratio;
            sum2 += (u / c.ratio) * (u / c.ratio);
        }
        const double simulated = below / static_cast<double>(samples);
        const double p = row.power.value;
        const double se = std::sqrt(p * (1.0 - p) / samples);
        const double z = (simulated - p) / se;
        const double ratio_mean = sum / samples;
        const double ratio_se =
            std::sqrt((sum2 / samples - ratio_mean * ratio_mean) / (samples - 1.0));
        const bool ratio_checked = c.statistic == Statistic::mean && c.n >= 30;
        std::printf("%-10s %5zu %5.2g %5.2g %10.6f %10.6f %8.5f %8.3f %10.6g %10.6g\n",
                    to_string(c.statistic), c.n, c.gsd, c.ratio, p, simulated, se, z,
                    row.expected_ratio.value, ratio_checked ? ratio_mean : std::nan(""));
        EXPECT_LE(std::fabs(z), allowed_standard_errors)
            << to_string(c.statistic) << " n " << c.n << " gsd " << c.gsd << " ratio " << c.ratio;
        if (ratio_checked) {
            ASSERT_EQ(row.expected_ratio.status, Status::ok);
            EXPECT_LE(std::fabs(ratio_mean - row.expected_ratio.value),
                      allowed_standard_errors * ratio_se)
                << "expected ratio, n " << c.n << " gsd " << c.gsd;
        }
    }
}

} // namespace
} // namespace lvlim
