// List-directed output layout and the fixed-point edit used by the validation message.
//
// Double items use the general ("G") conversion with 9 significant digits: the value is rounded
// once, correctly, by std::to_chars in scientific form with 8 decimals, and every layout
// decision is read off that rounded text, never off log10 of the raw value (999999999.6 rounds
// to 1.00000000e+09 and so takes the exponent form). std::to_chars ignores the locale, so the
// layout does not depend on it.
#include "common/list_output.hpp"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace lvlim {

namespace {

// Significant digits of a double item.
constexpr int list_real_digits = 9;

// Positional notation for a rounded decimal exponent X in [-4, 9): 0.0001 (X = -4) and
// 123456789. (X = 8) are positional; 0.00001 (X = -5) and 1234567890. (X = 9) take "E".
[[nodiscard]] constexpr bool is_positional(int exponent) { return exponent >= -4 && exponent < 9; }

// Drops the trailing zeros of a fraction, then a decimal point left with nothing after it.
void trim_fraction(std::string& digits) {
    if (digits.find('.') == std::string::npos) {
        return;
    }
    while (!digits.empty() && digits.back() == '0') {
        digits.pop_back();
    }
    if (!digits.empty() && digits.back() == '.') {
        digits.pop_back();
    }
}

// The magnitude of a finite, nonzero value in the 9-digit G layout, always with a point.
std::string format_magnitude(double magnitude) {
    // "d.dddddddde+XX": the 9 correctly rounded significant digits and the exponent X of the
    // rounded value.
    std::array<char, 40> buffer{};
    const auto converted = std::to_chars(buffer.data(), buffer.data() + buffer.size(), magnitude,
                                         std::chars_format::scientific, list_real_digits - 1);
    const std::string scientific(buffer.data(), converted.ptr);
    const auto e_pos = scientific.find('e');
    const int exponent = std::atoi(scientific.c_str() + e_pos + 1);
    std::string significand; // the 9 digits without the point
    significand.reserve(list_real_digits);
    for (std::size_t i = 0; i < e_pos; ++i) {
        if (scientific[i] != '.') {
            significand.push_back(scientific[i]);
        }
    }

    if (is_positional(exponent)) {
        std::string text;
        if (exponent < 0) {
            // 0.000ddddddddd: the zero before the point is written.
            text = "0.";
            text.append(static_cast<std::size_t>(-exponent - 1), '0');
            text += significand;
        } else {
            const auto whole = static_cast<std::size_t>(exponent) + 1;
            text = significand.substr(0, whole) + "." + significand.substr(whole);
        }
        trim_fraction(text);
        if (text.find('.') == std::string::npos) {
            text.push_back('.'); // 800 -> "800."
        }
        return text;
    }

    std::string mantissa = significand.substr(0, 1) + "." + significand.substr(1);
    trim_fraction(mantissa);
    if (mantissa.find('.') == std::string::npos) {
        mantissa.push_back('.'); // 1.0e10 -> "1.E+10"
    }
    std::array<char, 16> exponent_text{};
    std::snprintf(exponent_text.data(), exponent_text.size(), "E%c%02d", exponent < 0 ? '-' : '+',
                  std::abs(exponent));
    return mantissa + exponent_text.data();
}

// Rounds the exact decimal expansion of a non-negative finite value to `decimals` places,
// ties away from zero, and returns the digits with the point ("0.50000", "1500.").
std::string round_fixed(double magnitude, int decimals) {
    // With enough places the fixed conversion is the exact binary value; 1100 places hold
    // every fraction digit a double can have (the smallest denormal has 1074).
    constexpr int exact_places = 1100;
    // Room for the 309 integer digits of the largest double, the point and the places.
    std::array<char, 309 + 1 + exact_places> buffer{};
    const auto converted = std::to_chars(buffer.data(), buffer.data() + buffer.size(), magnitude,
                                         std::chars_format::fixed, exact_places);
    const std::string_view exact(buffer.data(), static_cast<std::size_t>(converted.ptr - buffer.data()));

    const auto point = exact.find('.');
    const auto keep = point + 1 + static_cast<std::size_t>(decimals);
    const bool round_up = exact[keep] >= '5';
    std::string text(exact.substr(0, keep)); // "ddd." plus the kept decimals
    if (round_up) {
        auto i = text.size();
        bool carry = true;
        while (carry && i > 0) {
            --i;
            if (text[i] == '.') {
                continue;
            }
            if (text[i] == '9') {
                text[i] = '0';
            } else {
                ++text[i];
                carry = false;
            }
        }
        if (carry) {
            text.insert(text.begin(), '1');
        }
    }
    return text;
}

std::string right_justify(const std::string& text, int w) {
    const auto width = static_cast<std::size_t>(w);
    if (text.size() >= width) {
        return text;
    }
    return std::string(width - text.size(), ' ') + text;
}

} // namespace

std::string format_list_integer(long long value) {
    std::array<char, 24> buffer{};
    std::snprintf(buffer.data(), buffer.size(), " %lld", value);
    return buffer.data();
}

std::string format_list_real(double value) {
    std::string item = " ";
    if (std::isnan(value)) {
        // A NaN has no meaningful sign: its sign position stays blank.
        return item + " NaN";
    }
    item += std::signbit(value) && value != 0.0 ? '-' : ' ';
    const double magnitude = std::fabs(value);
    if (std::isinf(magnitude)) {
        return item + "Infinity";
    }
    if (magnitude == 0.0) {
        return item + "0.";
    }
    return item + format_magnitude(magnitude);
}

std::string format_fixed(double value, int w, int d) {
    auto asterisks = std::string(static_cast<std::size_t>(w), '*'); // not const: returned by move
    if (std::isnan(value)) {
        return w >= 3 ? right_justify("NaN", w) : asterisks;
    }
    if (std::isinf(value)) {
        const std::string text = value < 0 ? "-Infinity" : "Infinity";
        return static_cast<int>(text.size()) <= w ? right_justify(text, w) : asterisks;
    }

    std::string digits = round_fixed(std::fabs(value), d);
    const bool all_zero = digits.find_first_not_of("0.") == std::string::npos;
    // The minus sign is kept only when the rounded value is not zero ("-0.00" is " 0.00").
    std::string text = (value < 0.0 && !all_zero ? "-" : "") + digits;
    const auto width = static_cast<std::size_t>(w);
    if (text.size() == width + 1) {
        // One character too long: the optional zero before the point gives way ("-.50000").
        const auto zero = text.find("0.");
        if (zero != std::string::npos && (zero == 0 || text[zero - 1] == '-')) {
            text.erase(zero, 1);
        }
    }
    if (text.size() > width) {
        return asterisks;
    }
    return right_justify(text, w);
}

ListRecord::~ListRecord() {
    if (!ended_) {
        // A stream that throws on failure must not end the program from a destructor; a
        // failed write of a console line is ignored.
        try {
            end();
        } catch (...) {
        }
    }
}

void ListRecord::wrap_before(std::size_t width) {
    if (column_ > 0 && column_ + width >= list_line_width) {
        out_ << '\n';
        column_ = 0;
    }
}

void ListRecord::put(std::string_view chars) {
    ended_ = false; // items after end() start a new record, which will be ended in turn
    out_ << chars;
    column_ += chars.size();
}

ListRecord& ListRecord::text(std::string_view item) {
    wrap_before(item.size());
    if (column_ == 0) {
        put(" "); // a text that starts a line is preceded by one blank
    }
    put(item);
    return *this;
}

ListRecord& ListRecord::integer(long long item) {
    const std::string formatted = format_list_integer(item);
    // The width test counts only the digits, not the blank or the sign.
    const std::size_t digits = formatted.size() - (item < 0 ? 2U : 1U);
    wrap_before(digits);
    put(formatted);
    return *this;
}

ListRecord& ListRecord::real(double item) {
    const std::string formatted = format_list_real(item);
    wrap_before(formatted.size());
    put(formatted);
    return *this;
}

void ListRecord::end() {
    out_ << '\n';
    column_ = 0;
    ended_ = true;
}

} // namespace lvlim
