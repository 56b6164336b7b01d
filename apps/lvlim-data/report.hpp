// The results of lvlim-data in its three formats: a report for people, CSV and JSON.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "lvlim/assessment.hpp"
#include "lvlim/lvlim.hpp"

namespace lvlim::data {

enum class Format { text, csv, json };

// The shortest decimal text that reads back as `value` ("0.95", "19.080809275897902"); "inf",
// "-inf" and "nan" for the values that are not finite.
[[nodiscard]] std::string shortest(double value);

// `value` to 6 significant digits, as printf's %g writes it ("19.0808", "1.23457e+20").
[[nodiscard]] std::string six_digits(double value);

// A confidence level as a percentage, exactly: 0.95 -> "95", 0.9999999999999 -> "99.99999999999".
[[nodiscard]] std::string percent(double confidence);

// The fields of a row of CSV and JSON, in their order.
[[nodiscard]] const std::vector<std::string>& field_names();

// The one-sided limits at the confidence level itself, which the verdicts against the limit
// value rest on; the report names them beside each verdict.
struct OneSided {
    double mean_lower = not_computed;
    double mean_upper = not_computed;
    double percentile_lower = not_computed;
    double percentile_upper = not_computed;
};

// The results of one sample at one or more confidence levels (one kind); `source` and
// `column` describe where the measurements came from (the column empty for a plain list).
// `one_sided`, when not empty, holds a row's one-sided limits for the report's verdicts.
struct Results {
    std::string source;
    std::string column;
    std::vector<Assessment> rows;
    std::vector<OneSided> one_sided;
};

// "95th", "99.9th", "1st", "22nd": the percentile P = 0.95, 0.999, 0.01, 0.22 as an ordinal.
[[nodiscard]] std::string ordinal(double percentile);

void write_text(std::ostream& out, const Results& results);
void write_csv(std::ostream& out, const Results& results);
void write_json(std::ostream& out, const Results& results);

} // namespace lvlim::data
