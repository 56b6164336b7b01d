// A list of confidence levels as a user writes it: lvlim-data's --confidence ("0.9,0.95") and
// the page's field ("0.9 0.95, 0.99").
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lvlim::data {

enum class ListSeparators {
    commas,            // every comma ends an item; an empty item is not a number
    blanks_and_commas, // runs of blanks, tabs and commas end an item; nothing between is no item
};

struct ConfidenceList {
    std::vector<double> values;            // the levels read, in order, up to bad_item
    std::optional<std::string> bad_item;   // the first item that is not a finite number
};

// A whole item as a finite double (std::from_chars, the same in every locale), or nullopt.
[[nodiscard]] std::optional<double> finite_number(std::string_view item);

// Reads the items of `text` as numbers (std::from_chars, the same in every locale) up to the
// first that is not a whole finite number. The range of the levels is not checked.
[[nodiscard]] ConfidenceList read_confidence_list(std::string_view text,
                                                  ListSeparators separators);

// The message for a level that is not strictly between 0 and 1, or nullopt for one that is:
// "the confidence must lie strictly between 0 and 1, not 1.5".
[[nodiscard]] std::optional<std::string> confidence_refused(double level);

// The message for an item that is not a number: "invalid confidence '0,95x'".
[[nodiscard]] std::string invalid_confidence(std::string_view item);

} // namespace lvlim::data
