// besselargumentsok: whether the Bessel closed form may replace quadrature.
//
// Not for a large order with a small ratio of argument to order (there the backward recurrence
// starts far above the argument and the quadrature is the better method), and not above the
// largest argument the run allows.
#include "Guts/mainguts.hpp"

namespace lvlim {

namespace {
// Single-precision 0.26 widened to double.
constexpr double small_ratio = static_cast<double>(0.26F);
constexpr double large_order = 50.0;
} // namespace

int besselargumentsok(const double& x, const double& order, const double& top) {
    if (x / order <= small_ratio && order > large_order) {
        return 0;
    }
    if (x > top) {
        return 0;
    }
    return 1;
}

} // namespace lvlim
