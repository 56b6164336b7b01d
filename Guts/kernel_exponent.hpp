// The kernel newf and its first-moment integrand twotailednewf, with the parts of their exponent
// that do not depend on the point worked out once.
//
// The exponent of the kernel at t in (-1, 1) is
//   E(t) = (1 + t)((f + 1) w) - ((f - 1)/2) ln(2/((1 + f)(-w))) - lg - (f + 1) sc - ln L
//          + ln(1 - t^2)(f/2 - 1).
// Along one integral only t changes, so (f + 1) w, ((f - 1)/2) ln(2/((1 + f)(-w))), (f + 1) sc,
// ln L and f/2 - 1 are formed once, each as the term itself is formed; E(t) is then summed from
// them from left to right exactly as written above. Every value, and so every integral built on
// it, is the same to the last bit as when each term is formed at every point, but a point costs
// one logarithm instead of three. newf and twotailednewf evaluate their single points through
// these same objects.
#pragma once

#include <cmath>

namespace lvlim::detail {

class KernelExponent {
public:
    KernelExponent(double f, double w, double lg, double sc, double L)
        : rate_((f + 1.0) * w), shape_(((f - 1.0) * 0.5) * std::log(2.0 / ((1.0 + f) * (-w)))),
          lg_(lg), offset_((f + 1.0) * sc), log_divisor_(std::log(L)), power_(0.5 * f - 1.0) {}

    // E(t) for |t| < 1.
    [[nodiscard]] double operator()(double t) const {
        return (1.0 + t) * rate_ - shape_ - lg_ - offset_ - log_divisor_ +
               std::log(1.0 - t * t) * power_;
    }

private:
    double rate_;        // (f + 1) w
    double shape_;       // ((f - 1)/2) ln(2/((1 + f)(-w)))
    double lg_;          // ln Gamma(f/2)
    double offset_;      // (f + 1) sc
    double log_divisor_; // ln L
    double power_;       // f/2 - 1
};

// newf: m exp(E(t)), 0 at the end points t = -1 and 1 (where ln(0) is never formed).
class Kernel {
public:
    Kernel(double f, double w, double m, double lg, double sc, double L)
        : exponent_(f, w, lg, sc, L), m_(m) {}

    [[nodiscard]] double operator()(double t) const {
        if (std::fabs(t) == 1.0) {
            return 0.0;
        }
        return m_ * std::exp(exponent_(t));
    }

private:
    KernelExponent exponent_;
    double m_;
};

// twotailednewf: (t m) exp(E(t)), 0 at the end points.
class KernelMoment {
public:
    KernelMoment(double f, double w, double m, double lg, double sc, double L)
        : exponent_(f, w, lg, sc, L), m_(m) {}

    [[nodiscard]] double operator()(double t) const {
        if (std::fabs(t) == 1.0) {
            return 0.0;
        }
        return (t * m_) * std::exp(exponent_(t));
    }

private:
    KernelExponent exponent_;
    double m_;
};

} // namespace lvlim::detail
