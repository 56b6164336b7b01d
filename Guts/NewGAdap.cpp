// newgadap: the one-sided tail function G(theta).
//
// For a trial theta the data map to a statistic r in (-1, 1) whose density is proportional to
// h(t) = (1 - t^2)^(f/2 - 1) exp(-c t); G is the probability of r or less under h. For f = 2
// G has a closed form. Otherwise G = N/D (or 1 - N/D), with N the integral of h over the tail
// that does not contain the mode and D the integral over (-1, 1), both of h(t)/h(tm) and both
// split at the mode, so that no single adaptive integration straddles the peak. D comes from
// the exponentially scaled Bessel function where its argument allows.
//
// Failure value: newgadap_failed (-9999.9) when D is zero.
#include <cmath>

#include "Guts/kernel_scale.hpp"
#include "Guts/mainguts.hpp"

namespace lvlim {

namespace {

// Reciprocal of the single-precision 6.99 (6.989999771118164), as a double: the slope of the
// scale offset sc = (S - 7) * factor that keeps exp in range.
constexpr double scale_offset_factor = 0.14306152113650694;

// Single-precision 0.26 widened to double: the largest ratio of the Bessel argument to its
// order for which large f switches to the split quadrature denominator.
constexpr double large_f_ratio = static_cast<double>(0.26F);
static_assert(large_f_ratio == 0.25999999046325684);

// Beyond this many degrees of freedom a small ratio selects the large-f regime.
constexpr double large_f = 50.0;

} // namespace

double newgadap(const double& theta, const double& f, const double& S, const double& BesselArgTop,
                const double& lg) {
    const double pi = 3.141592653589793;
    const double m = 1.0 / std::sqrt(pi);
    const double A = -(std::sqrt(f + 1.0) * theta / S);
    const double B = std::sqrt(f + 1.0) * (0.5 * S) * std::sqrt(f + A * A) / (f + 1.0);
    const double w = -B;
    const double c = (f + 1.0) * B;
    const double r = (A / std::sqrt(f)) / std::sqrt(1.0 + (A / std::sqrt(f)) * (A / std::sqrt(f)));

    if (f == 2.0) {
        // The ratio of the integrals of exp(-c t) over [-1, r] and [-1, 1], c = 3B.
        return (1.0 - std::exp(-3.0 * B - 3.0 * B * r)) / (1.0 - std::exp(-6.0 * B));
    }

    const double tm = tmax(f, w);
    double sc = (S - 7.0) * scale_offset_factor;
    const double one = 1.0;
    const double zero = 0.0;
    double M = newf(tm, f, w, m, lg, sc, one);
    if (!detail::usable_peak(M)) {
        sc = detail::mode_scale_offset(f, w, tm, lg);
        M = newf(tm, f, w, m, lg, sc, one);
    }
    const double M0 = newf(tm, f, w, m, lg, zero, one);
    const double u = (f + 1.0) * B / ((f - 1.0) * 0.5);

    const auto J = [&](double lo, double hi) { return newfintegrateadap(lo, hi, f, w, lg, sc, M); };
    const double lower_mid = (tm - 1.0) * 0.5;
    const double upper_mid = (1.0 + tm) * 0.5;
    // The upper tail [r, 1], split at 0 when r is negative.
    const auto upper_tail = [&]() { return r < 0.0 ? J(r, 0.0) + J(0.0, 1.0) : J(r, 1.0); };

    double N = 0.0;
    double D = 0.0;
    if (u <= large_f_ratio && f > large_f) {
        N = r < tm ? J(-1.0, r) : upper_tail();
        D = ((J(-1.0, lower_mid) + J(lower_mid, tm)) + J(tm, upper_mid)) + J(upper_mid, 1.0);
    } else {
        if (r < tm) {
            const double r_mid = (r - 1.0) * 0.5;
            N = J(-1.0, r_mid) + J(r_mid, r);
        } else {
            N = upper_tail();
        }
        const double order = (f - 1.0) * 0.5;
        const int scaled = 2;
        const double bessel = c <= BesselArgTop && M0 != 0.0 ? besseli(c, order, scaled) : 0.0;
        // Beyond about 1100 degrees of freedom exp(-c) I_v(c) can underflow, or fail, for
        // arguments the closed form would otherwise take: the quadrature stands in for it.
        if (detail::usable_peak(bessel)) {
            D = bessel / M0;
        } else {
            D = (J(-1.0, lower_mid) + J(lower_mid, tm)) + J(tm, 1.0);
        }
    }

    if (D == 0.0) {
        return newgadap_failed;
    }
    if (tm > r) {
        return N / D;
    }
    return 1.0 - N / D;
}

} // namespace lvlim
