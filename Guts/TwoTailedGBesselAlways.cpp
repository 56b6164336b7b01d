// twotailedgbesselalways: the two-sided tail function G(theta).
//
// For a trial theta the data map to a statistic r in (-1, 1) with density h(t) proportional to
// (1 - t^2)^(f/2 - 1) exp(-c (1 + t)). The acceptance region (lowerCut, upperCut) has
// probability a under h and r at one end: its upper end for the lower limit (which = 1), its
// lower end for the upper limit. G is the share of h's first moment inside the region,
// computed as 1 - (the two outer parts)/(the whole); a limit is the theta where G = a, so that
// the region meets both the size and the unbiasedness condition.
//
// Every integral is of the scaled kernel kappa(t) = h(t)/h(tm), by quadrature split at the
// mode or by the Bessel closed form where its arguments allow; for f = 2 everything is closed.
//
// Failure: evalFailed = 1 with twotailedg_lower_failed or twotailedg_upper_failed when an
// inversion cannot reach its target, and twotailedg_closed_form_failed when the closed-form
// upper cut-off for f = 2 has no logarithm.
#include <cmath>

#include "Guts/kernel_scale.hpp"
#include "Guts/mainguts.hpp"
#include "Guts/messages.hpp"
#include "common/list_output.hpp"

namespace lvlim {

namespace {

// The double value of 1/6.99 (not the reciprocal of the single-precision 6.99 that the
// one-sided tail function uses): the slope of the scale offset.
constexpr double scale_offset_factor = 0.14306151645207438;

// Single-precision 0.26 widened to double: the largest ratio of the Bessel argument to its
// order for which large f integrates the total mass.
constexpr double small_ratio = static_cast<double>(0.26F);
constexpr double large_f = 50.0;

// Above this many degrees of freedom the scale offset puts the kernel's log at the mode to 0.
constexpr double very_large_f = 1000.0;
// ... unless the spread is this large, when the offset is dropped.
constexpr double very_large_spread = 5.0;

} // namespace

double twotailedgbesselalways(const double& theta, const double& a, const int& which,
                              const double& f, const double& S, const double& BesselArgTop,
                              const double& lg, int& evalFailed) {
    evalFailed = 0;
    const double pi = 3.141592653589793;
    const double m = 1.0 / std::sqrt(pi);
    const double A = -std::sqrt(f + 1.0) * theta / S;
    const double r = (A / std::sqrt(f)) / std::sqrt((A / std::sqrt(f)) * (A / std::sqrt(f)) + 1.0);
    const double B = std::sqrt(f + 1.0) * (0.5 * S) * std::sqrt(f + A * A) / (f + 1.0);
    const double w = -B;
    const double c = (f + 1.0) * B;
    const double tm = tmax(f, w);

    double sc = 0.0;
    if (f > very_large_f) {
        if (S > very_large_spread) {
            ListRecord(message_stream()).text("Set Factor to 0 ");
            sc = 0.0;
        } else {
            sc = detail::mode_scale_offset(f, w, tm, lg);
        }
    } else {
        sc = (S - 7.0) * scale_offset_factor;
    }

    // Total mass of the scaled kernel.
    const double one = 1.0;
    const double zero = 0.0;
    double M = 1.0;
    double D = 0.0;
    if (f > 2.0) {
        M = newf(tm, f, w, m, lg, sc, one);
        if (!detail::usable_peak(M)) {
            sc = detail::mode_scale_offset(f, w, tm, lg);
            M = newf(tm, f, w, m, lg, sc, one);
        }
        const double M0 = newf(tm, f, w, m, lg, zero, one);
        const double v = (f - 1.0) * 0.5;
        const bool closed_form =
            !((c / v <= small_ratio && f > large_f) || c > BesselArgTop || M0 == 0.0);
        // Beyond about 1100 degrees of freedom exp(-c) I_v(c) can underflow, or fail, for
        // arguments the closed form would otherwise take: the quadrature stands in for it.
        const double bessel = closed_form ? besseli(c, v, 2) : 0.0;
        if (!closed_form || !detail::usable_peak(bessel)) {
            const double lower_mid = (tm - 1.0) / 2.0;
            const double upper_mid = (tm + 1.0) / 2.0;
            const double I1 = newfintegrateadap(-1.0, lower_mid, f, w, lg, sc, M);
            const double I2 = newfintegrateadap(lower_mid, tm, f, w, lg, sc, M);
            const double I3 = newfintegrateadap(tm, upper_mid, f, w, lg, sc, M);
            const double I4 = newfintegrateadap(upper_mid, 1.0, f, w, lg, sc, M);
            D = ((I1 + I2) + I3) + I4;
        } else {
            D = bessel / M0;
        }
    }

    // The acceptance region of probability a with r at one end.
    const double target = D * a;
    double lowerCut = 0.0;
    double upperCut = 0.0;
    if (which == 1) {
        upperCut = r;
        if (f == 2.0) {
            const double z = (f + 1.0) * w;
            if (z > 0.0) {
                lowerCut = (std::log(std::exp(z * (r - 1.0)) - (1.0 - std::exp(-2.0 * z)) * a) + z) / z;
            } else {
                lowerCut = (std::log(std::exp(z * (r + 1.0)) - (std::exp(2.0 * z) - 1.0) * a) - z) / z;
            }
        } else {
            int failed = 0;
            const double lo = -1.0;
            lowerCut = invertnewflower(lo, r, target, f, w, m, lg, sc, M, failed);
            if (failed != 0) {
                evalFailed = 1;
                return twotailedg_lower_failed;
            }
        }
    } else {
        lowerCut = r;
        if (f == 2.0) {
            const double z = (f + 1.0) * w;
            if (z > 0.0) {
                upperCut = (std::log(std::exp(z * (r - 1.0)) + (1.0 - std::exp(-2.0 * z)) * a) + z) / z;
            } else {
                const double X = std::exp(z * (r + 1.0)) + (std::exp(2.0 * z) - 1.0) * a;
                if (X <= 0.0) {
                    ListRecord(message_stream()).text("Failed with v=2...");
                    ListRecord(message_stream()).text("v,s ").real(f).real(S);
                    evalFailed = 1;
                    return twotailedg_closed_form_failed;
                }
                upperCut = (std::log(X) - z) / z;
            }
        } else {
            int failed = 0;
            const double hi = 1.0;
            upperCut = invertnewfupper(r, hi, target, f, w, m, lg, sc, M, failed);
            if (failed != 0) {
                evalFailed = 1;
                return twotailedg_upper_failed;
            }
        }
    }

    if (f == 2.0) {
        const double z = f * w + w;
        return ratiointegral(lowerCut, upperCut, z);
    }

    // The first moment outside the region, and as a whole.
    const double J1 = twotailednewfintegrateadap(-1.0, lowerCut, f, w, lg, sc, M);
    const double J2 = twotailednewfintegrateadap(upperCut, 1.0, f, w, lg, sc, M);
    const double J12 = J2 + J1;
    const double order = (f + 1.0) * 0.5;
    double T = 0.0;
    const int scaled = 2;
    const double bessel_moment =
        besselargumentsok(c, order, BesselArgTop) != 0 ? besseli(c, order, scaled) : 0.0;
    if (detail::usable_peak(bessel_moment)) {
        T = -bessel_moment * std::exp(-(f + 1.0) * sc - std::log(M));
    } else {
        const double J3 = twotailednewfintegrateadap(lowerCut, tm, f, w, lg, sc, M);
        const double J4 = twotailednewfintegrateadap(tm, upperCut, f, w, lg, sc, M);
        T = (J12 + J3) + J4;
    }
    return 1.0 - J12 / T;
}

} // namespace lvlim
