// lvlim-plan's output: the sample size found, its power or expected ratio, and the rows of the
// curve, as a text report, CSV (the rows) or one JSON object.
#pragma once

#include <ostream>
#include <string>

#include "apps/lvlim-plan/options.hpp"
#include "lvlim/planning.hpp"

namespace lvlim::plan {

// The shortest decimal that reads back as `value`; "" for NaN.
[[nodiscard]] std::string shortest(double value);

void write_text(std::ostream& out, const Options& options, const SampleSize& result);
void write_csv(std::ostream& out, const SampleSize& result);
void write_json(std::ostream& out, const SampleSize& result);

} // namespace lvlim::plan
