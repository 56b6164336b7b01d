// The Shapiro-Wilk W test of normality, by Royston's approximation (AS R94). Internal to the
// assessment.
#pragma once

#include <span>
#include <string>

namespace lvlim::detail {

struct ShapiroWilk {
    double w = 0.0;
    double p = 0.0;
    bool ok = false;
    std::string message; // why W was not computed; empty when ok
};

// W and its p-value for the values x (any order), 3 <= n <= 5000. Outside that range, for
// values that are all equal or not all finite, ok is false, w and p NaN, and the message says
// why.
[[nodiscard]] ShapiroWilk shapiro_wilk(std::span<const double> x);

} // namespace lvlim::detail
