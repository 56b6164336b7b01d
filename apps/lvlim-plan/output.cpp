#include "apps/lvlim-plan/output.hpp"

#include "common/number_text.hpp"

#include <cmath>
#include <cstdio>

#include <nlohmann/json.hpp>

namespace lvlim::plan {

namespace {

// Six significant digits, or "-" for a value not computed.
std::string brief(double value) {
    if (std::isnan(value)) {
        return "-";
    }
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.6g", value);
    return buffer;
}

std::string pad(const std::string& text, std::size_t width) {
    return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

nlohmann::json number_or_null(double value) {
    return std::isfinite(value) ? nlohmann::json(value) : nlohmann::json(nullptr);
}

} // namespace

void write_text_head(std::ostream& out, const Options& options) {
    const PlanSetting& s = options.setting;
    const bool mean = s.statistic == Statistic::mean;
    out << "Planning a study: the " << (mean ? "mean" : "percentile");
    if (!mean) {
        out << " " << brief(s.percentile);
    }
    out << ", GSD " << brief(std::exp(s.log_sd)) << " (log sd " << brief(s.log_sd) << ")";
    if (s.ratio) {
        out << ", true value " << brief(*s.ratio) << " times the limit";
    }
    out << ", confidence " << brief(s.confidence) << "\n";
    out << "Target: "
        << (options.target.goal == Goal::power ? "power at least " : "expected ratio at most ")
        << brief(options.target.value) << ", n from " << options.n_from << " to " << options.n_to
        << "\n";
    out << "\n" << pad("n", 7) << pad("power", 12) << pad("expected_ratio", 16) << "  status\n";
}

void write_text_row(std::ostream& out, const PlanRow& row) {
    out << pad(std::to_string(row.n), 7) << pad(brief(row.power.value), 12)
        << pad(brief(row.expected_ratio.value), 16) << "  " << to_string(row.status) << "\n";
}

void write_text_tail(std::ostream& out, const Options& options, const SampleSize& result) {
    const bool by_power = options.target.goal == Goal::power;
    out << "\n";
    if (result.n) {
        out << "Sample size: " << *result.n << " (" << (by_power ? "power " : "expected ratio ")
            << brief(result.achieved) << ")\n";
    } else {
        out << "Sample size: none in the range\n";
    }
    for (const std::string& message : result.messages) {
        out << "Note: " << message << "\n";
    }
}

void write_csv_head(std::ostream& out) {
    out << "n,power,expected_ratio,status\n";
}

void write_csv_row(std::ostream& out, const PlanRow& row) {
    out << row.n << ',' << number_text::shortest_or_empty(row.power.value) << ','
        << number_text::shortest_or_empty(row.expected_ratio.value)
        << ',' << to_string(row.status) << '\n';
}

void write_json(std::ostream& out, const SampleSize& result) {
    nlohmann::ordered_json object;
    object["sample_size"] = result.n ? nlohmann::ordered_json(*result.n) : nullptr;
    object["achieved"] = number_or_null(result.achieved);
    nlohmann::ordered_json rows = nlohmann::ordered_json::array();
    for (const PlanRow& row : result.rows) {
        nlohmann::ordered_json item;
        item["n"] = row.n;
        item["power"] = number_or_null(row.power.value);
        item["expected_ratio"] = number_or_null(row.expected_ratio.value);
        item["status"] = to_string(row.status);
        rows.push_back(std::move(item));
    }
    object["rows"] = std::move(rows);
    out << object.dump(2) << '\n';
}

} // namespace lvlim::plan
