// The range tests of a run's inputs and the exact text of the validation message.
#include <cmath>
#include <string>

#include <gtest/gtest.h>

#include "Guts/mainguts.hpp"

namespace lvlim {
namespace {

// The values a run passes; a test changes the ones it is about.
struct Inputs {
    int WhichLimit = 3;
    double alpha = 0.95;
    double lambda = 0.5;
    double sigma = 1.0;
    double nu = 20.0;
    double mu = 3.1;
    double gammasquared = 21.0;
    int MaximumIterations = default_maximum_iterations;
    double BesselArgTop = default_bessel_arg_top;
    double Tolerance = default_tolerance;
    double ResultTol = default_result_tol;
};

struct Verdict {
    bool ok;
    std::string message;
};

// Runs the validator with a message of `capacity` characters, pre-filled with 'x' so that
// an untouched message shows.
Verdict check(const Inputs& in, std::size_t capacity = arguments_message_length) {
    Verdict v{false, std::string(capacity, 'x')};
    checkarguments(in.WhichLimit, in.alpha, in.lambda, in.sigma, in.nu, in.mu, in.gammasquared,
                   in.MaximumIterations, in.BesselArgTop, in.Tolerance, in.ResultTol, v.ok,
                   v.message);
    return v;
}

std::string padded(const std::string& text) {
    EXPECT_LE(text.size(), arguments_segment_length);
    return text + std::string(arguments_segment_length - text.size(), ' ');
}

const std::string blank_segment(arguments_segment_length, ' ');

TEST(CheckArguments, ValidInputsLeaveTheMessageUntouched) {
    const Verdict v = check(Inputs{});
    EXPECT_TRUE(v.ok);
    EXPECT_EQ(v.message, std::string(arguments_message_length, 'x'));
}

TEST(CheckArguments, RangeEndsAndUntestedValues) {
    struct Case {
        const char* what;
        Inputs in;
        bool ok;
    };
    auto with = [](auto change) {
        Inputs in;
        change(in);
        return in;
    };
    const Case cases[] = {
        {"alpha 0", with([](Inputs& i) { i.alpha = 0.0; }), false},
        {"alpha 1", with([](Inputs& i) { i.alpha = 1.0; }), false},
        {"alpha tiny", with([](Inputs& i) { i.alpha = 1e-300; }), true},
        {"alpha below 1", with([](Inputs& i) { i.alpha = 0.9999999999999999; }), true},
        {"sigma 0.1", with([](Inputs& i) { i.sigma = 0.1; }), true},
        {"sigma 10", with([](Inputs& i) { i.sigma = 10.0; }), true},
        {"sigma below 0.1", with([](Inputs& i) { i.sigma = 0.09999999999999999; }), false},
        {"sigma above 10", with([](Inputs& i) { i.sigma = 10.000000000000002; }), false},
        {"nu 2", with([](Inputs& i) { i.nu = 2.0; }), true},
        {"nu 1000", with([](Inputs& i) { i.nu = 1000.0; }), true},
        {"nu fractional", with([](Inputs& i) { i.nu = 2.5; }), true},
        {"nu 1.7", with([](Inputs& i) { i.nu = 1.7; }), false},
        {"nu above 1000", with([](Inputs& i) { i.nu = 1000.0000000000001; }), false},
        {"argtop 800", with([](Inputs& i) { i.BesselArgTop = 800.0; }), true},
        {"argtop negative", with([](Inputs& i) { i.BesselArgTop = -5.0; }), true},
        {"argtop 800.05", with([](Inputs& i) { i.BesselArgTop = 800.05; }), false},
        {"WhichLimit 7", with([](Inputs& i) { i.WhichLimit = 7; }), true},
        {"gammasquared 0", with([](Inputs& i) { i.gammasquared = 0.0; }), true},
        {"MaximumIterations 0", with([](Inputs& i) { i.MaximumIterations = 0; }), true},
        {"negative Tolerance", with([](Inputs& i) { i.Tolerance = -1.0; }), true},
        {"lambda and mu anything", with([](Inputs& i) { i.lambda = -1e300; i.mu = 1e300; }), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(check(c.in).ok, c.ok);
    }
}

TEST(CheckArguments, EachSegmentHasItsTextAndWidth) {
    struct Case {
        const char* what;
        Inputs in;
        std::size_t segment; // 0 alpha, 1 sigma, 2 nu, 3 argtop
        std::string content;
    };
    Inputs alpha;
    alpha.alpha = 1.5;
    Inputs alpha0;
    alpha0.alpha = 0.0;
    Inputs alpha1;
    alpha1.alpha = 1.0;
    Inputs alpha_neg;
    alpha_neg.alpha = -0.25;
    Inputs alpha_big;
    alpha_big.alpha = 100.0;
    Inputs sigma;
    sigma.sigma = 20.0;
    Inputs sigma_small;
    sigma_small.sigma = 0.099;
    Inputs nu;
    nu.nu = 1.7;
    Inputs argtop;
    argtop.BesselArgTop = 1000.0;
    Inputs argtop_near;
    argtop_near.BesselArgTop = 800.05;
    Inputs sigma_neg;
    sigma_neg.sigma = -5.0;
    Inputs nu_neg;
    nu_neg.nu = -3.0;
    Inputs nu_huge;
    nu_huge.nu = 1e12;
    Inputs argtop_huge;
    argtop_huge.BesselArgTop = 1e10;
    Inputs alpha_nan;
    alpha_nan.alpha = std::nan("");
    const Case cases[] = {
        {"alpha 1.5", alpha, 0,
         "Alpha must be between 0 and 1 (value is  1.50000            ). "},
        {"alpha 0", alpha0, 0, "Alpha must be between 0 and 1 (value is  0.00000            ). "},
        {"alpha 1", alpha1, 0, "Alpha must be between 0 and 1 (value is  1.00000            ). "},
        {"alpha -0.25", alpha_neg, 0,
         "Alpha must be between 0 and 1 (value is -0.25000            ). "},
        {"alpha 100", alpha_big, 0,
         "Alpha must be between 0 and 1 (value is ********            ). "},
        {"sigma 20", sigma, 1,
         "Sigma must be in the range [0.1,10] (value is        20.00        ). "},
        {"sigma 0.099", sigma_small, 1,
         "Sigma must be in the range [0.1,10] (value is         0.10        ). "},
        {"nu 1.7", nu, 2, "nu must be in the range [2,1000] (value is           2.        ). "},
        {"argtop 1000", argtop, 3,
         "Argtop can be at most 800.0 (value is       1000.0        ). "},
        {"argtop 800.05", argtop_near, 3,
         "Argtop can be at most 800.0 (value is        800.0        ). "},
        {"sigma -5", sigma_neg, 1,
         "Sigma must be in the range [0.1,10] (value is        -5.00        ). "},
        {"nu -3", nu_neg, 2, "nu must be in the range [2,1000] (value is          -3.        ). "},
        {"nu 1e12", nu_huge, 2,
         "nu must be in the range [2,1000] (value is ************        ). "},
        {"argtop 1e10", argtop_huge, 3,
         "Argtop can be at most 800.0 (value is ************        ). "},
        // A value that is not a number fails its test.
        {"alpha NaN", alpha_nan, 0,
         "Alpha must be between 0 and 1 (value is      NaN            ). "},
    };
    // The content lengths of the four segments.
    const std::size_t content_length[] = {63, 69, 66, 61};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Verdict v = check(c.in);
        EXPECT_FALSE(v.ok);
        ASSERT_EQ(v.message.size(), arguments_message_length);
        EXPECT_EQ(c.content.size(), content_length[c.segment]);
        for (std::size_t s = 0; s < 4; ++s) {
            const std::string part = v.message.substr(s * arguments_segment_length,
                                                      arguments_segment_length);
            EXPECT_EQ(part, s == c.segment ? padded(c.content) : blank_segment) << "segment " << s;
        }
    }
}

TEST(CheckArguments, FailuresAccumulateInFixedOrder) {
    Inputs in;
    in.alpha = 1.5;
    in.nu = 1.0;
    const Verdict v = check(in);
    EXPECT_FALSE(v.ok);
    EXPECT_EQ(v.message,
              padded("Alpha must be between 0 and 1 (value is  1.50000            ). ") +
                  blank_segment +
                  padded("nu must be in the range [2,1000] (value is           1.        ). ") +
                  blank_segment);

    Inputs all;
    all.alpha = 2.0;
    all.sigma = 0.0;
    all.nu = 1001.0;
    all.BesselArgTop = 801.0;
    const Verdict every = check(all);
    EXPECT_FALSE(every.ok);
    EXPECT_EQ(every.message,
              padded("Alpha must be between 0 and 1 (value is  2.00000            ). ") +
                  padded("Sigma must be in the range [0.1,10] (value is         0.00        ). ") +
                  padded("nu must be in the range [2,1000] (value is        1001.        ). ") +
                  padded("Argtop can be at most 800.0 (value is        801.0        ). "));
}

TEST(CheckArguments, MessageIsCutOrFilledToTheCallersCapacity) {
    Inputs in;
    in.alpha = 1.5;
    const std::string segment = padded("Alpha must be between 0 and 1 (value is  1.50000            ). ");
    EXPECT_EQ(check(in, 50).message, segment.substr(0, 50));
    EXPECT_EQ(check(in, 400).message, segment + std::string(400 - 80, ' '));
    EXPECT_EQ(check(in, 0).message, "");
}

} // namespace
} // namespace lvlim
