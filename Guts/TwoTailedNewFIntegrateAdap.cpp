// twotailednewfintegrateadap: the kernel's first moment from a to b with the multiplier
// 1/sqrt(pi).
#include <cmath>

#include "Guts/mainguts.hpp"

namespace lvlim {

double twotailednewfintegrateadap(const double& a, const double& b, const double& f,
                                  const double& w, const double& lg, const double& sc,
                                  const double& L) {
    const double pi = 3.141592653589793;
    const double m = 1.0 / std::sqrt(pi);
    double result = 0.0;
    twotailednewfadaptive(a, b, f, w, m, lg, sc, L, result);
    return result;
}

} // namespace lvlim
