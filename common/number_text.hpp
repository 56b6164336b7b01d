// Numbers as text.
#pragma once

#include <string>

namespace lvlim::text {

// The shortest decimal that reads back as `value`. For the magnitudes people type, from 1e-5
// up to but not including 1e16, it has no exponent ("100000", "0.0001", "1000000000000000");
// outside them the shorter of the exponent form and the plain one, the plain on a tie ("1e+16",
// "5e-06", "0", but "44167431189119544").
[[nodiscard]] std::string shortest_round_trip(double value);

} // namespace lvlim::text
