// Tests of dgamma (Gamma) and dlgama (ln Gamma).
//
// Reference values come from three places, named above each table:
//   - 40-digit arithmetic with mpmath 1.3, e.g.
//         from mpmath import mp, mpf, gamma, loggamma
//         mp.dps = 40
//         print(mp.nstr(gamma(mpf('11.999')), 20), mp.nstr(loggamma(mpf('0.6')), 20))
//   - the output of the published Fortran routines compiled unchanged (GNU Fortran 12.2,
//     -O0), printed with 18 significant digits; these pin down the bits of this translation;
//   - exact arithmetic (factorials, ln 1 = 0).

#include <algorithm>
#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "Guts/mainguts.hpp"

namespace {

using lvlim::dgamma;
using lvlim::dlgama;
using lvlim::gamma_failed;

constexpr double eps = std::numeric_limits<double>::epsilon();
constexpr double inf = std::numeric_limits<double>::infinity();

// dgamma below 12 (after any reflection): the rational fit on [1, 2] is good to a few ulps,
// the recurrence adds up to ten rounded products and the reflection one sine and one
// division. The worst error seen on a 0.1 grid over (-170, 12) was 20 eps.
constexpr double reduced_rtol = 32 * eps;

// dgamma at 12 and above returns exp(s) with s close to ln Gamma; the rounding error of s,
// a few ulps of |s|, becomes the relative error of the result. The worst seen on a 0.1
// grid up to 171.6 was 2.2 eps * |s|.
double series_rtol(double ln_gamma) {
    return 4 * eps * std::max(1.0, std::abs(ln_gamma));
}

// Relative tolerance for dgamma(x), from the branch that x reaches. For x < 0 the reflection
// works with 1 - x. Negative arguments must keep away from the integers, where the sine in
// the reflection is ill-conditioned.
double dgamma_rtol(double x) {
    const double y = x > 0 ? x : 1 - x;
    return y < 12 ? reduced_rtol : series_rtol(std::lgamma(y));
}

// dlgama against mpmath: each rational fit and the series are accurate to about 2 ulps of
// max(1, |result|); the worst seen on a 1/256 grid of (0, 12] was 2.8 eps. Near the zeros at
// 1 and 2 the bound is absolute (8 eps), which allows for the cancellation in y - 1, y - 2.
constexpr double dlgama_tol_factor = 8 * eps;
double dlgama_tol(double reference) {
    return dlgama_tol_factor * std::max(1.0, std::abs(reference));
}

// dlgama against std::lgamma: glibc's lgamma has an error of a few ulps of its own, so the
// bound is twice the one above.
double lgamma_cross_tol(double reference) {
    return 2 * dlgama_tol(reference);
}

struct Case {
    double x;
    double expected;
};

// ---- dgamma --------------------------------------------------------------------------------

// Gamma(k) = (k - 1)! exactly: z = 0 on [1, 2) gives res = 1, and the recurrence products
// of small integers are exact in double. Covers n = 0 (k = 1, 2) up to n = 10 (k = 11).
TEST(Gamma, FactorialsAreExact) {
    double factorial = 1.0;
    for (int k = 1; k <= 11; ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(dgamma(static_cast<double>(k)), factorial);
        factorial *= k;
    }
}

// mpmath, 40 digits (shown to 20).
TEST(Gamma, AgreesWithHighPrecisionValues) {
    const Case cases[] = {
        {0.5, 1.7724538509055160273},    // sqrt(pi); y < 1 takes the y + 1 route
        {1.5, 0.88622692545275801365},   // on [1, 2), no reduction
        {2.5, 1.3293403881791370205},    // n = 1
        {0.1, 9.5135076986687318363},    // y < 1
        {3.7, 4.1706517837966031654},    // n = 2
        {10.5, 1133278.3889487855673},   // n = 9
        {11.999, 39819417.479303806235}, // n = 10, last point before the series
        {12.0, 39916800.0},              // first point of the series
        {20.5, 540624298233507504.47},   // series
        {50.5, 4.2904629123519598109e+63},
        {100.5, 9.3209631040827166083e+156},
        {170.5, 5.5620924145599996107e+305},
        {171.6, 1.5858969096673028652e+308},    // just below xbig = 171.624
        {1e-20, 1e20},                          // below eps: Gamma(y) = 1/y (true 1e20 - 0.58)
        {2.3e-308, 4.3478260869565219466e+307}, // just above xminin = 2.23e-308
        {-0.5, -3.5449077018110320546},         // -2 sqrt(pi): y1 = 0 even, sign from the sine
        {-1.5, 2.3632718012073547031},          // 4 sqrt(pi)/3: y1 = 1 odd
        {-2.5, -0.94530872048294188123},        // y1 = 2 even
        {-10.3, -5.2623632395356269926e-7},
        {-170.5, -3.3127395215386073148e-308}, // reflection of 171.5, series branch
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.x);
        const double got = dgamma(c.x);
        EXPECT_NEAR(got, c.expected, dgamma_rtol(c.x) * std::abs(c.expected)) << "x = " << c.x;
    }
}

// The published Fortran compiled unchanged; this translation keeps its operation order, so
// the results agree to the last bits (EXPECT_DOUBLE_EQ allows 4 ulps).
TEST(Gamma, MatchesPublishedCode) {
    const Case cases[] = {
        {12.0, 3.99168000000000298e+07},   // series branch, 7.5e-15 above 11!
        {11.999, 3.98194174793038666e+07}, // recurrence with n = 10
        {-1.5, 2.36327180120735481e+00},   // reflection with odd y1
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.x);
        EXPECT_DOUBLE_EQ(dgamma(c.x), c.expected);
    }
}

// Poles, underflow of the reduced argument and overflow all return +xinf, also for
// negative arguments: these exits skip the final sign change and reflection.
TEST(Gamma, ErrorCasesReturnPositiveXinf) {
    const double xs[] = {
        0.0,    -0.0,     -1.0,  -2.0, -170.0, -1e308, // zero and negative integers
        1e-309, 2.2e-308,                              // 0 < y < xminin
        172.0,  171.7,    1e308, inf,                  // y > xbig
        -170.7, -171.5,                                // reflected y = 1 - x > xbig
    };
    for (const double x : xs) {
        SCOPED_TRACE(x);
        EXPECT_EQ(dgamma(x), gamma_failed);
    }
}

// Gamma(x + 1) = x Gamma(x) on a grid that crosses every reduction count, the switch to the
// series at 12 (x = 11.013 against x + 1 = 12.013) and the series up to 171.
TEST(Gamma, RecurrenceHoldsForPositiveArguments) {
    for (int i = 0; i <= 1700; ++i) {
        const double x = 0.013 + i / 10.0;
        SCOPED_TRACE(x);
        const double lhs = dgamma(x + 1);
        const double rhs = x * dgamma(x);
        const double tol = (dgamma_rtol(x) + dgamma_rtol(x + 1) + eps) * std::abs(lhs);
        EXPECT_NEAR(lhs, rhs, tol);
    }
}

// The same recurrence through the reflection formula, at quarter and half integers from
// -0.25 down to -169.75. A wrong parity would flip the sign of every other interval.
TEST(Gamma, RecurrenceHoldsForNegativeArguments) {
    const double fractions[] = {0.25, 0.5, 0.75};
    for (int k = 0; k <= 169; ++k) {
        for (const double f : fractions) {
            const double x = -k - f;
            SCOPED_TRACE(x);
            const double lhs = dgamma(x + 1);
            const double rhs = x * dgamma(x);
            const double tol = (dgamma_rtol(x) + dgamma_rtol(x + 1) + eps) * std::abs(lhs);
            EXPECT_NEAR(lhs, rhs, tol);
            // Gamma is positive on (-2m, -2m + 1) and negative on (-2m - 1, -2m).
            EXPECT_EQ(dgamma(x) < 0, k % 2 == 0);
        }
    }
}

// ---- dlgama --------------------------------------------------------------------------------

// xm1 = 0 at 1 and xm2 = 0 at 2 make the result exactly 0.
TEST(LogGamma, ZeroAtOneAndTwo) {
    EXPECT_EQ(dlgama(1.0), 0.0);
    EXPECT_EQ(dlgama(2.0), 0.0);
}

// mpmath, 40 digits (shown to 20). One or more rows per branch.
TEST(LogGamma, AgreesWithHighPrecisionValues) {
    const Case cases[] = {
        {1e-17, 39.143946580898776623},   // below eps: -ln(y)
        {0.25, 1.2880225246980774574},    // p1/q1 on y, with -ln(y)
        {0.5, 0.57236494292470008707},    // ln sqrt(pi), last point of this fit on y
        {0.6, 0.39823385806923489962},    // p2/q2 on y - 1, with -ln(y)
        {0.7, 0.26086724653166651439},    // p1/q1 on y - 1
        {1.25, -0.098271836421813161464}, // p1/q1 on y - 1
        {3.0, 0.69314718055994530942},    // p2/q2 on y - 2
        {4.0, 1.7917594692280550008},     // ln 6, last point of p2/q2
        {7.5, 7.5343642367587329552},     // p4/q4
        {12.0, 17.502307845873885839},    // ln 11!, last point of p4/q4
        {12.5, 18.734347511936445702},    // series
        {100.0, 359.13420536957539878},
        {500.5, 2608.2229044109866551},
        {1e10, 220258509288.81058147},
        {1e80, 1.8320680743952365472e+82}, // above frtbig: series dropped
        {1e300, 6.8977552789821370521e+302},
        {2.55e305, 1.790672594142003344e+308}, // xbig itself is still evaluated
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.x);
        EXPECT_NEAR(dlgama(c.x), c.expected, dlgama_tol(c.expected)) << "x = " << c.x;
    }
}

// The published Fortran compiled unchanged (EXPECT_DOUBLE_EQ allows 4 ulps).
TEST(LogGamma, MatchesPublishedCode) {
    const Case cases[] = {
        {0.6, 3.98233858069234947e-01},   // p2/q2 branch, 0.5 < y < pnt68
        {0.7, 2.60867246531666541e-01},   // p1/q1 branch, y >= pnt68
        {500.5, 2.60822290441098630e+03}, // series
        {1e80, 1.83206807439523642e+82},  // series dropped above frtbig
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.x);
        EXPECT_DOUBLE_EQ(dlgama(c.x), c.expected);
    }
}

TEST(LogGamma, ErrorCasesReturnXinf) {
    const double xs[] = {0.0, -0.0, -1.0, -0.5, -1e-300, -inf, 2.6e305, 1e308, inf};
    for (const double x : xs) {
        SCOPED_TRACE(x);
        EXPECT_EQ(dlgama(x), gamma_failed);
    }
}

// The engine's arguments: f/2 for f = 2..1000, against std::lgamma.
TEST(LogGamma, HalfIntegersMatchStdLgamma) {
    for (int f = 2; f <= 1000; ++f) {
        const double x = f / 2.0;
        SCOPED_TRACE(x);
        const double reference = std::lgamma(x);
        EXPECT_NEAR(dlgama(x), reference, lgamma_cross_tol(reference));
    }
}

// Every rational branch and both switch points (pnt68 = 0.6796875 = 174/256 and 1.5, 4, 12)
// on a 1/256 grid, against std::lgamma. A mistyped coefficient moves the result far
// more than this.
TEST(LogGamma, GridMatchesStdLgamma) {
    for (int i = 1; i <= 12 * 256 + 64; ++i) {
        const double x = i / 256.0;
        SCOPED_TRACE(x);
        const double reference = std::lgamma(x);
        EXPECT_NEAR(dlgama(x), reference, lgamma_cross_tol(reference));
    }
}

} // namespace
