// lvlim: the limits of one setting of sample estimates.
#pragma once

#include <string>
#include <vector>

#include "lvlim/common.hpp"

namespace lvlim {

// The limits of one setting. A one-sided upper limit fills k_upper, upper and iterations_upper;
// a lower limit fills k_lower, lower and iterations_lower; a pair fills both. What a kind does not
// have is NaN (iterations 0).
//
// k_lower and k_upper are the standardized limits exactly as the batch program prints them
// (StandardLowerLimit, StandardUpperLimit, or StandardConfidenceLimit). lower and upper are the
// ends of the interval for mu + lambda*sigma^2 with lower <= upper: for a negative lambda the
// pair is mirrored about mu-hat, so `lower` is the value the batch program labels
// UpperConfidenceLimit and comes from k_upper, and `upper` from k_lower.
struct Limits {
    Kind kind = Kind::two_sided;
    double confidence = 0.0;
    double k_lower = not_computed;
    double k_upper = not_computed;
    double lower = not_computed;
    double upper = not_computed;
    int iterations_lower = 0;
    int iterations_upper = 0;
    Status status = Status::ok;
    std::vector<std::string> messages; // what the searches reported, a line each
};

// The limits of `kind` at confidence level `confidence` (strictly between 0 and 1).
[[nodiscard]] Limits limits(const Setting& setting, Kind kind, double confidence,
                            const Controls& controls = {});

// Raises the std::invalid_argument that `limits` raises for these inputs, naming the value and
// its range, and does nothing when `limits` takes them: a caller with many settings can check
// them all before it computes any.
void check_setting(const Setting& setting, double confidence, const Controls& controls = {});

} // namespace lvlim
