// The calculator's functions for JavaScript (embind): plain objects out, with lvlim-data's field
// names, null where a kind has no such limit. Nothing here throws into JavaScript.
#include <cmath>
#include <exception>
#include <string>

#include <emscripten/bind.h>
#include <emscripten/val.h>

#include "lvlim/assessment.hpp"
#include "measurements/value_lists.hpp"
#include "web/calculator.hpp"

namespace {

using emscripten::val;
using lvlim::web::Outcome;

val number_or_null(double value) {
    return std::isnan(value) ? val::null() : val(value);
}

val summary_object(const lvlim::Summary& s) {
    val out = val::object();
    out.set("n", static_cast<double>(s.n));
    out.set("log_mean", s.log_mean);
    out.set("log_sd", s.log_sd);
    out.set("mvue", s.mvue);
    out.set("sample_mean", number_or_null(s.sample_mean));
    out.set("plug_in", s.plug_in);
    return out;
}

val messages_array(const std::vector<std::string>& messages) {
    val out = val::array();
    for (const std::string& line : messages) {
        out.call<void>("push", line);
    }
    return out;
}

val verdict_or_null(lvlim::Verdict verdict) {
    return verdict == lvlim::Verdict::none ? val::null()
                                           : val(std::string(lvlim::to_string(verdict)));
}

val row_object(const lvlim::web::Row& row) {
    const lvlim::Assessment& a = row.assessment;
    const lvlim::LognormalMean& r = a.mean;
    val out = summary_object(r.summary);
    out.set("nu", r.nu);
    out.set("gammasquared", r.gammasquared);
    out.set("confidence", row.confidence);
    out.set("kind", std::string(lvlim::to_string(row.kind)));
    out.set("k_lower", number_or_null(r.limits.k_lower));
    out.set("k_upper", number_or_null(r.limits.k_upper));
    out.set("log_lower", number_or_null(r.limits.lower));
    out.set("log_upper", number_or_null(r.limits.upper));
    out.set("mean_lower", number_or_null(r.mean_lower));
    out.set("mean_upper", number_or_null(r.mean_upper));
    out.set("status", std::string(lvlim::to_string(r.limits.status)));
    out.set("messages", messages_array(r.limits.messages));
    // The assessment, with lvlim-data's field names.
    out.set("gm", number_or_null(a.gm));
    out.set("gsd", number_or_null(a.gsd));
    out.set("shapiro_wilk_w", number_or_null(a.shapiro_wilk_w));
    out.set("shapiro_wilk_p", number_or_null(a.shapiro_wilk_p));
    out.set("fit_message", a.fit_message);
    out.set("fit_status", std::string(lvlim::to_string(a.fit_status)));
    out.set("fit_doubtful", a.fit_doubtful);
    out.set("percentile", number_or_null(a.percentile));
    out.set("percentile_estimate", number_or_null(a.percentile_estimate));
    out.set("percentile_lower", number_or_null(a.percentile_lower));
    out.set("percentile_upper", number_or_null(a.percentile_upper));
    out.set("limit", a.limit ? val(*a.limit) : val::null());
    out.set("exceedance", number_or_null(a.exceedance));
    out.set("exceedance_lower", number_or_null(a.exceedance_lower));
    out.set("exceedance_upper", number_or_null(a.exceedance_upper));
    out.set("mean_p_value", number_or_null(a.mean_p_value));
    out.set("mean_p_value_bounded", a.mean_p_value_bounded);
    out.set("percentile_p_value", number_or_null(a.percentile_p_value));
    out.set("mean_verdict", verdict_or_null(a.mean_verdict));
    out.set("percentile_verdict", verdict_or_null(a.percentile_verdict));
    out.set("assessment_status", std::string(lvlim::to_string(a.status)));
    out.set("assessment_messages", messages_array(a.messages));
    return out;
}

val outcome_object(const Outcome& outcome) {
    val out = val::object();
    out.set("summary", outcome.summary ? summary_object(*outcome.summary) : val::null());
    val rows = val::array();
    for (const auto& row : outcome.rows) {
        rows.call<void>("push", row_object(row));
    }
    out.set("results", rows);
    val errors = val::array();
    for (const auto& error : outcome.errors) {
        val e = val::object();
        e.set("field", error.field);
        e.set("message", error.message);
        errors.call<void>("push", e);
    }
    out.set("errors", errors);
    // A copy of the measurements for the pictures.
    const auto view = emscripten::typed_memory_view(outcome.values.size(), outcome.values.data());
    out.set("values", val(view).call<val>("slice"));
    val columns = val::array();
    for (const auto& [value, label] : outcome.columns) {
        val c = val::object();
        c.set("value", value);
        c.set("label", label);
        columns.call<void>("push", c);
    }
    out.set("columns", columns);
    out.set("column", outcome.column);
    out.set("read_from", outcome.read_from);
    return out;
}

val failure(const std::string& field, const std::exception& e) {
    Outcome outcome;
    outcome.errors.push_back({field, std::string("unexpected failure: ") + e.what()});
    return outcome_object(outcome);
}

val from_measurements(const std::string& text, const std::string& source,
                      const std::string& column, const std::string& kind,
                      const std::string& confidences, const std::string& percentile,
                      const std::string& limit) {
    try {
        return outcome_object(lvlim::web::from_measurements(text, source, column, kind,
                                                            confidences, {percentile, limit}));
    } catch (const std::exception& e) {
        return failure("data", e);
    }
}

val from_logs(const std::string& n, const std::string& log_mean, const std::string& log_sd,
              const std::string& kind, const std::string& confidences,
              const std::string& percentile, const std::string& limit) {
    try {
        return outcome_object(lvlim::web::from_logs(n, log_mean, log_sd, kind, confidences,
                                                    {percentile, limit}));
    } catch (const std::exception& e) {
        return failure("n", e);
    }
}

// One cell of a table of k, or {error} when the values are refused.
val table_cell(double n, double sigma, const std::string& kind, double confidence) {
    val out = val::object();
    try {
        const lvlim::Limits l =
            lvlim::web::table_cell(n, sigma, lvlim::kind_from_string(kind), confidence);
        out.set("nu", n - 1.0);
        out.set("gammasquared", n);
        out.set("k_lower", number_or_null(l.k_lower));
        out.set("k_upper", number_or_null(l.k_upper));
        out.set("status", std::string(lvlim::to_string(l.status)));
        out.set("messages", messages_array(l.messages));
    } catch (const std::exception& e) {
        out.set("error", std::string(e.what()));
    }
    return out;
}

// A sample-size search with lvlim-plan's JSON fields (sample_size, achieved, rows), or errors.
val plan(const std::string& gsd, const std::string& ratio, const std::string& statistic,
         const std::string& percentile, const std::string& confidence, const std::string& goal,
         const std::string& target) {
    val out = val::object();
    val errors = val::array();
    try {
        const lvlim::web::Plan p =
            lvlim::web::plan({gsd, ratio, statistic, percentile, confidence, goal, target});
        for (const auto& error : p.errors) {
            val e = val::object();
            e.set("field", error.field);
            e.set("message", error.message);
            errors.call<void>("push", e);
        }
        if (p.result) {
            const lvlim::SampleSize& r = *p.result;
            out.set("sample_size", r.n ? val(static_cast<double>(*r.n)) : val::null());
            out.set("achieved", number_or_null(r.achieved));
            out.set("monotone", r.monotone);
            out.set("status", std::string(lvlim::to_string(r.status)));
            out.set("messages", messages_array(r.messages));
            out.set("goal", std::string(lvlim::to_string(p.goal)));
            out.set("target", p.target);
            val rows = val::array();
            for (const lvlim::PlanRow& row : r.rows) {
                val o = val::object();
                o.set("n", static_cast<double>(row.n));
                o.set("power", number_or_null(row.power.value));
                o.set("expected_ratio", number_or_null(row.expected_ratio.value));
                o.set("status", std::string(lvlim::to_string(row.status)));
                rows.call<void>("push", o);
            }
            out.set("rows", rows);
        }
    } catch (const std::exception& e) {
        val error = val::object();
        error.set("field", std::string("target"));
        error.set("message", std::string("unexpected failure: ") + e.what());
        errors.call<void>("push", error);
    }
    out.set("errors", errors);
    return out;
}

// The values of a table's axis, a list "a,b,c" or a range FROM:TO:COUNT[:log], read as
// lvlim-table reads them; null when the text is neither.
val parse_values(const std::string& text) {
    try {
        const auto values = lvlim::table::parse_values(text);
        if (!values) {
            return val::null();
        }
        const auto view = emscripten::typed_memory_view(values->size(), values->data());
        return val(view).call<val>("slice");
    } catch (const std::exception&) {
        return val::null();
    }
}

// The normal score of the rank-th smallest of n values for the Q-Q plot; null for a rank
// outside 0 to n - 1.
val normal_score(double rank, double n) {
    if (!(rank >= 0.0 && rank < n && n <= 1e15 && rank == std::floor(rank) && n == std::floor(n))) {
        return val::null();
    }
    return val(lvlim::normal_score(static_cast<std::size_t>(rank), static_cast<std::size_t>(n)));
}

} // namespace

EMSCRIPTEN_BINDINGS(lvlim_web) {
    emscripten::function("fromMeasurements", &from_measurements);
    emscripten::function("fromLogs", &from_logs);
    emscripten::function("tableCell", &table_cell);
    emscripten::function("plan", &plan);
    emscripten::function("parseValues", &parse_values);
    emscripten::function("normalScore", &normal_score);
}
