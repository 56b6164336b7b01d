// Tail area of the standard normal distribution.
//
// Reference:
//   [1] I. D. Hill, "Algorithm AS 66: The normal integral", Applied Statistics 22(3), 1973,
//       pp. 424-427; double-precision form, with its published coefficients.
//
// Purpose: the area under the standard normal density from x to +infinity (upper nonzero) or
//          from -infinity to x (upper zero).
// Input:   x, any double; upper, an int used as a logical flag.
// Output:  the tail area, in [0, 1]. Accuracy is about 1e-9 absolute; the two approximations
//          meet at z = con = 1.28 with a jump of about 1.3e-8.
// Failure: none.
//
// Changes in translation:
//   - The published 1-based names a1..a3, b1..b2, c1..c6, d1..d5 are the 0-based tables
//     alnorm_a, alnorm_b, alnorm_c, alnorm_d: element i holds the coefficient numbered i + 1.
//   - The published coefficients are kept unchanged, including q and b1, which differ in the
//     last digits from the 1973 single-precision listing; the results at and just below con
//     therefore differ from the exact normal integral by about 1.3e-8, as the publication's
//     double-precision form does.
//   - The jumps of the published text become an if/else on the same conditions; the cut-off
//     test keeps the published grouping z <= ltone or (up and z <= utzero).
//   - The logical flag is an int (nonzero = true), taken by const reference.

#include <array>
#include <cmath>

#include "Guts/mainguts.hpp"

namespace lvlim {

namespace detail {

constexpr double alnorm_ltone = 7.0;    // above this z, 1 - tail is taken as exactly 1
constexpr double alnorm_utzero = 18.66; // above this z, the tail itself is taken as 0
constexpr double alnorm_con = 1.28;     // switch point between the two approximations

// clang-format off
// Scalars of the approximation for z <= con (p, q) and of the one for z > con (r).
constexpr double alnorm_p = 0.398942280444;
constexpr double alnorm_q = 0.39990348504;
constexpr double alnorm_r = 0.398942280385;

// a1..a3 and b1..b2: continued fraction in y = z^2/2 for 0 <= z <= con.
constexpr std::array<double, 3> alnorm_a = {5.75885480458, 2.62433121679, 5.92885724438};
constexpr std::array<double, 2> alnorm_b = {-29.8213557807, 48.6959930692};

// c1..c6 and d1..d5: continued fraction in z for con < z.
constexpr std::array<double, 6> alnorm_c = {
    -3.8052e-8, 3.98064794e-4, -0.151679116635, 4.8385912808, 0.742380924027, 3.99019417011};
constexpr std::array<double, 5> alnorm_d = {
    1.00000615302, 1.98615381364, 5.29330324926, -15.1508972451, 30.789933034};
// clang-format on

} // namespace detail

double alnorm(const double& x, const int& upper) {
    using namespace detail;
    constexpr double zero = 0.0;
    constexpr double half = 0.5;
    constexpr double one = 1.0;
    const auto& a = alnorm_a;
    const auto& b = alnorm_b;
    const auto& c = alnorm_c;
    const auto& d = alnorm_d;

    bool up = upper != 0;
    double z = x;
    if (z < zero) {
        up = !up;
        z = -z;
    }

    double result = zero;
    if (z <= alnorm_ltone || (up && z <= alnorm_utzero)) {
        const double y = half * z * z;
        if (z > alnorm_con) {
            result = alnorm_r * std::exp(-y) /
                     (z + c[0] +
                      d[0] / (z + c[1] +
                              d[1] / (z + c[2] +
                                      d[2] / (z + c[3] + d[3] / (z + c[4] + d[4] / (z + c[5]))))));
        } else {
            result = half - z * (alnorm_p -
                                 alnorm_q * y / (y + a[0] + b[0] / (y + a[1] + b[1] / (y + a[2]))));
        }
    }
    // Otherwise the tail is taken as exactly 0.

    if (!up) {
        result = one - result;
    }
    return result;
}

} // namespace lvlim
