// The values of a table's axes as the command line gives them: a list "a,b,c", or a range
// "FROM:TO:COUNT" (evenly spaced) or "FROM:TO:COUNT:log" (evenly spaced in the logarithm).
#pragma once

#include <charconv>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace lvlim::table {

// Values per range FROM:TO:COUNT at most.
inline constexpr int max_range_count = 100000;

// The values of a list or a range; empty when the text is neither. An evenly spaced range of
// decimals gives the doubles nearest to the exact decimal steps (0.1:3:30 gives 0.1, 0.2, ...,
// 3); a range's ends are FROM and TO exactly; a log range's values are snapped (below).
std::optional<std::vector<double>> parse_values(const std::string& text);

// The value itself, or the shortest decimal of at most 12 significant digits when that decimal
// lies within 4 ulps of it: a value computed in floating point that stands for a round decimal
// (10^-1 from a logarithmic range, 4.1 - 1) comes out as that decimal. Anything with more
// digits than 12 is left as computed.
[[nodiscard]] double snapped(double value);

// The whole text as a finite double; empty otherwise.
std::optional<double> parse_finite(std::string_view text);

// The whole text as a whole number of type Int (no sign for an unsigned one); empty otherwise.
template <typename Int> std::optional<Int> parse_whole(std::string_view text) {
    Int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

} // namespace lvlim::table
