// Modified Bessel functions of the first kind and the gamma function they need.
//
// ---- dgamma ---------------------------------------------------------------------------------
//
// Reference:
//   [1] W. J. Cody, SPECFUN routine DGAMMA (gamma function of a real argument): rational
//       minimax approximation on [1, 2], argument reduction by the recurrence, reflection for
//       x <= 0 and the asymptotic series for x >= 12. Machine constants are the published
//       IEEE double-precision ones.
//
// Purpose: Gamma(x) for a real x.
// Input:   x, any double.
// Output:  Gamma(x).
// Failure: gamma_failed (xinf = 1.79e308, always positive) when x is zero or a negative
//          integer, when the reduced argument is positive but below xminin, and when it is
//          above xbig (x > 171.624, or a non-integer x < -170.624).
//
// Changes in translation:
//   - The published arrays p, q, c are the 0-based tables dgamma_p, dgamma_q, dgamma_c:
//     element i holds published index i + 1, and the loops run over the shifted index.
//   - The error exits return xinf directly, so they never reach the final sign change and
//     reflection division; every error value is +xinf, also for negative arguments.
//   - The reduction count n is an int, as in the publication (INT(y) - 1); the truncations in
//     the reflection branch and the parity test stay in floating point (std::trunc).
//   - The argument is taken by const reference, as the rest of the engine does.
//   - The doubles are compared exactly, as published; -ffp-contract=off keeps the Horner
//     steps from being fused.

#include <array>
#include <cmath>
#include <cstddef>

#include "Guts/mainguts.hpp"

namespace lvlim {

// ---- dgamma: constants and coefficient tables -----------------------------------------------

namespace detail {

constexpr double dgamma_xbig = 171.624;     // largest x with Gamma(x) representable
constexpr double dgamma_xminin = 2.23e-308; // smallest y with 1/y representable
constexpr double dgamma_eps = 2.22e-16;     // below this, Gamma(y) is taken as 1/y
constexpr double dgamma_xinf = 1.79e308;    // value returned on errors
// ln(sqrt(2*pi)), published under the name sqrtpi.
constexpr double dgamma_sqrtpi = 0.9189385332046727417803297;
constexpr double dgamma_pi = 3.1415926535897932384626434; // for the reflection formula

static_assert(dgamma_xinf == gamma_failed, "the error value is the published xinf");

// clang-format off
// Numerator of the rational approximation to Gamma on [1, 2], in z = y - 1.
constexpr std::array<double, 8> dgamma_p = {
    -1.71618513886549492533811e+0, 2.47656508055759199108314e+1,
    -3.79804256470945635097577e+2, 6.29331155312818442661052e+2,
    8.66966202790413211295064e+2, -3.14512729688483675254357e+4,
    -3.61444134186911729807069e+4, 6.64561438202405440627855e+4};

// Denominator of the rational approximation to Gamma on [1, 2], in z = y - 1.
constexpr std::array<double, 8> dgamma_q = {
    -3.08402300119738975254353e+1, 3.15350626979604161529144e+2,
    -1.01515636749021914166146e+3, -3.10777167157231109440444e+3,
    2.25381184209801510330112e+4, 4.75584627752788110767815e+3,
    -1.34659959864969306392456e+5, -1.15132259675553483497211e+5};

// Asymptotic series of ln Gamma for y >= 12, in 1/y^2; c(7) is used first.
constexpr std::array<double, 7> dgamma_c = {
    -1.910444077728e-03, 8.4171387781295e-04,
    -5.952379913043012e-04, 7.93650793500350248e-04,
    -2.777777777777681622553e-03, 8.333333333333333331554247e-02,
    5.7083835261e-03};
// clang-format on

} // namespace detail

double dgamma(const double& x) {
    using namespace detail;
    constexpr double one = 1.0;
    constexpr double half = 0.5;
    constexpr double two = 2.0;
    constexpr double twelve = 12.0;
    constexpr double zero = 0.0;

    bool parity = false;
    double fact = one;
    int n = 0;
    double y = x;
    double res = zero;

    // Negative argument: reflection formula Gamma(x) = -pi / (sin(pi*res) * Gamma(1 - x)),
    // applied at the end through fact and parity.
    if (y <= zero) {
        y = -x;
        const double y1 = std::trunc(y);
        res = y - y1;
        if (res != zero) {
            if (y1 != std::trunc(y1 * half) * two) {
                parity = true;
            }
            fact = -dgamma_pi / std::sin(dgamma_pi * res);
            y = y + one;
        } else {
            return dgamma_xinf; // zero or a negative integer
        }
    }

    if (y < dgamma_eps) {
        // Gamma(y) = 1/y to machine accuracy.
        if (y >= dgamma_xminin) {
            res = one / y;
        } else {
            return dgamma_xinf;
        }
    } else if (y < twelve) {
        const double y1 = y;
        double z = zero;
        if (y < one) {
            // 0 < y < 1: work with y + 1 and divide by y afterwards.
            z = y;
            y = y + one;
        } else {
            // 1 <= y < 12: reduce to [1, 2) and multiply back up afterwards.
            n = static_cast<int>(y) - 1;
            y = y - static_cast<double>(n);
            z = y - one;
        }
        double xnum = zero;
        double xden = one;
        for (std::size_t i = 0; i < 8; ++i) {
            xnum = (xnum + dgamma_p[i]) * z;
            xden = xden * z + dgamma_q[i];
        }
        res = xnum / xden + one;
        if (y1 < y) {
            res = res / y1;
        } else if (y1 > y) {
            for (int i = 1; i <= n; ++i) {
                res = res * y;
                y = y + one;
            }
        }
    } else {
        // y >= 12: asymptotic series for ln Gamma.
        if (y > dgamma_xbig) {
            return dgamma_xinf;
        }
        const double ysq = y * y;
        double sum = dgamma_c[6];
        for (std::size_t i = 0; i < 6; ++i) {
            sum = sum / ysq + dgamma_c[i];
        }
        sum = sum / y - y + dgamma_sqrtpi;
        sum = sum + (y - half) * std::log(y);
        res = std::exp(sum);
    }

    if (parity) {
        res = -res;
    }
    if (fact != one) {
        res = fact / res;
    }
    return res;
}

} // namespace lvlim
