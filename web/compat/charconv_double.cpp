// std::to_chars for double in the WebAssembly build, on the C library's exact printf.
#include "web/compat/charconv_double.hpp"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

to_chars_result to_chars(char* first, char* last, double value, chars_format fmt, int precision) {
    const char* format = fmt == chars_format::scientific ? "%.*e"
                         : fmt == chars_format::fixed    ? "%.*f"
                                                         : "%.*g";
    // printf writes "nan" and "inf" as to_chars does.
    return copy_out(first, last, printed(format, precision, value));
}

_LIBCPP_END_NAMESPACE_STD
