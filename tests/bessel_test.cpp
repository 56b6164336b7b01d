// The modified Bessel functions of the first kind.
//
// Reference values: sqrt(2/pi) sinh(x)/sqrt(x) for order 1/2 (closed form); published-code and
// 40-digit values for I_100(1), I_3(1e-5) and I_500(800) (the cross-check table that comes with
// the routine's coefficients: 3.11729045878281367e-189, 2.08331250011718766e-17,
// 1.74795121390488616e-68); elsewhere the ascending power series summed in long double, and
// the three-term recurrence I_(v-1)(x) - I_(v+1)(x) = (2v/x) I_v(x), which the sequence must
// satisfy whatever its starting index.
#include <array>
#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "Guts/mainguts.hpp"

namespace lvlim {
namespace {

constexpr double eps = 2.220446049250313e-16;

// exp(-x) I_v(x) by its ascending series, sum (x/2)^(v+2k)/(k! Gamma(v+k+1)), in long double
// and logarithms. Accurate where the terms do not cancel (they are all positive) and the series
// converges quickly: x up to a few tens.
long double series_scaled(long double x, long double v) {
    const long double log_half_x = std::log(x / 2);
    long double sum = 0;
    for (int k = 0; k < 400; ++k) {
        const long double log_term =
            (v + 2 * k) * log_half_x - std::lgamma(k + 1.0L) - std::lgamma(v + k + 1) - x;
        const long double term = std::exp(log_term);
        sum += term;
        if (k > x && term < sum * 1e-21L) {
            break;
        }
    }
    return sum;
}

TEST(Besseli, ClosedFormsAndPublishedValues) {
    EXPECT_EQ(besseli(0.0, 0.0, 2), 1.0);
    EXPECT_EQ(besseli(0.0, 1.5, 2), 0.0);
    const double pi = 3.141592653589793;
    // I_(1/2)(x) = sqrt(2/(pi x)) sinh(x).
    EXPECT_NEAR(besseli(1.0, 0.5, 2), std::sqrt(2.0 / pi) * std::sinh(1.0) * std::exp(-1.0),
                4 * eps * 0.345);
    EXPECT_NEAR(besseli(1.0, 0.5, 1), std::sqrt(2.0 / pi) * std::sinh(1.0), 4 * eps);
    for (const double x : {0.5, 3.0, 25.0, 300.0}) {
        SCOPED_TRACE(x);
        const double closed = std::sqrt(2.0 / (pi * x)) * (0.5 * (1.0 - std::exp(-2.0 * x)));
        EXPECT_NEAR(besseli(x, 0.5, 2), closed, 1e-14 * closed);
    }
    // The routine's published results, to a few units in the last place.
    EXPECT_NEAR(besseli(1.0, 100.0, 2), 3.11729045878281367e-189, 8 * eps * 3.117e-189);
    EXPECT_NEAR(besseli(1e-5, 3.0, 2), 2.08331250011718766e-17, 8 * eps * 2.083e-17);
    EXPECT_NEAR(besseli(800.0, 500.0, 2), 1.74795121390488616e-68, 64 * eps * 1.748e-68);
}

TEST(Besseli, FailureValue) {
    const double cases[][3] = {
        {1.0, 200.0, 2},   // backward test: order far above the argument
        {1e-5, 200.0, 2},  // the higher orders of the series underflow
        {-1.0, 1.0, 2},    // negative argument
        {1.0e4 + 1.0, 1.0, 2}, {710.0, 1.0, 1}, // above the limits of each scaling
        {1.0, -0.5, 2},    {1.0, -3.0, 2},  // negative orders
        {1.0, 1.0, 3},     // no such scaling
        {10.0, 2000.0, 2}, {10.0, 1e300, 2}, {10.0, std::nan(""), 2}, {std::nan(""), 1.0, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "x " << c[0] << " v " << c[1] << " ize " << c[2]);
        EXPECT_EQ(besseli(c[0], c[1], static_cast<int>(c[2])), besseli_failed);
    }
    EXPECT_NE(besseli(1.0e4, 1.0, 2), besseli_failed);
    EXPECT_NE(besseli(709.0, 1.0, 1), besseli_failed);
    // The largest order the working vector holds is still computed (here it underflows).
    EXPECT_EQ(besseli(2000.0, 1999.5, 2), 0.0);
}

TEST(Ribesl, ArgumentCheckAndAccuracyIndicator) {
    std::array<double, 8> b{};
    b.fill(7.0);
    int ncalc = 99;
    ribesl(1.0, 0.0, 0, 2, b, ncalc);
    EXPECT_EQ(ncalc, -1);
    ribesl(1.0, 1.0, 5, 2, b, ncalc);
    EXPECT_EQ(ncalc, -1);
    ribesl(1.0, 0.5, -3, 2, b, ncalc);
    EXPECT_EQ(ncalc, -4);
    ribesl(1.0, 0.5, 9, 2, b, ncalc); // more orders than the vector holds
    EXPECT_EQ(ncalc, -1);
    for (const double value : b) {
        EXPECT_EQ(value, 7.0); // untouched
    }

    // Accurate orders below the first inaccurate one.
    std::vector<double> many(201);
    ribesl(1.0, 0.0, 201, 2, many, ncalc);
    EXPECT_EQ(ncalc, 146); // through the overflow rescue of the forward sweep
    ribesl(1e-5, 0.0, 201, 2, many, ncalc);
    EXPECT_EQ(ncalc, 46); // series: the first order that underflows
    ribesl(1.0, 0.0, 101, 2, many, ncalc);
    EXPECT_EQ(ncalc, 101);

    // At x = 0 every order above 0 is 0, and the sequence is still complete.
    ribesl(0.0, 0.5, 2, 2, b, ncalc);
    EXPECT_EQ(ncalc, 2);
    EXPECT_EQ(b[0], 0.0);
    EXPECT_EQ(b[1], 0.0);
}

TEST(Besseli, AgreesWithThePowerSeries) {
    // Arguments across both paths (series below 1e-4) and orders across the working range.
    const double xs[] = {1e-5, 5e-5, 1e-4, 0.3, 1.0, 2.5, 7.0, 15.0, 30.0};
    const double vs[] = {0.0, 0.25, 0.5, 1.0, 2.75, 9.5, 10.0, 40.5, 100.0};
    for (const double x : xs) {
        for (const double v : vs) {
            const double got = besseli(x, v, 2);
            if (got == besseli_failed) {
                continue; // the order underflows at this argument; checked elsewhere
            }
            SCOPED_TRACE(testing::Message() << "x " << x << " v " << v);
            const long double expected = series_scaled(x, v);
            EXPECT_NEAR(got, static_cast<double>(expected), 1e-13 * static_cast<double>(expected));
        }
    }
}

TEST(Besseli, ThreeTermRecurrenceAcrossTheWholeRange) {
    // I_(v-1)(x) - I_(v+1)(x) = (2v/x) I_v(x) for x in [0, 800] and v up to 501: each order is
    // computed by its own call, so a wrong start index or normalisation would show.
    const double xs[] = {0.01, 0.9, 5.0, 49.0, 120.0, 333.3, 499.0, 650.0, 800.0};
    const double vs[] = {1.0, 1.5, 7.25, 50.0, 99.5, 250.0, 400.5, 500.0};
    for (const double x : xs) {
        for (const double v : vs) {
            const double below = besseli(x, v - 1.0, 2);
            const double at = besseli(x, v, 2);
            const double above = besseli(x, v + 1.0, 2);
            if (below == besseli_failed || above == besseli_failed || at == besseli_failed) {
                continue;
            }
            if (above == 0.0) {
                continue; // underflowed to zero: nothing to compare
            }
            SCOPED_TRACE(testing::Message() << "x " << x << " v " << v);
            const double lhs = below - above;
            const double rhs = (2.0 * v / x) * at;
            EXPECT_NEAR(lhs, rhs, 1e-12 * std::fabs(below));
            // Monotone in the order.
            EXPECT_GT(below, at);
            EXPECT_GT(at, above);
        }
    }
}

TEST(Besseli, ScaledAndUnscaledDifferByExp) {
    for (const double x : {1e-5, 0.5, 10.0, 300.0, 700.0}) {
        for (const double v : {0.0, 3.5, 60.0}) {
            SCOPED_TRACE(testing::Message() << "x " << x << " v " << v);
            const double scaled = besseli(x, v, 2);
            const double unscaled = besseli(x, v, 1);
            if (scaled == besseli_failed || unscaled == besseli_failed || unscaled == 0.0) {
                continue;
            }
            EXPECT_NEAR(scaled, unscaled * std::exp(-x), 1e-13 * scaled);
        }
    }
}

} // namespace
} // namespace lvlim
