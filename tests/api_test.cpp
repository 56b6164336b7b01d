// The public API against the batch program: a grid of records run through lvlim::run in process
// (compared at the printed precision, messages included) and through the engine entries
// directly (compared to the bit); its range checks, a failed search, threads, and silence.
#include <bit>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "Guts/control.hpp"
#include "Guts/mainguts.hpp"
#include "Guts/messages.hpp"
#include "common/list_output.hpp"
#include "common/number_text.hpp"
#include "driver/run.hpp"
#include "lvlim/lvlim.hpp"

namespace lvlim {
namespace {

constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double nan = std::numeric_limits<double>::quiet_NaN();

struct Record {
    Kind kind;
    double alpha;
    Setting setting;
    Controls controls;
};

// The kinds crossed with typical and extreme settings (both signs of lambda, fractional nu,
// gammasquared other than nu + 1), and a few records with other control values.
std::vector<Record> grid() {
    std::vector<Record> records;
    for (const Kind kind : {Kind::upper, Kind::lower, Kind::two_sided}) {
        for (const double sigma : {0.1, 1.2, 6.0}) {
            for (const double nu : {2.0, 20.0, 407.5}) {
                for (const double lambda : {0.5, -0.5}) {
                    records.push_back({kind, 0.95, {3.1, sigma, nu, nu + 1.0, lambda}, {}});
                }
            }
        }
        records.push_back({kind, 0.8, {-2.0, 0.7, 9.0, 3.0, 1.7}, {}});
        records.push_back({kind, 0.99, {0.0, 2.0, 50.0, 51.0, 0.5}, {5, 800.0, 1e-4, -1.0}});
        records.push_back({kind, 0.9, {1.0, 1.0, 30.0, 31.0, 0.5}, {200, 0.0, 1e-10, 1e-9}});
    }
    return records;
}

std::string input_of(const Record& r) {
    std::ostringstream in;
    in.precision(17);
    const int which = r.kind == Kind::upper ? 1 : r.kind == Kind::lower ? 2 : 3;
    const Setting& s = r.setting;
    const Controls& c = r.controls;
    in << which << ' ' << r.alpha << ' ' << s.lambda << ' ' << s.sigma << ' ' << s.nu << ' '
       << s.mu << ' ' << s.gammasquared << ' ' << c.max_iterations << ' ' << c.bessel_arg_top
       << ' ' << c.tolerance << ' ' << c.result_tol << '\n';
    return in.str();
}

// What the program prints: the lines before the record (the searches' messages) and the
// record's values by key, as printed ("2.84838639").
struct Printed {
    std::vector<std::string> messages;
    std::map<std::string, std::string> value;
};
Printed run_program(const std::string& input) {
    std::istringstream in(input);
    std::ostringstream out;
    std::ostringstream err;
    run(in, out, err);
    Printed printed;
    bool in_record = false;
    std::istringstream lines(out.str());
    for (std::string line; std::getline(lines, line);) {
        in_record = in_record || line.starts_with(" WhichLimit=");
        if (!in_record) {
            printed.messages.push_back(line.substr(1));
            continue;
        }
        const std::size_t equals = line.find('=');
        std::string value = line.substr(equals + 1);
        value = value.substr(value.find_first_not_of(' '));
        value.pop_back(); // the '+'
        printed.value[line.substr(1, equals - 1)] = value;
    }
    return printed;
}

std::string as_printed(double value) {
    const std::string text = format_list_real(value);
    return text.substr(text.find_first_not_of(' '));
}
std::string as_printed(int value) {
    const std::string text = format_list_integer(value);
    return text.substr(text.find_first_not_of(' '));
}

bool same_bits(double a, double b) {
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

TEST(Api, LimitsAsTheProgramPrintsThemAndAsTheEngineReturnsThem) {
    for (const Record& r : grid()) {
        const std::string input = input_of(r);
        SCOPED_TRACE(input);
        const Limits got = limits(r.setting, r.kind, r.alpha, r.controls);
        const Printed printed = run_program(input);
        EXPECT_EQ(got.messages, printed.messages);
        const Setting& s = r.setting;
        const Controls& c = r.controls;
        double time = 0.0;
        if (r.kind == Kind::two_sided) {
            EXPECT_EQ(as_printed(got.k_lower), printed.value.at("StandardLowerLimit"));
            EXPECT_EQ(as_printed(got.k_upper), printed.value.at("StandardUpperLimit"));
            // lower <= upper: for a negative lambda the program's pair is mirrored.
            const bool mirrored = s.lambda < 0.0;
            EXPECT_EQ(as_printed(mirrored ? got.upper : got.lower),
                      printed.value.at("LowerConfidenceLimit"));
            EXPECT_EQ(as_printed(mirrored ? got.lower : got.upper),
                      printed.value.at("UpperConfidenceLimit"));
            EXPECT_LE(got.lower, got.upper);
            EXPECT_EQ(as_printed(got.iterations_lower), printed.value.at("NumberIterationsLower"));
            EXPECT_EQ(as_printed(got.iterations_upper), printed.value.at("NumberIterationsUpper"));

            double lower = 0.0;
            double k_lower = 0.0;
            double upper = 0.0;
            double k_upper = 0.0;
            int it_lower = 0;
            int it_upper = 0;
            std::ostringstream discard;
            engine_messages = &discard;
            twotail(s.mu, s.sigma, s.nu, r.alpha, s.lambda, s.gammasquared, c.bessel_arg_top,
                    c.tolerance, c.result_tol, c.max_iterations, lower, k_lower, upper, k_upper,
                    time, it_lower, it_upper);
            engine_messages = &std::cout;
            EXPECT_TRUE(same_bits(got.k_lower, k_lower) && same_bits(got.k_upper, k_upper));
            EXPECT_TRUE(same_bits(got.lower, mirrored ? upper : lower));
            EXPECT_TRUE(same_bits(got.upper, mirrored ? lower : upper));
            EXPECT_EQ(got.iterations_lower, it_lower);
            EXPECT_EQ(got.iterations_upper, it_upper);
        } else {
            const bool is_upper = r.kind == Kind::upper;
            const double k = is_upper ? got.k_upper : got.k_lower;
            const double limit = is_upper ? got.upper : got.lower;
            const int iterations = is_upper ? got.iterations_upper : got.iterations_lower;
            EXPECT_EQ(as_printed(k), printed.value.at("StandardConfidenceLimit"));
            EXPECT_EQ(as_printed(limit), printed.value.at("ConfidenceLimit"));
            EXPECT_EQ(as_printed(iterations), printed.value.at("NumberIterations"));
            // The other side is not computed.
            EXPECT_TRUE(std::isnan(is_upper ? got.k_lower : got.k_upper));
            EXPECT_TRUE(std::isnan(is_upper ? got.lower : got.upper));
            EXPECT_EQ(is_upper ? got.iterations_lower : got.iterations_upper, 0);

            double engine_k = 0.0;
            double engine_limit = 0.0;
            int engine_iterations = 0;
            onetail(is_upper ? 1 : 2, s.mu, s.sigma, s.nu, r.alpha, s.lambda, s.gammasquared,
                    c.bessel_arg_top, c.tolerance, c.result_tol, c.max_iterations, engine_k,
                    engine_limit, time, engine_iterations);
            EXPECT_TRUE(same_bits(k, engine_k) && same_bits(limit, engine_limit));
            EXPECT_EQ(iterations, engine_iterations);
        }
    }
}

// Calls f and returns the message of the std::invalid_argument it raises ("" if none).
std::string refusal(const std::function<void()>& f) {
    try {
        f();
    } catch (const std::invalid_argument& e) {
        return e.what();
    }
    return "";
}

TEST(Api, EveryCheckedInputOutOfRangeOrNotFiniteIsRefusedByName) {
    struct Case {
        std::function<void(Setting&, double&, Controls&)> spoil;
        const char* message;
    };
    const std::vector<Case> cases = {
        {[](Setting&, double& a, Controls&) { a = 0.0; }, "confidence = 0 is outside (0, 1)"},
        {[](Setting&, double& a, Controls&) { a = 1.0; }, "confidence = 1 is outside (0, 1)"},
        {[](Setting&, double& a, Controls&) { a = nan; }, "confidence = nan is outside (0, 1)"},
        {[](Setting& s, double&, Controls&) { s.sigma = 0.0005; },
         "sigma = 0.0005 is outside the supported range [0.001, 10]"},
        {[](Setting& s, double&, Controls&) { s.sigma = 10.5; },
         "sigma = 10.5 is outside the supported range [0.001, 10]"},
        {[](Setting& s, double&, Controls&) { s.sigma = inf; },
         "sigma = inf is outside the supported range [0.001, 10]"},
        {[](Setting& s, double&, Controls&) { s.nu = 1.5; },
         "nu = 1.5 is outside the supported range [2, 100000]"},
        {[](Setting& s, double&, Controls&) { s.nu = nan; },
         "nu = nan is outside the supported range [2, 100000]"},
        {[](Setting& s, double&, Controls&) { s.nu = 1e6; },
         "nu = 1000000 is outside the supported range [2, 100000]"},
        {[](Setting& s, double&, Controls&) { s.mu = -inf; },
         "mu = -inf is outside the finite numbers"},
        {[](Setting& s, double&, Controls&) { s.mu = nan; }, "mu = nan is outside the finite"},
        {[](Setting& s, double&, Controls&) { s.gammasquared = 0.0; },
         "gammasquared = 0 is outside the finite positive numbers"},
        {[](Setting& s, double&, Controls&) { s.gammasquared = inf; },
         "gammasquared = inf is outside the finite positive numbers"},
        {[](Setting& s, double&, Controls&) { s.lambda = 0.0; },
         "lambda = 0 is outside the finite non-zero numbers"},
        {[](Setting& s, double&, Controls&) { s.lambda = nan; },
         "lambda = nan is outside the finite non-zero numbers"},
        {[](Setting&, double&, Controls& c) { c.bessel_arg_top = 800.5; },
         "bessel_arg_top = 800.5 is outside"},
        {[](Setting&, double&, Controls& c) { c.bessel_arg_top = nan; },
         "bessel_arg_top = nan is outside"},
        {[](Setting&, double&, Controls& c) { c.bessel_arg_top = -inf; },
         "bessel_arg_top = -inf is outside"},
        {[](Setting&, double&, Controls& c) { c.tolerance = inf; },
         "tolerance = inf is outside the finite numbers"},
        {[](Setting&, double&, Controls& c) { c.result_tol = nan; },
         "result_tol = nan is outside the finite numbers"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        Setting setting;
        double alpha = 0.95;
        Controls controls;
        c.spoil(setting, alpha, controls);
        const std::string message =
            refusal([&] { (void)limits(setting, Kind::upper, alpha, controls); });
        EXPECT_TRUE(message.starts_with(c.message)) << message;
        // The check alone refuses it with the same words.
        EXPECT_EQ(refusal([&] { check_setting(setting, alpha, controls); }), message);
    }
    EXPECT_EQ(refusal([] { check_setting(Setting{}, 0.95); }), "");

    // The lognormal sample: its values, its size and its spread.
    EXPECT_EQ(refusal([] { Summariser().add(-1.0); }).substr(0, 39),
              "measurement -1 is not positive and fini");
    EXPECT_NE(refusal([] { Summariser().add(nan); }).find("measurement nan"), std::string::npos);
    EXPECT_NE(refusal([] { Summariser().add(inf); }).find("measurement inf"), std::string::npos);
    const std::vector<double> two = {1.0, 2.0};
    EXPECT_EQ(refusal([&] { (void)lognormal_mean(two, Kind::upper, 0.95); }),
              "n = 2 is outside the supported range [3, 100001] of measurements");
    const std::vector<double> flat = {2.0, 2.0, 2.0, 2.0};
    EXPECT_EQ(refusal([&] { (void)lognormal_mean(flat, Kind::upper, 0.95); }),
              "log_sd = 0 is outside the supported range [0.001, 10]");
    EXPECT_EQ(refusal([] { (void)lognormal_mean(summary_from_logs(200000, 0, 1), Kind::upper,
                                                0.95); }),
              "n = 200000 is outside the supported range [3, 100001] of measurements");
    EXPECT_EQ(refusal([] { (void)kind_from_string("both"); }),
              "kind 'both' is not one of upper, lower, two-sided");
}

TEST(Api, AFailedSearchIsAStatusWithItsMessages) {
    const Setting setting{0.0, 1.2, 20.0, 21.0, 0.5};
    const Limits failed = limits(setting, Kind::two_sided, 0.9999999999999);
    EXPECT_EQ(failed.status, Status::search_failed);
    ASSERT_FALSE(failed.messages.empty());
    EXPECT_EQ(failed.messages.back(), "Method (Only Bisection) failed...");
    const Limits fine = limits(setting, Kind::two_sided, 0.95);
    EXPECT_EQ(fine.status, Status::ok);
    EXPECT_TRUE(fine.messages.empty());
    // A limit of the mean beyond the largest double is said, its status unchanged.
    const LognormalMean huge =
        lognormal_mean(summary_from_logs(3, 700.0, 2.0), Kind::two_sided, 0.95);
    EXPECT_EQ(huge.limits.status, Status::ok);
    EXPECT_TRUE(std::isinf(huge.mean_upper));
    ASSERT_EQ(huge.limits.messages.size(), 1U);
    EXPECT_EQ(huge.limits.messages[0],
              "the upper limit of the mean, exp(" + number_text::shortest(huge.limits.upper) +
                  "), exceeds the largest double and is given as infinity; its logarithm is exact");
    EXPECT_TRUE(lognormal_mean(summary_from_logs(3, 700.0, 2.0), Kind::lower, 0.95)
                    .limits.messages.empty());
}

// With refine, a limit the default tolerance cannot confirm is searched again; one that stays
// unconfirmed says which limit and why, even where the searches themselves said nothing.
TEST(Api, RefineConfirmsWhatItCanAndExplainsWhatItCannot) {
    Controls refine;
    refine.refine = true;
    // 1000 measurements whose logs have sd 3.8593: unconfirmed at the default tolerance.
    const Setting wide{0.0, 3.8593, 999.0, 1000.0, 0.5};
    const Limits plain = limits(wide, Kind::two_sided, 0.95);
    EXPECT_EQ(plain.status, Status::search_failed);
    EXPECT_TRUE(plain.messages.empty());
    const Limits refined = limits(wide, Kind::two_sided, 0.95, refine);
    EXPECT_EQ(refined.status, Status::ok);
    EXPECT_EQ(refined.upper, lognormal_mean(summary_from_logs(1000, 0.0, 3.8593),
                                            Kind::two_sided, 0.95).limits.upper);
    // Four measurements, alpha 0.999 and a sigma of 5: the upper limit stays unconfirmed.
    const Setting tail{0.0, 5.0, 3.0, 4.0, 0.5};
    const Limits stays = limits(tail, Kind::two_sided, 0.999, refine);
    EXPECT_EQ(stays.status, Status::search_failed);
    ASSERT_EQ(stays.messages.size(), 1U);
    EXPECT_TRUE(stays.messages[0].starts_with("the upper limit (standardized 583.6"))
        << stays.messages[0];
    EXPECT_TRUE(stays.messages[0].ends_with("is not confirmed at tolerance 1e-12: one "
                                            "Newton step on its condition moves it by more "
                                            "than 1e-6 of max(1, |k|)"))
        << stays.messages[0];
    // The searches' own report of a failure is left as it is.
    const Limits reported =
        limits(Setting{0.0, 1.2, 20.0, 21.0, 0.5}, Kind::two_sided, 0.9999999999999, refine);
    EXPECT_EQ(reported.messages.back(), "Method (Only Bisection) failed...");
    // check_setting refuses what limits refuses, with the same message.
    EXPECT_NO_THROW(check_setting(wide, 0.95));
    EXPECT_THROW(check_setting(Setting{0.0, 20.0, 20.0, 21.0, 0.5}, 0.95), std::invalid_argument);
}

TEST(Api, ManyThreadsAtOnceGiveWhatOneThreadGives) {
    const std::vector<Record> records = grid();
    const auto all = [&] {
        std::vector<Limits> out;
        out.reserve(records.size());
        for (const Record& r : records) {
            out.push_back(limits(r.setting, r.kind, r.alpha, r.controls));
        }
        return out;
    };
    const std::vector<Limits> alone = all();
    std::vector<std::vector<Limits>> together(8);
    std::vector<std::thread> threads;
    threads.reserve(together.size());
    for (auto& result : together) {
        threads.emplace_back([&result, &all] { result = all(); });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    for (const auto& result : together) {
        ASSERT_EQ(result.size(), alone.size());
        for (std::size_t i = 0; i < alone.size(); ++i) {
            EXPECT_TRUE(same_bits(result[i].k_lower, alone[i].k_lower) &&
                        same_bits(result[i].k_upper, alone[i].k_upper) &&
                        same_bits(result[i].lower, alone[i].lower) &&
                        same_bits(result[i].upper, alone[i].upper))
                << input_of(records[i]);
            EXPECT_EQ(result[i].iterations_lower, alone[i].iterations_lower);
            EXPECT_EQ(result[i].iterations_upper, alone[i].iterations_upper);
            EXPECT_EQ(result[i].messages, alone[i].messages);
        }
    }
}

TEST(Api, PrintsNothingAndLeavesTheCallersSettingsAlone) {
    std::ostringstream mine;
    engine_messages = &mine;
    controlparms.Tolerance = 0.5;
    testing::internal::CaptureStdout();
    const Limits failed =
        limits({0.0, 1.2, 20.0, 21.0, 0.5}, Kind::two_sided, 0.9999999999999, {});
    const std::vector<double> x = {3.2, 5.1, 12.7, 8.4, 2.1, 25.3};
    (void)lognormal_mean(x, Kind::two_sided, 0.95);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_FALSE(failed.messages.empty());
    EXPECT_EQ(mine.str(), "");
    EXPECT_EQ(engine_messages, &mine);
    EXPECT_EQ(controlparms.Tolerance, 0.5);
    engine_messages = &std::cout;
    set_control_defaults();
}

} // namespace
} // namespace lvlim
