// Reading the measurements and summarising their logarithms.
#include "apps/lvlim-data/data_summary.hpp"

#include <charconv>
#include <cmath>
#include <system_error>

namespace lvlim::data {

namespace {

[[nodiscard]] constexpr bool is_separator(char c) {
    return c == ' ' || c == '\t' || c == ',';
}

// The next item of `line`, with the separators before it consumed; empty at the end.
std::string_view next_item(std::string_view& line) {
    std::size_t start = 0;
    while (start < line.size() && is_separator(line[start])) {
        ++start;
    }
    std::size_t end = start;
    while (end < line.size() && !is_separator(line[end])) {
        ++end;
    }
    const std::string_view item = line.substr(start, end - start);
    line.remove_prefix(end);
    return item;
}

// The data part of one line: without its line end, a CR before it, and any comment.
std::string_view data_part(std::string_view line) {
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    return line.substr(0, line.find('#'));
}

} // namespace

ValueOrError parse_measurement(std::string_view item) {
    double value = 0.0;
    const char* const end = item.data() + item.size();
    const auto [ptr, ec] = std::from_chars(item.data(), end, value);
    if (ec == std::errc::result_out_of_range) {
        return {0.0, ValueError::out_of_range};
    }
    if (ec != std::errc{} || ptr != end || std::isnan(value)) {
        return {0.0, ValueError::not_a_number};
    }
    if (std::isinf(value)) {
        return {0.0, ValueError::out_of_range};
    }
    if (!(value > 0.0)) {
        return {0.0, ValueError::not_positive};
    }
    return {value, std::nullopt};
}

Measurements read_measurements(std::string_view text) {
    Measurements result;
    std::size_t line_number = 0;
    while (!text.empty()) {
        ++line_number;
        const std::size_t line_end = text.find('\n');
        std::string_view line = data_part(text.substr(0, line_end));
        text.remove_prefix(line_end == std::string_view::npos ? text.size() : line_end + 1);
        for (std::string_view item = next_item(line); !item.empty(); item = next_item(line)) {
            const ValueOrError parsed = parse_measurement(item);
            if (parsed.error) {
                result.bad = BadValue{line_number, std::string(item), *parsed.error};
                return result;
            }
            result.values.push_back(parsed.value);
        }
    }
    return result;
}

std::string_view describe(ValueError error) {
    switch (error) {
    case ValueError::not_a_number:
        return "is not a number";
    case ValueError::out_of_range:
        return "is out of range";
    case ValueError::not_positive:
        return "is not positive";
    }
    return "is not a measurement";
}

LogSummary summarize_logs(std::span<const double> values) {
    const std::size_t n = values.size();
    const double count = static_cast<double>(n);
    double sum = 0.0;
    for (const double x : values) {
        sum += std::log(x);
    }
    const double mean = sum / count;
    double squares = 0.0;
    for (const double x : values) {
        const double d = std::log(x) - mean;
        squares += d * d;
    }
    return {n, mean, std::sqrt(squares / (count - 1.0))};
}

} // namespace lvlim::data
