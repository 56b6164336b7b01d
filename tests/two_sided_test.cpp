// The two-sided tail function and the two-sided limits, checked against the independent
// reference of tests/reference.hpp.
#include <cmath>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "Guts/mainguts.hpp"
#include "tests/control_guard.hpp"
#include "tests/reference.hpp"

namespace lvlim {
namespace {

using test::ControlGuard;
using test::MessageCapture;
using test::reference_two_sided;

// ---- Pieces of the tail function ------------------------------------------------------------

TEST(BesselArgumentsOK, Boundaries) {
    const double ratio = static_cast<double>(0.26F);
    // A ratio of exactly 0.26 (single precision) still integrates: 64 keeps the quotient exact.
    EXPECT_EQ(besselargumentsok(ratio * 64.0, 64.0, 800.0), 0);
    EXPECT_EQ(besselargumentsok(0.25 * 60.0, 60.0, 800.0), 0);
    EXPECT_EQ(besselargumentsok(0.25 * 50.0, 50.0, 800.0), 1); // order must exceed 50
    EXPECT_EQ(besselargumentsok(0.3 * 60.0, 60.0, 800.0), 1);
    EXPECT_EQ(besselargumentsok(800.0, 10.0, 800.0), 1); // the limit itself is allowed
    EXPECT_EQ(besselargumentsok(800.0000000000001, 10.0, 800.0), 0);
    EXPECT_EQ(besselargumentsok(1.0, 10.0, 0.0), 0);
}

TEST(RatioIntegral, SharesOfTheFirstMoment) {
    // The whole interval holds the whole moment, in both forms.
    for (const double z : {-30.0, -3.0, -0.5, 0.5, 4.0}) {
        SCOPED_TRACE(z);
        EXPECT_NEAR(ratiointegral(-1.0, 1.0, z), 1.0, 1e-13);
        // Against a direct Simpson integration of t exp((t + 1) z).
        const auto moment = [z](double t1, double t2) {
            const int n = 20000;
            const double h = (t2 - t1) / n;
            double sum = 0.0;
            for (int i = 0; i <= n; ++i) {
                const double t = t1 + h * i;
                sum += ((i == 0 || i == n) ? 1 : (i % 2 == 1 ? 4 : 2)) * t * std::exp((t + 1) * z);
            }
            return sum * h / 3;
        };
        EXPECT_NEAR(ratiointegral(-0.7, 0.2, z), moment(-0.7, 0.2) / moment(-1.0, 1.0), 1e-10);
    }
}

struct TwoSidedG {
    double value;
    int failed;
};

TwoSidedG G(double theta, double a, int which, double f, double S, double top, double lg) {
    TwoSidedG out{};
    out.value = twotailedg(theta, a, which, f, S, top, lg, out.failed);
    return out;
}

TEST(TwoSidedTail, ValuesForTwentyDegreesOfFreedom) {
    const ControlGuard guard;
    const MessageCapture messages;
    const double lg = dlgama(10.0);
    struct Case {
        double theta;
        int which;
        double about;
    };
    for (const Case c : {Case{0.0, 1, 0.941371}, Case{1.5, 2, 0.968948}}) {
        SCOPED_TRACE(c.theta);
        const TwoSidedG bessel = G(c.theta, 0.95, c.which, 20.0, 1.0, 800.0, lg);
        const TwoSidedG quadrature = G(c.theta, 0.95, c.which, 20.0, 1.0, 0.0, lg);
        EXPECT_EQ(bessel.failed, 0);
        EXPECT_NEAR(bessel.value, c.about, 5e-7);
        EXPECT_NEAR(bessel.value, quadrature.value, 1e-10);
        EXPECT_NEAR(bessel.value,
                    static_cast<double>(reference_two_sided(c.theta, 0.95, c.which, 20.0, 1.0)),
                    1e-8);
    }
    // Regions that cannot hold the probability: the inversions fail.
    const TwoSidedG lower = G(0.5, 0.95, 1, 20.0, 1.0, 800.0, lg);
    EXPECT_EQ(lower.value, twotailedg_lower_failed);
    EXPECT_EQ(lower.failed, 1);
    const TwoSidedG upper = G(1.0, 0.95, 2, 20.0, 1.0, 800.0, lg);
    EXPECT_EQ(upper.value, twotailedg_upper_failed);
    EXPECT_EQ(upper.failed, 1);
    // Any side other than 1 is the upper one.
    EXPECT_EQ(G(1.5, 0.95, 7, 20.0, 1.0, 800.0, lg).value,
              G(1.5, 0.95, 2, 20.0, 1.0, 800.0, lg).value);
    EXPECT_EQ(messages.text(), "");
}

TEST(TwoSidedTail, ClosedFormsForTwoDegreesOfFreedom) {
    const MessageCapture messages;
    EXPECT_NEAR(G(-1.0, 0.95, 1, 2.0, 1.0, 800.0, 0.0).value, 0.947190, 5e-7);
    EXPECT_NEAR(G(11.0, 0.95, 2, 2.0, 1.0, 800.0, 0.0).value, 0.949084, 5e-7);
    for (const auto& [theta, which] : {std::pair{-1.0, 1}, std::pair{-1.5, 1}, std::pair{9.0, 2},
                                       std::pair{11.0, 2}}) {
        SCOPED_TRACE(theta);
        EXPECT_NEAR(G(theta, 0.9, which, 2.0, 1.0, 800.0, 0.0).value,
                    static_cast<double>(reference_two_sided(theta, 0.9, which, 2.0, 1.0)), 1e-9);
    }
    EXPECT_EQ(messages.text(), "");

    // Far below the root the closed-form upper cut-off has no logarithm.
    const TwoSidedG failed = G(-10.0, 0.95, 2, 2.0, 1.0, 800.0, 0.0);
    EXPECT_EQ(failed.value, twotailedg_closed_form_failed);
    EXPECT_EQ(failed.failed, 1);
    EXPECT_EQ(messages.text(), " Failed with v=2...\n v,s   2.  1.\n");
}

// A library that embeds the engine must not find its standard output written to: until a
// caller points the message stream somewhere, the messages go nowhere.
TEST(TwoSidedTail, MessagesGoNowhereUntilACallerAsks) {
    std::ostringstream out;
    std::ostringstream err;
    std::streambuf* const cout_buffer = std::cout.rdbuf(out.rdbuf());
    std::streambuf* const cerr_buffer = std::cerr.rdbuf(err.rdbuf());
    // A new thread starts with the default stream, whatever this one was pointed at.
    TwoSidedG failed{};
    std::thread([&failed] { failed = G(-10.0, 0.95, 2, 2.0, 1.0, 800.0, 0.0); }).join();
    std::cout.rdbuf(cout_buffer);
    std::cerr.rdbuf(cerr_buffer);

    EXPECT_EQ(failed.value, twotailedg_closed_form_failed);
    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(err.str(), "");
    // The same call, asked for its messages, has them (see the test above).
    const MessageCapture messages;
    EXPECT_EQ(G(-10.0, 0.95, 2, 2.0, 1.0, 800.0, 0.0).failed, 1);
    EXPECT_EQ(messages.text(), " Failed with v=2...\n v,s   2.  1.\n");
}

TEST(TwoSidedTail, AgreesWithTheReferenceAcrossRegimes) {
    const ControlGuard guard;
    const MessageCapture messages;
    struct Case {
        double f;
        double S;
    };
    // General regime with Bessel forms; f > 50 with a small ratio (total mass integrated);
    // f > 99 (first moment integrated); c above the Bessel limit.
    const Case cases[] = {{5.0, 0.7}, {20.0, 3.0}, {60.0, 0.1}, {200.0, 0.2}, {1000.0, 10.0}};
    const double a = 0.9;
    for (const auto& c : cases) {
        const double lg = dlgama(0.5 * c.f);
        // Trial points near each limit: the one-sided limits at the probabilities the search
        // starts from.
        for (const auto& [which, p] : {std::pair{1, (1.0 - a) * 0.5}, std::pair{2, 1.0 - (1.0 - a) / 1.1}}) {
            int count = 0;
            const int n = static_cast<int>(c.f) + 1;
            const double k = hadap(c.S, n, p, 200, default_tolerance, -1.0, 800.0, count);
            const double theta = c.S * k / std::sqrt(c.f) + c.S * c.S / 2.0;
            SCOPED_TRACE(testing::Message() << "f " << c.f << " S " << c.S << " theta " << theta
                                            << " side " << which);
            const TwoSidedG got = G(theta, a, which, c.f, c.S, 800.0, lg);
            ASSERT_EQ(got.failed, 0) << got.value;
            EXPECT_NEAR(got.value,
                        static_cast<double>(reference_two_sided(theta, a, which, c.f, c.S)), 2e-8);
        }
    }
    EXPECT_EQ(messages.text(), "");
}

// ---- Two-sided limits ------------------------------------------------------------------------

struct TwoSided {
    double lower;
    double standard_lower;
    double upper;
    double standard_upper;
    double time;
    int count_lower;
    int count_upper;
    std::string messages;
};

TwoSided run_twotail(double mu, double sigma, double nu, double alpha, double lambda,
                     double gammasquared, ControlParms control = ControlParms{}) {
    const ControlGuard guard;
    const MessageCapture capture;
    TwoSided out{};
    twotail(mu, sigma, nu, alpha, lambda, gammasquared, control.BesselArgTop, control.Tolerance,
            control.ResultTol, control.MaximumIterations, out.lower, out.standard_lower,
            out.upper, out.standard_upper, out.time, out.count_lower, out.count_upper);
    out.messages = capture.text();
    return out;
}

TEST(TwoSidedLimit, WorkedExample) {
    const TwoSided got = run_twotail(0.0, 1.0, 20.0, 0.95, 0.5, 21.0);
    EXPECT_NEAR(got.standard_lower, -2.1242, 0.00005);
    EXPECT_NEAR(got.lower, 0.0250, 0.00005);
    EXPECT_NEAR(got.standard_upper, 3.0457, 0.00005);
    EXPECT_NEAR(got.upper, 1.1810, 0.00005);
    EXPECT_EQ(got.time, 0.0);
    // The pair encloses the estimate 0.5 and lies outside the one-sided limits.
    EXPECT_LT(got.lower, 0.110);
    EXPECT_GT(got.upper, 1.073);

    // (lambda, alpha) and (-lambda, alpha): the same standardized limits, mirrored data.
    const TwoSided mirrored = run_twotail(0.0, 1.0, 20.0, 0.95, -0.5, 21.0);
    EXPECT_EQ(mirrored.standard_lower, got.standard_lower);
    EXPECT_EQ(mirrored.standard_upper, got.standard_upper);
    EXPECT_NEAR(mirrored.lower, -got.lower, 1e-15);
    EXPECT_NEAR(mirrored.upper, -got.upper, 1e-15);
}

// A negative lambda mirrors the pair about the estimate and keeps its level: the standardized
// limits of (lambda, alpha) and (-lambda, alpha) agree to the bit, the data-scale ones mirror.
TEST(TwoSidedLimit, NegativeLambdaMirrorsAtTheSameLevel) {
    const TwoSided worked = run_twotail(0.0, 1.0, 20.0, 0.95, -0.5, 21.0);
    EXPECT_NEAR(worked.standard_lower, -2.1242, 0.00005);
    EXPECT_NEAR(worked.standard_upper, 3.0457, 0.00005);
    EXPECT_NEAR(worked.lower, -0.0250, 0.00005);
    EXPECT_NEAR(worked.upper, -1.1810, 0.00005);
    for (const double lambda : {0.05, 0.5, 2.0}) {
        for (const double alpha : {0.5, 0.9, 0.95, 0.99}) {
            for (const auto& [sigma, nu] : {std::pair{0.3, 4.0}, std::pair{1.2, 20.0},
                                            std::pair{4.0, 150.5}}) {
                SCOPED_TRACE(testing::Message() << "lambda " << lambda << " alpha " << alpha
                                                << " sigma " << sigma << " nu " << nu);
                const double mu = 1.7;
                const TwoSided plus = run_twotail(mu, sigma, nu, alpha, lambda, nu + 1.0);
                const TwoSided minus = run_twotail(mu, sigma, nu, alpha, -lambda, nu + 1.0);
                EXPECT_EQ(minus.standard_lower, plus.standard_lower);
                EXPECT_EQ(minus.standard_upper, plus.standard_upper);
                const double tol = 1e-12 * (1.0 + std::fabs(plus.upper));
                EXPECT_NEAR(minus.lower - mu, -(plus.lower - mu), tol);
                EXPECT_NEAR(minus.upper - mu, -(plus.upper - mu), tol);
            }
        }
    }
}

TEST(TwoSidedLimit, LimitsMeetBothConditionsOfTheReference) {
    struct Case {
        double alpha;
        double sigma;
        double nu;
        double lambda;
        double tolerance; // on G at the limit
        bool crossing;    // whether G visibly crosses alpha within 1e-4 S of the limit
    };
    // The last two have spreads S = 20 and S = 0.002, where the kernel's fixed scale offset
    // would overflow or underflow its peak value. At S = 20 the upper limit is ill-conditioned
    // (G is flat to 1e-9 over 0.004 in theta); at S = 0.002 the first moment is of order 1e-4,
    // so the absolute quadrature tolerance of 1e-8 limits G to about 1e-4.
    const Case cases[] = {{0.95, 1.0, 20.0, 0.5, 2e-8, true},    {0.9, 0.5, 5.0, 0.5, 2e-8, true},
                          {0.99, 2.0, 60.0, 0.5, 2e-8, true},    {0.95, 1.2, 2.5, 0.5, 2e-8, true},
                          {0.95, 5.0, 1000.0, 2.0, 1e-7, false}, {0.9, 0.1, 1000.0, 0.01, 1e-4, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "alpha " << c.alpha << " sigma " << c.sigma << " nu "
                                        << c.nu << " lambda " << c.lambda);
        const TwoSided got = run_twotail(0.0, c.sigma, c.nu, c.alpha, c.lambda, c.nu + 1.0);
        EXPECT_EQ(got.messages, "");
        const double f = std::floor(c.nu);
        const double S =
            2.0 * c.lambda * c.sigma * std::sqrt(c.nu + 1.0) / std::sqrt(f + 1.0);
        for (const auto& [which, k] : {std::pair{1, got.standard_lower},
                                       std::pair{2, got.standard_upper}}) {
            const double theta = S * k / std::sqrt(f) + S * S / 2.0;
            // G equals alpha at the limit, and crosses it there.
            const double at = static_cast<double>(reference_two_sided(theta, c.alpha, which, f, S));
            EXPECT_NEAR(at, c.alpha, c.tolerance) << "side " << which;
            if (!c.crossing) {
                continue;
            }
            const double step = 1e-4 * S;
            const double below = static_cast<double>(reference_two_sided(theta - step, c.alpha, which, f, S));
            const double above = static_cast<double>(reference_two_sided(theta + step, c.alpha, which, f, S));
            EXPECT_LT((below - c.alpha) * (above - c.alpha), 0.0) << "side " << which;
        }
    }
}

TEST(TwoSidedLimit, CountingAndFallback) {
    // Two iterations allow one secant step and then one bisection step in the fallback, which
    // reports its failure and a count of 3. The bracket holds the lower root, near 0.025.
    {
        const ControlGuard guard;
        const MessageCapture messages;
        const double lg = dlgama(10.0);
        double root = 0.0;
        int count = 0;
        twotailedsecant(1, root, 0.02, 0.03, 0.95, 20.0, 1.0, 2, default_tolerance, -1.0, 800.0,
                        count, lg);
        EXPECT_EQ(count, 3);
        EXPECT_GT(root, 0.02);
        EXPECT_LT(root, 0.03);
        EXPECT_EQ(messages.text(), " Method (Only Bisection) failed...\n");
    }
    // In a whole run two iterations also cut the one-sided start short; its starting values for
    // the lower limit then both fail to evaluate, the upward expansion can only halve towards
    // them, and its limit hands the search over as failed.
    ControlParms two;
    two.MaximumIterations = 2;
    const TwoSided short_run = run_twotail(0.0, 1.0, 20.0, 0.95, 0.5, 21.0, two);
    EXPECT_EQ(short_run.count_lower, 2);
    EXPECT_EQ(short_run.count_upper, 3);
    EXPECT_EQ(short_run.messages,
              " Method (Only Bisection) failed...\n Method (Only Bisection) failed...\n");

    // A positive residual tolerance may end a search early, near the same limits.
    ControlParms residual;
    residual.ResultTol = 1e-7;
    const TwoSided early = run_twotail(0.0, 1.0, 20.0, 0.95, 0.5, 21.0, residual);
    const TwoSided full = run_twotail(0.0, 1.0, 20.0, 0.95, 0.5, 21.0);
    EXPECT_LE(early.count_lower, full.count_lower);
    EXPECT_NEAR(early.standard_lower, full.standard_lower, 1e-4);
    EXPECT_NEAR(early.standard_upper, full.standard_upper, 1e-4);
    EXPECT_GE(full.count_lower, 3);
    EXPECT_LE(full.count_lower, 201);
}

TEST(TwoSidedLimit, DegenerateAndHostileInputsEndPromptly) {
    for (const double lambda : {0.0, -0.0}) {
        const TwoSided zero = run_twotail(0.0, 1.0, 20.0, 0.95, lambda, 21.0);
        EXPECT_TRUE(std::isnan(zero.lower));
        EXPECT_TRUE(std::isnan(zero.upper));
    }
    for (const double g2 : {0.0, -4.0}) {
        const TwoSided bad = run_twotail(0.0, 1.0, 20.0, 0.95, 0.5, g2);
        EXPECT_TRUE(std::isnan(bad.lower));
        EXPECT_TRUE(std::isnan(bad.upper));
    }
    struct Case {
        int iterations;
        double tolerance;
        double result_tol;
        double argtop;
    };
    const Case cases[] = {{200, 0.0, -1.0, 800.0},  {200, -1.0, 0.0, 0.0}, {0, 1e-8, -1.0, 800.0},
                          {1, 1e-300, 1.0, -5.0}, {200, 1.0, -1.0, 800.0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.iterations << " " << c.tolerance << " "
                                        << c.result_tol << " " << c.argtop);
        const TwoSided got =
            run_twotail(0.0, 2.0, 300.0, 0.95, 0.5, 301.0,
                        ControlParms{c.iterations, c.argtop, c.tolerance, c.result_tol});
        EXPECT_LE(got.count_lower, std::max(c.iterations, 2) + 1);
    }
    // A spread so large that the downward expansion in steps of 0.1 cannot reach the root
    // within its limit: the search is handed over and reported as failed, promptly.
    const TwoSided far = run_twotail(0.0, 10.0, 1000.0, 0.95, 40.0, 1001.0);
    EXPECT_NE(far.messages.find(" Method (Only Bisection) failed...\n"), std::string::npos);
}

} // namespace
} // namespace lvlim
