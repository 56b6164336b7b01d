#include "common/number_text.hpp"

#include <array>
#include <charconv>
#include <cmath>

namespace lvlim::number_text {

namespace {

// Room for the longest fixed form of a double (about 330 digits).
using Buffer = std::array<char, 400>;

std::string to_text(double value, std::chars_format format) {
    Buffer buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, format);
    return {buffer.data(), result.ptr};
}

} // namespace

std::string shortest(double value) {
    Buffer buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    return {buffer.data(), result.ptr};
}

std::string shortest_plain(double value) {
    const double size = std::fabs(value);
    const bool plain = size == 0.0 || (size >= 1e-5 && size < 1e15);
    return plain ? to_text(value, std::chars_format::fixed) : shortest(value);
}

std::string shortest_with_NaN(double value) {
    return std::isnan(value) ? "NaN" : shortest(value);
}

std::string shortest_or_empty(double value) {
    return std::isnan(value) ? std::string() : shortest(value);
}

std::string shortest_round_trip(double value) {
    const double magnitude = std::fabs(value);
    const bool plain = magnitude >= 1e-5 && magnitude < 1e16;
    return plain ? to_text(value, std::chars_format::fixed) : shortest(value);
}

} // namespace lvlim::number_text
