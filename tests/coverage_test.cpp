// Coverage of the limits, measured: simulated normal samples (fixed seed), the engine run on
// each sample's estimates, and a count of how often each limit lies on the right side of the
// true mu + lambda*sigma^2.
//
// A normal sample of a setting (mu, sigma, nu, gammasquared) is simulated through its
// sufficient statistics, which are independent:
//     mu-hat      ~ N(mu, sigma^2 / gammasquared)       (SE(mu-hat) = sigma/gamma)
//     sigma-hat^2 ~ sigma^2 chi2_nu / nu                 (chi2_nu a sum of nu squared normals)
// Each sample goes through `onetail` (kinds 1 and 2) and `twotail` at every alpha, with the
// default control values. The engine is called directly, not through the public API, because
// sigma-hat of a small sample falls outside the API's range [0.001, 10] now and then.
//
// A limit covers theta = mu + lambda*sigma^2 when
//     upper (kind 1):   ConfidenceLimit >= theta
//     lower (kind 2):   ConfidenceLimit <= theta
//     pair  (kind 3):   LowerConfidenceLimit <= theta <= UpperConfidenceLimit for lambda > 0,
//                       UpperConfidenceLimit <= theta <= LowerConfidenceLimit for lambda < 0
//                       (the mirrored pair, as documented).
// Each observed coverage must lie within 3.5 standard errors, sqrt(alpha (1 - alpha) / N), of
// alpha. The same samples serve every kind and alpha of a setting.
//
// Random numbers: std::mt19937_64, whose output the standard fixes, turned into doubles with
// 53 bits and into normals by Box-Muller, so the samples are the same with every standard
// library (std::normal_distribution is not). Each setting has its own seed; the samples are
// drawn before the work is shared out, so the counts do not depend on the number of threads
// (LVLIM_COVERAGE_THREADS, default: every core).
//
// Label `coverage`: run by the default test preset and CI, left out of the sanitize and dev
// presets (unoptimised, it takes many minutes); `ctest --preset coverage` runs it alone.
#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "Guts/control.hpp"
#include "Guts/mainguts.hpp"
#include "Guts/messages.hpp"
#include "normals.hpp"

namespace lvlim {
namespace {

constexpr int samples_per_setting = 2000;
constexpr double allowed_standard_errors = 3.5;
constexpr std::uint64_t base_seed = 20261207;

struct Setting {
    const char* name;
    double lambda;
    double sigma;
    int nu;
    double gammasquared;
    double mu;
};

// The lognormal setting (lambda 0.5, gammasquared = n, nu = n - 1) at n = 3, 10 and 50 and
// sigma 0.5, 1.5 and 3; then a negative lambda, a large one and a small one, the last two with
// gammasquared unrelated to nu.
const std::vector<Setting> settings = {
    {"lognormal_n3_sigma0_5", 0.5, 0.5, 2, 3.0, 1.0},
    {"lognormal_n3_sigma1_5", 0.5, 1.5, 2, 3.0, 1.0},
    {"lognormal_n3_sigma3", 0.5, 3.0, 2, 3.0, 1.0},
    {"lognormal_n10_sigma0_5", 0.5, 0.5, 9, 10.0, 1.0},
    {"lognormal_n10_sigma1_5", 0.5, 1.5, 9, 10.0, 1.0},
    {"lognormal_n10_sigma3", 0.5, 3.0, 9, 10.0, 1.0},
    {"lognormal_n50_sigma0_5", 0.5, 0.5, 49, 50.0, 1.0},
    {"lognormal_n50_sigma1_5", 0.5, 1.5, 49, 50.0, 1.0},
    {"lognormal_n50_sigma3", 0.5, 3.0, 49, 50.0, 1.0},
    {"lambda_minus0_5_nu9_g10_sigma1_5", -0.5, 1.5, 9, 10.0, 1.0},
    {"lambda2_nu20_g5_sigma0_5", 2.0, 0.5, 20, 5.0, -1.0},
    {"lambda0_05_nu5_g30_sigma3", 0.05, 3.0, 5, 30.0, 2.0},
};

constexpr std::array<double, 2> alphas = {0.9, 0.99};
constexpr std::array<const char*, 3> kind_names = {"upper", "lower", "two-sided"};

using test::Normals;

struct Sample {
    double mu_hat;
    double sigma_hat;
};

std::vector<Sample> draw(const Setting& s, std::uint64_t seed) {
    Normals z(seed);
    std::vector<Sample> out;
    out.reserve(samples_per_setting);
    for (int i = 0; i < samples_per_setting; ++i) {
        const double mu_hat = s.mu + s.sigma / std::sqrt(s.gammasquared) * z.next();
        double chi2 = 0.0;
        for (int j = 0; j < s.nu; ++j) {
            const double x = z.next();
            chi2 += x * x;
        }
        out.push_back({mu_hat, s.sigma * std::sqrt(chi2 / s.nu)});
    }
    return out;
}

// What one sample gives: for each alpha, whether each kind covers, and whether a search of the
// sample reported a failure.
struct Verdict {
    std::array<std::array<bool, 3>, alphas.size()> covered{};
    bool search_failed = false;
};

Verdict judge(const Setting& s, const Sample& x) {
    const double theta = s.mu + s.lambda * s.sigma * s.sigma;
    const double nu = s.nu;
    Verdict v;
    for (std::size_t a = 0; a < alphas.size(); ++a) {
        for (int kind = 1; kind <= 2; ++kind) {
            double k = 0.0;
            double limit = 0.0;
            double time = 0.0;
            int count = 0;
            onetail(kind, x.mu_hat, x.sigma_hat, nu, alphas[a], s.lambda, s.gammasquared,
                    default_bessel_arg_top, default_tolerance, default_result_tol,
                    default_maximum_iterations, k, limit, time, count);
            v.covered[a][static_cast<std::size_t>(kind - 1)] =
                kind == 1 ? limit >= theta : limit <= theta;
        }
        double lower = 0.0;
        double k_lower = 0.0;
        double upper = 0.0;
        double k_upper = 0.0;
        double time = 0.0;
        int count_lower = 0;
        int count_upper = 0;
        twotail(x.mu_hat, x.sigma_hat, nu, alphas[a], s.lambda, s.gammasquared,
                default_bessel_arg_top, default_tolerance, default_result_tol,
                default_maximum_iterations, lower, k_lower, upper, k_upper, time, count_lower,
                count_upper);
        v.covered[a][2] = s.lambda > 0.0 ? (lower <= theta && theta <= upper)
                                         : (upper <= theta && theta <= lower);
    }
    return v;
}

int thread_count() {
    if (const char* requested = std::getenv("LVLIM_COVERAGE_THREADS")) {
        return std::max(1, std::atoi(requested));
    }
    return static_cast<int>(std::max(1U, std::thread::hardware_concurrency()));
}

// Runs every sample of a setting on several threads; each thread has its own control block and
// message stream (both thread_local), and keeps what the searches report.
std::vector<Verdict> judge_all(const Setting& s, const std::vector<Sample>& samples) {
    std::vector<Verdict> verdicts(samples.size());
    std::atomic<std::size_t> next{0};
    const auto work = [&] {
        std::ostringstream messages;
        engine_messages = &messages;
        set_control_defaults();
        for (std::size_t i = next++; i < samples.size(); i = next++) {
            messages.str("");
            verdicts[i] = judge(s, samples[i]);
            verdicts[i].search_failed = messages.str().find("failed") != std::string::npos;
        }
        engine_messages = &std::cout;
    };
    std::vector<std::thread> threads;
    const int n = thread_count();
    threads.reserve(static_cast<std::size_t>(n));
    for (int t = 0; t < n; ++t) {
        threads.emplace_back(work);
    }
    for (std::thread& t : threads) {
        t.join();
    }
    return verdicts;
}

class Coverage : public testing::TestWithParam<std::size_t> {};

TEST_P(Coverage, WithinThreePointFiveStandardErrorsOfAlpha) {
    const std::size_t index = GetParam();
    const Setting& s = settings[index];
    const auto samples = draw(s, base_seed + index);
    const auto verdicts = judge_all(s, samples);
    const double N = static_cast<double>(samples.size());
    const auto failed = std::count_if(verdicts.begin(), verdicts.end(),
                                      [](const Verdict& v) { return v.search_failed; });
    std::printf("coverage %-34s lambda %5g sigma %3g nu %2d gammasquared %2g, %zu samples, "
                "%td with a failed search\n",
                s.name, s.lambda, s.sigma, s.nu, s.gammasquared, samples.size(), failed);
    for (std::size_t a = 0; a < alphas.size(); ++a) {
        for (std::size_t kind = 0; kind < 3; ++kind) {
            const auto covered =
                std::count_if(verdicts.begin(), verdicts.end(),
                              [&](const Verdict& v) { return v.covered[a][kind]; });
            const double alpha = alphas[a];
            const double observed = static_cast<double>(covered) / N;
            const double se = std::sqrt(alpha * (1.0 - alpha) / N);
            const double z = (observed - alpha) / se;
            std::printf("coverage %-34s alpha %4g %-9s %5td/%zu = %.4f  (%+.2f SE)\n", s.name,
                        alpha, kind_names[kind], covered, samples.size(), observed, z);
            EXPECT_LE(std::fabs(z), allowed_standard_errors)
                << s.name << ", alpha " << alpha << ", " << kind_names[kind] << ": observed "
                << observed << " in " << samples.size() << " samples";
        }
    }
    std::fflush(stdout);
}

std::string setting_name(const testing::TestParamInfo<std::size_t>& param) {
    return settings[param.param].name;
}

INSTANTIATE_TEST_SUITE_P(Settings, Coverage, testing::Range(std::size_t{0}, settings.size()),
                         setting_name);

} // namespace
} // namespace lvlim
