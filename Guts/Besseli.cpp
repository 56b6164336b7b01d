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

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <span>

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

// ============================================================================================
// ribesl and besseli: modified Bessel functions of the first kind.
//
// ribesl: W. J. Cody, SPECFUN routine RIBESL, "Algorithm 597: Sequence of modified Bessel
// functions of the first kind", ACM Transactions on Mathematical Software 9(2), 1983,
// pp. 242-245; after D. J. Sookne, "Bessel functions of real argument and integer order",
// NBS Journal of Research B 77B, 1973, pp. 125-132.
//
// Computes b(k) = I_(alpha + k - 1)(x), k = 1..nb, for 0 <= alpha < 1, optionally scaled by
// exp(-x) (ize = 2): a forward P-sequence finds a starting index at which the backward
// three-term recurrence is accurate to nsig digits; the recurrence runs down to order alpha and
// is normalised by a weighted sum of the sequence whose exact value is known. For x < 1e-4 a
// two-term ascending series is used instead.
//
// ncalc: nb when every value is accurate; 0 <= ncalc < nb when only b(1..ncalc) are
// (orders much larger than x, or underflow); min(nb, 0) - 1 when an argument is out of range,
// and then b is untouched.
//
// Changes in translation:
//  - b is a span indexed through a 1-based accessor, so the statements keep the published
//    indices; a span shorter than nb is treated as an argument out of range.
//  - The GO TO structure is written as structured branches with the published order of tests.
//  - const**magx (a real to an integer power) squares and multiplies as the Fortran run-time
//    does for integer exponents.
// ============================================================================================

namespace detail {

// Machine-dependent constants of RIBESL for IEEE double precision, as published.
constexpr int ribesl_nsig = 16;         // decimal significance wanted
constexpr double ribesl_enten = 1.0e308; // largest representable power of ten
constexpr double ribesl_ensig = 1.0e16;  // 10**nsig
constexpr double ribesl_rtnsig = 1.0e-4; // below this x the two-term series is used
constexpr double ribesl_enmten = 8.9e-308; // smallest x with x/4 representable; underflow cut-off
constexpr double ribesl_xlarge = 1.0e4;  // upper limit of x when ize = 2
constexpr double ribesl_exparg = 709.0;  // upper limit of x when ize = 1
constexpr double ribesl_const = 1.585;   // base of the significance test for small magx

// A real to an integer power by squaring, as the Fortran run-time evaluates const**magx.
double power_by_squaring(double base, int exponent) {
    auto n = static_cast<unsigned int>(exponent < 0 ? -exponent : exponent);
    double y = (n % 2U) != 0U ? base : 1.0;
    while ((n >>= 1U) != 0U) {
        base = base * base;
        if ((n % 2U) != 0U) {
            y = y * base;
        }
    }
    return exponent < 0 ? 1.0 / y : y;
}

// Length of the working vector of besseli: orders up to 1999.
constexpr std::size_t besseli_work_length = 2000;

} // namespace detail

void ribesl(const double& x, const double& alpha, const int& nb, const int& ize,
            std::span<double> b, int& ncalc) {
    using namespace detail;
    constexpr double one = 1.0;
    constexpr double two = 2.0;
    constexpr double zero = 0.0;
    constexpr double half = 0.5;
    const auto B = [&b](int k) -> double& { return b[static_cast<std::size_t>(k - 1)]; };

    // Argument check.
    if (!(nb > 0 && x >= zero && alpha >= zero && alpha < one &&
          ((ize == 1 && x <= ribesl_exparg) || (ize == 2 && x <= ribesl_xlarge))) ||
        static_cast<std::size_t>(nb) > b.size()) {
        ncalc = std::min(nb, 0) - 1;
        return;
    }

    ncalc = nb;
    const int magx = static_cast<int>(x);

    if (x < ribesl_rtnsig) {
        // Two-term ascending series for small x.
        double tempa = one;
        double empal = one + alpha;
        double halfx = zero;
        if (x > ribesl_enmten) {
            halfx = half * x;
        }
        if (alpha != zero) {
            tempa = std::pow(halfx, alpha) / dgamma(empal);
        }
        if (ize == 2) {
            tempa = tempa * std::exp(-x);
        }
        double tempb = zero;
        if (x + one > one) {
            tempb = halfx * halfx;
        }
        B(1) = tempa + tempa * tempb / empal;
        if (x != zero && B(1) == zero) {
            ncalc = 0;
        }
        if (nb > 1) {
            if (x == zero) {
                for (int n = 2; n <= nb; ++n) {
                    B(n) = zero;
                }
            } else {
                // Values below tover underflow and are set to 0.
                const double tempc = halfx;
                double tover = (ribesl_enmten + ribesl_enmten) / x;
                if (tempb != zero) {
                    tover = ribesl_enmten / tempb;
                }
                for (int n = 2; n <= nb; ++n) {
                    tempa = tempa / empal;
                    empal = empal + one;
                    tempa = tempa * tempc;
                    if (tempa <= tover * empal) {
                        tempa = zero;
                    }
                    B(n) = tempa + tempa * tempb / empal;
                    if (B(n) == zero && ncalc > n) {
                        ncalc = n - 1;
                    }
                }
            }
        }
        return;
    }

    // Forward P-sequence from magx + 1 and the significance test.
    const int nbmx = nb - magx;
    int n = magx + 1;
    double en = static_cast<double>(n + n) + (alpha + alpha);
    double plast = one;
    double p = en / x;
    double pold = zero;
    double test = ribesl_ensig + ribesl_ensig;
    if (2 * magx > 5 * ribesl_nsig) {
        test = std::sqrt(test * p);
    } else {
        test = test / power_by_squaring(ribesl_const, magx);
    }

    bool rescued = false;
    if (nbmx >= 3) {
        // Sweep up to order nb - 1, watching for overflow.
        double tover = ribesl_enten / ribesl_ensig;
        bool overflow = false;
        for (int k = magx + 2; k <= nb - 1; ++k) {
            n = k;
            en = en + two;
            pold = plast;
            plast = p;
            p = en * plast / x + pold;
            if (p > tover) {
                overflow = true;
                break;
            }
        }
        if (overflow) {
            // Rescale, find the start of the backward recurrence, and see how many orders
            // can be computed to full accuracy.
            tover = ribesl_enten;
            p = p / tover;
            plast = plast / tover;
            double psave = p;
            double psavel = plast;
            const int nstart = n + 1;
            do {
                n = n + 1;
                en = en + two;
                pold = plast;
                plast = p;
                p = en * plast / x + pold;
            } while (p <= one);
            const double tempb = en / x;
            test = pold * plast / ribesl_ensig;
            test = test * (half - half / (tempb * tempb));
            p = plast * tover;
            n = n - 1;
            en = en - two;
            const int nend = std::min(nb, n);
            bool accepted = false;
            for (int l = nstart; l <= nend; ++l) {
                ncalc = l;
                pold = psavel;
                psavel = psave;
                psave = en * psavel / x + pold;
                if (psave * psavel > test) {
                    accepted = true;
                    break;
                }
            }
            if (!accepted) {
                ncalc = nend + 1;
            }
            ncalc = ncalc - 1;
            rescued = true;
        } else {
            n = nb - 1;
            en = static_cast<double>(n + n) + (alpha + alpha);
            test = std::max(test, std::sqrt(plast * ribesl_ensig) * std::sqrt(p + p));
        }
    }
    if (!rescued) {
        // Sweep on until the significance test passes.
        do {
            n = n + 1;
            en = en + two;
            pold = plast;
            plast = p;
            p = en * plast / x + pold;
        } while (p < test);
    }

    // Backward recurrence with the normalisation sum.
    n = n + 1;
    en = en + two;
    double tempb = zero;
    double tempa = one / p;
    double em = static_cast<double>(n) - one;
    double empal = em + alpha;
    double emp2al = (em - one) + (alpha + alpha);
    double sum = tempa * empal * emp2al / em;
    const int nend = n - nb;
    bool sum_complete = false; // set when b(1) is already in place
    if (nend < 0) {
        // The start index is below nb: the higher orders are 0.
        B(n) = tempa;
        for (int k = n + 1; k <= nb; ++k) {
            B(k) = zero;
        }
    } else {
        if (nend > 0) {
            // Recur down to nb without storing.
            for (int l = 1; l <= nend; ++l) {
                n = n - 1;
                en = en - two;
                const double tempc = tempb;
                tempb = tempa;
                tempa = en * tempb / x + tempc;
                em = em - one;
                emp2al = emp2al - one;
                if (n == 1) {
                    break;
                }
                if (n == 2) {
                    emp2al = one;
                }
                empal = empal - one;
                sum = (sum + tempa * empal) * emp2al / em;
            }
        }
        // Store b(nb).
        B(n) = tempa;
        if (nb <= 1) {
            sum = (sum + sum) + tempa;
            sum_complete = true;
        } else {
            // Calculate and store b(nb - 1).
            n = n - 1;
            en = en - two;
            B(n) = en * tempa / x + tempb;
            if (n == 1) {
                sum = (sum + sum) + B(1);
                sum_complete = true;
            } else {
                em = em - one;
                emp2al = emp2al - one;
                if (n == 2) {
                    emp2al = one;
                }
                empal = empal - one;
                sum = (sum + B(n) * empal) * emp2al / em;
            }
        }
    }
    if (!sum_complete) {
        while (n > 2) {
            n = n - 1;
            en = en - two;
            B(n) = en * B(n + 1) / x + B(n + 2);
            em = em - one;
            emp2al = emp2al - one;
            if (n == 2) {
                emp2al = one;
            }
            empal = empal - one;
            sum = (sum + B(n) * empal) * emp2al / em;
        }
        // Here empal = 1 + alpha, so two * empal is the en of order alpha.
        B(1) = two * empal * B(2) / x + B(3);
        sum = (sum + sum) + B(1);
    }

    // Normalisation.
    if (alpha != zero) {
        sum = sum * dgamma(one + alpha) * std::pow(x * half, -alpha);
    }
    if (ize == 1) {
        sum = sum * std::exp(-x);
    }
    double cutoff = ribesl_enmten;
    if (sum > one) {
        cutoff = cutoff * sum;
    }
    for (int k = 1; k <= nb; ++k) {
        if (B(k) < cutoff) {
            B(k) = zero;
        }
        B(k) = B(k) / sum;
    }
}

double besseli(const double& x, const double& v, const int& ize) {
    // Orders from 0 up to the length of the working vector; a negative order, or one that is
    // not a number, cannot be delivered.
    if (!(v >= 0.0) || v >= static_cast<double>(detail::besseli_work_length)) {
        return besseli_failed;
    }
    const int n = static_cast<int>(v);
    const double alpha = v - n;
    const int nb = n + 1;
    std::array<double, detail::besseli_work_length> work; // every order up to v; no heap
    int ncalc = 0;
    ribesl(x, alpha, nb, ize, work, ncalc);
    if (ncalc == nb) {
        return work[static_cast<std::size_t>(nb - 1)];
    }
    return besseli_failed;
}

} // namespace lvlim
