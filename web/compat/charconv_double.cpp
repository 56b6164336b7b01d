// std::to_chars for double in the WebAssembly build, on the C library's exact printf; std::from_chars
// for double on its strtod.
#include "web/compat/charconv_double.hpp"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <system_error>

_LIBCPP_BEGIN_NAMESPACE_STD

namespace {

to_chars_result copy_out(char* first, char* last, const string& text) {
    if (static_cast<size_t>(last - first) < text.size()) {
        return {last, errc::value_too_large};
    }
    memcpy(first, text.data(), text.size());
    return {first + text.size(), errc{}};
}

string printed(const char* format, int precision, double value) {
    const int size = snprintf(nullptr, 0, format, precision, value);
    string text(static_cast<size_t>(size) + 1, '\0');
    snprintf(text.data(), text.size(), format, precision, value);
    text.resize(static_cast<size_t>(size));
    return text;
}

} // namespace

to_chars_result to_chars(char* first, char* last, double value) {
    if (isnan(value)) {
        return copy_out(first, last, signbit(value) ? "-nan" : "nan");
    }
    if (isinf(value)) {
        return copy_out(first, last, value < 0 ? "-inf" : "inf");
    }
    const string sign = signbit(value) ? "-" : "";
    const double magnitude = fabs(value);
    if (magnitude == 0.0) {
        return copy_out(first, last, sign + "0");
    }
    // The fewest significant digits that read back as the value, and its decimal exponent.
    string scientific;
    for (int digits = 1; digits <= 17; ++digits) {
        scientific = printed("%.*e", digits - 1, magnitude);
        if (strtod(scientific.c_str(), nullptr) == magnitude) {
            break;
        }
    }
    const size_t e = scientific.find('e');
    const int exponent = atoi(scientific.c_str() + e + 1);
    string digits = scientific.substr(0, e);
    if (digits.size() > 1) {
        digits.erase(1, 1); // the point
    }
    string mantissa = digits.substr(0, 1);
    if (digits.size() > 1) {
        mantissa += "." + digits.substr(1);
    }
    const int shown = exponent < 0 ? -exponent : exponent;
    const string exponent_text =
        string(exponent < 0 ? "e-" : "e+") + (shown < 10 ? "0" : "") + to_string(shown);
    const string sci = mantissa + exponent_text;

    string fixed;
    const int count = static_cast<int>(digits.size());
    if (exponent >= 0) {
        if (count <= exponent + 1) {
            fixed = digits + string(static_cast<size_t>(exponent + 1 - count), '0');
        } else {
            fixed = digits.substr(0, static_cast<size_t>(exponent + 1)) + "." +
                    digits.substr(static_cast<size_t>(exponent + 1));
        }
    } else {
        fixed = "0." + string(static_cast<size_t>(-exponent - 1), '0') + digits;
    }
    return copy_out(first, last, sign + (fixed.size() <= sci.size() ? fixed : sci));
}

to_chars_result to_chars(char* first, char* last, double value, chars_format fmt) {
    if (fmt == chars_format::general || !isfinite(value)) {
        return to_chars(first, last, value);
    }
    // The fewest digits after the point (fixed) or after the first digit (scientific) that
    // read back as the value; a double needs at most 1074 of them.
    const char* format = fmt == chars_format::fixed ? "%.*f" : "%.*e";
    string text;
    for (int precision = 0; precision <= 1074; ++precision) {
        text = printed(format, precision, value);
        if (strtod(text.c_str(), nullptr) == value) {
            break;
        }
    }
    return copy_out(first, last, text);
}

to_chars_result to_chars(char* first, char* last, double value, chars_format fmt, int precision) {
    const char* format = fmt == chars_format::scientific ? "%.*e"
                         : fmt == chars_format::fixed    ? "%.*f"
                                                         : "%.*g";
    // printf writes "nan" and "inf" as to_chars does.
    return copy_out(first, last, printed(format, precision, value));
}

_LIBCPP_END_NAMESPACE_STD

_LIBCPP_BEGIN_NAMESPACE_STD

namespace {

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// True when [at, last) begins with `word`, in any case; `at` then moves past it.
bool take_word(const char*& at, const char* last, const char* word) {
    const size_t size = strlen(word);
    if (static_cast<size_t>(last - at) < size) {
        return false;
    }
    for (size_t i = 0; i < size; ++i) {
        if (tolower(static_cast<unsigned char>(at[i])) != word[i]) {
            return false;
        }
    }
    at += size;
    return true;
}

} // namespace

from_chars_result from_chars(const char* first, const char* last, double& value,
                             chars_format fmt) {
    const char* at = first;
    const bool negative = at != last && *at == '-';
    if (negative) {
        ++at;
    }
    if (take_word(at, last, "inf")) {
        const char* longer = at;
        if (take_word(longer, last, "inity")) {
            at = longer;
        }
        value = negative ? -HUGE_VAL : HUGE_VAL;
        return {at, errc{}};
    }
    if (take_word(at, last, "nan")) {
        const char* end = at;
        if (end != last && *end == '(') {
            ++end;
            while (end != last && (isalnum(static_cast<unsigned char>(*end)) || *end == '_')) {
                ++end;
            }
            if (end != last && *end == ')') {
                at = end + 1;
            }
        }
        const double nan = numeric_limits<double>::quiet_NaN();
        value = negative ? -nan : nan;
        return {at, errc{}};
    }
    size_t digits = 0;
    bool nonzero = false;
    while (at != last && is_digit(*at)) {
        nonzero = nonzero || *at != '0';
        ++at;
        ++digits;
    }
    if (at != last && *at == '.') {
        ++at;
        while (at != last && is_digit(*at)) {
            nonzero = nonzero || *at != '0';
            ++at;
            ++digits;
        }
    }
    if (digits == 0) {
        return {first, errc::invalid_argument};
    }
    const auto has = [fmt](chars_format part) {
        return (static_cast<unsigned>(fmt) & static_cast<unsigned>(part)) != 0;
    };
    const bool scientific = has(chars_format::scientific);
    const bool fixed = has(chars_format::fixed);
    bool exponent = false;
    if (scientific && at != last && (*at == 'e' || *at == 'E')) {
        const char* end = at + 1;
        if (end != last && (*end == '+' || *end == '-')) {
            ++end;
        }
        if (end != last && is_digit(*end)) {
            while (end != last && is_digit(*end)) {
                ++end;
            }
            at = end;
            exponent = true;
        }
    }
    if (scientific && !fixed && !exponent) {
        return {first, errc::invalid_argument};
    }
    // strtod rounds correctly and, in this C library, reads the same in every locale.
    const string text(first, at);
    errno = 0;
    const double read = strtod(text.c_str(), nullptr);
    if (errno == ERANGE && (isinf(read) || (read == 0.0 && nonzero))) {
        return {at, errc::result_out_of_range};
    }
    value = read;
    return {at, errc{}};
}

_LIBCPP_END_NAMESPACE_STD
