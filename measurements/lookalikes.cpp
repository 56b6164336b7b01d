#include "measurements/lookalikes.hpp"

namespace lvlim::data {

namespace {

constexpr Lookalike lookalikes[] = {
    {"\xC2\xA0", "a non-breaking space (U+00A0)", " "},
    {"\xE2\x80\xAF", "a narrow non-breaking space (U+202F)", " "},
    {"\xE2\x80\x87", "a figure space (U+2007)", " "},
    {"\xE2\x80\x89", "a thin space (U+2009)", " "},
    {"\xE2\x88\x92", "a Unicode minus sign (U+2212)", "-"},
};

} // namespace

FoundLookalike find_lookalike(std::string_view text) {
    FoundLookalike first;
    for (const Lookalike& l : lookalikes) {
        const std::size_t at = text.find(l.bytes);
        if (at != std::string_view::npos && (first.what == nullptr || at < first.at)) {
            first = {&l, at};
        }
    }
    return first;
}

std::string without_lookalikes(std::string_view text) {
    std::string out(text);
    for (const Lookalike& l : lookalikes) {
        for (std::size_t at = out.find(l.bytes); at != std::string::npos;
             at = out.find(l.bytes, at + l.replacement.size())) {
            out.replace(at, l.bytes.size(), l.replacement);
        }
    }
    return out;
}

} // namespace lvlim::data
