// The range checks the subjects of the API share (internal to the library).
#pragma once

#include <string_view>

namespace lvlim::detail {

// Throws std::invalid_argument "<name> = <value> is outside <range>", the value as
// number_text::shortest_plain writes it.
[[noreturn]] void refuse(std::string_view name, double value, std::string_view range);

// Refuses `value` unless low <= value <= high: "the supported range [low, high]".
void check_range(std::string_view name, double value, double low, double high);

} // namespace lvlim::detail
