// One run of lvlim: defaults, the input record, validation, one engine entry, the report.
#pragma once

#include <istream>
#include <ostream>

namespace lvlim {

// Reads one input record from `in`, writes the result record or an error report to `out`
// (the engine's messages too, before the record) and the stop text of an early end to `err`.
// Returns 0 in every case; whether `out` was written is the caller's to check
// (driver/standard_output.hpp).
int run(std::istream& in, std::ostream& out, std::ostream& err);

} // namespace lvlim
