// The measurements of lvlim-data: a plain list of values, or one column of a CSV or TSV table,
// read line by line in bounded memory and summarised as they come.
#pragma once

#include <cstddef>
#include <cstdio>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "lvlim/lvlim.hpp"

namespace lvlim::data {

// A problem with the data, its message complete but for the program's name
// ("data.csv, line 3, column 2 (conc): '-1' is not positive; ...").
class DataError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The longest line read; a longer one (a file without line ends, /dev/zero) is refused.
inline constexpr std::size_t max_line_bytes = std::size_t{8} * 1024 * 1024;

enum class Separator { comma, tab, semicolon, blanks };

// How to read a file; what is not stated is detected from its first line.
struct ReadOptions {
    std::optional<std::string> column; // a header name, or a number from 1
    std::optional<bool> header;        // nullopt: detected
    std::optional<Separator> separator;
    std::vector<double>* values = nullptr; // when set, every measurement read is added to it
};

// ---- Pieces of one line ----------------------------------------------------------------------

// Why a value was refused.
enum class ValueError {
    empty,
    not_a_number,
    decimal_comma, // a comma between two digits, as in 1,5
    not_finite,    // inf, or beyond the largest double
    not_positive,  // 0, negative, or below the smallest positive double
    non_detect,    // "<0.05", "ND", "n.d.", "<LOD", "BDL": a value censored at a detection limit
};

struct ValueOrError {
    double value = 0.0;
    std::optional<ValueError> error;
};

// A measurement: an optional minus sign, digits with an optional decimal point, an optional exponent,
// read the same in every locale (std::from_chars); blanks around it are ignored.
[[nodiscard]] ValueOrError parse_value(std::string_view text);

// The fields of one line of a table: "#" outside quotes ends the line; a field that starts with
// a double quote runs to the matching quote ("" stands for one quote) and may hold separators;
// blanks around an unquoted field are dropped. A line with nothing but blanks has no fields.
// Throws DataError (without the place) for an unmatched quote or text after a closing quote.
[[nodiscard]] std::vector<std::string> split_fields(std::string_view line, Separator separator);

// The values of one line of a plain list: separated by blanks, tabs or commas, "#" starting a
// comment, surrounding double quotes dropped. A comma between two digits is refused (see
// parse_value): it may be a decimal comma.
[[nodiscard]] std::vector<std::string> split_list(std::string_view line);

// The separator of a table whose first line is `line`: a tab if it has one, else a semicolon,
// else a comma, else blanks if it has several blank-separated words, else a comma.
[[nodiscard]] Separator detect_separator(std::string_view line);

// True when `text` is written as laboratories write a non-detect: a value below a detection or
// quantitation limit ("<0.05", "< LOD", "ND", "n.d.", "BDL", "not detected").
[[nodiscard]] bool looks_censored(std::string_view text);

// True when the first line that is neither blank nor a comment is a header: when no item of
// it, split at blanks, tabs, commas and semicolons, reads as a number or a non-detect.
[[nodiscard]] bool looks_like_header(std::string_view line);

// ---- The whole input -------------------------------------------------------------------------

// What was read: the summary of the measurements (at least min_measurements, at most
// max_measurements) and, for a table, the column used ("column 2 (conc)").
struct Data {
    Summary summary;
    std::string column;
};

// A table is read when there is a header, a column or a separator, or when the first line that
// is neither blank nor a comment has a tab or a semicolon; otherwise a plain list, all values
// of all lines pooled.
// Reads `stream` to its end (or to the first problem, or to one value past max_measurements)
// and summarises the measurements; `source` names the input in the messages. Throws
// DataError.
[[nodiscard]] Data read_data(std::FILE* stream, const std::string& source,
                             const ReadOptions& options);
// The same for the whole of `text` (the page in the browser reads what was pasted or opened).
[[nodiscard]] Data read_data(std::string_view text, const std::string& source,
                             const ReadOptions& options);

// How read_data sees the first line of `text` that is neither blank nor a comment: its fields
// and whether it is a header; for a header, the fields of the next line that has any.
struct Layout {
    bool header = false;
    std::vector<std::string> fields;
    std::vector<std::string> next;
};
[[nodiscard]] Layout table_layout(std::string_view text, const ReadOptions& options);

// The text of a value as a message quotes it: control bytes and bytes beyond ASCII as \xNN, a
// long text cut short with "...".
[[nodiscard]] std::string quoted(std::string_view text);

} // namespace lvlim::data
