// Tests of alnorm (AS 66 tail area), g (Phi) and norminv (its inverse).
//
// Reference values come from:
//   - the published double-precision AS 66 Fortran compiled unchanged (GNU Fortran 12.2,
//     -O0), printed with 18 significant digits;
//   - std::erfc (glibc, accurate to a few ulps, far below the tolerances used with it):
//     Phi(x) = erfc(-x / sqrt(2)) / 2;
//   - 40-digit arithmetic with mpmath 1.3 for quantiles:
//         from mpmath import mp, mpf, erfinv, sqrt
//         mp.dps = 40
//         print(mp.nstr(sqrt(2) * erfinv(2 * mpf('0.975') - 1), 20))
//   - the documented behaviour of the starting-point search for the far tails.

#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "Guts/mainguts.hpp"

namespace {

using lvlim::alnorm;
using lvlim::g;
using lvlim::norminv;
using lvlim::norminv_failed;

constexpr double eps = std::numeric_limits<double>::epsilon();
constexpr double inf = std::numeric_limits<double>::infinity();
constexpr int upper = 1;
constexpr int lower = 0;

// AS 66 switches approximations at |x| = con = 1.28.
constexpr double con = 1.28;

// Absolute accuracy of AS 66 for |x| > con, the accuracy the algorithm is published with;
// the worst seen on a 0.01 grid was 3.5e-12.
constexpr double as66_abs_tol = 1e-9;

// For |x| <= con the published double-precision q differs in its last digits from the 1973
// listing, and the first approximation is low by up to 1.29e-8 at con (growing like |x|^3
// from 0). That sets the bound there.
constexpr double as66_first_form_abs_tol = 1.5e-8;

double as66_tol(double x) {
    return std::abs(x) <= con ? as66_first_form_abs_tol : as66_abs_tol;
}

// Relative accuracy of the upper tail for con < z <= 18.66: the second form's coefficients
// carry 12 significant digits, so about 1e-11 is the best it can do; the worst seen on a
// 0.01 grid was 4.2e-11.
constexpr double as66_tail_rtol = 1e-10;

// Phi(x) + Phi(-x) and upper + lower: one tail t is computed and the other side is 1 - t, so
// the sum is 1 up to the two roundings of 1 - t and of the addition.
constexpr double complement_tol = 2 * eps;

// norminv with tol 1e-4 and maxit 500 lands within about 1.5e-5 of the quantile for p in
// [0.001, 0.999] (the secant stops once its step is below 1e-4; the worst seen, at p = 0.54,
// was 1.48e-5).
constexpr double quantile_tol = 1.5e-5;

// The same error seen through g: at most the largest normal density, 1/sqrt(2 pi), times
// quantile_tol, plus the AS 66 error near the switch point.
constexpr double roundtrip_tol = 0.3989422804014327 * quantile_tol + as66_first_form_abs_tol;

// Documented figures quoted to a given number of digits are checked to half a unit in the
// last digit quoted.
constexpr double half_unit_7th_decimal = 5e-7;  // 1.959964, -4.799997
constexpr double half_unit_8th_decimal = 5e-8;  // -7.1000001
constexpr double half_unit_9th_decimal = 5e-10; // the switch-point jump, 1.3e-8 (2 digits)

// The engine's arguments to norminv.
constexpr double engine_tol = 0.0001;
constexpr int engine_maxit = 500;

double phi_reference(double x) {
    return 0.5 * std::erfc(-x / std::sqrt(2.0));
}

struct Case {
    double x;
    int up;
    double expected;
};

// ---- alnorm --------------------------------------------------------------------------------

// The published Fortran compiled unchanged; this translation keeps its operation order
// (EXPECT_DOUBLE_EQ allows 4 ulps).
TEST(Alnorm, MatchesPublishedCode) {
    const Case cases[] = {
        {1.28, lower, 8.99727419141032714e-01},      // first form, z = con exactly
        {1.2800001, lower, 8.99727449634271204e-01}, // second form, just past con
        {8.0, upper, 6.22096057447082531e-16},       // upper tail computed up to 18.66
        {-8.0, lower, 6.22096057447082531e-16},      // the same tail by the flag flip
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.x);
        EXPECT_DOUBLE_EQ(alnorm(c.x, c.up), c.expected);
    }
}

// At the switch point the two forms disagree by about 1.3e-8: the true Phi rises by only
// phi(1.28) * 1e-7 = 1.75e-8 from 1.28 to 1.2800001, but the result rises by 3.05e-8.
TEST(Alnorm, JumpAtSwitchPoint) {
    const double jump = (alnorm(1.2800001, lower) - alnorm(1.28, lower)) -
                        (phi_reference(1.2800001) - phi_reference(1.28));
    EXPECT_NEAR(jump, 1.3e-8, half_unit_9th_decimal);
}

// Exact values from the cut-offs: beyond ltone = 7 the larger area is exactly 1, beyond
// utzero = 18.66 the smaller one is exactly 0; x = 0 gives exactly 0.5 either way.
TEST(Alnorm, CutoffsGiveExactValues) {
    const Case cases[] = {
        {8.0, lower, 1.0},  {-8.0, upper, 1.0},  {7.0000001, lower, 1.0}, {-20.0, lower, 0.0},
        {20.0, upper, 0.0}, {18.67, upper, 0.0}, {-1e300, lower, 0.0},    {1e300, upper, 0.0},
        {-inf, upper, 1.0}, {0.0, lower, 0.5},   {0.0, upper, 0.5},       {-0.0, upper, 0.5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.x);
        EXPECT_EQ(alnorm(c.x, c.up), c.expected) << "upper = " << c.up;
    }
}

// At the cut-off points themselves the tail is still computed (the tests are <=).
TEST(Alnorm, CutoffPointsAreStillComputed) {
    EXPECT_LT(alnorm(7.0, lower), 1.0);
    EXPECT_NEAR(1.0 - alnorm(7.0, lower), phi_reference(-7.0), as66_abs_tol);
    EXPECT_GT(alnorm(18.66, upper), 0.0);
    EXPECT_NEAR(alnorm(18.66, upper), phi_reference(-18.66),
                as66_tail_rtol * phi_reference(-18.66));
}

// Any nonzero flag selects the upper tail.
TEST(Alnorm, NonzeroFlagMeansUpper) {
    EXPECT_EQ(alnorm(1.5, 7), alnorm(1.5, upper));
    EXPECT_EQ(alnorm(-0.3, -1), alnorm(-0.3, upper));
}

// Against erfc on [-10, 10], in both directions.
TEST(Alnorm, AccuracyAgainstErfc) {
    for (int i = -1000; i <= 1000; ++i) {
        const double x = i / 100.0;
        SCOPED_TRACE(x);
        EXPECT_NEAR(alnorm(x, lower), phi_reference(x), as66_tol(x));
        EXPECT_NEAR(alnorm(x, upper), phi_reference(-x), as66_tol(x));
    }
}

// Relative accuracy of small upper tails, where an absolute bound says nothing.
TEST(Alnorm, SmallUpperTailsAreRelativelyAccurate) {
    for (int i = 129; i <= 1866; ++i) {
        const double x = i / 100.0;
        SCOPED_TRACE(x);
        const double reference = phi_reference(-x);
        EXPECT_NEAR(alnorm(x, upper), reference, as66_tail_rtol * reference);
    }
}

// Reversing the sign of x and the flag gives the same area; upper + lower = 1 up to the
// cut-off at 7, where the larger area becomes exactly 1 while the smaller is still computed.
TEST(Alnorm, SymmetryAndComplement) {
    for (int i = -2000; i <= 2000; ++i) {
        const double x = i / 100.0;
        SCOPED_TRACE(x);
        EXPECT_EQ(alnorm(x, upper), alnorm(-x, lower));
        if (std::abs(x) <= 7.0) {
            EXPECT_NEAR(alnorm(x, upper) + alnorm(x, lower), 1.0, complement_tol);
        }
    }
}

// ---- g ---------------------------------------------------------------------------------------

struct CdfCase {
    double x;
    double expected;
};

// Clamping at +-100 and the AS 66 cut-offs inside.
TEST(NormalCdf, ExactValues) {
    const CdfCase cases[] = {
        {0.0, 0.5},    {-0.0, 0.5},  {-100.0, 0.0}, {100.0, 1.0},     {-1e300, 0.0},
        {1e300, 1.0},  {-inf, 0.0},  {inf, 1.0},    {-20.0, 0.0},     {8.0, 1.0},
        {-99.99, 0.0}, {99.99, 1.0}, {-18.67, 0.0}, {7.0000001, 1.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.x);
        EXPECT_EQ(g(c.x), c.expected);
    }
}

// The lower tail is computed down to -18.66 (published code value at -8).
TEST(NormalCdf, LowerTailDownToCutoff) {
    EXPECT_DOUBLE_EQ(g(-8.0), 6.22096057447082531e-16);
    EXPECT_GT(g(-18.66), 0.0);
}

TEST(NormalCdf, SymmetryUpToCutoff) {
    for (int i = -700; i <= 700; ++i) {
        const double x = i / 100.0;
        SCOPED_TRACE(x);
        EXPECT_NEAR(g(x) + g(-x), 1.0, complement_tol);
    }
}

TEST(NormalCdf, AccuracyAgainstErfc) {
    for (int i = -2500; i <= 2500; ++i) {
        const double x = i / 100.0;
        SCOPED_TRACE(x);
        EXPECT_NEAR(g(x), phi_reference(x), as66_tol(x));
    }
}

// Non-decreasing on a 0.001 grid over [-20, 20], including across the switch points at
// +-1.28 (the jump there is upward in x).
TEST(NormalCdf, NonDecreasing) {
    double previous = g(-20.0);
    for (int i = -19999; i <= 20000; ++i) {
        const double x = i / 1000.0;
        const double current = g(x);
        ASSERT_GE(current, previous) << "x = " << x;
        previous = current;
    }
}

// ---- norminv ---------------------------------------------------------------------------------

TEST(NormInv, RejectsProbabilitiesOutsideOpenUnitInterval) {
    const double ps[] = {0.0, -0.0, 1.0, -0.5, 1.5, -inf, inf, 1.0 + eps, -1e-300};
    for (const double p : ps) {
        SCOPED_TRACE(p);
        EXPECT_EQ(norminv(p, engine_tol, engine_maxit), norminv_failed);
    }
}

// Quantiles from mpmath (20 digits).
TEST(NormInv, MatchesQuantiles) {
    const CdfCase cases[] = {
        {0.001, -3.0902323061678135415},
        {0.025, -1.9599639845400542355},
        {0.1, -1.281551565544600467},
        {0.3, -0.52440051270804078404},
        {0.5, 0.0},
        {0.54, 0.10043372051146979314},
        {0.9, 1.281551565544600467},
        {0.975, 1.9599639845400542355},
        {0.999, 3.0902323061678135415},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.x);
        EXPECT_NEAR(norminv(c.x, engine_tol, engine_maxit), c.expected, quantile_tol);
    }
}

// Documented figures: p = 0.5 within the requested tolerance of 0; p = 0.975 about 1.959964.
TEST(NormInv, DocumentedCentralValues) {
    EXPECT_NEAR(norminv(0.5, engine_tol, engine_maxit), 0.0, engine_tol);
    EXPECT_NEAR(norminv(0.975, engine_tol, engine_maxit), 1.959964, half_unit_7th_decimal);
}

// Far in the lower tail the first secant step from the distant upper start (1.0) moves less
// than the tolerance, so the result stays within it of the stepped lower start 1 - k * 0.1f:
// -7.1000001 for p = 1e-12 (k = 81, true quantile -7.0345) and -4.799997 for p = 1e-6
// (k = 58, start -4.8000001, true quantile -4.7534).
TEST(NormInv, FarTailStaysAtSteppedStart) {
    EXPECT_NEAR(norminv(1e-12, engine_tol, engine_maxit), -7.1000001, half_unit_8th_decimal);
    EXPECT_NEAR(norminv(1e-6, engine_tol, engine_maxit), -4.799997, half_unit_7th_decimal);
}

TEST(NormInv, RoundTripThroughCdf) {
    for (int i = 1; i <= 999; ++i) {
        const double p = i / 1000.0;
        SCOPED_TRACE(p);
        EXPECT_NEAR(g(norminv(p, engine_tol, engine_maxit)), p, roundtrip_tol);
    }
}

// With maxit below 2 no secant step is taken and the upper starting point is returned:
// 1.0 when g(1) > p, otherwise 1.0 plus k steps of the widened 0.1f (k = 10 for 0.975).
TEST(NormInv, NoSecantStepBelowTwoIterations) {
    const int limits[] = {1, 0, -3};
    for (const int maxit : limits) {
        SCOPED_TRACE(maxit);
        EXPECT_EQ(norminv(0.5, engine_tol, maxit), 1.0);
        EXPECT_DOUBLE_EQ(norminv(0.975, engine_tol, maxit), 2.0000000149011612);
    }
}

// p = g(1.0) exactly: h(1.0) = 0 fails both "still on the wrong side" tests, so each
// search takes one step (a = 0.9, b = 1.1 in widened steps), and the secant still finds 1.
TEST(NormInv, ProbabilityAtCommonStartingPoint) {
    const double p = g(1.0);
    EXPECT_DOUBLE_EQ(norminv(p, engine_tol, 1), 1.1000000014901161);
    EXPECT_NEAR(norminv(p, engine_tol, engine_maxit), 1.0, quantile_tol);
}

// maxit = 2 allows exactly one secant step, which is also where a tolerance of 1 stops: the
// two exits return the same iterate, still well away from the quantile and between the
// starting points 1.0 and 2.0000000149.
TEST(NormInv, IterationLimitReturnsLastIterate) {
    const double one_step = norminv(0.975, engine_tol, 2);
    EXPECT_EQ(one_step, norminv(0.975, 1.0, engine_maxit));
    EXPECT_GT(std::abs(one_step - 1.9599639845400542355), 0.01);
    EXPECT_GT(one_step, 1.0);
    EXPECT_LT(one_step, 2.0000000149011612);
}

} // namespace
