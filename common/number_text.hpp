// Numbers as text: every shortest decimal the programs, the library and the page write, each
// variant named for its rule. All of them read back as the value they were made from
// (std::from_chars, std::stod) and are the same in every locale.
#pragma once

#include <string>

namespace lvlim::number_text {

// The shortest decimal that reads back as `value`, in fixed or exponent form, whichever is
// shorter (std::to_chars): "0.95", "1e+05", "19.080809275897902"; "inf", "-inf" and "nan" for
// the values that are not finite.
[[nodiscard]] std::string shortest(double value);

// As shortest, but without an exponent for 0 and for magnitudes from 1e-5 up to (not
// including) 1e15: "100000" and "0.00001", not "1e+05" and "1e-05"; "1e+15" and "9e-06"
// outside. How the library's messages quote a value.
[[nodiscard]] std::string shortest_plain(double value);

// As shortest, but "NaN" for a value that is not a number, as JavaScript writes it: how the page
// shows numbers.
[[nodiscard]] std::string shortest_with_NaN(double value);

// As shortest, but the empty text for a value that is not a number: how the CSV outputs leave a
// field that does not apply.
[[nodiscard]] std::string shortest_or_empty(double value);

// The shortest decimal that reads back as `value`. For the magnitudes people type, from 1e-5
// up to but not including 1e16, it has no exponent ("100000", "0.0001", "1000000000000000");
// outside them the shorter of the exponent form and the plain one, the plain on a tie ("1e+16",
// "5e-06", "0", but "44167431189119544"). How lvlim-table writes its values.
[[nodiscard]] std::string shortest_round_trip(double value);

} // namespace lvlim::number_text
