// The page's calculator on the public API: the readers of the page's fields, and the rows of
// results. Every number comes from the API; this file only reads text and routes messages to
// the field they belong to.
#include "web/calculator.hpp"

#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <exception>
#include <stdexcept>

namespace lvlim::web {

namespace {

[[nodiscard]] constexpr bool is_separator(char c) {
    return c == ' ' || c == '\t' || c == ',';
}

// A whole item read as std::from_chars reads a double in general format (an optional minus
// sign, digits with an optional point, an optional exponent; "inf", "infinity" and "nan" in any
// case), independent of the locale, as lvlim-data reads its values. The grammar is checked here
// and the digits converted by strtod (correctly rounded), because the C++ library of the
// WebAssembly build has no std::from_chars for doubles.
struct Number {
    double value = 0.0;
    const char* problem = nullptr;
};

bool equals_ignoring_case(std::string_view text, std::string_view lower) {
    if (text.size() != lower.size()) {
        return false;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(text[i])) != lower[i]) {
            return false;
        }
    }
    return true;
}

bool well_formed(std::string_view item) {
    std::size_t at = 0;
    const auto digits = [&] {
        const std::size_t start = at;
        while (at < item.size() && item[at] >= '0' && item[at] <= '9') {
            ++at;
        }
        return at - start;
    };
    std::size_t mantissa = digits();
    if (at < item.size() && item[at] == '.') {
        ++at;
        mantissa += digits();
    }
    if (mantissa == 0) {
        return false;
    }
    if (at < item.size() && (item[at] == 'e' || item[at] == 'E')) {
        ++at;
        if (at < item.size() && (item[at] == '+' || item[at] == '-')) {
            ++at;
        }
        if (digits() == 0) {
            return false;
        }
    }
    return at == item.size();
}

Number parse_number(std::string_view item) {
    std::string_view body = item;
    const bool negative = !body.empty() && body.front() == '-';
    if (negative) {
        body.remove_prefix(1);
    }
    if (equals_ignoring_case(body, "inf") || equals_ignoring_case(body, "infinity")) {
        return {0.0, "is out of range"};
    }
    if (!well_formed(body)) {
        return {0.0, "is not a number"};
    }
    const std::string copy(item);
    errno = 0;
    const double value = std::strtod(copy.c_str(), nullptr);
    if (errno == ERANGE && (std::isinf(value) || value == 0.0)) {
        return {0.0, "is out of range"};
    }
    return {value, nullptr};
}

std::string quoted(std::string_view item) {
    // Built up in place: g++ 12 at -O3 warns falsely (-Wrestrict) about "'" + std::string.
    std::string text;
    text.reserve(item.size() + 2);
    text += '\'';
    text += item;
    text += '\'';
    return text;
}

// The field a message of the API belongs to: its messages begin with the name of the value.
std::string field_of(const std::string& message, const std::string& source) {
    const std::string_view m = message;
    if (m.starts_with("confidence")) {
        return "confidence";
    }
    if (source == "data") {
        return "data";
    }
    if (m.starts_with("n ")) {
        return "n";
    }
    if (m.starts_with("log_sd") || m.starts_with("sigma")) {
        return "log_sd";
    }
    if (m.starts_with("mu") || m.starts_with("log_mean")) {
        return "log_mean";
    }
    return source;
}

// The rows of `summary` at each confidence level, or the message of the API's refusal.
void compute_rows(Outcome& out, const Summary& summary, const std::string& kind_name,
                  const Confidences& confidences, const std::string& source) {
    std::optional<Kind> kind;
    try {
        kind = kind_from_string(kind_name);
    } catch (const std::invalid_argument& e) {
        out.errors.push_back({"kind", e.what()});
    }
    if (confidences.error) {
        out.errors.push_back({"confidence", *confidences.error});
    }
    if (!out.errors.empty()) {
        return;
    }
    try {
        for (const double confidence : confidences.values) {
            out.rows.push_back({confidence, *kind, lognormal_mean(summary, *kind, confidence)});
        }
    } catch (const std::exception& e) {
        out.rows.clear();
        out.errors.push_back({field_of(e.what(), source), e.what()});
    }
}

} // namespace

std::string shortest(double value) {
    if (std::isnan(value)) {
        return "NaN";
    }
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return {buffer, result.ptr};
}

Reading read_measurements(std::string_view text) {
    Reading out;
    std::size_t line_number = 0;
    while (!text.empty()) {
        ++line_number;
        const std::size_t line_end = text.find('\n');
        std::string_view line = text.substr(0, line_end);
        text.remove_prefix(line_end == std::string_view::npos ? text.size() : line_end + 1);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        line = line.substr(0, line.find('#'));
        std::size_t at = 0;
        while (at < line.size()) {
            while (at < line.size() && is_separator(line[at])) {
                ++at;
            }
            std::size_t end = at;
            while (end < line.size() && !is_separator(line[end])) {
                ++end;
            }
            if (end == at) {
                break;
            }
            const std::string_view item = line.substr(at, end - at);
            const Number number = parse_number(item);
            const char* problem = number.problem;
            if (problem == nullptr && !(number.value > 0.0)) {
                problem = "is not positive: the lognormal model needs positive measurements, "
                          "whose logarithms exist";
            }
            if (problem != nullptr) {
                out.error = "line " + std::to_string(line_number) + ", column " +
                            std::to_string(at + 1) + ": " + quoted(item) + " " + problem;
                return out;
            }
            out.values.push_back(number.value);
            at = end;
        }
    }
    return out;
}

Confidences read_confidences(std::string_view text) {
    Confidences out;
    while (!text.empty()) {
        std::size_t at = 0;
        while (at < text.size() && is_separator(text[at])) {
            ++at;
        }
        std::size_t end = at;
        while (end < text.size() && !is_separator(text[end])) {
            ++end;
        }
        if (end == at) {
            break;
        }
        const std::string_view item = text.substr(at, end - at);
        const Number number = parse_number(item);
        if (number.problem != nullptr) {
            out.error = "invalid confidence " + quoted(item);
            return out;
        }
        if (!(number.value > 0.0 && number.value < 1.0)) {
            out.error = "the confidence must lie strictly between 0 and 1, not " + std::string(item);
            return out;
        }
        out.values.push_back(number.value);
        text.remove_prefix(end);
    }
    if (out.values.empty() && !out.error) {
        out.error = "a confidence level is needed, e.g. 0.95";
    }
    return out;
}

Outcome from_measurements(std::string_view text, const std::string& kind,
                          std::string_view confidences) {
    Outcome out;
    Reading data = read_measurements(text);
    const Confidences levels = read_confidences(confidences);
    if (data.error) {
        out.errors.push_back({"data", *data.error});
        if (levels.error) {
            out.errors.push_back({"confidence", *levels.error});
        }
        return out;
    }
    const std::size_t n = data.values.size();
    if (n < min_measurements || n > max_measurements) {
        out.errors.push_back(
            {"data", n < min_measurements
                         ? std::to_string(n) + " measurements; at least " +
                               std::to_string(min_measurements) + " are needed"
                         : std::to_string(n) + " measurements; at most " +
                               std::to_string(max_measurements) + " can be used"});
        if (levels.error) {
            out.errors.push_back({"confidence", *levels.error});
        }
        return out;
    }
    out.summary = summarise(data.values);
    out.values = std::move(data.values);
    compute_rows(out, *out.summary, kind, levels, "data");
    return out;
}

Outcome from_logs(std::string_view n, std::string_view log_mean, std::string_view log_sd,
                  const std::string& kind, std::string_view confidences) {
    Outcome out;
    const Confidences levels = read_confidences(confidences);
    const Number count = parse_number(n);
    const Number mean = parse_number(log_mean);
    const Number sd = parse_number(log_sd);
    if (count.problem != nullptr) {
        out.errors.push_back({"n", "n " + quoted(n) + " " + count.problem});
    } else if (!(count.value >= 0.0 && count.value == std::floor(count.value) &&
                 count.value <= 1e15)) {
        out.errors.push_back({"n", "n = " + shortest(count.value) +
                                       " is not a whole number of measurements"});
    }
    if (mean.problem != nullptr) {
        out.errors.push_back({"log_mean", "log_mean " + quoted(log_mean) + " " + mean.problem});
    }
    if (sd.problem != nullptr) {
        out.errors.push_back({"log_sd", "log_sd " + quoted(log_sd) + " " + sd.problem});
    }
    if (out.errors.empty()) {
        const auto size = static_cast<std::size_t>(count.value);
        if (size < min_measurements || size > max_measurements) {
            out.errors.push_back({"n", "n = " + std::to_string(size) +
                                           " is outside the supported range [" +
                                           std::to_string(min_measurements) + ", " +
                                           std::to_string(max_measurements) +
                                           "] of measurements"});
        }
        // summary_from_logs sums a series in sd^2 / 2 that ends only for a moderate sd, and
        // needs n >= 2: both are checked before it is called.
        if (!(sd.value >= min_sigma && sd.value <= max_sigma)) {
            out.errors.push_back({"log_sd", "log_sd = " + shortest(sd.value) +
                                                " is outside the supported range [" +
                                                shortest(min_sigma) + ", " +
                                                shortest(max_sigma) + "]"});
        }
    }
    if (!out.errors.empty()) {
        if (levels.error) {
            out.errors.push_back({"confidence", *levels.error});
        }
        return out;
    }
    const auto size = static_cast<std::size_t>(count.value);
    out.summary = summary_from_logs(size, mean.value, sd.value);
    compute_rows(out, *out.summary, kind, levels, "log_sd");
    return out;
}

Limits table_cell(double n, double sigma, Kind kind, double confidence) {
    return limits(Setting{0.0, sigma, n - 1.0, n, 0.5}, kind, confidence);
}

} // namespace lvlim::web
