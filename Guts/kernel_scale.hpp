// The scale offset that puts the kernel's log at its mode to zero.
//
// The kernel newf(t; f, w, m, lg, sc, L) is evaluated as m exp(E(t)) with the offset
// -(f + 1) sc in its exponent; the tail functions divide it by its value M at the mode, so
// that it becomes h(t)/h(tm) in exact arithmetic whatever sc is. Their fixed linear offsets in
// S keep M in range for the usual spreads, but for very large or very small spreads M
// overflows or underflows, and h(t)/h(tm) becomes 0/0. With the offset below the exponent at
// the mode is exactly 0 and M is m: the two-sided tail function uses it above 1000 degrees of
// freedom, and both tail functions fall back to it when the fixed offset leaves M without a
// usable value.
#pragma once

#include <cmath>

namespace lvlim::detail {

[[nodiscard]] inline double mode_scale_offset(double f, double w, double tm, double lg) {
    return ((f / 2.0 - 1.0) * std::log(1.0 - tm * tm) + (f + 1.0) * w * (1.0 + tm) -
            ((f - 1.0) / 2.0) * std::log(2.0 / (-w * (f + 1.0))) - lg) /
           (f + 1.0);
}

// Whether a peak value can normalise the kernel: positive, finite and not denormal (whose
// logarithm, and the quotients it normalises, would have lost their precision).
[[nodiscard]] inline bool usable_peak(double M) { return std::isnormal(M) && M > 0.0; }

} // namespace lvlim::detail
