// The kernel's first moment and the inversions of its cumulative integral.
//
// Independent reference: integrals of the kernel h(t) = K (1 - t^2)^(f/2 - 1) exp(-c (1 + t)),
// K = m (c/2)^((f-1)/2) / Gamma(f/2) exp(-(f + 1) sc) / L, c = (f + 1)(-w), and of t h(t), are
// recomputed here from that closed form by composite Simpson in long double after the
// substitution t = -cos(u), which turns the integrand into the smooth
// K sin(u)^(f-1) exp(-c (1 - cos u)) (times -cos u for the first moment). Points at which such
// an integral reaches a given mass are found by bisection. Nothing of the engine's kernel,
// quadrature or Bessel function is used for it. The documented values of the whole-interval
// integrals, and their Bessel closed forms, are checked as well.
#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "Guts/mainguts.hpp"
#include "tests/control_guard.hpp"

namespace lvlim {
namespace {

using test::ControlGuard;

constexpr double nan = std::numeric_limits<double>::quiet_NaN();

// The multiplier the engine always passes, 1/sqrt(pi), formed as the integrate entries form it.
double inv_sqrt_pi() {
    return 1.0 / std::sqrt(3.141592653589793);
}

// Kernel parameters, with lg = ln Gamma(f/2) from the engine's log-gamma.
struct Kernel {
    double f;
    double w;
    double sc;
    double L;
    double lg;
};
Kernel kernel(double f, double w, double sc = 0.0, double L = 1.0) {
    return {f, w, sc, L, dlgama(0.5 * f)};
}

// The kernel of ten degrees of freedom with c = 11 that the documented values refer to.
Kernel documented_kernel() {
    return kernel(10.0, -1.0);
}

// The documented kernel's scaled Bessel values: its mass and the negated first moment over
// [-1, 1].
double documented_mass() {
    return besseli(11.0, 4.5, 2);
}
double documented_moment() {
    return -besseli(11.0, 5.5, 2);
}

// The integral of t^power h(t) from a to b (power 0 or 1), long double composite Simpson in u.
long double reference_integral(const Kernel& k, int power, long double a, long double b) {
    const long double pi = 3.141592653589793238462643383279502884L;
    const long double f = k.f;
    const long double c = (f + 1) * -static_cast<long double>(k.w);
    const long double log_K = -0.5L * std::log(pi) + (f - 1) / 2 * std::log(c / 2) -
                              std::lgamma(f / 2) - (f + 1) * k.sc -
                              std::log(static_cast<long double>(k.L));
    // Enough points across the kernel's peak, whose width shrinks like 1/sqrt(f).
    const int intervals = 4000 + 40 * static_cast<int>(k.f);
    const long double ua = std::acos(-a);
    const long double ub = std::acos(-b);
    const long double h = (ub - ua) / intervals;
    long double sum = 0;
    for (int i = 0; i <= intervals; ++i) {
        const long double u = ua + h * i;
        const long double s = std::sin(u);
        long double value =
            s <= 0 ? 0 : std::exp(log_K + (f - 1) * std::log(s) - c * (1 - std::cos(u)));
        if (power == 1) {
            value *= -std::cos(u);
        }
        const int weight = (i == 0 || i == intervals) ? 1 : (i % 2 == 1 ? 4 : 2);
        sum += weight * value;
    }
    return sum * h / 3;
}

// x in [lo, hi] with the reference mass from x to hi equal to target, by bisection.
double reference_lower_end(const Kernel& k, double lo, double hi, double target) {
    long double left = lo;
    long double right = hi;
    for (int i = 0; i < 60; ++i) {
        const long double mid = (left + right) / 2;
        if (reference_integral(k, 0, mid, hi) > target) {
            left = mid;
        } else {
            right = mid;
        }
    }
    return static_cast<double>((left + right) / 2);
}

// Engine calls with the kernel's parameters.
double moment(const Kernel& k, double a, double b) {
    return twotailednewfintegrateadap(a, b, k.f, k.w, k.lg, k.sc, k.L);
}
double mass(const Kernel& k, double a, double b) {
    return newfintegrateadap(a, b, k.f, k.w, k.lg, k.sc, k.L);
}
double invert_lower(const Kernel& k, double lo, double hi, double target, int& failed) {
    return invertnewflower(lo, hi, target, k.f, k.w, inv_sqrt_pi(), k.lg, k.sc, k.L, failed);
}
double invert_upper(const Kernel& k, double lo, double hi, double target, int& failed) {
    return invertnewfupper(lo, hi, target, k.f, k.w, inv_sqrt_pi(), k.lg, k.sc, k.L, failed);
}

// With the default Tolerance (1e-8) the quadrature accepts a piece once halving it changes its
// estimate by at most Tolerance/100, and the Richardson correction makes the accepted value far
// better than that: the errors seen in these tests, integrals and inverted masses alike, stay
// below 3e-11.
constexpr double quadrature_accuracy = 1e-10;

// A value no routine writes into `failed`: it shows that a successful inversion leaves the
// flag alone.
constexpr int failed_untouched = -3;

// ---- First moment ----------------------------------------------------------------------------

TEST(FirstMoment, IntegrandIsTTimesTheKernelAndZeroAtTheEndsAndTheCentre) {
    const double m = inv_sqrt_pi();
    const Kernel kernels[] = {documented_kernel(), kernel(3.0, -0.05), kernel(40.0, -0.3, 0.2, 2.5),
                              kernel(1000.0, -0.5, -0.5, 3.0)};
    for (const Kernel& k : kernels) {
        SCOPED_TRACE(testing::Message() << "f " << k.f << " w " << k.w);
        EXPECT_EQ(twotailednewf(1.0, k.f, k.w, m, k.lg, k.sc, k.L), 0.0);
        EXPECT_EQ(twotailednewf(-1.0, k.f, k.w, m, k.lg, k.sc, k.L), 0.0);
        EXPECT_EQ(twotailednewf(0.0, k.f, k.w, m, k.lg, k.sc, k.L), 0.0);
        for (const double t : {-0.999, -0.6, -0.25, 0.125, 0.5, 0.97}) {
            SCOPED_TRACE(t);
            // (t m) exp(E) and t (m exp(E)) differ by at most the rounding of one product:
            // a few units in the last place.
            EXPECT_DOUBLE_EQ(twotailednewf(t, k.f, k.w, m, k.lg, k.sc, k.L),
                             t * newf(t, k.f, k.w, m, k.lg, k.sc, k.L));
        }
    }
}

TEST(FirstMoment, ZeroWidthAndReversedIntervals) {
    const ControlGuard guard;
    const Kernel k = documented_kernel();
    for (const double a : {-1.0, -0.3, 0.0, 0.7, 1.0}) {
        SCOPED_TRACE(a);
        EXPECT_EQ(moment(k, a, a), 0.0);
    }
    // Reversing the limits negates the integral; the pieces are the same up to the rounding
    // of their end points, far below the quadrature's accuracy.
    constexpr double reversal_tolerance = 1e-13;
    EXPECT_NEAR(moment(k, 0.4, -0.8), -moment(k, -0.8, 0.4), reversal_tolerance);
}

TEST(FirstMoment, DocumentedValuesForTenDegreesOfFreedom) {
    const ControlGuard guard;
    const Kernel k = documented_kernel();
    const double whole_moment = moment(k, -1.0, 1.0);
    const double whole_mass = mass(k, -1.0, 1.0);
    // The documented values, quoted to 12 decimals; the quadrature's own error (below) is
    // about 2e-12.
    constexpr double quoted = 5e-12;
    EXPECT_NEAR(whole_moment, -0.029741472129, quoted);
    EXPECT_NEAR(whole_mass, 0.047042925911, quoted);
    // The documented agreement with the scaled Bessel values is about 2e-12 (2.04e-12 and
    // 2.33e-12 observed): the absolute tolerance Tolerance/100 of the accepted pieces summed
    // over the few hundred pieces.
    constexpr double documented_agreement = 3e-12;
    EXPECT_NEAR(whole_moment, documented_moment(), documented_agreement);
    EXPECT_NEAR(whole_mass, documented_mass(), documented_agreement);
}

TEST(FirstMoment, WholeIntervalIsTheNegatedScaledBesselValue) {
    const ControlGuard guard;
    // The moment over [-1, 1] is -exp(-c) I_((f+1)/2)(c) exp(-(f + 1) sc)/L; the Bessel values
    // come from the engine's besseli.
    const Kernel kernels[] = {kernel(3.0, -0.05),           kernel(3.0, -2.0),
                              kernel(20.0, -0.3),           kernel(20.0, -0.3, 0.1, 0.5),
                              kernel(101.0, -1.0),          kernel(101.0, -1.0, 0.01, 4.0),
                              kernel(600.0, -0.6, 0.0, 1.0)};
    for (const Kernel& k : kernels) {
        SCOPED_TRACE(testing::Message()
                     << "f " << k.f << " w " << k.w << " sc " << k.sc << " L " << k.L);
        const double c = (k.f + 1.0) * (-k.w);
        const double bessel = besseli(c, (k.f + 1.0) * 0.5, 2);
        ASSERT_NE(bessel, besseli_failed);
        const double expected = -bessel * std::exp(-(k.f + 1.0) * k.sc) / k.L;
        EXPECT_NEAR(moment(k, -1.0, 1.0), expected, quadrature_accuracy);
    }
}

TEST(FirstMoment, SubIntervalsAgreeWithTheLongDoubleReference) {
    const ControlGuard guard;
    struct Case {
        Kernel k;
        double a;
        double b;
    };
    // The documented kernel below and above its median (-0.654; its mode is at -0.70), in its
    // right tail and across t = 0, where the integrand changes sign; the halves of a kernel
    // with square-root ends (f = 3); the pure exponential (f = 2); a scaled kernel; and a
    // peaked kernel of many degrees of freedom on either side of its mode (about -0.415).
    const Case cases[] = {{documented_kernel(), -1.0, -0.6542329062},
                          {documented_kernel(), -0.6542329062, 0.3},
                          {documented_kernel(), 0.3, 1.0},
                          {documented_kernel(), -0.2, 0.2},
                          {kernel(3.0, -0.5), -1.0, 0.0},
                          {kernel(3.0, -0.5), 0.0, 1.0},
                          {kernel(2.0, -1.5), -0.9, 0.5},
                          {kernel(40.0, -0.2, 0.1, 2.5), -0.5, 0.25},
                          {kernel(1000.0, -0.5, -0.23, 1.0), -0.5, -0.415},
                          {kernel(1000.0, -0.5, -0.23, 1.0), -0.415, -0.3}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "f " << c.k.f << " w " << c.k.w << " [" << c.a << ", " << c.b << "]");
        const double reference = static_cast<double>(reference_integral(c.k, 1, c.a, c.b));
        EXPECT_NEAR(moment(c.k, c.a, c.b), reference, quadrature_accuracy);
    }
}

// ---- Inversions ------------------------------------------------------------------------------

TEST(InvertNewF, MedianOfTheDocumentedKernel) {
    const ControlGuard guard;
    const Kernel k = documented_kernel();
    // Half the total mass, about 0.0235214629557, taken from the Bessel closed form.
    const double target = 0.5 * documented_mass();
    int lower_failed = failed_untouched;
    int upper_failed = failed_untouched;
    const double lower = invert_lower(k, -1.0, 1.0, target, lower_failed);
    const double upper = invert_upper(k, -1.0, 1.0, target, upper_failed);
    EXPECT_EQ(lower_failed, failed_untouched);
    EXPECT_EQ(upper_failed, failed_untouched);
    // The documented median, quoted to 10 decimals.
    constexpr double quoted = 1e-10;
    EXPECT_NEAR(lower, -0.6542329062, quoted);
    EXPECT_NEAR(upper, -0.6542329062, quoted);
    // The two sweeps agree to about 1e-10 as documented (1e-13 observed).
    constexpr double documented_agreement = 1e-10;
    EXPECT_NEAR(lower, upper, documented_agreement);
    // Reference median -0.65423290625565 (bisection on the long double reference). The sweeps'
    // accumulated quadrature error, about 1e-12 in mass, divided by the density there, about
    // 0.12, leaves 1e-11 in the position (1.9e-11 observed for the longer downward sweep).
    constexpr double position_accuracy = 5e-11;
    const double median = reference_lower_end(k, -1.0, 1.0, target);
    EXPECT_NEAR(lower, median, position_accuracy);
    EXPECT_NEAR(upper, median, position_accuracy);
}

TEST(InvertNewF, UnreachableTargetsSetFailed) {
    const ControlGuard guard;
    const Kernel k = documented_kernel();
    struct Case {
        double lo;
        double hi;
        double target;
        const char* what;
    };
    const Case cases[] = {
        {-1.0, 1.0, 1.01 * documented_mass(), "1% above the total mass"},
        {-0.5, 0.25, 1.01 * static_cast<double>(reference_integral(k, 0, -0.5, 0.25)),
         "1% above the mass of a sub-interval"},
        {1.0, -1.0, 0.01, "ends in reverse order"},
        {0.3, 0.3, 0.01, "empty interval"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        int lower_failed = 0;
        int upper_failed = 0;
        (void)invert_lower(k, c.lo, c.hi, c.target, lower_failed);
        (void)invert_upper(k, c.lo, c.hi, c.target, upper_failed);
        EXPECT_EQ(lower_failed, 1);
        EXPECT_EQ(upper_failed, 1);
    }
}

TEST(InvertNewF, TargetThatIsNotANumberGivesNoNumber) {
    // No comparison with it holds, so the first piece meets the interpolation case: the result
    // is not a number and failed is left alone, for the caller's tests to meet.
    const ControlGuard guard;
    const Kernel k = documented_kernel();
    int lower_failed = 0;
    int upper_failed = 0;
    EXPECT_TRUE(std::isnan(invert_lower(k, -1.0, 1.0, nan, lower_failed)));
    EXPECT_TRUE(std::isnan(invert_upper(k, -1.0, 1.0, nan, upper_failed)));
    EXPECT_EQ(lower_failed, 0);
    EXPECT_EQ(upper_failed, 0);
}

TEST(InvertNewF, ZeroTargetReturnsTheAnchoredEnd) {
    const ControlGuard guard;
    struct Case {
        Kernel k;
        double lo;
        double hi;
    };
    // Dyadic ends: halving the interval is exact, so the end comes back unchanged.
    const Case cases[] = {{documented_kernel(), -1.0, 1.0},
                          {documented_kernel(), -0.5, 0.25},
                          {kernel(3.0, -0.5), -0.75, 0.875},
                          {kernel(40.0, -0.2, 0.1, 2.5), -1.0, -0.125}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "f " << c.k.f << " [" << c.lo << ", " << c.hi << "]");
        int lower_failed = failed_untouched;
        int upper_failed = failed_untouched;
        EXPECT_EQ(invert_lower(c.k, c.lo, c.hi, 0.0, lower_failed), c.hi);
        EXPECT_EQ(invert_upper(c.k, c.lo, c.hi, 0.0, upper_failed), c.lo);
        EXPECT_EQ(lower_failed, failed_untouched);
        EXPECT_EQ(upper_failed, failed_untouched);
    }
}

TEST(InvertNewF, ReturnedEndCarriesTheTargetMass) {
    const ControlGuard guard;
    struct Case {
        Kernel k;
        double lo;
        double hi;
        double share; // target as a share of the mass over [lo, hi]
    };
    // Whole and partial intervals, targets near either end and in the middle, a kernel with
    // square-root ends (f = 3), the pure exponential (f = 2) and a scaled kernel.
    const Case cases[] = {{documented_kernel(), -1.0, 1.0, 0.05},
                          {documented_kernel(), -1.0, 1.0, 0.95},
                          {documented_kernel(), -0.9, 0.1, 0.3},
                          {kernel(3.0, -0.5), -1.0, 1.0, 0.5},
                          {kernel(3.0, -0.5), -1.0, 1.0, 0.999},
                          {kernel(2.0, -1.5), -1.0, 0.6, 0.7},
                          {kernel(40.0, -0.2, 0.1, 2.5), -0.6, 0.4, 0.2},
                          {kernel(40.0, -0.2, 0.1, 2.5), -1.0, 1.0, 0.6}};
    // The mass over the returned piece, by the plain quadrature, matches the target to the
    // accuracy of the two quadratures.
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "f " << c.k.f << " w " << c.k.w << " [" << c.lo << ", "
                                        << c.hi << "] share " << c.share);
        const double target = c.share * mass(c.k, c.lo, c.hi);
        int lower_failed = failed_untouched;
        int upper_failed = failed_untouched;
        const double lower = invert_lower(c.k, c.lo, c.hi, target, lower_failed);
        const double upper = invert_upper(c.k, c.lo, c.hi, target, upper_failed);
        EXPECT_EQ(lower_failed, failed_untouched);
        EXPECT_EQ(upper_failed, failed_untouched);
        EXPECT_GE(lower, c.lo);
        EXPECT_LE(lower, c.hi);
        EXPECT_GE(upper, c.lo);
        EXPECT_LE(upper, c.hi);
        EXPECT_NEAR(mass(c.k, lower, c.hi), target, quadrature_accuracy);
        EXPECT_NEAR(mass(c.k, c.lo, upper), target, quadrature_accuracy);
    }
}

TEST(InvertNewF, InterpolatesWithinTheLastPiece) {
    // With Tolerance 1e-6 the piece holding the target is refined only to a half-width of
    // 1e-7; the step back by overshoot over density still lands close to the reference median
    // (4.4e-10 and 3.6e-11 observed), where either end of that piece could be 2e-7 away.
    ControlParms coarse;
    coarse.Tolerance = 1e-6;
    const ControlGuard guard(coarse);
    const Kernel k = documented_kernel();
    const double target = 0.5 * documented_mass();
    const double median = reference_lower_end(k, -1.0, 1.0, target);
    constexpr double interpolated = 2e-9;
    int failed = failed_untouched;
    EXPECT_NEAR(invert_lower(k, -1.0, 1.0, target, failed), median, interpolated);
    EXPECT_NEAR(invert_upper(k, -1.0, 1.0, target, failed), median, interpolated);
    EXPECT_EQ(failed, failed_untouched);
}

TEST(InvertNewF, PeakedKernelStaysWithinTheStack) {
    const ControlGuard guard;
    const double m = inv_sqrt_pi();
    // A thousand degrees of freedom: the peak is about 0.03 wide. c is about 50, 500, 800 (the
    // largest Bessel argument) and 5005 (quadrature only). sc puts the log-kernel at the
    // mode to 0, as the two-sided tail function chooses it for many degrees of freedom, and L
    // is the kernel's value there: the peak is m. The intervals end at the mode or 0.05 past
    // it on the anchored side, as the tail function's acceptance regions do.
    struct Case {
        double w;
        double offset;
    };
    const Case cases[] = {{-0.05, 0.05}, {-0.05, 0.0}, {-0.5, 0.05}, {-0.5, 0.0},
                          {-0.8, 0.05},  {-0.8, 0.0},  {-5.0, 0.0}};
    const double f = 1000.0;
    for (const Case& c : cases) {
        const double lg = dlgama(0.5 * f);
        const double tm = tmax(f, c.w);
        const double sc =
            ((0.5 * f - 1.0) * std::log(1.0 - tm * tm) + (f + 1.0) * c.w * (1.0 + tm) -
             (f - 1.0) * 0.5 * std::log(2.0 / (-c.w * (f + 1.0))) - lg) /
            (f + 1.0);
        const Kernel k{f, c.w, sc, newf(tm, f, c.w, m, lg, sc, 1.0), lg};
        // The plain quadrature split at the mode, so that no piece straddles the peak.
        const auto split_mass = [&](double a, double b) {
            return a < tm && tm < b ? mass(k, a, tm) + mass(k, tm, b) : mass(k, a, b);
        };
        const double r_lower = tm + c.offset;
        const double r_upper = tm - c.offset;
        for (const double share : {1e-6, 0.5, 0.95}) {
            SCOPED_TRACE(testing::Message()
                         << "w " << c.w << " offset " << c.offset << " share " << share);
            const double lower_target = share * split_mass(-1.0, r_lower);
            const double upper_target = share * split_mass(r_upper, 1.0);
            int lower_failed = failed_untouched;
            int upper_failed = failed_untouched;
            const double lower = invert_lower(k, -1.0, r_lower, lower_target, lower_failed);
            const double upper = invert_upper(k, r_upper, 1.0, upper_target, upper_failed);
            EXPECT_EQ(lower_failed, failed_untouched);
            EXPECT_EQ(upper_failed, failed_untouched);
            EXPECT_NEAR(split_mass(lower, r_lower), lower_target, quadrature_accuracy);
            EXPECT_NEAR(split_mass(r_upper, upper), upper_target, quadrature_accuracy);
        }
    }
}

TEST(InvertNewF, HostileTolerancesEndPromptlyWithTheMedian) {
    const Kernel k = documented_kernel();
    const double target = 0.5 * documented_mass();
    const double median = reference_lower_end(k, -1.0, 1.0, target);
    for (const double tolerance : {0.0, -1.0, 1e-300, nan}) {
        SCOPED_TRACE(tolerance);
        ControlParms hostile;
        hostile.Tolerance = tolerance;
        const ControlGuard guard(hostile);
        int lower_failed = failed_untouched;
        int upper_failed = failed_untouched;
        double lower = 0.0;
        double upper = 0.0;
        double whole_moment = 0.0;
        {
            lower = invert_lower(k, -1.0, 1.0, target, lower_failed);
            upper = invert_upper(k, -1.0, 1.0, target, upper_failed);
            whole_moment = moment(k, -1.0, 1.0);
        }
        // Such tolerances work as 1e-13: the quadrature errors are then near rounding, and
        // the positions follow from them through the density of about 0.12 (2.2e-14 in
        // position and 2e-17 in the moment observed).
        EXPECT_EQ(lower_failed, failed_untouched);
        EXPECT_EQ(upper_failed, failed_untouched);
        constexpr double position_accuracy = 1e-12;
        constexpr double moment_accuracy = 1e-14;
        EXPECT_NEAR(lower, median, position_accuracy);
        EXPECT_NEAR(upper, median, position_accuracy);
        EXPECT_NEAR(whole_moment, documented_moment(), moment_accuracy);
    }
}

TEST(InvertNewF, IntegrandsThatAreNotNumbersFail) {
    const ControlGuard guard;
    // w not a number, L not a number, and w > 0 (the logarithm of a negative number): the
    // integrand is not a number everywhere inside (-1, 1). The first piece is then taken into
    // the sum as it is, and with nothing left to sweep the inversions report failure.
    const Kernel kernels[] = {kernel(10.0, nan), kernel(10.0, -1.0, 0.0, nan), kernel(10.0, 0.5)};
    for (const Kernel& k : kernels) {
        SCOPED_TRACE(testing::Message() << "w " << k.w << " L " << k.L);
        int lower_failed = 0;
        int upper_failed = 0;
        double whole_moment = 0.0;
        {
            (void)invert_lower(k, -1.0, 1.0, 0.01, lower_failed);
            (void)invert_upper(k, -1.0, 1.0, 0.01, upper_failed);
            whole_moment = moment(k, -1.0, 1.0);
        }
        EXPECT_EQ(lower_failed, 1);
        EXPECT_EQ(upper_failed, 1);
        EXPECT_TRUE(std::isnan(whole_moment));
    }
}

} // namespace
} // namespace lvlim
