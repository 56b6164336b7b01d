// What the subjects of the API share: the refusal of a value outside its range, and the names
// of kinds and statuses.
#include "lvlim/common.hpp"

#include <charconv>
#include <cmath>
#include <stdexcept>
#include <string>
#include <string_view>

#include "src/range_checks.hpp"

namespace lvlim {

namespace detail {

// The shortest decimal that reads back as `value`, without an exponent from 1e-5 up to 1e15
// (100000 and 0.0005, not 1e+05 and 5e-04).
std::string shortest(double value) {
    char buffer[64];
    const double size = std::abs(value);
    const bool plain = size == 0.0 || (size >= 1e-5 && size < 1e15);
    const auto result =
        plain ? std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed)
              : std::to_chars(buffer, buffer + sizeof buffer, value);
    return {buffer, result.ptr};
}

[[noreturn]] void refuse(std::string_view name, double value, std::string_view range) {
    throw std::invalid_argument(std::string(name) + " = " + shortest(value) + " is outside " +
                                std::string(range));
}

void check_range(std::string_view name, double value, double low, double high) {
    if (!(value >= low && value <= high)) {
        refuse(name, value,
               "the supported range [" + shortest(low) + ", " + shortest(high) + "]");
    }
}

} // namespace detail

const char* to_string(Kind kind) {
    switch (kind) {
    case Kind::upper:
        return "upper";
    case Kind::lower:
        return "lower";
    case Kind::two_sided:
        return "two-sided";
    }
    return "two-sided";
}

const char* to_string(Status status) {
    return status == Status::ok ? "ok" : "search failed";
}

Kind kind_from_string(const std::string& name) {
    if (name == "upper") {
        return Kind::upper;
    }
    if (name == "lower") {
        return Kind::lower;
    }
    if (name == "two-sided") {
        return Kind::two_sided;
    }
    throw std::invalid_argument("kind '" + name + "' is not one of upper, lower, two-sided");
}

} // namespace lvlim
