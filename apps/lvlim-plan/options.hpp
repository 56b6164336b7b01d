// lvlim-plan's command line: what to plan, the target, the range of n and the output format.
#pragma once

#include <cstddef>
#include <string>
#include <variant>

#include "lvlim/planning.hpp"

namespace lvlim::plan {

enum class Format { text, csv, json };

struct Options {
    PlanSetting setting;
    Target target;
    std::size_t n_from = min_measurements;
    std::size_t n_to = 1000;
    Format format = Format::text;
};

// What the command line asks for: a plan, the help or version text to print, or a usage error
// (its message, without the program's name).
struct Help {
    std::string text;
};
struct UsageError {
    std::string message;
};
using Parsed = std::variant<Options, Help, UsageError>;

// Reads argv. Values outside their range (a GSD of 1 or less, a ratio of 0 or less, a target out
// of its range, an empty range of n) are usage errors, with the API's message.
[[nodiscard]] Parsed parse_command_line(int argc, const char* const* argv);

} // namespace lvlim::plan
