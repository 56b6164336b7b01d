// List-directed output: the one line layout of every console line lvlim writes.
//
// A record is a sequence of text, integer and double items laid out by fixed rules and ended
// by a line end. The pure formatters below give the text of one item; `ListRecord` owns the
// line being built, applies the 80-column rule and writes to the stream it was given.
#pragma once

#include <cstddef>
#include <ostream>
#include <string>
#include <string_view>

namespace lvlim {

// Lines are ended before an item that would bring them to this many characters.
inline constexpr std::size_t list_line_width = 80;

// The text of an integer item: one blank, a minus sign if negative, the digits (7 -> " 7").
[[nodiscard]] std::string format_list_integer(long long value);

// The text of a double item: one blank, a sign position ('-' or blank), then the magnitude in
// the G conversion with 9 significant digits, always with a decimal point
// (0.95 -> "   0.95", 800.0 -> "  800.", 1.0e10 -> "  1.E+10", 0.0 -> "  0.").
[[nodiscard]] std::string format_list_real(double value);

// The Fw.d fixed-point edit of `value`: rounded to d decimals (ties away from zero), right-
// justified in w characters, the zero before the point dropped only when that makes it fit,
// w asterisks when nothing fits (0.5 in F8.5 -> " 0.50000", 1500 in F12.0 -> "       1500.").
[[nodiscard]] std::string format_fixed(double value, int w, int d);

// One list-directed output record. Items are added in order; `end()` writes the line end.
// Text that would carry the line to 80 columns or beyond starts a new line first.
class ListRecord {
  public:
    explicit ListRecord(std::ostream& out) : out_(out) {}
    ListRecord(const ListRecord&) = delete;
    ListRecord& operator=(const ListRecord&) = delete;
    ~ListRecord();

    ListRecord& text(std::string_view item);
    ListRecord& integer(long long item);
    ListRecord& real(double item);
    // Writes the line end; the record is finished. Called by the destructor if not before.
    void end();

  private:
    // Ends the current line if it already holds characters and `width` more would reach 80.
    void wrap_before(std::size_t width);
    void put(std::string_view chars);

    std::ostream& out_;
    std::size_t column_ = 0;
    bool ended_ = false;
};

} // namespace lvlim
