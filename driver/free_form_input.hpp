// The free-form (list-directed) input record reader.
//
// Reads one record of items from a stream: items separated by blanks, tabs, line ends or a
// comma; a comma where a value should begin is a null value (the item keeps its value);
// "r*v" stands for r copies of v and "r*" for r nulls; "/" ends the record early. The read
// stops at the first failing item: the items before it hold the values read, the failing one
// and all later ones keep the values they had before the read.
#pragma once

#include <istream>
#include <span>
#include <variant>

namespace lvlim {

// The outcome of a read. The numbers are the ones the read-error report prints.
enum class ReadStatus : int {
    ok = 0,
    // The input ended before the last item was read and no slash came.
    end_of_input = -1,
    // An item that is not a valid number, a bad repeat count, or an exponent without digits.
    bad_value = 112,
    // A number that does not fit its type: an integer beyond 32 bits, a double beyond the
    // largest finite value.
    out_of_range = 113,
    // The input stream itself failed (for example standard input is a directory).
    stream_failure = 114,
    // A decimal point or an exponent letter in an integer item.
    bad_integer = 115,
};

// One item of the record: the variable that receives it, integer or double.
using InputItem = std::variant<int*, double*>;

// Reads one record into `items`, in order, and reports the outcome.
[[nodiscard]] ReadStatus read_free_form(std::istream& in, std::span<const InputItem> items);

} // namespace lvlim
