// Natural logarithm of the gamma function.
//
// Reference:
//   [1] W. J. Cody, SPECFUN routine DLGAMA (logarithm of the gamma function for a positive
//       real argument): rational minimax approximations on (0, 1.5], (1.5, 4] and (4, 12],
//       and the asymptotic series above 12. Machine constants are the published IEEE
//       double-precision ones.
//
// Purpose: ln Gamma(x) for x > 0.
// Input:   x, a double.
// Output:  ln Gamma(x).
// Failure: gamma_failed (xinf = 1.79e308) for x <= 0 and for x > xbig = 2.55e305.
//
// Changes in translation:
//   - The published arrays p1, q1, p2, q2, p4, q4, c are the 0-based tables dlgama_p1, ...,
//     dlgama_c: element i holds published index i + 1, and the loops run over the shifted
//     index.
//   - The published single exit is replaced by a return from each branch; the branch order,
//     the exact comparisons and the order of every operation are unchanged.
//   - The error test is written as x <= 0 or x > xbig. A NaN fails both comparisons and runs
//     through to the asymptotic branch, which returns NaN; the engine never passes one.
//   - The argument is taken by const reference, as the rest of the engine does.

#include <array>
#include <cmath>
#include <cstddef>

#include "Guts/mainguts.hpp"

namespace lvlim {

namespace detail {

constexpr double dlgama_xbig = 2.55e305;   // largest x with ln Gamma(x) representable
constexpr double dlgama_xinf = 1.79e308;   // value returned on errors
constexpr double dlgama_eps = 2.22e-16;    // below this, ln Gamma(y) is taken as -ln(y)
constexpr double dlgama_frtbig = 2.25e76;  // about xbig^(1/4); no series above it
constexpr double dlgama_pnt68 = 0.6796875; // switch point inside (0.5, 1.5]
constexpr double dlgama_thrhal = 1.5;      // end of the first interval
// ln(sqrt(2*pi)), published under the name sqrtpi.
constexpr double dlgama_sqrtpi = 0.9189385332046727417803297;

static_assert(dlgama_xinf == gamma_failed, "the error value is the published xinf");

// clang-format off
// Leading coefficients of the three approximations: near -Euler's constant, 1 - Euler's
// constant and ln 6 = ln Gamma(4).
constexpr double dlgama_d1 = -5.772156649015328605195174e-1;
constexpr double dlgama_d2 = 4.227843350984671393993777e-1;
constexpr double dlgama_d4 = 1.791759469228055000094023e0;

// Numerator on (0, 0.5] and [pnt68, 1.5], in xm1 = y - 1 (xm1 = y below pnt68).
constexpr std::array<double, 8> dlgama_p1 = {
    4.945235359296727046734888e0, 2.018112620856775083915565e2,
    2.290838373831346393026739e3, 1.131967205903380828685045e4,
    2.855724635671635335736389e4, 3.848496228443793359990269e4,
    2.637748787624195437963534e4, 7.225813979700288197698961e3};

// Denominator on (0, 0.5] and [pnt68, 1.5], in xm1 = y - 1 (xm1 = y below pnt68).
constexpr std::array<double, 8> dlgama_q1 = {
    6.748212550303777196073036e1, 1.113332393857199323513008e3,
    7.738757056935398733233834e3, 2.763987074403340708898585e4,
    5.499310206226157329794414e4, 6.161122180066002127833352e4,
    3.635127591501940507276287e4, 8.785536302431013170870835e3};

// Numerator on (0.5, pnt68) in xm2 = y - 1, and on (1.5, 4] in xm2 = y - 2.
constexpr std::array<double, 8> dlgama_p2 = {
    4.974607845568932035012064e0, 5.424138599891070494101986e2,
    1.550693864978364947665077e4, 1.847932904445632425417223e5,
    1.088204769468828767498470e6, 3.338152967987029735917223e6,
    5.106661678927352456275255e6, 3.074109054850539556250927e6};

// Denominator on (0.5, pnt68) in xm2 = y - 1, and on (1.5, 4] in xm2 = y - 2.
constexpr std::array<double, 8> dlgama_q2 = {
    1.830328399370592604055942e2, 7.765049321445005871323047e3,
    1.331903827966074194402448e5, 1.136705821321969608938755e6,
    5.267964117437946917577538e6, 1.346701454311101692290052e7,
    1.782736530353274213975932e7, 9.533095591844353613395747e6};

// Numerator on (4, 12], in xm4 = y - 4.
constexpr std::array<double, 8> dlgama_p4 = {
    1.474502166059939948905062e4, 2.426813369486704502836312e6,
    1.214755574045093227939592e8, 2.663432449630976949898078e9,
    2.940378956634553899906876e10, 1.702665737765398868392998e11,
    4.926125793377430887588120e11, 5.606251856223951465078242e11};

// Denominator on (4, 12], in xm4 = y - 4 (its Horner sum starts at -1).
constexpr std::array<double, 8> dlgama_q4 = {
    2.690530175870899333379843e3, 6.393885654300092398984238e5,
    4.135599930241388052042842e7, 1.120872109616147941376570e9,
    1.488613728678813811542398e10, 1.016803586272438228077304e11,
    3.417476345507377132798597e11, 4.463158187419713286462081e11};

// Asymptotic series above 12 (up to frtbig), in 1/y^2; c(7) is used first.
constexpr std::array<double, 7> dlgama_c = {
    -1.910444077728e-03, 8.4171387781295e-04,
    -5.952379913043012e-04, 7.93650793500350248e-04,
    -2.777777777777681622553e-03, 8.333333333333333331554247e-02,
    5.7083835261e-03};
// clang-format on

} // namespace detail

double dlgama(const double& x) {
    using namespace detail;
    constexpr double zero = 0.0;
    constexpr double half = 0.5;
    constexpr double one = 1.0;
    constexpr double two = 2.0;
    constexpr double four = 4.0;
    constexpr double twelve = 12.0;

    const double y = x;
    if (y <= zero || y > dlgama_xbig) {
        return dlgama_xinf;
    }

    if (y <= dlgama_eps) {
        return -std::log(y);
    }

    if (y <= dlgama_thrhal) {
        // (eps, 1.5]: below pnt68 the term -ln(y) is split off and the fit is in y itself.
        double corr = zero;
        double xm1 = zero;
        if (y < dlgama_pnt68) {
            corr = -std::log(y);
            xm1 = y;
        } else {
            corr = zero;
            xm1 = (y - half) - half;
        }
        if (y <= half || y >= dlgama_pnt68) {
            double xden = one;
            double xnum = zero;
            for (std::size_t i = 0; i < 8; ++i) {
                xnum = xnum * xm1 + dlgama_p1[i];
                xden = xden * xm1 + dlgama_q1[i];
            }
            return corr + (xm1 * (dlgama_d1 + xm1 * (xnum / xden)));
        }
        const double xm2 = (y - half) - half;
        double xden = one;
        double xnum = zero;
        for (std::size_t i = 0; i < 8; ++i) {
            xnum = xnum * xm2 + dlgama_p2[i];
            xden = xden * xm2 + dlgama_q2[i];
        }
        return corr + xm2 * (dlgama_d2 + xm2 * (xnum / xden));
    }

    if (y <= four) {
        // (1.5, 4]
        const double xm2 = y - two;
        double xden = one;
        double xnum = zero;
        for (std::size_t i = 0; i < 8; ++i) {
            xnum = xnum * xm2 + dlgama_p2[i];
            xden = xden * xm2 + dlgama_q2[i];
        }
        return xm2 * (dlgama_d2 + xm2 * (xnum / xden));
    }

    if (y <= twelve) {
        // (4, 12]
        const double xm4 = y - four;
        double xden = -one;
        double xnum = zero;
        for (std::size_t i = 0; i < 8; ++i) {
            xnum = xnum * xm4 + dlgama_p4[i];
            xden = xden * xm4 + dlgama_q4[i];
        }
        return dlgama_d4 + xm4 * (xnum / xden);
    }

    // (12, xbig]: Stirling's series, its correction sum dropped above frtbig.
    double res = zero;
    if (y <= dlgama_frtbig) {
        res = dlgama_c[6];
        const double ysq = y * y;
        for (std::size_t i = 0; i < 6; ++i) {
            res = res / ysq + dlgama_c[i];
        }
    }
    res = res / y;
    const double corr = std::log(y);
    res = res + dlgama_sqrtpi - half * corr;
    res = res + y * (corr - one);
    return res;
}

} // namespace lvlim
