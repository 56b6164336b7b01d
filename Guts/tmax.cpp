// tmax: the mode of the kernel (1 - t^2)^b exp(-c t) on (-1, 1), b = f/2 - 1, c = (f + 1)(-w).
//
// For b != 0 it is the root in (-1, 1) of c t^2 - 2 b t - c = 0, written in the cancellation-
// prone form -(b/c)(sqrt(c^2/b^2 + 1) - 1) that the tail functions have always used. For f = 2
// (b = 0) the kernel is a pure exponential and its maximum sits at an end of the interval.
#include <cmath>

#include "Guts/mainguts.hpp"

namespace lvlim {

double tmax(const double& f, const double& w) {
    const double b = 0.5 * f - 1.0;
    const double c = (f + 1.0) * (-w);
    if (b != 0.0) {
        return -((b / c) * (std::sqrt(c * c / (b * b) + 1.0) - 1.0));
    }
    return c > 0.0 ? -1.0 : 1.0;
}

} // namespace lvlim
