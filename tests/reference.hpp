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

#include <array>
#include <cmath>
#include <functional>
#include <limits>

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

// ---- A peak-adapted reference for the whole supported range ----------------------------------
//
// The reference above spreads a fixed number of Simpson points over all of (0, pi); at many
// thousands of degrees of freedom the kernel's peak is a few thousandths wide and most of those
// points see nothing. Here, still in u with t = -cos(u), the integrand
//   g(u) = sin(u)^(f-1) exp(c cos u) / (its value at the mode)
// is integrated only over the window where ln g > -window_depth (outside it g < 1e-43; g is
// unimodal, so the window is an interval), in panels a fraction of the peak's width wide, with a
// 20-point Gauss-Legendre rule on each. g is analytic for every whole f >= 2, so the panels
// converge geometrically. The limits are solved in k itself (theta = S^2/2 + k S/sqrt(f)), so
// that nothing is lost when S is tiny and theta hardly moves.
//
// The mode of ln g solves (f - 1) cos u = c sin(u)^2; with x = cos u this is
// c x^2 + (f - 1) x - c = 0, and there -(ln g)'' = c (x + 1/x), the peak's inverse squared
// width.

// The nodes and weights of the 20-point Gauss-Legendre rule on [-1, 1], by Newton's method on
// the Legendre polynomial from the usual cosine start.
struct GaussLegendre20 {
    static constexpr int size = 20;
    std::array<long double, size> x{};
    std::array<long double, size> w{};
    GaussLegendre20() {
        for (int i = 0; i < size; ++i) {
            long double z = std::cos(ld_pi * (i + 0.75L) / (size + 0.5L));
            long double derivative = 0;
            for (int step = 0; step < 100; ++step) {
                long double p0 = 1;
                long double p1 = z;
                for (int j = 2; j <= size; ++j) {
                    const long double p2 = ((2 * j - 1) * z * p1 - (j - 1) * p0) / j;
                    p0 = p1;
                    p1 = p2;
                }
                derivative = size * (z * p1 - p0) / (z * z - 1);
                const long double next = z - p1 / derivative;
                const bool done =
                    std::fabs(next - z) <= 4 * std::numeric_limits<long double>::epsilon();
                z = next;
                if (done) {
                    break;
                }
            }
            x[static_cast<std::size_t>(i)] = z;
            w[static_cast<std::size_t>(i)] = 2 / ((1 - z * z) * derivative * derivative);
        }
    }
};
inline const GaussLegendre20& gauss_legendre20() {
    static const GaussLegendre20 rule;
    return rule;
}

// ln g below this is left out of every integral.
inline constexpr long double window_depth = 100;
// Panels per width of the peak.
inline constexpr int panels_per_width = 2;

struct PeakKernel {
    long double f;
    long double c;
    long double um;    // the mode in u
    long double peak;  // ln of the unscaled integrand at the mode
    long double width; // 1/sqrt(-(ln g)'') at the mode
    long double lo;    // the window [lo, hi]
    long double hi;

    [[nodiscard]] long double log_g(long double u) const {
        const long double s = std::sin(u);
        if (!(s > 0)) {
            return -std::numeric_limits<long double>::infinity();
        }
        return (f - 1) * std::log(s) + c * std::cos(u) - peak;
    }

    // The integral of g(u) (-cos u)^power over [a, b] within the window.
    [[nodiscard]] long double integral(long double a, long double b, int power = 0) const {
        a = std::max(a, lo);
        b = std::min(b, hi);
        if (!(b > a)) {
            return 0;
        }
        const GaussLegendre20& rule = gauss_legendre20();
        const long double panels = std::ceil((b - a) * panels_per_width / width);
        const int count = static_cast<int>(panels);
        const long double h = (b - a) / count;
        long double sum = 0;
        for (int p = 0; p < count; ++p) {
            const long double mid = a + (p + 0.5L) * h;
            for (int i = 0; i < GaussLegendre20::size; ++i) {
                const long double u = mid + 0.5L * h * rule.x[static_cast<std::size_t>(i)];
                long double value = std::exp(log_g(u));
                if (power == 1) {
                    value *= -std::cos(u);
                }
                sum += rule.w[static_cast<std::size_t>(i)] * value;
            }
        }
        return sum * h / 2;
    }
};

inline PeakKernel peak_kernel(long double f, long double c) {
    PeakKernel k{f, c, 0, 0, 0, 0, ld_pi};
    const long double x = 2 * c / ((f - 1) + std::sqrt((f - 1) * (f - 1) + 4 * c * c));
    // sin(um)^2 = 1 - x^2 = (f - 1) x / c, free of cancellation when x is near 1.
    k.um = std::atan2(std::sqrt((f - 1) * x / c), x);
    k.peak = 0;
    k.peak = k.log_g(k.um);
    k.width = 1 / std::sqrt(c * (x + 1 / x));
    // ln g rises to 0 at the mode and falls to -infinity at both ends.
    const auto edge = [&](long double outside, long double inside) {
        for (int i = 0; i < 200; ++i) {
            const long double mid = (outside + inside) / 2;
            if (k.log_g(mid) > -window_depth) {
                inside = mid;
            } else {
                outside = mid;
            }
        }
        return outside;
    };
    k.lo = edge(0, k.um);
    k.hi = edge(ld_pi, k.um);
    return k;
}

// The kernel and the end r (as u_r, t = r = -cos u_r) of the tail at the standardized value k.
struct TailPoint {
    PeakKernel kernel;
    long double ur;
};
inline TailPoint tail_point(long double k, long double f, long double S) {
    const long double A = -std::sqrt(f + 1) * (S / 2 + k / std::sqrt(f));
    const long double B = std::sqrt(f + 1) * (S / 2) * std::sqrt(f + A * A) / (f + 1);
    const long double x = A / std::sqrt(f);
    // r = x/sqrt(1 + x^2) = -cos(u_r), sin(u_r) = 1/sqrt(1 + x^2).
    return {peak_kernel(f, (f + 1) * B), std::atan2(1.0L, -x)};
}

// The one-sided tail probability P(T <= r) at k.
inline long double peak_tail(long double k, long double f, long double S) {
    const TailPoint p = tail_point(k, f, S);
    return p.kernel.integral(0, p.ur) / p.kernel.integral(0, ld_pi);
}

// The two-sided condition at k: the share of the first moment inside the region of probability
// a that has r at its upper end (which = 1) or its lower end (which = 2). At a limit it is a.
inline long double peak_two_sided(long double k, long double a, int which, long double f,
                                  long double S) {
    const TailPoint p = tail_point(k, f, S);
    const PeakKernel& K = p.kernel;
    const long double mass = K.integral(0, ld_pi);
    // The free end v: the region's probability as a function of v, with bracket and Newton.
    const auto excess = [&](long double v) {
        return (which == 1 ? K.integral(v, p.ur) : K.integral(p.ur, v)) - a * mass;
    };
    long double lo = which == 1 ? 0 : p.ur;
    long double hi = which == 1 ? p.ur : ld_pi;
    long double v = (lo + hi) / 2;
    for (int i = 0; i < 200 && hi - lo > 8 * std::numeric_limits<long double>::epsilon(); ++i) {
        const long double e = excess(v);
        if (e == 0) {
            break;
        }
        // The region grows as v moves away from u_r.
        if ((e > 0) == (which == 1)) {
            lo = v;
        } else {
            hi = v;
        }
        const long double slope = (which == 1 ? -1 : 1) * std::exp(K.log_g(v));
        const long double newton = slope != 0 ? v - e / slope : v;
        const bool inside = newton > lo && newton < hi && std::fabs(newton - v) < (hi - lo);
        v = inside ? newton : (lo + hi) / 2;
    }
    const long double u1 = which == 1 ? v : p.ur;
    const long double u2 = which == 1 ? p.ur : v;
    return K.integral(u1, u2, 1) / K.integral(0, ld_pi, 1);
}

// The root in k of residual(k) = 0 near `start`: a bracket grown geometrically from it, then
// regula falsi (Illinois) to a bracket of about 1e-15 relative. NaN if no bracket is found.
inline double reference_root(const std::function<long double(long double)>& residual,
                             double start) {
    long double a = std::isfinite(start) ? start : 0.0;
    long double fa = residual(a);
    if (fa == 0) {
        return static_cast<double>(a);
    }
    long double step = 1e-6L * (1 + std::fabs(a));
    // Step against the residual's sign, along its slope.
    const long double probe = residual(a + step);
    if ((probe > fa) == (fa > 0)) {
        step = -step;
    }
    long double b = a + step;
    long double fb = residual(b);
    for (int i = 0; i < 80 && (fa > 0) == (fb > 0); ++i) {
        a = b;
        fa = fb;
        step *= 2;
        b = a + step;
        fb = residual(b);
    }
    if ((fa > 0) == (fb > 0)) {
        return std::numeric_limits<double>::quiet_NaN();
    }
    int side = 0;
    for (int i = 0; i < 200; ++i) {
        if (std::fabs(b - a) <= 1e-15L * (1 + std::fabs(a))) {
            break;
        }
        const long double x = (a * fb - b * fa) / (fb - fa);
        const long double fx = residual(x);
        if (fx == 0) {
            return static_cast<double>(x);
        }
        if ((fx > 0) == (fa > 0)) {
            a = x;
            fa = fx;
            if (side == -1) {
                fb /= 2;
            }
            side = -1;
        } else {
            b = x;
            fb = fx;
            if (side == 1) {
                fa /= 2;
            }
            side = 1;
        }
    }
    return static_cast<double>((a + b) / 2);
}

// The standardized one-sided limit: the k at which the tail probability is q (q = 1 - alpha for
// an upper limit, alpha for a lower one), searched from `start`.
inline double peak_one_sided_limit(double q, double f, double S, double start) {
    return reference_root([&](long double k) { return peak_tail(k, f, S) - q; }, start);
}

// The standardized two-sided limit of side `which` (1 lower, 2 upper), searched from `start`.
inline double peak_two_sided_limit(double a, int which, double f, double S, double start) {
    return reference_root([&](long double k) { return peak_two_sided(k, a, which, f, S) - a; },
                          start);
}

} // namespace lvlim::test
