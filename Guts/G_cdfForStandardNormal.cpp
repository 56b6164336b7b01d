// Standard normal distribution function.
//
// Reference:
//   [1] I. D. Hill, "Algorithm AS 66: The normal integral", Applied Statistics 22(3), 1973,
//       pp. 424-427 (double-precision form, called through alnorm).
//
// Purpose: Phi(x), the area under the standard normal density from -infinity to x.
// Input:   x, any double.
// Output:  Phi(x) in [0, 1]: exactly 0 for x <= -100 and exactly 1 for x >= 100, and
//          otherwise the lower tail of alnorm, which is itself exactly 0 below -18.66 and
//          exactly 1 above 7.
// Failure: none.
//
// Changes in translation:
//   - The argument is taken by const reference; the clamping bounds are double constants.

#include "Guts/mainguts.hpp"

namespace lvlim {

namespace {

constexpr double clamp_low = -100.0; // at or below this, Phi is returned as 0
constexpr double clamp_high = 100.0; // at or above this, Phi is returned as 1
constexpr int lower_tail = 0;        // alnorm flag: area from -infinity to x

} // namespace

double g(const double& x) {
    if (x <= clamp_low) {
        return 0.0;
    }
    if (x >= clamp_high) {
        return 1.0;
    }
    return alnorm(x, lower_tail);
}

} // namespace lvlim
