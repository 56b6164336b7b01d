// Lists and ranges of values: "a,b,c", "FROM:TO:COUNT" and "FROM:TO:COUNT:log".
#include "measurements/value_lists.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace lvlim::table {

std::optional<double> parse_finite(std::string_view text) {
    double value = 0.0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

namespace {

std::vector<std::string_view> split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    while (true) {
        const auto end = text.find(separator, start);
        parts.push_back(text.substr(start, end - start));
        if (end == std::string_view::npos) {
            return parts;
        }
        start = end + 1;
    }
}

// ---- Evenly spaced decimal ranges ------------------------------------------------------------

__extension__ using int128 = __int128;

// A decimal mantissa * 10^exponent, read exactly from its text.
struct Decimal {
    int128 mantissa = 0;
    int exponent = 0;
};

// The limits below keep every product of the range arithmetic far inside 128 bits.
constexpr int max_decimal_digits = 30;
constexpr int max_decimal_exponent = 40;

std::optional<Decimal> parse_decimal(std::string_view text) {
    Decimal d;
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    int digits = 0;
    bool any = false;
    bool point = false;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '.' && !point) {
            point = true;
        } else if (c >= '0' && c <= '9') {
            any = true;
            if (d.mantissa == 0 && c == '0') {
                d.exponent -= point ? 1 : 0;
                continue;
            }
            if (++digits > max_decimal_digits) {
                return std::nullopt;
            }
            d.mantissa = d.mantissa * 10 + (c - '0');
            d.exponent -= point ? 1 : 0;
        } else {
            break;
        }
    }
    if (!any) {
        return std::nullopt;
    }
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        std::string_view power_text = text.substr(i + 1);
        if (!power_text.empty() && power_text.front() == '+') {
            power_text.remove_prefix(1);
        }
        const auto power = parse_whole<int>(power_text);
        if (!power || std::abs(*power) > max_decimal_exponent) {
            return std::nullopt;
        }
        d.exponent += *power;
    } else if (i != text.size()) {
        return std::nullopt;
    }
    if (std::abs(d.exponent) > max_decimal_exponent) {
        return std::nullopt;
    }
    d.mantissa = negative ? -d.mantissa : d.mantissa;
    return d;
}

int128 power_of_ten(int n) {
    int128 p = 1;
    for (int i = 0; i < n; ++i) {
        p *= 10;
    }
    return p;
}

// The double nearest to numerator / denominator * 10^exponent (denominator > 0): the quotient
// is written out in decimal far beyond double precision, with a last digit 1 standing for any
// remainder so that the rounding of the text is the rounding of the exact value.
double nearest_double(int128 numerator, int128 denominator, int exponent) {
    // Sign, at most 39 digits of the quotient, the point, 40 digits, the sticky 1, the exponent.
    char text[128];
    std::size_t size = 0;
    if (numerator < 0) {
        text[size++] = '-';
    }
    const int128 n = numerator < 0 ? -numerator : numerator;
    int128 quotient = n / denominator;
    int128 remainder = n % denominator;
    char whole[48];
    std::size_t digits = 0;
    do {
        whole[digits++] = static_cast<char>('0' + static_cast<int>(quotient % 10));
        quotient /= 10;
    } while (quotient != 0);
    while (digits != 0) {
        text[size++] = whole[--digits];
    }
    text[size++] = '.';
    for (int digit = 0; digit < 40 && remainder != 0; ++digit) {
        remainder *= 10;
        text[size++] = static_cast<char>('0' + static_cast<int>(remainder / denominator));
        remainder %= denominator;
    }
    if (remainder != 0) {
        text[size++] = '1';
    }
    text[size++] = 'e';
    size = static_cast<std::size_t>(std::to_chars(text + size, text + sizeof text, exponent).ptr -
                                    text);
    double value = 0.0;
    std::from_chars(text, text + size, value);
    return value;
}

// FROM + i (TO - FROM) / (COUNT - 1) for i = 0 .. COUNT-1, each the double nearest to the exact
// value, when FROM and TO are decimals of moderate length; empty otherwise.
std::optional<std::vector<double>> decimal_range(std::string_view from_text,
                                                 std::string_view to_text, int count) {
    const auto from = parse_decimal(from_text);
    const auto to = parse_decimal(to_text);
    if (!from || !to) {
        return std::nullopt;
    }
    const int exponent = std::min(from->exponent, to->exponent);
    // Both ends as whole multiples of 10^exponent, each below 10^max_decimal_digits.
    const auto scaled = [&](const Decimal& d) -> std::optional<int128> {
        const int shift = d.exponent - exponent;
        const int128 magnitude = d.mantissa < 0 ? -d.mantissa : d.mantissa;
        if (shift > max_decimal_digits || magnitude >= power_of_ten(max_decimal_digits - shift)) {
            return std::nullopt;
        }
        return d.mantissa * power_of_ten(shift);
    };
    const auto scaled_from = scaled(*from);
    const auto scaled_to = scaled(*to);
    if (!scaled_from || !scaled_to) {
        return std::nullopt;
    }
    const int128 f = *scaled_from;
    const int128 t = *scaled_to;
    const int128 steps = count - 1;
    std::vector<double> values;
    values.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        values.push_back(nearest_double(f * steps + i * (t - f), steps, exponent));
    }
    return values;
}

} // namespace

double snapped(double value) {
    if (value == 0.0 || !std::isfinite(value)) {
        return value;
    }
    const double tolerance = 4.0 * (std::nextafter(std::fabs(value), HUGE_VAL) - std::fabs(value));
    char text[40];
    for (int digits = 1; digits <= 12; ++digits) {
        const char* const end = std::to_chars(text, text + sizeof text, value,
                                              std::chars_format::scientific, digits - 1)
                                    .ptr;
        double decimal = 0.0;
        std::from_chars(text, end, decimal);
        if (std::fabs(decimal - value) <= tolerance) {
            return decimal;
        }
    }
    return value;
}

namespace {

// FROM .. TO in COUNT (at least 2) steps even in the logarithm: 10^(log10 FROM + i/(COUNT-1)
// (log10 TO - log10 FROM)), snapped to a round decimal it stands for, the ends exactly FROM and
// TO.
std::vector<double> log_range(double from, double to, int count) {
    std::vector<double> values;
    const double low = std::log10(from);
    const double high = std::log10(to);
    for (int i = 0; i < count; ++i) {
        const double share = static_cast<double>(i) / (count - 1);
        values.push_back(snapped(std::pow(10.0, low + share * (high - low))));
    }
    values.front() = from;
    values.back() = to;
    return values;
}

} // namespace

std::optional<std::vector<double>> parse_values(const std::string& text) {
    if (text.find(':') != std::string::npos) {
        const auto parts = split(text, ':');
        if (parts.size() != 3 && parts.size() != 4) {
            return std::nullopt;
        }
        const auto from = parse_finite(parts[0]);
        const auto to = parse_finite(parts[1]);
        const auto count = parse_whole<int>(parts[2]);
        const bool log = parts.size() == 4;
        if (!from || !to || !count || *count < 1 || *count > max_range_count ||
            (log && (parts[3] != "log" || *from <= 0.0 || *to <= 0.0))) {
            return std::nullopt;
        }
        if (*count == 1) {
            return std::vector<double>{*from};
        }
        if (log) {
            return log_range(*from, *to, *count);
        }
        if (auto values = decimal_range(parts[0], parts[1], *count)) {
            return values;
        }
        std::vector<double> values;
        for (int i = 0; i < *count; ++i) {
            const double share = static_cast<double>(i) / (*count - 1);
            values.push_back(*from + share * (*to - *from));
        }
        // The ends exactly as given.
        values.front() = *from;
        values.back() = *to;
        return values;
    }
    std::vector<double> values;
    for (const auto part : split(text, ',')) {
        const auto value = parse_finite(part);
        if (!value) {
            return std::nullopt;
        }
        values.push_back(*value);
    }
    return values;
}

} // namespace lvlim::table
