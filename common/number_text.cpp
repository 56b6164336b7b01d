#include "common/number_text.hpp"

#include <charconv>
#include <cmath>

namespace lvlim::text {

std::string shortest_round_trip(double value) {
    char buffer[64];
    const double magnitude = std::fabs(value);
    const bool plain = magnitude >= 1e-5 && magnitude < 1e16;
    const char* const end =
        plain ? std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed).ptr
              : std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
    return {static_cast<const char*>(buffer), end};
}

} // namespace lvlim::text
