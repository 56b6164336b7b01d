// The calculator's functions for JavaScript (embind): plain objects out, with lvlim-data's field
// names, null where a kind has no such limit. Nothing here throws into JavaScript.
#include <cmath>
#include <exception>
#include <string>

#include <emscripten/bind.h>
#include <emscripten/val.h>

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

val row_object(const lvlim::web::Row& row) {
    const lvlim::LognormalMean& r = row.result;
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
                      const std::string& confidences) {
    try {
        return outcome_object(
            lvlim::web::from_measurements(text, source, column, kind, confidences));
    } catch (const std::exception& e) {
        return failure("data", e);
    }
}

val from_logs(const std::string& n, const std::string& log_mean, const std::string& log_sd,
              const std::string& kind, const std::string& confidences) {
    try {
        return outcome_object(lvlim::web::from_logs(n, log_mean, log_sd, kind, confidences));
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

} // namespace

EMSCRIPTEN_BINDINGS(lvlim_web) {
    emscripten::function("fromMeasurements", &from_measurements);
    emscripten::function("fromLogs", &from_logs);
    emscripten::function("tableCell", &table_cell);
}
