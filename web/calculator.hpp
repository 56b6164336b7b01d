// The page's calculator: reading what the user typed (the measurements through lvlim-data's own
// reader), and the results of lvlim-data's fields, all through the public API. Plain C++, so that the same code runs in the browser (bindings.cpp)
// and natively in the tests.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "lvlim/assessment.hpp"
#include "lvlim/lvlim.hpp"
#include "lvlim/planning.hpp"

namespace lvlim::web {

// A message for the input it belongs to: "data", "column", "n", "log_mean", "log_sd",
// "confidence", "kind" (the names of the page's fields and of the URL's query).
struct FieldError {
    std::string field;
    std::string message;
};

// One row of results, one per confidence level, with the fields of lvlim-data's JSON row: the
// assessment at that level (its `mean` the limits of the mean).
struct Row {
    double confidence = 0.0;
    Kind kind = Kind::two_sided;
    Assessment assessment;
};

// What is assessed besides the mean: the percentile P (text, "" for 0.95) and the limit value
// (text, "" for none), read as lvlim-data reads --percentile and --limit.
struct AssessmentInput {
    std::string_view percentile;
    std::string_view limit;
};

struct Outcome {
    std::optional<Summary> summary;
    std::vector<Row> rows;
    std::vector<FieldError> errors; // empty when every row was computed
    std::vector<double> values;     // the measurements read, in order (data mode only)
    // Data mode: the columns of a table ("1", "2", ...) with their labels, and the one read;
    // empty for a list or a single column, and `column` empty too while the user has still to
    // choose among several columns of numbers.
    std::vector<std::pair<std::string, std::string>> columns;
    std::string column;
    // The column the measurements were read from, as the results name it ("column 5 (conc)").
    std::string read_from;
};

// A comma or blank separated list of confidence levels, each strictly between 0 and 1.
struct Confidences {
    std::vector<double> values;
    std::optional<std::string> error;
};
[[nodiscard]] Confidences read_confidences(std::string_view text);

// The limits from measurements, or from n and the mean and standard deviation of the logs.
// `kind` is "upper", "lower" or "two-sided". Nothing throws: every refusal is a FieldError.
// The measurements are read by lvlim-data's reader, `source` naming them in its messages, and
// `column` as its --column (a number from 1, or ""). A table's column is never guessed: with
// more than one column of numbers and none chosen, the outcome is an error for "column". Before
// anything is read the whole text is searched for decimal commas in a table, for non-breaking
// and other unusual spaces and for Unicode minus signs, each refused with a message naming it.
// The rows are lvlim::assess of the measurements (from_logs: of the summary, without the W
// test) at each confidence level, as lvlim-data computes them.
[[nodiscard]] Outcome from_measurements(std::string_view text, const std::string& source,
                                        const std::string& column, const std::string& kind,
                                        std::string_view confidences,
                                        const AssessmentInput& assessment = {});
[[nodiscard]] Outcome from_logs(std::string_view n, std::string_view log_mean,
                                std::string_view log_sd, const std::string& kind,
                                std::string_view confidences,
                                const AssessmentInput& assessment = {});

// A plan as lvlim-plan makes it: the sample size over n from 3 to 1000 for a GSD, a ratio of
// the true value to the limit, a statistic, a percentile, a confidence and a target (a power,
// or for the mean an expected ratio), each given as text. Refusals are FieldErrors for "gsd",
// "ratio", "statistic", "plan-percentile", "plan-confidence", "target".
struct Plan {
    std::optional<SampleSize> result;
    Goal goal = Goal::power;
    double target = 0.0;
    std::vector<FieldError> errors;
};
struct PlanInput {
    std::string_view gsd;
    std::string_view ratio;
    std::string statistic;
    std::string_view percentile;
    std::string_view confidence;
    std::string goal; // "power" or "expected_ratio"
    std::string_view target;
};
[[nodiscard]] Plan plan(const PlanInput& input);

// One cell of a table of k: the lognormal setting of n measurements (nu = n - 1,
// gammasquared = n, lambda 0.5, mu 0) at log standard deviation `sigma`.
[[nodiscard]] Limits table_cell(double n, double sigma, Kind kind, double confidence);

} // namespace lvlim::web
