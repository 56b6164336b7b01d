// The one-sided tail function, its kernel and quadrature, and the one-sided limit solver,
// checked against the independent reference of tests/reference.hpp.
#include <cmath>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "Guts/adaptive_simpson.hpp"
#include "Guts/mainguts.hpp"
#include "tests/control_guard.hpp"
#include "tests/reference.hpp"

namespace lvlim {
namespace {

using test::ControlGuard;
using test::reference_limit;
using test::reference_tail;

double log_gamma_half(double f) { return dlgama(0.5 * f); }

// ---- Kernel and quadrature -------------------------------------------------------------------

TEST(Kernel, ModeSolvesItsQuadratic) {
    EXPECT_EQ(tmax(2.0, -0.3), -1.0);
    EXPECT_EQ(tmax(2.0, -50.0), -1.0);
    for (const double f : {3.0, 20.0, 1000.0}) {
        for (const double w : {-1e-3, -0.5, -0.8}) {
            SCOPED_TRACE(testing::Message() << "f " << f << " w " << w);
            const double t = tmax(f, w);
            const double b = 0.5 * f - 1.0;
            const double c = (f + 1.0) * (-w);
            EXPECT_GT(t, -1.0);
            EXPECT_LE(t, 0.0);
            // The derivative of ln h vanishes: -2 b t/(1 - t^2) - c = 0.
            EXPECT_NEAR(-2.0 * b * t / (1.0 - t * t) - c, 0.0, 1e-9 * (c + b));
        }
    }
}

TEST(Kernel, MatchesItsClosedFormAndVanishesAtTheEnds) {
    const double f = 20.0;
    const double w = -0.4;
    const double lg = log_gamma_half(f);
    const double m = 1.0 / std::sqrt(3.141592653589793);
    EXPECT_EQ(newf(1.0, f, w, m, lg, 0.0, 1.0), 0.0);
    EXPECT_EQ(newf(-1.0, f, w, m, lg, 0.0, 1.0), 0.0);
    const double c = (f + 1.0) * (-w);
    for (const double t : {-0.9, -0.3, 0.0, 0.5, 0.99}) {
        SCOPED_TRACE(t);
        // m (c/2)^((f-1)/2)/Gamma(f/2) (1 - t^2)^(f/2-1) exp(-c (1 + t))
        const double direct = m * std::pow(c / 2.0, (f - 1.0) / 2.0) / std::tgamma(f / 2.0) *
                              std::pow(1.0 - t * t, f / 2.0 - 1.0) * std::exp(-c * (1.0 + t));
        EXPECT_NEAR(newf(t, f, w, m, lg, 0.0, 1.0), direct, 1e-13 * direct);
        // The offset and the divisor only scale it.
        const double sc = 0.3;
        const double L = 2.5;
        EXPECT_NEAR(newf(t, f, w, m, lg, sc, L), direct * std::exp(-(f + 1.0) * sc) / L,
                    1e-12 * direct);
    }
}

TEST(Quadrature, SimpsonIsExactForCubicsAndAccurateForSmoothAndPeakedIntegrands) {
    const ControlGuard guard;
    const auto cubic = [](double x) { return 2.0 * x * x * x - x * x + 3.0; };
    // [x^4/2 - x^3/3 + 3x] from -1 to 2.
    const double exact_cubic = (0.5 * 16.0 - 8.0 / 3.0 + 6.0) - (0.5 + 1.0 / 3.0 - 3.0);
    EXPECT_NEAR(detail::adaptive_simpson<200>(cubic, -1.0, 2.0), exact_cubic, 1e-14);

    const auto expo = [](double x) { return std::exp(x); };
    EXPECT_NEAR(detail::adaptive_simpson<200>(expo, 0.0, 1.0), std::exp(1.0) - 1.0, 1e-9);
    // Reversed limits give the negative, equal limits zero.
    EXPECT_NEAR(detail::adaptive_simpson<200>(expo, 1.0, 0.0), 1.0 - std::exp(1.0), 1e-9);
    EXPECT_EQ(detail::adaptive_simpson<200>(expo, 0.5, 0.5), 0.0);

    // A narrow peak forces deep subdivision; the absolute tolerance still holds.
    const auto peak = [](double x) { return 1e-3 / (1e-6 + (x - 0.3) * (x - 0.3)); };
    const double exact_peak = (std::atan((1.0 - 0.3) / 1e-3) - std::atan((-1.0 - 0.3) / 1e-3));
    EXPECT_NEAR(detail::adaptive_simpson<200>(peak, -1.0, 1.0), exact_peak, 1e-7);
}

TEST(Quadrature, HostileIntegrandsAndTolerancesEndPromptly) {
    const auto nan_everywhere = [](double) { return std::numeric_limits<double>::quiet_NaN(); };
    {
        const ControlGuard guard;
        EXPECT_TRUE(std::isnan(detail::adaptive_simpson<200>(nan_everywhere, -1.0, 1.0)));
        EXPECT_TRUE(std::isnan(detail::adaptive_simpson<100>(nan_everywhere, -1.0, 1.0)));
    }
    const auto expo = [](double x) { return std::exp(x); };
    for (const double tol : {0.0, -1.0, 1e-300, std::numeric_limits<double>::quiet_NaN()}) {
        SCOPED_TRACE(tol);
        ControlParms hostile;
        hostile.Tolerance = tol;
        const ControlGuard guard(hostile);
        // Unattainable tolerances refine until rounding stops any progress: the result is as
        // good as double precision allows.
        EXPECT_NEAR(detail::adaptive_simpson<200>(expo, 0.0, 1.0), std::exp(1.0) - 1.0, 1e-14);
        EXPECT_NEAR(detail::adaptive_simpson<100>(expo, 0.0, 1.0), std::exp(1.0) - 1.0, 1e-14);
    }
    {
        // An oscillating integrand at such a tolerance needs more splits than one call may
        // make: the budget ends the refinement with an estimate, promptly.
        ControlParms tiny;
        tiny.Tolerance = 0.0;
        const ControlGuard guard(tiny);
        const auto wiggle = [](double x) { return std::sin(500.0 * x) * std::exp(x); };
        EXPECT_TRUE(std::isfinite(detail::adaptive_simpson<200>(wiggle, 0.0, 1.0)));
    }
    ControlParms loose;
    loose.Tolerance = 1e10;
    const ControlGuard guard(loose);
    EXPECT_NEAR(detail::adaptive_simpson<200>(expo, 0.0, 1.0), std::exp(1.0) - 1.0, 1e-3);
}

TEST(Quadrature, KernelIntegralIsTheScaledBesselFunction) {
    const ControlGuard guard;
    for (const double f : {3.0, 10.0, 20.0, 101.0}) {
        for (const double w : {-0.05, -1.0}) {
            SCOPED_TRACE(testing::Message() << "f " << f << " w " << w);
            const double lg = log_gamma_half(f);
            const double c = (f + 1.0) * (-w);
            const double bessel = besseli(c, (f - 1.0) * 0.5, 2);
            EXPECT_NEAR(newfintegrateadap(-1.0, 1.0, f, w, lg, 0.0, 1.0), bessel, 1e-9);
        }
    }
}

// ---- Tail function ---------------------------------------------------------------------------

TEST(OneSidedTail, ValuesForTwentyDegreesOfFreedom) {
    const ControlGuard guard;
    const double f = 20.0;
    const double S = 1.0;
    const double lg = log_gamma_half(f);
    struct Case {
        double theta;
        double about; // the documented rounded value
    };
    for (const Case c : {Case{0.0, 0.985}, Case{0.5, 0.508}, Case{1.0, 0.070}}) {
        SCOPED_TRACE(c.theta);
        const double bessel = newgadap(c.theta, f, S, 800.0, lg);
        const double quadrature = newgadap(c.theta, f, S, 0.0, lg);
        EXPECT_NEAR(bessel, c.about, 0.0005);
        // The two denominators compute the same integral.
        EXPECT_NEAR(bessel, quadrature, 1e-10);
        EXPECT_NEAR(bessel, static_cast<double>(reference_tail(c.theta, f, S)), 1e-9);
    }
}

TEST(OneSidedTail, AgreesWithTheReferenceAcrossRegimesAndFallsWithTheta) {
    const ControlGuard guard;
    struct Case {
        double f;
        double S;
    };
    // f = 2 closed form; general regime with Bessel and quadrature denominators; large-f regime
    // (f > 50 with a small ratio of Bessel argument to order); c above the Bessel limit.
    const Case cases[] = {{2.0, 1.0}, {3.0, 0.5}, {20.0, 3.0}, {51.0, 0.1}, {200.0, 0.2},
                          {400.0, 5.0}, {1000.0, 10.0}, {1000.0, 0.1}};
    for (const auto& c : cases) {
        const double lg = log_gamma_half(c.f);
        double previous = 2.0;
        for (int i = -4; i <= 4; ++i) {
            const double theta = c.S * c.S / 2.0 + 0.5 * i * c.S / std::sqrt(c.f);
            SCOPED_TRACE(testing::Message() << "f " << c.f << " S " << c.S << " theta " << theta);
            const double G = newgadap(theta, c.f, c.S, 800.0, lg);
            EXPECT_NEAR(G, static_cast<double>(reference_tail(theta, c.f, c.S)), 2e-8);
            EXPECT_LT(G, previous);
            previous = G;
        }
    }
}

TEST(OneSidedTail, ClosedFormForTwoDegreesOfFreedom) {
    // f = 2: with r = 0 (theta = 0) the tail is 1/(1 + exp(-3B)).
    for (const double S : {0.1, 1.0, 4.0}) {
        SCOPED_TRACE(S);
        const double B = std::sqrt(3.0) * (0.5 * S) * std::sqrt(2.0) / 3.0;
        EXPECT_NEAR(newgadap(0.0, 2.0, S, 800.0, 0.0), 1.0 / (1.0 + std::exp(-3.0 * B)), 1e-15);
        // The closed form ignores the Bessel limit and lg altogether.
        EXPECT_EQ(newgadap(0.7, 2.0, S, 800.0, 0.0), newgadap(0.7, 2.0, S, -1.0, 5.0));
    }
}

TEST(OneSidedTail, RegimeBoundaryBetweenFiftyAndFiftyOne) {
    const ControlGuard guard;
    // With S = 0.1 the ratio u of Bessel argument to order is about 0.1, below 0.26. For f = 51
    // the large-f regime integrates D and never looks at BesselArgTop; f = 50 stays in the
    // general regime, whose Bessel denominator differs from the quadrature one in the last
    // digits.
    const double S = 0.1;
    const double theta = S * S / 2.0 + 0.01;
    const double lg51 = log_gamma_half(51.0);
    EXPECT_EQ(newgadap(theta, 51.0, S, 800.0, lg51), newgadap(theta, 51.0, S, 0.0, lg51));
    const double lg50 = log_gamma_half(50.0);
    const double bessel50 = newgadap(theta, 50.0, S, 800.0, lg50);
    const double quadrature50 = newgadap(theta, 50.0, S, 0.0, lg50);
    EXPECT_NE(bessel50, quadrature50);
    EXPECT_NEAR(bessel50, quadrature50, 1e-10);
}

// ---- One-sided limits ------------------------------------------------------------------------

struct OneSided {
    double k;
    double limit;
    double time;
    int count;
};

OneSided run_onetail(int which, double mu, double sigma, double nu, double alpha, double lambda,
                     double gammasquared, ControlParms control = ControlParms{}) {
    const ControlGuard guard;
    OneSided out{};
    onetail(which, mu, sigma, nu, alpha, lambda, gammasquared, control.BesselArgTop,
            control.Tolerance, control.ResultTol, control.MaximumIterations, out.k, out.limit,
            out.time, out.count);
    return out;
}

TEST(OneSidedLimit, WorkedExample) {
    // mu 0, sigma 1, nu 20, lambda 0.5, gammasquared 21, alpha 0.95, default control values.
    const OneSided upper = run_onetail(1, 0.0, 1.0, 20.0, 0.95, 0.5, 21.0);
    EXPECT_NEAR(upper.k, 2.564, 0.0005);
    EXPECT_NEAR(upper.limit, 1.073, 0.0005);
    EXPECT_EQ(upper.time, 0.0);
    const OneSided lower = run_onetail(2, 0.0, 1.0, 20.0, 0.95, 0.5, 21.0);
    EXPECT_NEAR(lower.k, -1.745, 0.0005);
    EXPECT_NEAR(lower.limit, 0.110, 0.0005);
    const OneSided mirrored = run_onetail(2, 0.0, 1.0, 20.0, 0.95, -0.5, 21.0);
    EXPECT_NEAR(mirrored.k, 2.564, 0.0005);
    EXPECT_NEAR(mirrored.limit, -1.073, 0.0005);
    // The data-scale limit is mu + lambda sigma^2 + sgn k (sigma/g) sqrt((1 + nu)/nu).
    EXPECT_NEAR(upper.limit, 0.5 + upper.k / std::sqrt(21.0) * std::sqrt(21.0 / 20.0), 1e-15);
}

TEST(OneSidedLimit, AgreesWithTheIndependentReference) {
    struct Case {
        int which;
        double alpha;
        double sigma;
        double nu;
    };
    // The lognormal setting: lambda 0.5 and gammasquared nu + 1, so S = sigma.
    const Case cases[] = {{1, 0.95, 1.0, 20.0}, {2, 0.95, 1.0, 20.0}, {1, 0.9, 0.5, 5.0},
                          {2, 0.99, 2.0, 50.0}, {1, 0.975, 3.0, 100.0}, {1, 0.95, 1.2, 2.0},
                          {2, 0.6, 0.1, 300.0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "kind " << c.which << " alpha " << c.alpha << " sigma "
                                        << c.sigma << " nu " << c.nu);
        const OneSided got = run_onetail(c.which, 0.0, c.sigma, c.nu, c.alpha, 0.5, c.nu + 1.0);
        const double p = c.which == 1 ? c.alpha : 1.0 - c.alpha;
        const double f = std::floor(c.nu);
        // The standardized problem sees S = sigma here, and G must reach 1 - p.
        EXPECT_NEAR(got.k, reference_limit(1.0 - p, f, c.sigma), 2e-6);
    }
}

TEST(OneSidedLimit, CountingRules) {
    ControlParms two;
    two.MaximumIterations = 2;
    const OneSided one_step = run_onetail(1, 0.0, 1.0, 20.0, 0.95, 0.5, 21.0, two);
    EXPECT_EQ(one_step.count, 3); // one secant step, which does not end the search

    // The default residual tolerance can never be met: 199 secant steps unless stagnation.
    const OneSided full = run_onetail(1, 0.0, 1.0, 20.0, 0.95, 0.5, 21.0);
    EXPECT_LE(full.count, 201);
    EXPECT_GE(full.count, 3);
    // This search never stagnates: it uses all its steps.
    const OneSided cycling = run_onetail(1, 0.0, 2.0, 3.0, 0.95, 0.5, 4.0);
    EXPECT_EQ(cycling.count, 201);
    EXPECT_NEAR(cycling.k, 13.1077097, 1e-6);
    // However many iterations are asked for, the searches stop at the ceiling, promptly.
    ControlParms huge;
    huge.MaximumIterations = 2147483647;
    const OneSided capped = run_onetail(1, 0.0, 2.0, 3.0, 0.95, 0.5, 4.0, huge);
    EXPECT_EQ(capped.count, iteration_ceiling + 1);

    // A positive residual tolerance ends the search early, at the same limit.
    ControlParms early;
    early.ResultTol = 1e-9;
    const OneSided quick = run_onetail(1, 0.0, 1.0, 20.0, 0.95, 0.5, 21.0, early);
    EXPECT_LT(quick.count, 20);
    EXPECT_NEAR(quick.k, full.k, 1e-6);

    // Below two no secant step is taken: the point estimate comes back with a count of 2.
    for (const int limit : {1, 0, -5}) {
        ControlParms none;
        none.MaximumIterations = limit;
        const OneSided start = run_onetail(1, 0.0, 1.0, 20.0, 0.95, 0.5, 21.0, none);
        EXPECT_EQ(start.count, 2);
        EXPECT_EQ(start.k, 0.0);
        EXPECT_NEAR(start.limit, 0.5, 1e-15);
    }
}

TEST(OneSidedLimit, SymmetriesAndFractionalDegreesOfFreedom) {
    const OneSided a = run_onetail(1, 1.0, 0.8, 12.0, 0.9, 0.5, 13.0);
    const OneSided b = run_onetail(2, 1.0, 0.8, 12.0, 0.9, -0.5, 13.0);
    EXPECT_EQ(a.k, b.k);
    // Mirrored about mu.
    EXPECT_NEAR(a.limit - 1.0, -(b.limit - 1.0), 1e-14);

    // nu = 2.5: the tail function works with f = 2 (closed form), S and the mapping back use
    // nu itself.
    const OneSided frac = run_onetail(1, 0.0, 1.0, 2.5, 0.95, 0.5, 3.5);
    const double S = 1.0 * std::sqrt(3.5) / std::sqrt(3.5);
    EXPECT_NEAR(frac.k, reference_limit(0.05, 2.0, S), 2e-6);
    EXPECT_NEAR(frac.limit, 0.5 + frac.k * (1.0 / std::sqrt(3.5)) * std::sqrt(3.5 / 2.5), 1e-14);
}

TEST(OneSidedLimit, ExtremeSpreadsKeepTheKernelInRange) {
    // S = 13 and S = 0.02 with 1000 degrees of freedom: the kernel's fixed scale offset would
    // overflow or underflow its peak value; the limits still agree with the reference.
    struct Case {
        double lambda;
        double sigma;
    };
    for (const Case c : {Case{0.65, 10.0}, Case{0.01, 1.0}}) {
        SCOPED_TRACE(c.lambda);
        const OneSided got = run_onetail(1, 0.0, c.sigma, 1000.0, 0.95, c.lambda, 1001.0);
        const double S = 2.0 * c.lambda * c.sigma;
        EXPECT_NEAR(got.k, reference_limit(0.05, 1000.0, S), 1e-5);
    }
}

TEST(OneSidedLimit, DegenerateInputsEndPromptlyWithoutANumber) {
    // lambda = 0 makes S zero and gammasquared <= 0 makes it undefined: the arithmetic gives
    // no number, and the search ends at once.
    for (const double lambda : {0.0, -0.0}) {
        const OneSided zero = run_onetail(1, 0.0, 1.0, 20.0, 0.95, lambda, 21.0);
        EXPECT_TRUE(std::isnan(zero.k));
        EXPECT_TRUE(std::isnan(zero.limit));
        EXPECT_EQ(zero.count, 2);
    }
    for (const double g2 : {0.0, -4.0}) {
        const OneSided bad = run_onetail(2, 0.0, 1.0, 20.0, 0.95, 0.5, g2);
        EXPECT_TRUE(std::isnan(bad.limit));
        EXPECT_EQ(bad.count, 2);
    }
}

TEST(OneSidedLimit, HostileControlValuesEndPromptly) {
    struct Case {
        int iterations;
        double tolerance;
        double result_tol;
        double argtop;
    };
    const Case cases[] = {{200, 0.0, -1.0, 800.0},  {200, -1.0, 0.0, 0.0},
                          {200, 1e-300, 1.0, -5.0}, {200, 1.0, -1.0, 800.0},
                          {1000, 1e-12, -1.0, 800.0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.iterations << " " << c.tolerance << " "
                                        << c.result_tol << " " << c.argtop);
        ControlParms hostile{c.iterations, c.argtop, c.tolerance, c.result_tol};
        const OneSided got = run_onetail(1, 0.0, 2.0, 500.0, 0.95, 0.5, 501.0, hostile);
        EXPECT_LE(got.count, c.iterations + 1);
    }
}

} // namespace
} // namespace lvlim
