// The page's calculator on the public API: the readers of the page's fields, and the rows of
// results. Every number comes from the API and every measurement from lvlim-data's reader; this
// file only reads the other fields and routes messages to the field they belong to.
#include "web/calculator.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <exception>
#include <stdexcept>
#include <system_error>
#include <utility>

#include "common/number_text.hpp"
#include "measurements/confidence_list.hpp"
#include "measurements/data_reader.hpp"

namespace lvlim::web {

using number_text::shortest_with_NaN;

namespace {

// A whole item as a double (std::from_chars, the same in every locale), or nullopt.
std::optional<double> number(std::string_view item) {
    double value = 0.0;
    const char* const end = item.data() + item.size();
    const auto [ptr, ec] = std::from_chars(item.data(), end, value);
    if (item.empty() || ec != std::errc{} || ptr != end || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
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

// lvlim-data's refusal of a log standard deviation out of range, or nullopt.
std::optional<std::string> log_sd_refused(double log_sd) {
    if (log_sd >= min_sigma && log_sd <= max_sigma) {
        return std::nullopt;
    }
    return "the standard deviation of the logarithms is " + shortest_with_NaN(log_sd) +
           "; the supported range is " + shortest_with_NaN(min_sigma) + " to " +
           shortest_with_NaN(max_sigma);
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

// The rows of `summary` at each confidence level, or the message of the API's refusal (after
// `prefix`, as lvlim-data names its input before it).
void compute_rows(Outcome& out, const Summary& summary, const std::string& kind_name,
                  const Confidences& confidences, const std::string& field,
                  const std::string& prefix) {
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
        out.errors.push_back({field_of(e.what(), field), prefix + e.what()});
    }
}

// The columns of a table with a header, and the one read when none of them is chosen (a choice
// made for another text): the last whose first value is a measurement (identifiers and dates
// tend to come first). Without a header, the text is a list, every value read, as lvlim-data
// reads it without --column.
void offer_columns(Outcome& out, std::string_view text, std::string& column) {
    const data::Layout layout = data::table_layout(text, {});
    const std::size_t width = layout.fields.size();
    if (!layout.header || width < 2) {
        column.clear();
        return;
    }
    std::size_t pick = width;
    for (std::size_t c = 0; c < width; ++c) {
        if (c < layout.next.size() && !data::parse_value(layout.next[c]).error) {
            pick = c + 1;
        }
        out.columns.emplace_back(std::to_string(c + 1), "column " + std::to_string(c + 1) +
                                                            " (" + layout.fields[c] + ")");
    }
    const bool offered = std::any_of(out.columns.begin(), out.columns.end(),
                                     [&](const auto& c) { return c.first == column; });
    if (!offered) {
        column = std::to_string(pick);
    }
}

} // namespace

Confidences read_confidences(std::string_view text) {
    // The items in order: the first that is refused, for its range or as no number, is named.
    const data::ConfidenceList list =
        data::read_confidence_list(text, data::ListSeparators::blanks_and_commas);
    Confidences out;
    for (const double level : list.values) {
        if (auto refused = data::confidence_refused(level)) {
            out.error = std::move(refused);
            return out;
        }
        out.values.push_back(level);
    }
    if (list.bad_item) {
        out.error = data::invalid_confidence(*list.bad_item);
    } else if (out.values.empty()) {
        out.error = "a confidence level is needed, e.g. 0.95";
    }
    return out;
}

Outcome from_measurements(std::string_view text, const std::string& source,
                          const std::string& column, const std::string& kind,
                          std::string_view confidences) {
    Outcome out;
    const Confidences levels = read_confidences(confidences);
    out.column = column;
    offer_columns(out, text, out.column);
    data::ReadOptions options;
    if (!out.column.empty()) {
        options.column = out.column;
    }
    options.values = &out.values;
    try {
        const data::Data data = data::read_data(text, source, options);
        if (const auto refused = log_sd_refused(data.summary.log_sd)) {
            out.errors.push_back({"data", source + ": " + *refused});
        } else {
            out.summary = data.summary;
        }
    } catch (const data::DataError& e) {
        out.errors.push_back({"data", e.what()});
    }
    if (!out.errors.empty()) {
        out.values.clear();
        if (levels.error) {
            out.errors.push_back({"confidence", *levels.error});
        }
        return out;
    }
    compute_rows(out, *out.summary, kind, levels, "data", source + ": ");
    return out;
}

Outcome from_logs(std::string_view n, std::string_view log_mean, std::string_view log_sd,
                  const std::string& kind, std::string_view confidences) {
    Outcome out;
    const Confidences levels = read_confidences(confidences);
    const std::optional<double> count = number(n);
    const std::optional<double> mean = number(log_mean);
    const std::optional<double> sd = number(log_sd);
    if (!count) {
        out.errors.push_back({"n", "n " + quoted(n) + " is not a number"});
    } else if (!(*count >= 0.0 && *count == std::floor(*count) && *count <= 1e15)) {
        out.errors.push_back({"n", "n = " + shortest_with_NaN(*count) +
                                       " is not a whole number of measurements"});
    } else if (*count < static_cast<double>(min_measurements) ||
               *count > static_cast<double>(max_measurements)) {
        // lvlim-data's words for a number of measurements out of range.
        const auto size = static_cast<std::size_t>(*count);
        out.errors.push_back({"n", std::to_string(size) +
                                       (size == 1 ? " measurement" : " measurements") +
                                       "; the supported range is " +
                                       std::to_string(min_measurements) + " to " +
                                       std::to_string(max_measurements) + " measurements"});
    }
    if (!mean) {
        out.errors.push_back({"log_mean", "log_mean " + quoted(log_mean) + " is not a number"});
    }
    // summary_from_logs sums a series in sd^2 / 2 that ends only for a moderate sd, and needs
    // n >= 2: both are checked before it is called.
    if (!sd) {
        out.errors.push_back({"log_sd", "log_sd " + quoted(log_sd) + " is not a number"});
    } else if (const auto refused = log_sd_refused(*sd)) {
        out.errors.push_back({"log_sd", *refused});
    }
    if (!out.errors.empty()) {
        if (levels.error) {
            out.errors.push_back({"confidence", *levels.error});
        }
        return out;
    }
    out.summary = summary_from_logs(static_cast<std::size_t>(*count), *mean, *sd);
    compute_rows(out, *out.summary, kind, levels, "log_sd", "");
    return out;
}

Limits table_cell(double n, double sigma, Kind kind, double confidence) {
    return limits(Setting{0.0, sigma, n - 1.0, n, 0.5}, kind, confidence);
}

} // namespace lvlim::web
