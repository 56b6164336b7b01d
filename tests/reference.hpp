// Independent reference values for the confidence limits, from their definitions.
//
// The kernel of both tail functions is the density h(t) proportional to
// (1 - t^2)^(f/2 - 1) exp(-c t) on (-1, 1), at the rate c and the point r that a trial theta
// gives. Every integral here is composite Simpson in long double after the substitution
// t = -cos(u), which makes the integrand sin(u)^(f-1) exp(c cos u) smooth at both ends; roots
// are found by bisection. Nothing of the engine's quadrature, inversions, Bessel function or
// searches is used.
//  - One-sided: the tail probability P(T <= r), and the standardized limit k at which it
//    equals a target.
//  - Two-sided: the region with r at one end that has probability a, and G, the share of the
//    first moment of h inside it, which equals a at a limit.
#pragma once

#include <cmath>

namespace lvlim::test {

// Maps theta to the kernel's rate c and the tail's end r, as the tail function defines them.
struct KernelPoint {
    long double c;
    long double r;
};
inline KernelPoint kernel_point(long double theta, long double f, long double S) {
    const long double A = -(std::sqrt(f + 1) * theta / S);
    const long double B = std::sqrt(f + 1) * (S / 2) * std::sqrt(f + A * A) / (f + 1);
    const long double x = A / std::sqrt(f);
    return {(f + 1) * B, x / std::sqrt(1 + x * x)};
}

// P(T <= r) by composite Simpson over u in [0, acos(-r)] and [0, pi] with t = -cos(u).
inline long double reference_tail(long double theta, long double f, long double S) {
    // Plain variables, not a structured binding: clang 14 cannot capture a binding in a lambda.
    const KernelPoint point = kernel_point(theta, f, S);
    const long double c = point.c;
    const long double r = point.r;
    const long double pi = 3.141592653589793238462643383279502884L;
    // Enough points across the kernel's peak, whose width shrinks like 1/sqrt(f).
    const int intervals = 4000 + 40 * static_cast<int>(f);
    const auto integrate = [&](long double upper) {
        const long double h = upper / intervals;
        long double sum = 0;
        for (int i = 0; i <= intervals; ++i) {
            const long double u = h * i;
            const long double s = std::sin(u);
            const long double value =
                s <= 0 ? 0 : std::exp((f - 1) * std::log(s) + c * std::cos(u) - c);
            const int weight = (i == 0 || i == intervals) ? 1 : (i % 2 == 1 ? 4 : 2);
            sum += weight * value;
        }
        return sum * h / 3;
    };
    return integrate(std::acos(-r)) / integrate(pi);
}

// The standardized limit k at which the reference tail equals q, by bisection on theta.
inline double reference_limit(double q, double f, double S) {
    const long double half_s2 = static_cast<long double>(S) * S / 2;
    long double lo = half_s2 - 100 * S;
    long double hi = half_s2 + 100 * S;
    for (int i = 0; i < 56; ++i) {
        const long double mid = (lo + hi) / 2;
        // The tail probability falls as theta grows.
        if (reference_tail(mid, f, S) > q) {
            lo = mid;
        } else {
            hi = mid;
        }
    }
    return static_cast<double>(std::sqrt(static_cast<long double>(f)) * ((lo + hi) / 2 - half_s2) /
                               S);
}

inline constexpr long double ld_pi = 3.141592653589793238462643383279502884L;

struct Kernel {
    long double f;
    long double c;
    long double r;
    // The integral over u in [u1, u2] of t^power h(t) dt, with t = -cos(u), by Simpson.
    long double integral(long double u1, long double u2, int power) const {
        const int intervals = 2000;
        const long double h = (u2 - u1) / intervals;
        long double sum = 0;
        for (int i = 0; i <= intervals; ++i) {
            const long double u = u1 + h * i;
            const long double s = std::sin(u);
            long double value = s <= 0 ? 0 : std::exp((f - 1) * std::log(s) + c * std::cos(u) - c);
            if (power == 1) {
                value *= -std::cos(u);
            }
            sum += ((i == 0 || i == intervals) ? 1 : (i % 2 == 1 ? 4 : 2)) * value;
        }
        return sum * h / 3;
    }
};

inline Kernel kernel_at(long double theta, long double f, long double S) {
    const long double A = -std::sqrt(f + 1) * theta / S;
    const long double x = A / std::sqrt(f);
    const long double B = std::sqrt(f + 1) * (S / 2) * std::sqrt(f + A * A) / (f + 1);
    return {f, (f + 1) * B, x / std::sqrt(1 + x * x)};
}

// G for side `which` (1: r is the upper end of the region, else its lower end).
inline long double reference_two_sided(long double theta, long double a, int which, long double f,
                                long double S) {
    const Kernel k = kernel_at(theta, f, S);
    const long double ur = std::acos(-k.r);
    const long double mass = k.integral(0, ld_pi, 0);
    // The other end u of the region, by bisection on its probability.
    long double lo = which == 1 ? 0 : ur;
    long double hi = which == 1 ? ur : ld_pi;
    for (int i = 0; i < 64; ++i) {
        const long double mid = (lo + hi) / 2;
        const long double p = which == 1 ? k.integral(mid, ur, 0) : k.integral(ur, mid, 0);
        // The region grows as its free end moves away from r.
        if ((p > a * mass) == (which == 1)) {
            lo = mid;
        } else {
            hi = mid;
        }
    }
    const long double other = (lo + hi) / 2;
    const long double u1 = which == 1 ? other : ur;
    const long double u2 = which == 1 ? ur : other;
    return k.integral(u1, u2, 1) / k.integral(0, ld_pi, 1);
}

} // namespace lvlim::test
