// The range checks the subjects of the API share (internal to the library).
#pragma once

#include <string>
#include <string_view>

namespace lvlim::detail {

// The shortest decimal that reads back as `value`, without an exponent from 1e-5 up to 1e15
// (100000 and 0.0005, not 1e+05 and 5e-04).
[[nodiscard]] std::string shortest(double value);

// Throws std::invalid_argument "<name> = <value> is outside <range>".
[[noreturn]] void refuse(std::string_view name, double value, std::string_view range);

// Refuses `value` unless low <= value <= high: "the supported range [low, high]".
void check_range(std::string_view name, double value, double low, double high);

} // namespace lvlim::detail
