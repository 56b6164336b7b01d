// Coverage of the assessment's one-sided upper limits, measured: lognormal samples simulated
// with a fixed seed, each assessed through the public API, and a count of how often
//   the upper limit of the 95th percentile  >= the true exp(mu + z_0.95 sigma), and
//   the upper limit of the exceedance of L  >= the true 1 - Phi((ln L - mu) / sigma).
// Each observed coverage must lie within 3.5 standard errors, sqrt(gamma (1 - gamma) / N), of
// gamma, at n = 5, 20 and 100.
//
// A sample is simulated through its sufficient statistics, which are independent:
//     ybar ~ N(mu, sigma^2 / n),   s^2 ~ sigma^2 chi2_(n-1) / (n - 1)   (a sum of n - 1 squared
// normals). The samples are drawn before the work is shared out over the threads
// (LVLIM_COVERAGE_THREADS, default: every core), so the counts do not depend on their number.
//
// Label `coverage`: run by the default test preset and CI, left out of the sanitize and dev
// presets.
#include "lvlim/assessment.hpp"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "normals.hpp"

namespace lvlim {
namespace {

constexpr int samples = 2000;
constexpr double allowed_standard_errors = 3.5;
constexpr double mu = 0.2;
constexpr double sigma = 0.9;
constexpr double z_95 = 1.6448536269514722; // the standard normal 0.95 quantile
// The limit value sits at the true 90th percentile: a true exceedance of 0.1.
constexpr double z_90 = 1.2815515655446004;

unsigned thread_count() {
    if (const char* text = std::getenv("LVLIM_COVERAGE_THREADS")) {
        return static_cast<unsigned>(std::max(1, std::atoi(text)));
    }
    return std::max(1U, std::thread::hardware_concurrency());
}

void check_coverage(std::size_t n, double gamma, std::uint64_t seed) {
    test::Normals normals(seed);
    std::vector<Summary> drawn;
    drawn.reserve(samples);
    const double root_n = std::sqrt(static_cast<double>(n));
    for (int i = 0; i < samples; ++i) {
        const double ybar = mu + sigma / root_n * normals.next();
        double chi2 = 0.0;
        for (std::size_t j = 1; j < n; ++j) {
            const double z = normals.next();
            chi2 += z * z;
        }
        drawn.push_back(
            summary_from_logs(n, ybar, sigma * std::sqrt(chi2 / static_cast<double>(n - 1))));
    }
    const double true_percentile = std::exp(mu + z_95 * sigma);
    const double limit = std::exp(mu + z_90 * sigma);
    const double true_exceedance = 0.1;

    std::atomic<int> percentile_covered{0};
    std::atomic<int> exceedance_covered{0};
    std::atomic<int> failed{0};
    std::atomic<std::size_t> next{0};
    std::vector<std::thread> threads;
    for (unsigned t = 0; t < thread_count(); ++t) {
        threads.emplace_back([&] {
            AssessmentOptions options;
            options.kind = Kind::upper;
            options.confidence = gamma;
            options.limit = limit;
            for (std::size_t i; (i = next++) < drawn.size();) {
                const Assessment a = assess(drawn[i], options);
                if (a.status != Status::ok) {
                    ++failed;
                    continue;
                }
                percentile_covered += a.percentile_upper >= true_percentile ? 1 : 0;
                exceedance_covered += a.exceedance_upper >= true_exceedance ? 1 : 0;
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(failed, 0);
    const double se = std::sqrt(gamma * (1.0 - gamma) / samples);
    const double percentile = static_cast<double>(percentile_covered) / samples;
    const double exceedance = static_cast<double>(exceedance_covered) / samples;
    std::printf("n=%zu gamma=%g: coverage of the percentile upper limit %.4f, of the exceedance "
                "upper limit %.4f (SE %.4f)\n",
                n, gamma, percentile, exceedance, se);
    EXPECT_NEAR(percentile, gamma, allowed_standard_errors * se);
    EXPECT_NEAR(exceedance, gamma, allowed_standard_errors * se);
}

TEST(AssessmentCoverage, N5) {
    check_coverage(5, 0.95, 19005);
    check_coverage(5, 0.9, 19105);
}
TEST(AssessmentCoverage, N20) {
    check_coverage(20, 0.95, 19020);
}
TEST(AssessmentCoverage, N100) {
    check_coverage(100, 0.95, 19100);
}

} // namespace
} // namespace lvlim
