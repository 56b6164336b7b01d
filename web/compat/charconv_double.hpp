// std::to_chars and std::from_chars for double, which the C++ library of Debian's emscripten 3.1.6 declares in its
// synopsis but does not provide. Included ahead of every source of the WebAssembly build only;
// the definitions are in charconv_double.cpp.
#pragma once

#include <charconv>

_LIBCPP_BEGIN_NAMESPACE_STD

// The shortest text that reads back as `value`, in fixed or scientific form, whichever is
// shorter (fixed on a tie), as the standard specifies.
to_chars_result to_chars(char* first, char* last, double value);
// The shortest text in the form `fmt` that reads back as `value` (fixed: no exponent).
to_chars_result to_chars(char* first, char* last, double value, chars_format fmt);
// `precision` digits after the point (scientific, fixed) or significant digits (general).
to_chars_result to_chars(char* first, char* last, double value, chars_format fmt, int precision);

// A double in general or scientific form (no hexadecimal), "inf", "infinity", "nan" or
// "nan(...)" in any case, after an optional minus sign: the longest such prefix, correctly
// rounded. result_out_of_range for a value beyond the doubles or too small to be told from 0.
from_chars_result from_chars(const char* first, const char* last, double& value,
                             chars_format fmt = chars_format::general);

_LIBCPP_END_NAMESPACE_STD
