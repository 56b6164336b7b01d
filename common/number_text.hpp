// Numbers as text.
#pragma once

#include <string>

namespace lvlim::text {

// The shortest decimal that reads back as `value`, written without an exponent for the
// magnitudes people type, from 1e-5 up to but not including 1e16 ("100000", "0.0001",
// "1000000000000000"), and with the shortest exponent form otherwise ("1e+16", "5e-06", "0").
[[nodiscard]] std::string shortest_round_trip(double value);

} // namespace lvlim::text
