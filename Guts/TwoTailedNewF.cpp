// twotailednewf: the integrand of the kernel's first moment, t times newf.
//
// The exponent is newf's, term for term and in the same order,
//   E(t) = (1 + t)((f + 1) w) - ((f - 1)/2) ln(2/((1 + f)(-w))) - lg - (f + 1) sc - ln L
//          + ln(1 - t^2)(f/2 - 1),
// and the product is formed as (t m) exp(E(t)). With m = 1/sqrt(pi), sc = 0 and L = 1 its
// integral over [-1, 1] is -exp(-c) I_((f+1)/2)(c), c = (f + 1)(-w); sc and L scale it by
// exp(-(f + 1) sc)/L, as they scale newf.
//
// The quadratures evaluate it through detail::KernelMoment (kernel_exponent.hpp), which forms the
// terms that do not depend on t once per integral; this single-point form gives the same values
// to the last bit.
#include "Guts/kernel_exponent.hpp"
#include "Guts/mainguts.hpp"

namespace lvlim {

double twotailednewf(const double& t, const double& f, const double& w, const double& m,
                     const double& lg, const double& sc, const double& L) {
    // The end points are exact zeros; ln(0) is never formed.
    return detail::KernelMoment(f, w, m, lg, sc, L)(t);
}

} // namespace lvlim
