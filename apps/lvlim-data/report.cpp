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

// Messages joined for one CSV field.
std::string joined(const std::vector<std::string>& messages) {
    std::string out;
    for (const std::string& message : messages) {
        out += (out.empty() ? "" : std::string(message_joint)) + message;
    }
    return out;
}

// Whether the mean's p-value is only the bound of its search: empty when there is no p-value
// (no limit value, or its search failed).
std::string bounded_text(const Assessment& a) {
    if (std::isnan(a.mean_p_value)) {
        return {};
    }
    return a.mean_p_value_bounded ? "true" : "false";
}

// A value that does not apply (NaN: a limit the kind lacks, everything about a limit value not
// given) is an empty CSV field.
std::string csv_number(double value) { return number_text::shortest_or_empty(value); }

std::string verdict_text(Verdict verdict) {
    return verdict == Verdict::none ? std::string() : std::string(to_string(verdict));
}

// An exceedance fraction as a percentage to 6 significant digits.
std::string as_percent(double fraction) {
    return std::isnan(fraction) ? std::string("not computed") : six_digits(100.0 * fraction) + "%";
}

// The limits of the kind, as the mean's line words them: "95% upper confidence limit of X: a".
std::string limits_line(const std::string& level, Kind kind, const std::string& what,
                        const std::string& lower, const std::string& upper) {
    switch (kind) {
    case Kind::upper:
        return level + "upper confidence limit of " + what + ": " + upper;
    case Kind::lower:
        return level + "lower confidence limit of " + what + ": " + lower;
    case Kind::two_sided:
        break;
    }
    return level + "two-sided confidence limits of " + what + ": " + lower + " to " + upper;
}

// One verdict against the limit value, in words: which side of it the quantity lies on, with
// the one-sided limit that shows it.
std::string verdict_line(Verdict verdict, const std::string& subject, const std::string& limit,
                         const std::string& level, const std::string& upper_name,
                         double lower, double upper) {
    const std::string with = " with " + level + "% confidence";
    switch (verdict) {
    case Verdict::below:
        return subject + " is below the limit " + limit + with + " (" + upper_name + " " +
               six_digits(upper) + ")";
    case Verdict::above:
        return subject + " is above the limit " + limit + with + " (lower confidence limit " +
               six_digits(lower) + ")";
    case Verdict::undecided: {
        std::string lowered = subject;
        lowered.front() = 't';
        return "Undecided at " + level + "% confidence whether " + lowered +
               " is below or above the limit " + limit + " (lower confidence limit " +
               six_digits(lower) + ", " + upper_name + " " + six_digits(upper) + ")";
    }
    case Verdict::none:
        break;
    }
    return "No verdict on " + subject + " against the limit " + limit + " at " + level +
           "% confidence: a limit it needs was not computed (SEARCH FAILED)";
}

// A p-value; one the search could only bound is said to lie beyond that bound.
std::string p_value_text(double p, bool bounded) {
    if (std::isnan(p)) {
        return "not computed (SEARCH FAILED)";
    }
    if (bounded) {
        return (p < 0.5 ? "less than " : "more than ") + six_digits(p);
    }
    return six_digits(p);
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
        "log_lower", "log_upper", "mean_lower",  "mean_upper", "status",       "messages",
        // The assessment, after the fields of the mean.
        "gm", "gsd", "shapiro_wilk_w", "shapiro_wilk_p", "percentile", "percentile_estimate",
        "percentile_lower", "percentile_upper", "limit", "exceedance", "exceedance_lower",
        "exceedance_upper", "mean_p_value", "percentile_p_value", "mean_verdict",
        "percentile_verdict", "assessment_status",
        // Added after the fields above, whose order readers rely on: why the assessment failed,
        // and whether mean_p_value is only the bound of the search.
        "assessment_messages", "mean_p_value_bounded"};
    return names;
}

std::string ordinal(double percentile) {
    const std::string number = percent(percentile);
    if (number.find('.') != std::string::npos) {
        return number + "th";
    }
    const int whole = std::stoi(number);
    if (whole % 100 >= 11 && whole % 100 <= 13) {
        return number + "th";
    }
    switch (whole % 10) {
    case 1:
        return number + "st";
    case 2:
        return number + "nd";
    case 3:
        return number + "rd";
    default:
        return number + "th";
    }
}

void write_text(std::ostream& out, const Results& results) {
    if (results.rows.empty()) {
        return;
    }
    const Assessment& first = results.rows.front();
    const Summary& s = first.mean.summary;
    out << "data: " << results.source;
    if (!results.column.empty()) {
        out << ", " << results.column;
    }
    out << '\n';
    out << "number of measurements n: " << s.n << '\n';

    out << "\nfit of the lognormal model: the Shapiro-Wilk W test of the logs\n";
    if (std::isnan(first.shapiro_wilk_w) || std::isnan(first.shapiro_wilk_p)) {
        out << "W test " << (first.fit_message.empty() ? "not computed" : first.fit_message)
            << '\n';
    } else {
        out << "W: " << six_digits(first.shapiro_wilk_w)
            << ", p-value: " << six_digits(first.shapiro_wilk_p) << '\n';
        out << (first.fit_doubtful
                    ? "the lognormal model is doubtful: every limit below rests on it"
                    : "no evidence against the lognormal model")
            << '\n';
    }
    out << "note: the test is weak for small n: with few measurements it seldom detects a "
           "departure from the lognormal model, so passing it does not show the model holds\n";

    out << "\ngeometric statistics\n";
    out << "geometric mean: " << six_digits(first.gm) << '\n';
    out << "geometric standard deviation: " << six_digits(first.gsd) << '\n';

    out << "\nthe mean\n";
    out << "mean of the logs: " << six_digits(s.log_mean) << '\n';
    out << "standard deviation of the logs: " << six_digits(s.log_sd) << '\n';
    out << "minimum-variance unbiased estimate of the mean: " << six_digits(s.mvue) << '\n';
    out << "sample mean: " << six_digits(s.sample_mean) << '\n';
    out << "plug-in estimate of the mean, exp(mean + sd^2/2): " << six_digits(s.plug_in) << '\n';
    out << "kind of limits: " << to_string(first.mean.limits.kind) << '\n';
    for (const Assessment& a : results.rows) {
        const LognormalMean& row = a.mean;
        const std::string level = percent(row.limits.confidence) + "% ";
        out << limits_line(level, row.limits.kind, "the mean", six_digits(row.mean_lower),
                           six_digits(row.mean_upper));
        if (row.limits.status != Status::ok) {
            out << " (SEARCH FAILED: not to be trusted)";
        }
        out << '\n';
    }

    const std::string percentile = "the " + ordinal(first.percentile) + " percentile";
    out << '\n' << percentile << '\n';
    out << "estimate, exp(mean + z sd): " << six_digits(first.percentile_estimate) << '\n';
    for (const Assessment& a : results.rows) {
        const Kind kind = a.mean.limits.kind;
        const std::string level = percent(a.mean.limits.confidence) + "% ";
        out << limits_line(level, kind, percentile, six_digits(a.percentile_lower),
                           six_digits(a.percentile_upper));
        if (kind == Kind::upper) {
            out << " (upper tolerance limit, " << percent(a.percentile) << "% coverage)";
        }
        if ((has_lower(kind) && std::isnan(a.percentile_lower)) ||
            (has_upper(kind) && std::isnan(a.percentile_upper))) {
            out << " (SEARCH FAILED: not computed)";
        }
        out << '\n';
    }
    if (first.mean.limits.kind == Kind::two_sided) {
        out << "the two-sided limits of the percentile and of the exceedance are "
               "equal-tailed: each end is the one-sided limit at the level (1 + confidence) / 2\n";
    }

    if (!first.limit) {
        return;
    }
    const std::string limit = six_digits(*first.limit);
    out << "\nagainst the limit value " << limit << '\n';
    out << "exceedance, the fraction of the population above the limit: "
        << as_percent(first.exceedance) << '\n';
    for (const Assessment& a : results.rows) {
        const Kind kind = a.mean.limits.kind;
        const std::string level = percent(a.mean.limits.confidence) + "% ";
        out << limits_line(level, kind, "the exceedance", as_percent(a.exceedance_lower),
                           as_percent(a.exceedance_upper));
        if ((has_lower(kind) && std::isnan(a.exceedance_lower)) ||
            (has_upper(kind) && std::isnan(a.exceedance_upper))) {
            out << " (SEARCH FAILED: not computed)";
        }
        out << '\n';
    }
    out << "p-value of the test of \"the mean is at least " << limit
        << "\": " << p_value_text(first.mean_p_value, first.mean_p_value_bounded) << '\n';
    out << "p-value of the test of \"" << percentile << " is at least " << limit
        << "\": " << p_value_text(first.percentile_p_value, false) << '\n';
    std::string subject = percentile;
    subject.front() = 'T';
    for (std::size_t i = 0; i < results.rows.size(); ++i) {
        const Assessment& a = results.rows[i];
        const OneSided sides = i < results.one_sided.size() ? results.one_sided[i] : OneSided{};
        const std::string level = percent(a.mean.limits.confidence);
        out << verdict_line(a.mean_verdict, "The mean", limit, level, "upper confidence limit",
                            sides.mean_lower, sides.mean_upper)
            << '\n';
        out << verdict_line(a.percentile_verdict, subject, limit, level, "upper tolerance limit",
                            sides.percentile_lower, sides.percentile_upper)
            << '\n';
    }
}

void write_csv(std::ostream& out, const Results& results) {
    const std::vector<std::string>& names = field_names();
    for (std::size_t i = 0; i < names.size(); ++i) {
        out << (i == 0 ? "" : ",") << names[i];
    }
    out << '\n';
    for (const Assessment& a : results.rows) {
        const LognormalMean& row = a.mean;
        const Summary& s = row.summary;
        const Limits& l = row.limits;
        const bool lower = has_lower(l.kind);
        const bool upper = has_upper(l.kind);
        const std::string messages = joined(l.messages);
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
            csv_number(a.gm),
            csv_number(a.gsd),
            csv_number(a.shapiro_wilk_w),
            csv_number(a.shapiro_wilk_p),
            csv_number(a.percentile),
            csv_number(a.percentile_estimate),
            lower ? csv_number(a.percentile_lower) : "",
            upper ? csv_number(a.percentile_upper) : "",
            a.limit ? csv_number(*a.limit) : "",
            csv_number(a.exceedance),
            lower ? csv_number(a.exceedance_lower) : "",
            upper ? csv_number(a.exceedance_upper) : "",
            csv_number(a.mean_p_value),
            csv_number(a.percentile_p_value),
            verdict_text(a.mean_verdict),
            verdict_text(a.percentile_verdict),
            to_string(a.status),
            joined(a.messages),
            bounded_text(a),
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
    const auto verdict = [](Verdict v) {
        return v == Verdict::none ? json(nullptr) : json(std::string(to_string(v)));
    };
    for (const Assessment& a : results.rows) {
        const LognormalMean& row = a.mean;
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
        item["gm"] = number(true, a.gm);
        item["gsd"] = number(true, a.gsd);
        item["shapiro_wilk_w"] = number(true, a.shapiro_wilk_w);
        item["shapiro_wilk_p"] = number(true, a.shapiro_wilk_p);
        item["percentile"] = number(true, a.percentile);
        item["percentile_estimate"] = number(true, a.percentile_estimate);
        item["percentile_lower"] = number(lower, a.percentile_lower);
        item["percentile_upper"] = number(upper, a.percentile_upper);
        item["limit"] = a.limit ? number(true, *a.limit) : json(nullptr);
        item["exceedance"] = number(true, a.exceedance);
        item["exceedance_lower"] = number(lower, a.exceedance_lower);
        item["exceedance_upper"] = number(upper, a.exceedance_upper);
        item["mean_p_value"] = number(true, a.mean_p_value);
        item["percentile_p_value"] = number(true, a.percentile_p_value);
        item["mean_verdict"] = verdict(a.mean_verdict);
        item["percentile_verdict"] = verdict(a.percentile_verdict);
        item["assessment_status"] = to_string(a.status);
        item["assessment_messages"] = a.messages;
        item["mean_p_value_bounded"] =
            std::isnan(a.mean_p_value) ? json(nullptr) : json(a.mean_p_value_bounded);
        rows.push_back(std::move(item));
    }
    json document;
    document["results"] = std::move(rows);
    out << document.dump(2) << '\n';
}

} // namespace lvlim::data
