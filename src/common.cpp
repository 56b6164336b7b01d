// What the subjects of the API share: the refusal of a value outside its range, and the names
// of kinds and statuses.
#include "lvlim/common.hpp"

#include <stdexcept>
#include <string>
#include <string_view>

#include "common/number_text.hpp"
#include "src/range_checks.hpp"

namespace lvlim {

namespace detail {

[[noreturn]] void refuse(std::string_view name, double value, std::string_view range) {
    throw std::invalid_argument(std::string(name) + " = " + number_text::shortest_plain(value) + " is outside " +
                                std::string(range));
}

void check_range(std::string_view name, double value, double low, double high) {
    if (!(value >= low && value <= high)) {
        refuse(name, value,
               "the supported range [" + number_text::shortest_plain(low) + ", " +
                   number_text::shortest_plain(high) + "]");
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
