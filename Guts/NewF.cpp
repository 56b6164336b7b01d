// newf: the kernel of the one-sided and two-sided tail functions, evaluated through its log.
//
// For t in [-1, 1], with E(t) the exponent
//   E(t) = (1 + t)((f + 1) w) - ((f - 1)/2) ln(2/((1 + f)(-w))) - lg - (f + 1) sc - ln L
//          + ln(1 - t^2)(f/2 - 1),
// newf = m exp(E(t)). With sc = 0 and L = 1 this is
//   m (c/2)^((f-1)/2) / Gamma(f/2) (1 - t^2)^(f/2-1) exp(-c (1 + t)),  c = (f + 1)(-w),
// whose integral over [-1, 1] with m = 1/sqrt(pi) is exp(-c) I_((f-1)/2)(c). The offset sc and
// the divisor L (the kernel's value at its mode) only keep exp in range.
//
// The quadratures evaluate the kernel through detail::Kernel (kernel_exponent.hpp), which forms
// the terms that do not depend on t once per integral; this single-point form gives the same
// values to the last bit.
#include "Guts/kernel_exponent.hpp"
#include "Guts/mainguts.hpp"

namespace lvlim {

double newf(const double& t, const double& f, const double& w, const double& m, const double& lg,
            const double& sc, const double& L) {
    // The end points are exact zeros; ln(0) is never formed.
    return detail::Kernel(f, w, m, lg, sc, L)(t);
}

} // namespace lvlim
