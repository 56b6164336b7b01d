// lvlim-plan's output: the sample size found, its power or expected ratio, and the rows of the
// curve, as a text report, CSV (the rows) or one JSON object.
//
// Text and CSV are written a row at a time, as the search computes them: the head first, each
// row as it completes (in the order computed, not sorted by n), and for text the sample size
// at the end. JSON is one object written whole, its rows in increasing n.
#pragma once

#include <ostream>
#include <string>

#include "apps/lvlim-plan/options.hpp"
#include "lvlim/planning.hpp"

namespace lvlim::plan {

// The text report: its head (the setting, the target and the header of the rows), one line a
// row, and its tail (the sample size found and the notes).
void write_text_head(std::ostream& out, const Options& options);
void write_text_row(std::ostream& out, const PlanRow& row);
void write_text_tail(std::ostream& out, const Options& options, const SampleSize& result);

// CSV: the header line, then one line a row.
void write_csv_head(std::ostream& out);
void write_csv_row(std::ostream& out, const PlanRow& row);

void write_json(std::ostream& out, const SampleSize& result);

} // namespace lvlim::plan
