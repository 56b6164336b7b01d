// std::to_chars for double, which the C++ library of Debian's emscripten 3.1.6 declares in its
// synopsis but does not provide. Included ahead of every source of the WebAssembly build only;
// the definitions are in charconv_double.cpp.
#pragma once

#include <charconv>

_LIBCPP_BEGIN_NAMESPACE_STD

// The shortest text that reads back as `value`, in fixed or scientific form, whichever is
// shorter (fixed on a tie), as the standard specifies.
to_chars_result to_chars(char* first, char* last, double value);
// `precision` digits after the point (scientific, fixed) or significant digits (general).
to_chars_result to_chars(char* first, char* last, double value, chars_format fmt, int precision);

_LIBCPP_END_NAMESPACE_STD
