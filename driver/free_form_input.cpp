// The free-form (list-directed) input record reader.
//
// The reader streams: it takes characters one at a time from the stream buffer and stops as
// soon as the last item has been read or a slash has been met, so input after the record is
// left in the stream, and an endless input (standard input may be /dev/zero) costs no more
// memory than one item's text.
//
// It works in two stages. Stage 1 finds the next piece of the record: a value token, a null
// (a comma where a value should begin), a slash or the end of the input, and splits a token
// into its repeat count and value. Stage 2 converts a value text for the item it lands in.
// An item is written only after its text has converted, so a failing item and everything
// after it keep their values.
#include "driver/free_form_input.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <streambuf>
#include <string>
#include <string_view>
#include <system_error>

namespace lvlim {
namespace {

// The longest text one item may have (a repeat count and its star included). Only one item's
// text is held at a time, so this bounds the reader's memory whatever the input holds; a
// longer item is a bad value. No meaningful number comes near it: a double needs 17
// significant digits, and a few hundred leading or trailing zeros are still accepted.
constexpr std::size_t max_item_length = 65536;

// Decimal exponents beyond this magnitude are clamped while they are scanned. With at most
// max_item_length digits in the mantissa, any exponent past it already gives infinity or
// zero, so the clamp never changes a result; it only keeps the arithmetic in range.
constexpr std::int64_t exponent_clamp = 1'000'000;

// ---- Stage 1: finding the pieces of the record -------------------------------------------

// The stream buffer seen one character at a time. Errors of the buffer arrive as exceptions
// (a file buffer throws when the read itself fails); the caller catches them.
class Cursor {
  public:
    explicit Cursor(std::streambuf& buffer) : buffer_(buffer) {}

    // The next character without taking it, or nothing at the end of the input.
    std::optional<char> peek() {
        const auto c = buffer_.sgetc();
        if (std::streambuf::traits_type::eq_int_type(c, std::streambuf::traits_type::eof())) {
            saw_end_ = true;
            return std::nullopt;
        }
        return std::streambuf::traits_type::to_char_type(c);
    }

    // Takes the character that peek() returned.
    void take() { buffer_.sbumpc(); }

    // Whether the end of the input has been met.
    [[nodiscard]] bool saw_end() const { return saw_end_; }

  private:
    std::streambuf& buffer_;
    bool saw_end_ = false;
};

// A carriage return counts as a blank, so that files with CR LF line ends read as any other.
constexpr bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// The characters that end a value token: "1,2" "1 2" "1/" are each two pieces.
constexpr bool ends_token(char c) { return is_blank(c) || c == '\n' || c == ',' || c == '/'; }

constexpr bool is_digit(char c) { return c >= '0' && c <= '9'; }

constexpr int digit_value(char c) { return c - '0'; }

// Skips blanks, and line ends as well when `line_ends` is true.
void skip_blanks(Cursor& cursor, bool line_ends) {
    while (const auto c = cursor.peek()) {
        if (!is_blank(*c) && !(line_ends && *c == '\n')) {
            return;
        }
        cursor.take();
    }
}

// Skips what may follow a value on its own line: blanks, then one comma as the separator.
// A comma on the next line is left alone; it is a null.
void skip_separator(Cursor& cursor) {
    skip_blanks(cursor, false);
    if (cursor.peek() == ',') {
        cursor.take();
    }
}

// Reads a value token, the longest run of characters that do not end one, into `token`.
// Returns false, having taken max_item_length + 1 characters, when the token is longer.
bool read_token(Cursor& cursor, std::string& token) {
    token.clear();
    while (const auto c = cursor.peek()) {
        if (ends_token(*c)) {
            break;
        }
        if (token.size() == max_item_length) {
            return false;
        }
        token.push_back(*c);
        cursor.take();
    }
    return true;
}

// A value token split into its repeat count and its value: "3*0.5" fills three items with
// 0.5, "2*" is two nulls, "0.5" is one value.
struct Token {
    std::size_t count = 1;
    std::optional<std::string_view> value;
};

// Splits `text` at its first star. The count before it is a positive decimal integer without
// a sign; a count beyond `fillable` is cut to it, as the surplus copies would fall past the
// last item. Returns nothing when the count is not valid.
std::optional<Token> split_repeat(std::string_view text, std::size_t fillable) {
    const auto star = text.find('*');
    if (star == std::string_view::npos) {
        return Token{1, text};
    }
    const auto count_text = text.substr(0, star);
    if (count_text.empty()) {
        return std::nullopt;
    }
    std::size_t count = 0;
    for (const char c : count_text) {
        if (!is_digit(c)) {
            return std::nullopt;
        }
        // Saturates one above `fillable`: enough to tell a count of 0 from a positive one.
        const auto next = count * 10 + static_cast<std::size_t>(digit_value(c));
        count = std::min(next, fillable + 1);
    }
    if (count == 0) {
        return std::nullopt;
    }
    const auto value = text.substr(star + 1);
    return Token{std::min(count, fillable),
                 value.empty() ? std::nullopt : std::optional<std::string_view>(value)};
}

// ---- Stage 2: converting a value text -----------------------------------------------------

// The letters that start an exponent: "2.5E2", "2.5e2", "2.5D2", "2.5d2".
constexpr bool is_exponent_letter(char c) { return c == 'e' || c == 'E' || c == 'd' || c == 'D'; }

constexpr bool is_sign(char c) { return c == '+' || c == '-'; }

// Takes a run of decimal digits from the front of `text`.
std::string_view take_digits(std::string_view& text) {
    const auto length = std::min(text.find_first_not_of("0123456789"), text.size());
    const auto digits = text.substr(0, length);
    text.remove_prefix(length);
    return digits;
}

// Takes a sign from the front of `text`; true for a minus.
bool take_sign(std::string_view& text) {
    if (text.empty() || !is_sign(text.front())) {
        return false;
    }
    const bool negative = text.front() == '-';
    text.remove_prefix(1);
    return negative;
}

// An optionally signed digit string that fits a 32-bit int. A decimal point or an exponent
// letter where the digits end ("1.0", "1e3", ".5") is a bad integer; any other wrong
// character, or no digit at all ("1x", "1+3", "-"), a bad value.
ReadStatus to_int(std::string_view text, int& result) {
    const bool negative = take_sign(text);
    const auto digits = take_digits(text);
    if (!text.empty()) {
        const char c = text.front();
        return c == '.' || is_exponent_letter(c) ? ReadStatus::bad_integer : ReadStatus::bad_value;
    }
    if (digits.empty()) {
        return ReadStatus::bad_value;
    }
    // The magnitude of the most negative int is one above that of the largest.
    const auto limit = static_cast<std::uint64_t>(std::numeric_limits<int>::max()) +
                       (negative ? 1U : 0U);
    std::uint64_t magnitude = 0;
    for (const char c : digits) {
        // Saturates one above the limit, so leading zeros of any number read as they should.
        magnitude = std::min(magnitude * 10 + static_cast<std::uint64_t>(digit_value(c)), limit + 1);
    }
    if (magnitude > limit) {
        return ReadStatus::out_of_range;
    }
    const auto value = static_cast<std::int64_t>(magnitude);
    result = static_cast<int>(negative ? -value : value);
    return ReadStatus::ok;
}

// The decimal exponent after "e", "d" or a lone sign: an optionally signed digit string,
// clamped to +-exponent_clamp. Nothing when no digit follows ("1e", "1e+", "1+").
std::optional<std::int64_t> to_exponent(std::string_view text) {
    const bool negative = take_sign(text);
    const auto digits = take_digits(text);
    if (digits.empty() || !text.empty()) {
        return std::nullopt;
    }
    std::int64_t magnitude = 0;
    for (const char c : digits) {
        magnitude = std::min<std::int64_t>(magnitude * 10 + digit_value(c), exponent_clamp);
    }
    return negative ? -magnitude : magnitude;
}

// A double: optional sign, digits with an optional decimal point (at least one digit), and an
// optional exponent, written as E or D in either case and an optionally signed integer, or as
// a sign and an integer ("1.5+3" is 1500, "1.5-3" is 0.0015). The text is rewritten in the
// form std::from_chars reads ("1.5e3"), which converts correctly rounded and independently of
// the locale. A value beyond the largest double is out of range; one below the smallest
// denormal reads as zero with its sign.
ReadStatus to_double(std::string_view text, double& result) {
    const bool negative = take_sign(text);
    const auto whole = take_digits(text);
    std::string_view fraction;
    if (!text.empty() && text.front() == '.') {
        text.remove_prefix(1);
        fraction = take_digits(text);
    }
    if (whole.empty() && fraction.empty()) {
        return ReadStatus::bad_value;
    }
    std::int64_t exponent = 0;
    if (!text.empty()) {
        if (is_exponent_letter(text.front())) {
            text.remove_prefix(1);
        } else if (!is_sign(text.front())) {
            return ReadStatus::bad_value;
        }
        const auto scanned = to_exponent(text);
        if (!scanned) {
            return ReadStatus::bad_value;
        }
        exponent = *scanned;
    }

    std::string normal;
    normal.reserve(whole.size() + fraction.size() + 24);
    if (negative) {
        normal += '-';
    }
    normal += whole.empty() ? std::string_view("0") : whole;
    if (!fraction.empty()) {
        normal += '.';
        normal += fraction;
    }
    normal += 'e';
    char exponent_text[24];
    const auto written = std::to_chars(exponent_text, exponent_text + sizeof exponent_text, exponent);
    normal.append(exponent_text, written.ptr);

    double value = 0.0;
    const auto [end, error] = std::from_chars(normal.data(), normal.data() + normal.size(), value);
    if (error == std::errc() && end == normal.data() + normal.size() && std::isfinite(value)) {
        result = value;
        return ReadStatus::ok;
    }
    if (error != std::errc::result_out_of_range) {
        return ReadStatus::bad_value;
    }
    // Out of range either way; the decimal position of the first non-zero digit tells which.
    // Overflow needs it at 10^308 or beyond, underflow at 10^-324 or below.
    const auto leading_zeros = std::min(whole.find_first_not_of('0'), whole.size());
    const auto significant_whole = static_cast<std::int64_t>(whole.size() - leading_zeros);
    const auto fraction_zeros = std::min(fraction.find_first_not_of('0'), fraction.size());
    const auto scale = significant_whole > 0
                           ? exponent + significant_whole - 1
                           : exponent - static_cast<std::int64_t>(fraction_zeros) - 1;
    if (scale >= 0) {
        return ReadStatus::out_of_range;
    }
    result = negative ? -0.0 : 0.0;
    return ReadStatus::ok;
}

// Converts `text` for `item` and stores it there when it converts.
ReadStatus store(std::string_view text, const InputItem& item) {
    if (const auto* target = std::get_if<int*>(&item)) {
        int value = 0;
        const auto status = to_int(text, value);
        if (status == ReadStatus::ok) {
            **target = value;
        }
        return status;
    }
    double value = 0.0;
    const auto status = to_double(text, value);
    if (status == ReadStatus::ok) {
        *std::get<double*>(item) = value;
    }
    return status;
}

// ---- The record ---------------------------------------------------------------------------

// Reads the items in order until the last one is filled, a slash comes or something fails.
ReadStatus read_items(Cursor& cursor, std::span<const InputItem> items) {
    std::string token;
    std::size_t next = 0;
    while (next < items.size()) {
        skip_blanks(cursor, true);
        const auto c = cursor.peek();
        if (!c) {
            return ReadStatus::end_of_input;
        }
        if (*c == '/') {
            cursor.take();
            return ReadStatus::ok;
        }
        if (*c == ',') {
            // A null: the comma stands in for the value and is its own separator.
            cursor.take();
            ++next;
            continue;
        }
        if (!read_token(cursor, token)) {
            return ReadStatus::bad_value;
        }
        const auto split = split_repeat(token, items.size() - next);
        if (!split) {
            return ReadStatus::bad_value;
        }
        for (std::size_t copy = 0; copy < split->count; ++copy, ++next) {
            if (split->value) {
                const auto status = store(*split->value, items[next]);
                if (status != ReadStatus::ok) {
                    return status;
                }
            }
        }
        if (next == items.size()) {
            // Nothing after the last item is read, not even its separator.
            return ReadStatus::ok;
        }
        skip_separator(cursor);
    }
    return ReadStatus::ok;
}

// Sets `state` on the stream without letting its exception mask throw out of the reader.
void set_state_quietly(std::istream& in, std::ios_base::iostate state) {
    try {
        in.setstate(state);
    } catch (...) {
        // The state is set before the stream throws; the status already tells the caller.
    }
}

} // namespace

ReadStatus read_free_form(std::istream& in, std::span<const InputItem> items) {
    // A stream that has already failed, or has no buffer, cannot be read; one that is already
    // at its end reads as an empty input.
    if (in.bad() || in.rdbuf() == nullptr) {
        set_state_quietly(in, std::ios_base::badbit);
        return ReadStatus::stream_failure;
    }
    if (in.eof()) {
        set_state_quietly(in, std::ios_base::failbit);
        return ReadStatus::end_of_input;
    }
    if (in.fail()) {
        // An earlier extraction failed in the middle of the input: what follows is unknown.
        return ReadStatus::stream_failure;
    }

    Cursor cursor(*in.rdbuf());
    ReadStatus status = ReadStatus::ok;
    try {
        status = read_items(cursor, items);
    } catch (...) {
        // The stream buffer failed, or memory for an item's text ran out.
        set_state_quietly(in, std::ios_base::badbit);
        return ReadStatus::stream_failure;
    }
    // The stream's state tells what an extraction would have told: the end was met, the
    // record could not be read.
    auto state = cursor.saw_end() ? std::ios_base::eofbit : std::ios_base::goodbit;
    if (status != ReadStatus::ok) {
        state |= std::ios_base::failbit;
    }
    set_state_quietly(in, state);
    return status;
}

} // namespace lvlim
