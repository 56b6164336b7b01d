// The page's calculator on the public API: the readers of the page's fields, and the rows of
// results. Every number comes from the API and every measurement from lvlim-data's reader; this
// file only reads the other fields and routes messages to the field they belong to.
#include "web/calculator.hpp"

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <charconv>
#include <cmath>
#include <exception>
#include <optional>
#include <span>
#include <stdexcept>
#include <string_view>
#include <system_error>
#include <utility>

#include "common/number_text.hpp"
#include "measurements/confidence_list.hpp"
#include "measurements/data_reader.hpp"
#include "measurements/lookalikes.hpp"

namespace lvlim::web {

using number_text::shortest_with_NaN;

namespace {

// A blank, a tab or a comma: what separates the levels of a confidence list.
[[nodiscard]] constexpr bool is_separator(char c) {
    return c == ' ' || c == '\t' || c == ',';
}

using data::finite_number;

std::string quoted(std::string_view item) {
    // Built up in place: g++ 12 at -O3 warns falsely (-Wrestrict) about "'" + std::string.
    std::string text;
    text.reserve(item.size() + 2);
    text += '\'';
    text += item;
    text += '\'';
    return text;
}

// The text with its commas made decimal points ("1,5" -> "1.5").
std::string replaced_comma(std::string_view text) {
    std::string out(text);
    std::replace(out.begin(), out.end(), ',', '.');
    return out;
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

// The message for a lookalike in the value `item` of the field `name`, or nullopt.
std::optional<std::string> lookalike_in_field(std::string_view name, std::string_view item) {
    const data::FoundLookalike found = data::find_lookalike(item);
    if (found.what == nullptr) {
        return std::nullopt;
    }
    std::string fixed = data::without_lookalikes(item);
    if (found.what->replacement == " ") {
        fixed.erase(std::remove(fixed.begin(), fixed.end(), ' '), fixed.end());
    }
    return std::string(name) + " " + quoted(item) + " holds " + std::string(found.what->name) +
           ", which is not read: write " + fixed;
}

// The message for the first lookalike of `text`, named by its line, or nullopt.
std::optional<std::string> lookalike_in_text(std::string_view text, const std::string& source) {
    const data::FoundLookalike found = data::find_lookalike(text);
    if (found.what == nullptr) {
        return std::nullopt;
    }
    const auto line = 1 + std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(found.at), '\n');
    std::string message = source + ", line " + std::to_string(line) + " holds " +
                          std::string(found.what->name);
    if (found.what->replacement == "-") {
        // The item around it, up to the blanks, tabs, commas or semicolons.
        const auto stop = [](char c) {
            return c == ' ' || c == '\t' || c == ',' || c == ';' || c == '\n' || c == '\r';
        };
        std::size_t from = found.at;
        while (from > 0 && !stop(text[from - 1])) {
            --from;
        }
        std::size_t to = found.at;
        while (to < text.size() && !stop(text[to])) {
            ++to;
        }
        const std::string_view item = text.substr(from, to - from);
        return message + " in " + quoted(item) + ", which is not read: write " + data::without_lookalikes(item) +
               " with the ordinary minus (a measurement must be positive all the same)";
    }
    return message + ", which is not read as a blank: replace it by an ordinary blank";
}

// The percentile and the limit value, in lvlim-data's words; errors for their fields.
std::optional<AssessmentOptions> assessment_options(Outcome& out, const AssessmentInput& input) {
    AssessmentOptions options;
    bool good = true;
    const std::string_view p = input.percentile.empty() ? std::string_view("0.95") : input.percentile;
    const std::optional<double> percentile = finite_number(p);
    if (!percentile || !(*percentile > 0.0 && *percentile < 1.0)) {
        out.errors.push_back({"percentile", lookalike_in_field("the percentile", p).value_or(
            "invalid percentile " + quoted(p) + ": the percentile is a probability strictly "
            "between 0 and 1, such as 0.95 for the 95th percentile")});
        good = false;
    } else {
        options.percentile = *percentile;
    }
    if (!input.limit.empty()) {
        const std::optional<double> limit = finite_number(input.limit);
        if (!limit || !(*limit > 0.0)) {
            out.errors.push_back({"limit", lookalike_in_field("the limit value", input.limit).value_or(
                "invalid limit value " + quoted(input.limit) + ": the limit value is a number "
                "above 0, in the units of the data")});
            good = false;
        } else {
            options.limit = *limit;
        }
    }
    return good ? std::optional(options) : std::nullopt;
}

// The rows at each confidence level: the assessment of `values` (or of `summary` when there are
// none), or the message of the API's refusal (after `prefix`, as lvlim-data names its input
// before it).
void compute_rows(Outcome& out, const Summary& summary, std::span<const double> values,
                  const std::string& kind_name, const Confidences& confidences,
                  const AssessmentInput& input, const std::string& field,
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
    std::optional<AssessmentOptions> options = assessment_options(out, input);
    if (!out.errors.empty()) {
        return;
    }
    options->kind = *kind;
    try {
        for (const double confidence : confidences.values) {
            options->confidence = confidence;
            out.rows.push_back({confidence, *kind,
                                values.empty() ? assess(summary, *options)
                                               : assess(values, *options)});
        }
        out.summary = out.rows.front().assessment.mean.summary;
    } catch (const std::exception& e) {
        out.rows.clear();
        out.errors.push_back({field_of(e.what(), field), prefix + e.what()});
    }
}

// A table as read_data will see it: its separator, header, columns, and for each column
// whether every value in it is a number (a decimal comma counted as one); the first decimal
// comma anywhere in it.
struct TableScan {
    bool table = false;
    data::Layout layout;
    data::Separator separator = data::Separator::comma;
    // The lines with their numbers (from 1), and the index of the first line under the header.
    std::vector<std::pair<std::size_t, std::string_view>> lines;
    std::size_t body = 0;
    std::vector<bool> numeric;
    std::vector<bool> filled; // a column with at least one value that is not empty
    // A column of numbers but for some text ("-", "n/a", "1,234.5"): the first such text, with
    // its line, or "" (such a column is no column of numbers, nor one of text).
    std::vector<bool> some_numbers;
    std::vector<std::string> first_text;
    std::optional<std::string> decimal_comma; // the message for it
};

TableScan scan_table(std::string_view text, const std::string& source) {
    TableScan scan;
    scan.layout = data::table_layout(text, {});
    const std::size_t width = scan.layout.fields.size();
    // Where read_data reads a table and not a list: a header, or a tab or a semicolon.
    std::size_t line_number = 0;
    std::string_view first;
    std::string_view rest = text;
    std::vector<std::pair<std::size_t, std::string_view>>& lines = scan.lines;
    while (!rest.empty()) {
        const std::size_t end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
        ++line_number;
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (line_number == 1 && line.starts_with("\xEF\xBB\xBF")) {
            line.remove_prefix(3);
        }
        lines.emplace_back(line_number, line);
    }
    std::size_t index = 0;
    for (; index < lines.size(); ++index) {
        const std::string_view line = lines[index].second;
        const std::string_view data = line.substr(0, line.find('#'));
        if (data.find_first_not_of(" \t\r") != std::string_view::npos) {
            first = data;
            break;
        }
    }
    scan.table = width >= 2 && (scan.layout.header || first.find_first_of("\t;") != std::string_view::npos);
    if (!scan.table) {
        return scan;
    }
    const data::Separator separator = data::detect_separator(first);
    scan.separator = separator;
    scan.body = scan.layout.header ? index + 1 : index;
    scan.numeric.assign(width, true);
    scan.filled.assign(width, false);
    scan.some_numbers.assign(width, false);
    scan.first_text.assign(width, std::string());
    for (std::size_t i = scan.body; i < lines.size(); ++i) {
        std::vector<std::string> fields;
        try {
            fields = data::split_fields(lines[i].second, separator);
        } catch (const data::DataError&) {
            break; // read_data names the fault
        }
        for (std::size_t c = 0; c < fields.size() && c < width; ++c) {
            const data::ValueOrError value = data::parse_value(fields[c]);
            if (value.error != data::ValueError::empty) {
                scan.filled[c] = true;
            }
            if (value.error == data::ValueError::not_a_number) {
                scan.numeric[c] = false;
                if (scan.first_text[c].empty()) {
                    scan.first_text[c] = data::quoted(fields[c]) + " on line " +
                                         std::to_string(lines[i].first);
                }
            } else if (value.error != data::ValueError::empty) {
                scan.some_numbers[c] = true;
            }
            if (value.error == data::ValueError::decimal_comma && !scan.decimal_comma) {
                std::string label = "column " + std::to_string(c + 1);
                if (scan.layout.header) {
                    label += " (" + scan.layout.fields[c] + ")";
                }
                scan.decimal_comma = source + ", line " + std::to_string(lines[i].first) + ", " +
                                     label + ": " + data::quoted(fields[c]) +
                                     " has a decimal comma; this file writes its numbers with "
                                     "decimal commas, which are not read: save it with decimal "
                                     "points (" + data::quoted(fields[c]) + " as " +
                                     replaced_comma(fields[c]) + ")";
            }
        }
    }
    return scan;
}

// The columns of a table, offered to choose from, and the one to read: the one chosen, else
// the only column of numbers under a header; empty when the user must choose.
void offer_columns(Outcome& out, const TableScan& scan, std::string& column) {
    if (!scan.table) {
        column.clear();
        return;
    }
    const std::size_t width = scan.layout.fields.size();
    std::vector<std::string> numbers;
    bool mixed = false;
    for (std::size_t c = 0; c < width; ++c) {
        std::string label = "column " + std::to_string(c + 1);
        if (scan.layout.header) {
            label += " (" + scan.layout.fields[c] + ")";
        }
        if (!scan.filled[c]) {
            // A spreadsheet's trailing separators make columns with nothing in them.
            label += ", empty";
        } else if (scan.numeric[c]) {
            numbers.push_back(std::to_string(c + 1));
        } else if (scan.some_numbers[c]) {
            // Perhaps the measurements with a placeholder or a thousands separator: read
            // another column in its place and the results would be plausible and wrong.
            label += ", numbers and text (" + scan.first_text[c] + ")";
            mixed = true;
        } else {
            label += ", not numbers";
        }
        out.columns.emplace_back(std::to_string(c + 1), label);
    }
    const bool offered = std::any_of(out.columns.begin(), out.columns.end(),
                                     [&](const auto& c) { return c.first == column; });
    if (!offered) {
        // Without a header nothing tells what a column holds: the user chooses.
        column = numbers.size() == 1 && !mixed && scan.layout.header ? numbers.front() : std::string();
    }
}

} // namespace

Confidences read_confidences(std::string_view text) {
    // The items in order: the first that is refused, for its range or as no number, is named.
    const data::ConfidenceList list =
        data::read_confidence_list(text, data::ListSeparators::blanks_and_commas);
    Confidences out;
    if (auto lookalike = lookalike_in_field("the confidence", text)) {
        out.error = std::move(lookalike);
        return out;
    }
    const std::string_view whole = text;
    // A comma between digits with no blank after it ("0,95") that makes no good list is a
    // decimal comma; the levels of a list are separated by a comma and a blank, or by blanks.
    const auto decimal_comma = [&]() -> std::optional<std::string> {
        for (std::size_t i = 1; i + 1 < whole.size(); ++i) {
            const auto digit = [](char c) { return c >= '0' && c <= '9'; };
            if (whole[i] != ',' || !digit(whole[i - 1]) || !digit(whole[i + 1])) {
                continue;
            }
            {
                std::size_t from = i;
                while (from > 0 && !is_separator(whole[from - 1])) {
                    --from;
                }
                std::size_t to = i + 1;
                while (to < whole.size() && !is_separator(whole[to])) {
                    ++to;
                }
                const std::string_view item = whole.substr(from, to - from);
                if (!finite_number(replaced_comma(item))) {
                    continue; // "0.9,1.0": a list without its blank
                }
                return quoted(item) + " has a decimal comma, which is not read: write " +
                       replaced_comma(item) + " (several levels go with a comma and a blank: "
                       "0.9, 0.95)";
            }
        }
        return std::nullopt;
    };
    for (const double level : list.values) {
        if (auto refused = data::confidence_refused(level)) {
            out.error = decimal_comma().value_or(*refused);
            return out;
        }
        out.values.push_back(level);
    }
    if (list.bad_item) {
        out.error = decimal_comma().value_or(data::invalid_confidence(*list.bad_item));
    } else if (out.values.empty()) {
        out.error = "a confidence level is needed, e.g. 0.95";
    }
    return out;
}

Outcome from_measurements(std::string_view text, const std::string& source,
                          const std::string& column, const std::string& kind,
                          std::string_view confidences, const AssessmentInput& assessment) {
    Outcome out;
    const Confidences levels = read_confidences(confidences);
    const auto refuse = [&](const std::string& field, std::string message) {
        out.errors.push_back({field, std::move(message)});
        out.values.clear();
        if (levels.error) {
            out.errors.push_back({"confidence", *levels.error});
        }
        return out;
    };
    if (const auto lookalike = lookalike_in_text(text, source)) {
        return refuse("data", *lookalike);
    }
    const TableScan scan = scan_table(text, source);
    out.column = column;
    offer_columns(out, scan, out.column);
    if (scan.decimal_comma) {
        return refuse("data", *scan.decimal_comma);
    }
    if (scan.table && out.column.empty()) {
        std::string names;
        std::string mixed;
        for (std::size_t c = 0; c < scan.numeric.size(); ++c) {
            if (scan.numeric[c] && scan.filled[c]) {
                names += (names.empty() ? "" : ", ") + out.columns[c].second;
            } else if (!scan.numeric[c] && scan.some_numbers[c]) {
                mixed += "; " + out.columns[c].second;
            }
        }
        if (names.empty() && mixed.empty()) {
            return refuse("column", "no column of this table holds only numbers: check the file");
        }
        return refuse("column", "choose the column of the measurements: " +
                                    (names.empty() ? "no column holds only numbers"
                                                   : names + " hold numbers") +
                                    mixed);
    }
    data::ReadOptions options;
    if (!out.column.empty()) {
        options.column = out.column;
    }
    options.values = &out.values;
    try {
        const data::Data data = data::read_data(text, source, options);
        if (const auto refused = log_sd_refused(data.summary.log_sd)) {
            return refuse("data", source + ": " + *refused);
        }
        out.read_from = data.column;
        compute_rows(out, data.summary, out.values, kind, levels, assessment, "data",
                     source + ": ");
    } catch (const data::DataError& e) {
        return refuse("data", e.what());
    }
    if (!out.errors.empty()) {
        out.values.clear();
    }
    return out;
}

Outcome from_logs(std::string_view n, std::string_view log_mean, std::string_view log_sd,
                  const std::string& kind, std::string_view confidences,
                  const AssessmentInput& assessment) {
    Outcome out;
    const Confidences levels = read_confidences(confidences);
    const std::optional<double> count = finite_number(n);
    const std::optional<double> mean = finite_number(log_mean);
    const std::optional<double> sd = finite_number(log_sd);
    const auto not_a_number = [](std::string_view name, std::string_view item) {
        return lookalike_in_field(name, item)
            .value_or(std::string(name) + " " + quoted(item) + " is not a number");
    };
    if (!count) {
        out.errors.push_back({"n", not_a_number("n", n)});
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
        out.errors.push_back({"log_mean", not_a_number("log_mean", log_mean)});
    }
    // summary_from_logs sums a series in sd^2 / 2 that ends only for a moderate sd, and needs
    // n >= 2: both are checked before it is called.
    if (!sd) {
        out.errors.push_back({"log_sd", not_a_number("log_sd", log_sd)});
    } else if (const auto refused = log_sd_refused(*sd)) {
        out.errors.push_back({"log_sd", *refused});
    }
    if (!out.errors.empty()) {
        if (levels.error) {
            out.errors.push_back({"confidence", *levels.error});
        }
        return out;
    }
    compute_rows(out, summary_from_logs(static_cast<std::size_t>(*count), *mean, *sd), {}, kind,
                 levels, assessment, "log_sd", "");
    return out;
}

Plan plan(const PlanInput& input) {
    Plan out;
    PlanSetting setting;
    const auto read = [&](std::string_view text, const char* field, const char* name)
        -> std::optional<double> {
        const std::optional<double> value = finite_number(text);
        if (!value) {
            out.errors.push_back({field, lookalike_in_field(name, text).value_or(
                                             std::string(name) + " " + quoted(text) +
                                             " is not a number")});
        }
        return value;
    };
    const auto gsd = read(input.gsd, "gsd", "the GSD");
    const auto ratio = read(input.ratio, "ratio", "the ratio");
    const auto percentile = read(input.percentile, "plan-percentile", "the percentile");
    const auto confidence = read(input.confidence, "plan-confidence", "the confidence");
    const auto target = read(input.target, "target", "the target");
    // Each value checked by the API, its message under its field.
    const auto check = [&](const char* field, auto&& apply) {
        try {
            apply();
        } catch (const std::invalid_argument& e) {
            out.errors.push_back({field, e.what()});
        }
    };
    if (gsd) {
        check("gsd", [&] { setting.log_sd = log_sd_from_gsd(*gsd); });
    }
    check("statistic", [&] { setting.statistic = statistic_from_string(input.statistic); });
    if (ratio) {
        setting.ratio = *ratio;
    }
    if (percentile) {
        setting.percentile = *percentile;
    }
    if (confidence) {
        setting.confidence = *confidence;
    }
    out.goal = input.goal == "expected_ratio" ? Goal::expected_ratio : Goal::power;
    if (!out.errors.empty() || !target) {
        return out;
    }
    out.target = *target;
    try {
        out.result = sample_size(setting, Target{out.goal, *target});
    } catch (const std::invalid_argument& e) {
        const std::string_view m = e.what();
        const char* field = m.find("ratio") != std::string_view::npos && out.goal == Goal::power
                                ? "ratio"
                            : m.find("percentile") != std::string_view::npos ? "plan-percentile"
                            : m.find("confidence") != std::string_view::npos ? "plan-confidence"
                                                                             : "target";
        out.errors.push_back({field, e.what()});
    }
    return out;
}

Limits table_cell(double n, double sigma, Kind kind, double confidence) {
    return limits(Setting{0.0, sigma, n - 1.0, n, 0.5}, kind, confidence);
}

} // namespace lvlim::web
