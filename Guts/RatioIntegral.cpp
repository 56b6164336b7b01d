// ratiointegral: the share between t1 and t2 of the first moment of the density proportional
// to exp((t + 1) z) on (-1, 1), the two-sided tail function for two degrees of freedom.
//
// The two forms differ by the factor exp(2z); each keeps every exponential at most 1.
#include <cmath>

#include "Guts/mainguts.hpp"

namespace lvlim {

double ratiointegral(const double& t1, const double& t2, const double& z) {
    if (z > 0.0) {
        return ((t2 * z - 1.0) * std::exp(z * (t2 - 1.0)) -
                (t1 * z - 1.0) * std::exp(z * (t1 - 1.0))) /
               ((z - 1.0) - std::exp(-2.0 * z) * (-z - 1.0));
    }
    return ((t2 * z - 1.0) * std::exp(z * (t2 + 1.0)) - (t1 * z - 1.0) * std::exp(z * (t1 + 1.0))) /
           ((z + 1.0) + std::exp(2.0 * z) * (z - 1.0));
}

} // namespace lvlim
