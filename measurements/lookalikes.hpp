// Characters that look like blanks or minus signs but are neither, as spreadsheets and web pages
// write them: a non-breaking space between thousands or between values, a typographic minus.
// A value holding one is refused with a message that names the character.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace lvlim::data {

struct Lookalike {
    std::string_view bytes;       // in UTF-8
    std::string_view name;        // "a non-breaking space (U+00A0)"
    std::string_view replacement; // what it looks like: " " or "-"
};

struct FoundLookalike {
    const Lookalike* what = nullptr; // null: none
    std::size_t at = 0;              // the byte where it starts
};

// The first lookalike in `text`.
[[nodiscard]] FoundLookalike find_lookalike(std::string_view text);

// `text` with every lookalike replaced by what it looks like.
[[nodiscard]] std::string without_lookalikes(std::string_view text);

} // namespace lvlim::data
