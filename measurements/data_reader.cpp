// Reading the measurements of lvlim-data: a plain list or one column of a table, line by line.
#include "measurements/data_reader.hpp"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <system_error>

#include "measurements/lookalikes.hpp"

namespace lvlim::data {

namespace {

[[nodiscard]] constexpr bool is_blank(char c) {
    return c == ' ' || c == '\t';
}
[[nodiscard]] constexpr bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

std::string_view trim(std::string_view text) {
    while (!text.empty() && is_blank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && is_blank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// The length of the error value a spreadsheet writes in a cell whose formula failed or whose
// value is missing ("#N/A", "#DIV/0!") at the start of `text`, or 0. Such a value starts with
// "#" but is no comment: taken for one, a row of the table would be lost without a word.
std::size_t spreadsheet_error_length(std::string_view text) {
    static constexpr std::array<std::string_view, 12> errors = {
        "#N/A",   "#DIV/0!", "#VALUE!", "#REF!",   "#NAME?",        "#NUM!",
        "#NULL!", "#SPILL!", "#CALC!",  "#FIELD!", "#GETTING_DATA", "#ERROR!"};
    for (const std::string_view error : errors) {
        if (text.size() < error.size()) {
            continue;
        }
        const std::string_view head = text.substr(0, error.size());
        const bool same = std::equal(head.begin(), head.end(), error.begin(), [](char a, char b) {
            return std::toupper(static_cast<unsigned char>(a)) == b;
        });
        if (same && (text.size() == error.size() || is_blank(text[error.size()]) ||
                     std::string_view(",;\"").find(text[error.size()]) != std::string_view::npos)) {
            return error.size();
        }
    }
    return 0;
}

// Whether a comment starts at `at`: a "#" that does not begin a spreadsheet's error value.
bool comment_at(std::string_view line, std::size_t at) {
    return line[at] == '#' && spreadsheet_error_length(line.substr(at)) == 0;
}

// The line up to a comment (the list format has no quotes).
std::string_view uncommented(std::string_view line) {
    for (std::size_t at = line.find('#'); at != std::string_view::npos;
         at = line.find('#', at + 1)) {
        if (comment_at(line, at)) {
            return line.substr(0, at);
        }
    }
    return line;
}

// True when a comma stands between two digits somewhere in `text`.
bool has_digit_comma_digit(std::string_view text) {
    for (std::size_t i = 1; i + 1 < text.size(); ++i) {
        if (text[i] == ',' && is_digit(text[i - 1]) && is_digit(text[i + 1])) {
            return true;
        }
    }
    return false;
}

// Lines of a stream, without their line end (LF, or CR LF), the UTF-8 byte-order mark dropped
// from the first; never more than max_line_bytes in memory.
class LineReader {
  public:
    LineReader(std::FILE* stream, const std::string& source) : stream_(stream), source_(source) {}
    // The lines of `text`, which must outlive the reader.
    LineReader(std::string_view text, const std::string& source) : text_(text), source_(source) {}

    // The next line in `line`; false at the end of the input.
    bool next(std::string& line) {
        line.clear();
        bool any = false;
        for (;;) {
            if (pos_ == len_ && !fill()) {
                break;
            }
            // The LF of a CR LF whose CR ended the line before.
            if (after_cr_) {
                after_cr_ = false;
                if (buffer_[pos_] == '\n') {
                    ++pos_;
                    continue;
                }
            }
            any = true;
            const char* const start = buffer_.data() + pos_;
            const char* const stop = buffer_.data() + len_;
            const char* const found = std::find_if(start, stop, [](char c) {
                return c == '\n' || c == '\r';
            });
            const auto take = static_cast<std::size_t>(found - start);
            if (line.size() + take > max_line_bytes) {
                throw DataError(source_ + ", line " + std::to_string(number_ + 1) +
                                ": the line is longer than " + std::to_string(max_line_bytes) +
                                " bytes; is this a text file of measurements?");
            }
            line.append(start, take);
            pos_ += take;
            if (found != stop) {
                // A line ends in LF, CR LF, or CR alone (as old spreadsheets on the Mac wrote).
                after_cr_ = *found == '\r';
                ++pos_;
                break;
            }
        }
        if (!any) {
            return false;
        }
        ++number_;
        if (number_ == 1 && line.starts_with("\xEF\xBB\xBF")) {
            line.erase(0, 3);
        }
        // A spreadsheet's "Unicode text" is UTF-16: every other byte is 0, and read as UTF-8
        // every value would be named in an unreadable message.
        if (number_ == 1 && (line.starts_with("\xFF\xFE") || line.starts_with("\xFE\xFF"))) {
            throw DataError(source_ + ": the text is UTF-16 (a byte-order mark " +
                            (line[0] == '\xFF' ? "FF FE" : "FE FF") +
                            " begins it), which is not read: save it as UTF-8 text or CSV");
        }
        // A workbook given for its exported sheet: refused in words, not byte by byte.
        if (number_ == 1 && (line.starts_with(std::string_view("PK\x03\x04", 4)) ||
                             line.starts_with("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1"))) {
            throw DataError(source_ + " is a spreadsheet's workbook (" +
                            (line[0] == 'P' ? "a zip archive, as .xlsx and .ods are" : ".xls") +
                            "), not text: export the sheet as CSV");
        }
        if (number_ == 1 && line.find('\0') != std::string::npos) {
            throw DataError(source_ + ": line 1 holds a NUL byte: this is not a text file of "
                                      "measurements");
        }
        return true;
    }

    [[nodiscard]] std::size_t number() const { return number_; }

  private:
    bool fill() {
        pos_ = 0;
        if (stream_ == nullptr) {
            len_ = std::min(text_.size(), buffer_.size());
            std::memcpy(buffer_.data(), text_.data(), len_);
            text_.remove_prefix(len_);
            return len_ > 0;
        }
        len_ = std::fread(buffer_.data(), 1, buffer_.size(), stream_);
        if (len_ == 0 && std::ferror(stream_) != 0) {
            throw DataError("cannot read '" + source_ + "': " + std::strerror(errno));
        }
        return len_ > 0;
    }

    std::FILE* stream_ = nullptr; // or, when null, text_
    std::string_view text_;
    const std::string& source_;
    std::array<char, 65536> buffer_{};
    std::size_t pos_ = 0;
    std::size_t len_ = 0;
    std::size_t number_ = 0;
    bool after_cr_ = false; // the last line ended in CR
};

// The text with its one comma made a decimal point ("1,5" -> "1.5").
std::string with_point(std::string_view text) {
    std::string out(text);
    std::replace(out.begin(), out.end(), ',', '.');
    return out;
}

std::string why(ValueError error, std::string_view text) {
    const std::string model = "; the lognormal model takes the logarithm of every measurement, "
                              "so each must be a finite number above 0";
    switch (error) {
    case ValueError::empty:
        return "the value is empty" + model;
    case ValueError::not_a_number: {
        if (!text.empty() && spreadsheet_error_length(text) == text.size()) {
            return quoted(text) + " is a spreadsheet's error value (a formula that failed, or a "
                                  "missing value), not a measurement: mend the cell or remove "
                                  "its row";
        }
        const FoundLookalike found = find_lookalike(text);
        if (found.what == nullptr) {
            return quoted(text) + " is not a number" + model;
        }
        const std::string held = quoted(text) + " holds " + std::string(found.what->name);
        if (found.what->replacement == "-") {
            return held + ", which is not read: write " + without_lookalikes(text) +
                   " with the ordinary minus (a measurement must be positive all the same)";
        }
        return held + ", which is not read as a blank: write an ordinary blank between two "
                      "values, and nothing between the digits of one";
    }
    case ValueError::not_finite:
        return quoted(text) + " is not finite" + model;
    case ValueError::not_positive:
        return quoted(text) + " is not positive" + model;
    case ValueError::non_detect:
        return quoted(text) + " is a non-detect, a value below a detection or quantitation limit; " +
               "censored data need other methods: the limits here assume that every "
               "measurement is a quantified value";
    case ValueError::decimal_comma: {
        // Three digits after the comma, and no more than three before: as well a thousands
        // separator ("1,234" for 1234), as a spreadsheet quotes it in a CSV file.
        const std::size_t comma = text.find(',');
        const std::string_view before = text.substr(0, comma);
        const std::string_view after = text.substr(comma + 1);
        const auto digits = [](std::string_view part) {
            return std::all_of(part.begin(), part.end(), is_digit);
        };
        if (after.size() == 3 && digits(after) && !before.empty() && before.size() <= 3 &&
            digits(before)) {
            std::string whole(before);
            whole += after;
            return quoted(text) + " has a comma, which is not read: write " + with_point(text) +
                   " if it is a decimal comma, " + whole + " if it separates thousands";
        }
        return quoted(text) + " has a decimal comma, which is not read: write " + with_point(text);
    }
    }
    return quoted(text) + " is not a measurement";
}

// A number from 1 in `text`, or nullopt.
std::optional<std::size_t> column_number(std::string_view text) {
    std::size_t value = 0;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc{} || ptr != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

// Adds the values to the summary, refusing one past the supported number.
class Collector {
  public:
    Collector(const std::string& source, std::vector<double>* values)
        : source_(source), values_(values) {}

    void add(std::string_view text, const std::string& where) {
        const ValueOrError parsed = parse_value(text);
        if (parsed.error) {
            throw DataError(where + ": " + why(*parsed.error, trim(text)));
        }
        if (summariser_.count() == max_measurements) {
            throw DataError(where + ": more than " + std::to_string(max_measurements) +
                            " measurements; the supported range is " +
                            std::to_string(min_measurements) + " to " +
                            std::to_string(max_measurements) + " measurements");
        }
        summariser_.add(parsed.value);
        if (values_ != nullptr) {
            values_->push_back(parsed.value);
        }
    }

    [[nodiscard]] Summary summary() const {
        const std::size_t n = summariser_.count();
        if (n < min_measurements) {
            throw DataError(source_ + ": " + std::to_string(n) +
                            (n == 1 ? " measurement" : " measurements") +
                            "; the supported range is " + std::to_string(min_measurements) +
                            " to " + std::to_string(max_measurements) + " measurements");
        }
        return summariser_.summary();
    }

  private:
    const std::string& source_;
    std::vector<double>* values_;
    Summariser summariser_;
};

// Whether a field of a table labels a row of totals or statistics a spreadsheet adds under the
// data ("Total", "Grand total:", "Mittelwert", "Std. dev."), in the languages of the usual
// exports: such a row is no measurement.
bool labels_a_summary(std::string_view field) {
    std::string word;
    for (const char c : trim(field)) {
        word += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    while (!word.empty() && (word.back() == ':' || is_blank(word.back()))) {
        word.pop_back();
    }
    static constexpr std::array<std::string_view, 32> labels = {
        "total",  "totals",      "grand total",  "subtotal",
        "sub-total", "sum",      "sums",         "summe",
        "gesamt", "insgesamt",   "gesamtsumme",  "somme",
        "total g\xC3\xA9n\xC3\xA9ral", "totaal", "som", "suma",
        "totale", "somma",       "\xCE\xA3",     "mean",
        "average", "avg",        "mittelwert",   "durchschnitt",
        "moyenne", "media",      "promedio",     "gemiddelde",
        "median", "stdev",       "std. dev.",    "standard deviation"};
    return std::find(labels.begin(), labels.end(), word) != labels.end();
}

// The rows of a table that a label in another column marks as totals or statistics: the rows
// that end the table, each labelled, and each label the only one of its text in its column. The
// same text in many rows ("total" beside "dissolved" in a column of fractions), or a labelled
// row with measurements after it, is data. Only the labels are kept, one entry for each column
// and text.
class SummaryRows {
  public:
    void row(const std::vector<std::string>& fields, std::size_t value_column,
             const std::string& where, const std::string& column_label) {
        bool labelled = false;
        for (std::size_t i = 0; i < fields.size(); ++i) {
            if (i == value_column || !labels_a_summary(fields[i])) {
                continue;
            }
            labelled = true;
            const std::string_view text = trim(fields[i]);
            const auto it = std::find_if(found_.begin(), found_.end(), [&](const Found& f) {
                return f.column == i && f.label == text;
            });
            if (it == found_.end()) {
                found_.push_back({i, std::string(text),
                                  where + ": " + quoted(text) +
                                      " labels a row of totals or statistics, not a "
                                      "measurement; its value " +
                                      quoted(trim(fields[value_column])) + " in " + column_label +
                                      " would be read as one: remove the row",
                                  1, rows_});
            } else {
                ++it->count;
                it->row = rows_;
            }
        }
        // The first row of the labelled rows that end the table so far.
        if (!labelled) {
            trailing_from_ = rows_ + 1;
        }
        ++rows_;
    }
    // Refuses the table at its first row of totals or statistics.
    void check() const {
        for (const Found& f : found_) {
            if (f.count == 1 && f.row >= trailing_from_) {
                throw DataError(f.message);
            }
        }
    }

  private:
    struct Found {
        std::size_t column;
        std::string label;
        std::string message;
        std::size_t count;
        std::size_t row; // from 0, among the rows read
    };
    std::vector<Found> found_;
    std::size_t rows_ = 0;
    std::size_t trailing_from_ = 0;
};

std::string join(const std::vector<std::string>& names) {
    std::string out;
    for (const std::string& name : names) {
        out += (out.empty() ? "" : ", ") + quoted(name);
    }
    return out;
}

} // namespace

std::string quoted(std::string_view text) {
    constexpr std::size_t longest = 40;
    std::string out = "'";
    for (std::size_t i = 0; i < text.size() && i < longest; ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x20 || byte >= 0x7f) {
            constexpr std::string_view hex = "0123456789ABCDEF";
            out += "\\x";
            out += hex[byte >> 4U];
            out += hex[byte & 0xFU];
        } else {
            out += text[i];
        }
    }
    if (text.size() > longest) {
        out += "...";
    }
    return out + "'";
}

ValueOrError parse_value(std::string_view text) {
    text = trim(text);
    if (text.empty()) {
        return {0.0, ValueError::empty};
    }
    double value = 0.0;
    const char* const end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec == std::errc::result_out_of_range && ptr == end) {
        // Beyond the doubles: too large, or too small to be told from 0.
        const std::string copy(text);
        const double rounded = std::strtod(copy.c_str(), nullptr);
        return {0.0, std::fabs(rounded) > 1.0 ? ValueError::not_finite : ValueError::not_positive};
    }
    if (ec != std::errc{} || ptr != end || std::isnan(value)) {
        if (looks_censored(text)) {
            return {0.0, ValueError::non_detect};
        }
        const std::string pointed = with_point(text);
        const bool one_comma = std::count(text.begin(), text.end(), ',') == 1;
        if (one_comma && has_digit_comma_digit(text) && !parse_value(pointed).error) {
            return {0.0, ValueError::decimal_comma};
        }
        return {0.0, ValueError::not_a_number};
    }
    if (std::isinf(value)) {
        return {0.0, ValueError::not_finite};
    }
    if (!(value > 0.0)) {
        return {0.0, ValueError::not_positive};
    }
    return {value, std::nullopt};
}

std::vector<std::string> split_fields(std::string_view line, Separator separator) {
    std::vector<std::string> fields;
    const auto is_separator = [separator](char c) {
        switch (separator) {
        case Separator::comma:
            return c == ',';
        case Separator::tab:
            return c == '\t';
        case Separator::semicolon:
            return c == ';';
        case Separator::blanks:
            return is_blank(c);
        }
        return false;
    };
    const auto skip_blanks = [&](std::size_t at) {
        while (at < line.size() && line[at] == ' ') {
            ++at;
        }
        return at;
    };
    // Nothing but blanks (and a comment): no fields at all.
    {
        std::size_t at = 0;
        while (at < line.size() && is_blank(line[at])) {
            ++at;
        }
        if (at == line.size() || comment_at(line, at)) {
            return fields;
        }
    }
    std::size_t at = separator == Separator::blanks ? 0 : skip_blanks(0);
    for (;;) {
        if (separator == Separator::blanks) {
            while (at < line.size() && is_blank(line[at])) {
                ++at;
            }
            if (at == line.size() || comment_at(line, at)) {
                return fields;
            }
        }
        std::string field;
        if (at < line.size() && line[at] == '"') {
            ++at;
            for (;;) {
                if (at == line.size()) {
                    throw DataError("a quoted field has no closing quote; a quoted field must "
                                    "end on its line");
                }
                if (line[at] == '"') {
                    if (at + 1 < line.size() && line[at + 1] == '"') {
                        field += '"';
                        at += 2;
                        continue;
                    }
                    ++at;
                    break;
                }
                field += line[at++];
            }
            at = separator == Separator::blanks ? at : skip_blanks(at);
            if (at < line.size() && !is_separator(line[at]) && !comment_at(line, at)) {
                throw DataError("text follows the closing quote of field " +
                                std::to_string(fields.size() + 1));
            }
        } else {
            const std::size_t start = at;
            while (at < line.size() && !is_separator(line[at]) && !comment_at(line, at)) {
                ++at;
            }
            field = std::string(trim(line.substr(start, at - start)));
        }
        fields.push_back(std::move(field));
        if (at == line.size() || comment_at(line, at)) {
            return fields;
        }
        ++at; // the separator
        if (separator != Separator::blanks) {
            at = skip_blanks(at);
        }
    }
}

std::vector<std::string> split_list(std::string_view line) {
    std::vector<std::string> items;
    line = uncommented(line);
    std::size_t at = 0;
    while (at < line.size()) {
        while (at < line.size() && (is_blank(line[at]) || line[at] == ',')) {
            ++at;
        }
        const std::size_t start = at;
        while (at < line.size() && !is_blank(line[at])) {
            ++at;
        }
        // One blank-separated word: its commas separate values unless one stands between two
        // digits, which may as well be a decimal comma.
        const std::string_view word = line.substr(start, at - start);
        if (has_digit_comma_digit(word)) {
            throw DataError(
                quoted(word) +
                ": a comma between two digits may be a decimal comma, which is not read; write "
                "numbers with a decimal point and separate them by blanks or by a comma and a "
                "blank, or choose a column of a table with --column");
        }
        std::size_t from = 0;
        while (from < word.size()) {
            const std::size_t comma = std::min(word.find(',', from), word.size());
            std::string_view item = word.substr(from, comma - from);
            // A quoted value reads as it does in a table.
            if (item.size() >= 2 && item.front() == '"' && item.back() == '"') {
                item = item.substr(1, item.size() - 2);
            }
            if (comma > from) {
                items.emplace_back(item);
            }
            from = comma + 1;
        }
    }
    return items;
}

Separator detect_separator(std::string_view line) {
    line = trim(line);
    if (line.find('\t') != std::string_view::npos) {
        return Separator::tab;
    }
    if (line.find(';') != std::string_view::npos) {
        return Separator::semicolon;
    }
    if (line.find(',') != std::string_view::npos) {
        return Separator::comma;
    }
    return line.find(' ') != std::string_view::npos ? Separator::blanks : Separator::comma;
}

bool looks_censored(std::string_view text) {
    text = trim(text);
    // "<0.05", "< LOD", and the "less than or equal" sign in UTF-8.
    if (text.starts_with('<') || text.starts_with("\xE2\x89\xA4")) {
        return true;
    }
    std::string lower;
    for (const char c : text) {
        lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    // "ND", "N.D.", "n/d", "BDL", "BLD", and these followed by a limit ("ND(0.05)", "nd 0.05").
    for (const std::string_view word : {"nd", "n.d.", "n.d", "n/d", "bdl", "bld", "lod", "loq"}) {
        if (lower.starts_with(word) &&
            (lower.size() == word.size() ||
             std::isalpha(static_cast<unsigned char>(lower[word.size()])) == 0)) {
            return true;
        }
    }
    return lower.starts_with("not detected") || lower.starts_with("non-detect") ||
           lower.starts_with("nondetect") || lower.starts_with("below detection") ||
           lower.starts_with("below the detection") || lower.starts_with("below lod") ||
           lower.starts_with("below loq");
}

namespace {

// Whether `text` is one or more numbers between blanks.
bool all_numbers(std::string_view text) {
    bool any = false;
    std::size_t at = 0;
    while (at < text.size()) {
        while (at < text.size() && is_blank(text[at])) {
            ++at;
        }
        const std::size_t start = at;
        while (at < text.size() && !is_blank(text[at])) {
            ++at;
        }
        if (at == start) {
            break;
        }
        const ValueOrError value = parse_value(text.substr(start, at - start));
        if (value.error && value.error != ValueError::not_positive &&
            value.error != ValueError::not_finite) {
            return false;
        }
        any = true;
    }
    return any;
}

} // namespace

bool looks_like_header(std::string_view line) {
    line = uncommented(line);
    bool any = false;
    bool all_censored = true;
    std::size_t at = 0;
    while (at < line.size()) {
        const auto is_break = [](char c) { return is_blank(c) || c == ',' || c == ';'; };
        while (at < line.size() && is_break(line[at])) {
            ++at;
        }
        const std::size_t start = at;
        while (at < line.size() && !is_break(line[at])) {
            ++at;
        }
        std::string_view item = line.substr(start, at - start);
        if (item.size() >= 2 && item.front() == '"' && item.back() == '"') {
            item = item.substr(1, item.size() - 2);
        }
        if (item.empty()) {
            continue;
        }
        const ValueOrError value = parse_value(item);
        if ((!value.error || value.error == ValueError::not_positive ||
                              value.error == ValueError::not_finite)) {
            return false;
        }
        // Numbers joined by a lookalike blank ("1<NBSP>234", "0.12<NBSP>0.3") or written with a
        // typographic minus are values that cannot be read, never names: read as a header, the
        // line would be lost without a word.
        if (find_lookalike(item).what != nullptr && all_numbers(without_lookalikes(item))) {
            return false;
        }
        // "<0.05" is a value, never a name; so is a line of nothing but non-detects ("ND"),
        // while a header may well name a column "LOD" beside others.
        if (spreadsheet_error_length(item) == item.size()) {
            return false;
        }
        const std::string_view bare = trim(item.substr(item.starts_with('<') ? 1 : 0));
        if (item.starts_with('<') && !bare.empty() &&
            (is_digit(bare.front()) || bare.front() == '.')) {
            return false;
        }
        any = true;
        all_censored = all_censored && value.error == ValueError::non_detect;
    }
    return !(any && all_censored);
}

namespace {

// The next line that is neither blank nor a comment, in `line`; false at the end of the input.
bool next_content(LineReader& lines, std::string& line) {
    while (lines.next(line)) {
        const std::string_view data = trim(line);
        if (!data.empty() && !comment_at(data, 0)) {
            return true;
        }
    }
    return false;
}

// The first line of content, in `line`, after the line "sep=;" with which a spreadsheet
// states the separator of its CSV file; that separator, unless one is given, in `options`.
bool first_content(LineReader& lines, std::string& line, ReadOptions& options) {
    if (!next_content(lines, line)) {
        return false;
    }
    // Only the line's end is trimmed: the separator may be a tab.
    std::string_view hint = line;
    while (!hint.empty() && (hint.back() == '\r' || hint.back() == ' ')) {
        hint.remove_suffix(1);
    }
    if (hint.size() != 5 || !hint.starts_with("sep=")) {
        return true;
    }
    const char separator = hint.back();
    if (!options.separator) {
        if (separator == ',') {
            options.separator = Separator::comma;
        } else if (separator == ';') {
            options.separator = Separator::semicolon;
        } else if (separator == '\t') {
            options.separator = Separator::tab;
        } else {
            return true;
        }
    }
    return next_content(lines, line);
}

Data read_lines(LineReader& lines, const std::string& source, const ReadOptions& given) {
    ReadOptions options = given;
    Collector collector(source, options.values);
    const auto at_line = [&] { return source + ", line " + std::to_string(lines.number()); };
    std::string line;
    if (!first_content(lines, line, options)) {
        return {collector.summary(), ""};
    }
    const bool header = options.header.value_or(looks_like_header(line));

    // A tab or a semicolon on the first line means a table: the plain list takes only blanks
    // and commas between its values.
    const std::string_view first_data = uncommented(line);
    const bool table = header || options.column || options.separator ||
                       first_data.find_first_of("\t;") != std::string_view::npos;
    if (!table) {
        // A plain list: every value of every line.
        do {
            std::vector<std::string> items;
            try {
                items = split_list(line);
            } catch (const DataError& error) {
                throw DataError(at_line() + ": " + error.what());
            }
            for (std::size_t i = 0; i < items.size(); ++i) {
                collector.add(items[i], at_line() + ", value " + std::to_string(i + 1));
            }
        } while (lines.next(line));
        return {collector.summary(), ""};
    }

    // One column of a table.
    const Separator separator = options.separator.value_or(detect_separator(line));
    const auto fields_of = [&](std::string_view text) {
        try {
            return split_fields(text, separator);
        } catch (const DataError& error) {
            throw DataError(at_line() + ": " + error.what());
        }
    };
    const std::vector<std::string> first = fields_of(line);
    const std::size_t first_line = lines.number();
    const std::size_t width = first.size();
    std::size_t column = 0; // from 1
    std::string name;
    const std::optional<std::size_t> number =
        options.column ? column_number(*options.column) : std::nullopt;
    if (number) {
        if (*number < 1 || *number > width) {
            throw DataError(at_line() + ": there is no column " + *options.column + "; line " +
                            std::to_string(first_line) + " has " + std::to_string(width) +
                            (width == 1 ? " column" : " columns"));
        }
        column = *number;
    } else if (options.column) {
        if (!header) {
            throw DataError(source + ": --column=" + *options.column +
                            " names a column, but line " + std::to_string(first_line) +
                            " is not a header (it has numbers): give the column's number, or "
                            "--header");
        }
        const auto it = std::find(first.begin(), first.end(), *options.column);
        if (it == first.end()) {
            throw DataError(at_line() + ": the header has no column named " +
                            quoted(*options.column) + "; its columns are " + join(first));
        }
        column = static_cast<std::size_t>(it - first.begin()) + 1;
        // Two columns of one name (a "Result" for each of two analytes): reading the first
        // would be a guess.
        const auto again = std::find(it + 1, first.end(), *options.column);
        if (again != first.end()) {
            throw DataError(at_line() + ": the header names columns " + std::to_string(column) +
                            " and " + std::to_string(again - first.begin() + 1) + " " +
                            quoted(*options.column) + ": choose one with --column=NUMBER");
        }
    } else if (width == 1) {
        column = 1;
    } else if (!header) {
        throw DataError(at_line() + ": a table of " + std::to_string(width) +
                        " columns without a header: choose one with --column=NUMBER");
    } else {
        throw DataError(at_line() + ": the header names " + std::to_string(width) + " columns (" +
                        join(first) + "): choose one with --column=NAME or --column=NUMBER");
    }
    if (header) {
        name = first[column - 1];
    }
    std::string label = "column " + std::to_string(column);
    if (!name.empty()) {
        label += " (" + quoted(name).substr(1, quoted(name).size() - 2) + ")";
    }
    SummaryRows summaries;
    const auto take = [&](const std::vector<std::string>& fields) {
        if (fields.size() != width) {
            std::string message = at_line() + ": " + std::to_string(fields.size()) +
                                  (fields.size() == 1 ? " field" : " fields") + " where line " +
                                  std::to_string(first_line) + " has " + std::to_string(width);
            if (separator == Separator::comma) {
                message += "; with commas between the fields, decimal commas are not read: "
                           "write decimal points";
            }
            throw DataError(message);
        }
        collector.add(fields[column - 1], at_line() + ", " + label);
        summaries.row(fields, column - 1, at_line(), label);
    };
    if (!header) {
        take(first);
    }
    while (lines.next(line)) {
        const std::vector<std::string> fields = fields_of(line);
        // A row of empty fields (";;;", which a spreadsheet writes for an empty row of its
        // range) is a blank line; a row with anything in it is read whole.
        const bool blank = std::all_of(fields.begin(), fields.end(),
                                       [](const std::string& field) { return field.empty(); });
        if (!blank) {
            take(fields);
        }
    }
    summaries.check();
    return {collector.summary(), label};
}

} // namespace

Data read_data(std::FILE* stream, const std::string& source, const ReadOptions& options) {
    LineReader lines(stream, source);
    return read_lines(lines, source, options);
}

Data read_data(std::string_view text, const std::string& source, const ReadOptions& options) {
    LineReader lines(text, source);
    return read_lines(lines, source, options);
}

Layout table_layout(std::string_view text, const ReadOptions& given) {
    const std::string source;
    LineReader lines(text, source);
    Layout layout;
    ReadOptions options = given;
    try {
        std::string line;
        if (!first_content(lines, line, options)) {
            return layout;
        }
        layout.header = options.header.value_or(looks_like_header(line));
        const Separator separator = options.separator.value_or(detect_separator(line));
        layout.fields = split_fields(line, separator);
        while (layout.header && layout.next.empty() && lines.next(line)) {
            layout.next = split_fields(line, separator);
        }
    } catch (const DataError&) {
        // A line that cannot be split: read_data names it.
    }
    return layout;
}

} // namespace lvlim::data
