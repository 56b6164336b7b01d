// The measurements of lvlim-data and their summary: reading the values from text, and the mean
// and standard deviation of their natural logarithms.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace lvlim::data {

// Why a value on a line was refused.
enum class ValueError {
    not_a_number, // not the whole of the item is a decimal number, or it is "nan"
    out_of_range, // beyond the doubles (1e999, 1e-999) or infinite
    not_positive, // zero or negative: it has no logarithm
};

// The first refused item of the text: its line (from 1), the item as written, and the reason.
struct BadValue {
    std::size_t line = 0;
    std::string text;
    ValueError error = ValueError::not_a_number;
};

// The outcome of reading: the values in order, or the first refused item.
struct Measurements {
    std::vector<double> values;
    std::optional<BadValue> bad;
};

// One item converted: a finite, positive double, or the reason it is refused. The number has
// the form std::from_chars reads in general format (an optional minus sign, digits with an
// optional point, an optional exponent), independent of the locale; nothing else may follow.
struct ValueOrError {
    double value = 0.0;
    std::optional<ValueError> error;
};
[[nodiscard]] ValueOrError parse_measurement(std::string_view item);

// The measurements in `text`: items separated by blanks, tabs or commas, any number on a line,
// blank lines skipped, "#" starting a comment to the end of its line, a CR before a line end
// ignored. Reading stops at the first refused item.
[[nodiscard]] Measurements read_measurements(std::string_view text);

// The name of a refusal as the messages print it ("is not a number").
[[nodiscard]] std::string_view describe(ValueError error);

// n, the mean and the standard deviation (divisor n - 1) of the natural logarithms.
struct LogSummary {
    std::size_t n = 0;
    double mean = 0.0;
    double sd = 0.0;
};

// Computed in two passes, the mean first and then the squared deviations from it, which keeps
// the spread accurate however far the logs lie from 0 (a one-pass sum of squares would lose it
// to cancellation). The values must be positive and there must be at least two of them.
[[nodiscard]] LogSummary summarize_logs(std::span<const double> values);

} // namespace lvlim::data
