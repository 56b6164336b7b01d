#include "measurements/confidence_list.hpp"

#include <charconv>
#include <cmath>
#include <system_error>

#include "common/number_text.hpp"

namespace lvlim::data {

namespace {

[[nodiscard]] bool ends_item(char c, ListSeparators separators) {
    return c == ',' || (separators == ListSeparators::blanks_and_commas && (c == ' ' || c == '\t'));
}

} // namespace

std::optional<double> finite_number(std::string_view item) {
    double value = 0.0;
    const char* const end = item.data() + item.size();
    const auto [ptr, ec] = std::from_chars(item.data(), end, value);
    if (item.empty() || ec != std::errc{} || ptr != end || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

ConfidenceList read_confidence_list(std::string_view text, ListSeparators separators) {
    ConfidenceList out;
    const bool skip_empty = separators == ListSeparators::blanks_and_commas;
    std::size_t from = 0;
    for (;;) {
        while (skip_empty && from < text.size() && ends_item(text[from], separators)) {
            ++from;
        }
        if (skip_empty && from == text.size()) {
            return out;
        }
        std::size_t end = from;
        while (end < text.size() && !ends_item(text[end], separators)) {
            ++end;
        }
        const std::string_view item = text.substr(from, end - from);
        const std::optional<double> level = finite_number(item);
        if (!level) {
            out.bad_item = std::string(item);
            return out;
        }
        out.values.push_back(*level);
        if (end == text.size()) {
            return out;
        }
        from = end + 1;
    }
}

std::optional<std::string> confidence_refused(double level) {
    if (level > 0.0 && level < 1.0) {
        return std::nullopt;
    }
    return "the confidence must lie strictly between 0 and 1, not " +
           number_text::shortest(level);
}

std::string invalid_confidence(std::string_view item) {
    std::string text = "invalid confidence '";
    text += item;
    text += '\'';
    return text;
}

} // namespace lvlim::data
