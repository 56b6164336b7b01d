// newf: the kernel of the one-sided and two-sided tail functions, evaluated through its log.
//
// For t in [-1, 1], with E(t) the exponent
//   E(t) = (1 + t)((f + 1) w) - ((f - 1)/2) ln(2/((1 + f)(-w))) - lg - (f + 1) sc - ln L
//          + ln(1 - t^2)(f/2 - 1),
// newf = m exp(E(t)). With sc = 0 and L = 1 this is
//   m (c/2)^((f-1)/2) / Gamma(f/2) (1 - t^2)^(f/2-1) exp(-c (1 + t)),  c = (f + 1)(-w),
// whose integral over [-1, 1] with m = 1/sqrt(pi) is exp(-c) I_((f-1)/2)(c). The offset sc and
// the divisor L (the kernel's value at its mode) only keep exp in range.
#include <cmath>

#include "Guts/mainguts.hpp"

namespace lvlim {

double newf(const double& t, const double& f, const double& w, const double& m, const double& lg,
            const double& sc, const double& L) {
    // The end points are exact zeros; ln(0) is never formed.
    if (std::fabs(t) == 1.0) {
        return 0.0;
    }
    const double exponent = (1.0 + t) * ((f + 1.0) * w) -
                            ((f - 1.0) * 0.5) * std::log(2.0 / ((1.0 + f) * (-w))) - lg -
                            (f + 1.0) * sc - std::log(L) + std::log(1.0 - t * t) * (0.5 * f - 1.0);
    return m * std::exp(exponent);
}

} // namespace lvlim
