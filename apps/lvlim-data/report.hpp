// The results of lvlim-data in its three formats: a report for people, CSV and JSON.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "lvlim/lvlim.hpp"

namespace lvlim::data {

enum class Format { text, csv, json };

// `value` to 6 significant digits, as printf's %g writes it ("19.0808", "1.23457e+20").
[[nodiscard]] std::string six_digits(double value);

// A confidence level as a percentage, exactly: 0.95 -> "95", 0.9999999999999 -> "99.99999999999".
[[nodiscard]] std::string percent(double confidence);

// The fields of a row of CSV and JSON, in their order.
[[nodiscard]] const std::vector<std::string>& field_names();

// The results of one sample at one or more confidence levels (one kind); `source` and
// `column` describe where the measurements came from (the column empty for a plain list).
struct Results {
    std::string source;
    std::string column;
    std::vector<LognormalMean> rows;
};

void write_text(std::ostream& out, const Results& results);
void write_csv(std::ostream& out, const Results& results);
void write_json(std::ostream& out, const Results& results);

} // namespace lvlim::data
