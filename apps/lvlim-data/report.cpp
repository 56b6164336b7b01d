// The results of lvlim-data as a report, as CSV and as JSON.
#include "apps/lvlim-data/report.hpp"

#include <array>
#include <charconv>
#include <cmath>

#include <nlohmann/json.hpp>

#include "common/number_text.hpp"

namespace lvlim::data {

using number_text::shortest;

namespace {

// The messages of a row joined for one CSV field.
constexpr std::string_view message_joint = " | ";

// A CSV field, quoted when it holds a comma, a quote or a line end (RFC 4180).
std::string csv_field(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) {
        return text;
    }
    std::string out = "\"";
    for (const char c : text) {
        out += c;
        if (c == '"') {
            out += '"';
        }
    }
    return out + "\"";
}

// The value of a limit the kind has, or nothing.
bool has_lower(Kind kind) {
    return kind != Kind::upper;
}
bool has_upper(Kind kind) {
    return kind != Kind::lower;
}

// A count held in a double (nu, gammasquared), written as the whole number it is: "100000"
// rather than the equally short "1e+05".
std::string count_text(double value) {
    std::array<char, 400> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                      std::chars_format::fixed);
    return {buffer.data(), result.ptr};
}

} // namespace

std::string six_digits(double value) {
    std::array<char, 32> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                      std::chars_format::general, 6);
    return {buffer.data(), result.ptr};
}

std::string percent(double confidence) {
    // The shortest fixed form of a level in (0, 1) is "0." and its digits; the percentage moves
    // the point two places.
    std::array<char, 400> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), confidence,
                                      std::chars_format::fixed);
    const std::string text(buffer.data(), result.ptr);
    if (!text.starts_with("0.")) {
        return shortest(confidence * 100.0);
    }
    std::string digits = text.substr(2);
    digits.resize(std::max<std::size_t>(digits.size(), 2), '0');
    std::string whole = digits.substr(0, 2);
    if (whole.front() == '0') {
        whole.erase(0, 1);
    }
    const std::string fraction = digits.substr(2);
    return fraction.empty() ? whole : whole + "." + fraction;
}

const std::vector<std::string>& field_names() {
    static const std::vector<std::string> names = {
        "n",         "log_mean",  "log_sd",      "nu",         "gammasquared", "confidence",
        "kind",      "mvue",      "sample_mean", "plug_in",    "k_lower",      "k_upper",
        "log_lower", "log_upper", "mean_lower",  "mean_upper", "status",       "messages"};
    return names;
}

void write_text(std::ostream& out, const Results& results) {
    if (results.rows.empty()) {
        return;
    }
    const LognormalMean& first = results.rows.front();
    const Summary& s = first.summary;
    out << "data: " << results.source;
    if (!results.column.empty()) {
        out << ", " << results.column;
    }
    out << '\n';
    out << "number of measurements n: " << s.n << '\n';
    out << "mean of the logs: " << six_digits(s.log_mean) << '\n';
    out << "standard deviation of the logs: " << six_digits(s.log_sd) << '\n';
    out << "minimum-variance unbiased estimate of the mean: " << six_digits(s.mvue) << '\n';
    out << "sample mean: " << six_digits(s.sample_mean) << '\n';
    out << "plug-in estimate of the mean, exp(mean + sd^2/2): " << six_digits(s.plug_in) << '\n';
    out << "kind of limits: " << to_string(first.limits.kind) << '\n';
    for (const LognormalMean& row : results.rows) {
        const std::string level = percent(row.limits.confidence) + "% ";
        switch (row.limits.kind) {
        case Kind::upper:
            out << level << "upper confidence limit of the mean: " << six_digits(row.mean_upper);
            break;
        case Kind::lower:
            out << level << "lower confidence limit of the mean: " << six_digits(row.mean_lower);
            break;
        case Kind::two_sided:
            out << level
                << "two-sided confidence limits of the mean: " << six_digits(row.mean_lower)
                << " to " << six_digits(row.mean_upper);
            break;
        }
        if (row.limits.status != Status::ok) {
            out << " (SEARCH FAILED: not to be trusted)";
        }
        out << '\n';
    }
}

void write_csv(std::ostream& out, const Results& results) {
    const std::vector<std::string>& names = field_names();
    for (std::size_t i = 0; i < names.size(); ++i) {
        out << (i == 0 ? "" : ",") << names[i];
    }
    out << '\n';
    for (const LognormalMean& row : results.rows) {
        const Summary& s = row.summary;
        const Limits& l = row.limits;
        const bool lower = has_lower(l.kind);
        const bool upper = has_upper(l.kind);
        std::string messages;
        for (const std::string& message : l.messages) {
            messages += (messages.empty() ? "" : std::string(message_joint)) + message;
        }
        const std::vector<std::string> fields = {
            std::to_string(s.n),
            shortest(s.log_mean),
            shortest(s.log_sd),
            count_text(row.nu),
            count_text(row.gammasquared),
            shortest(l.confidence),
            to_string(l.kind),
            shortest(s.mvue),
            shortest(s.sample_mean),
            shortest(s.plug_in),
            lower ? shortest(l.k_lower) : "",
            upper ? shortest(l.k_upper) : "",
            lower ? shortest(l.lower) : "",
            upper ? shortest(l.upper) : "",
            lower ? shortest(row.mean_lower) : "",
            upper ? shortest(row.mean_upper) : "",
            to_string(l.status),
            messages,
        };
        for (std::size_t i = 0; i < fields.size(); ++i) {
            out << (i == 0 ? "" : ",") << csv_field(fields[i]);
        }
        out << '\n';
    }
}

void write_json(std::ostream& out, const Results& results) {
    using json = nlohmann::ordered_json;
    json rows = json::array();
    // A value the kind does not have is null; so is one that is not finite, which JSON cannot
    // write.
    const auto number = [](bool present, double value) {
        return present && std::isfinite(value) ? json(value) : json(nullptr);
    };
    for (const LognormalMean& row : results.rows) {
        const Summary& s = row.summary;
        const Limits& l = row.limits;
        const bool lower = has_lower(l.kind);
        const bool upper = has_upper(l.kind);
        json item;
        item["n"] = s.n;
        item["log_mean"] = s.log_mean;
        item["log_sd"] = s.log_sd;
        item["nu"] = static_cast<std::size_t>(row.nu);
        item["gammasquared"] = static_cast<std::size_t>(row.gammasquared);
        item["confidence"] = l.confidence;
        item["kind"] = to_string(l.kind);
        item["mvue"] = number(true, s.mvue);
        item["sample_mean"] = number(true, s.sample_mean);
        item["plug_in"] = number(true, s.plug_in);
        item["k_lower"] = number(lower, l.k_lower);
        item["k_upper"] = number(upper, l.k_upper);
        item["log_lower"] = number(lower, l.lower);
        item["log_upper"] = number(upper, l.upper);
        item["mean_lower"] = number(lower, row.mean_lower);
        item["mean_upper"] = number(upper, row.mean_upper);
        item["status"] = to_string(l.status);
        item["messages"] = l.messages;
        rows.push_back(std::move(item));
    }
    json document;
    document["results"] = std::move(rows);
    out << document.dump(2) << '\n';
}

} // namespace lvlim::data
