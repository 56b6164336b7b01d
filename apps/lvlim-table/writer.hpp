// lvlim-table's two layouts of a table, written cell by cell in table order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

#include "apps/lvlim-table/options.hpp"
#include "apps/lvlim-table/runner.hpp"

namespace lvlim::table {

// Writes the cells of a table, in table order, in either layout.
//
// CSV: a header line, then a line per cell ending in its status ("ok" or "search failed").
// Text: a block per confidence level (and side of a pair, and scale), sigma down the side and nu
// across; a failed cell's value is marked with `failed_mark`, and a block with marks ends with a
// legend. The first block of a level is written as its rows complete; the others of the same
// level are kept in temporary files until the level is complete.
class Writer {
  public:
    Writer(std::ostream& out, const Options& options);
    ~Writer();
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    // Writes the cell's row; the blocks of a level held back follow its last cell. A level cut
    // short (by an interrupt) keeps only the rows of its first block.
    void cell(const Cell& cell);

    // Ends a table cut short: a level with marks in its written rows gets its legend.
    void finish();

    static constexpr char failed_mark = '*';

  private:
    struct Block {
        std::string title;
        double Cell::*value;
        std::FILE* held; // null for the first block of a level, which goes straight out
        std::string line;
    };
    void begin_level(std::size_t alpha_index);
    void end_level();
    void put(Block& block, const std::string& text);

    std::ostream& out_;
    const Options& options_;
    std::vector<Block> blocks_;
    std::size_t width_ = 0; // of every text column, labels and values alike
    std::uint64_t index_ = 0;
    bool level_failed_ = false; // a written row of the level has a mark
    bool row_failed_ = false;   // the row being built has a mark
    bool first_block_ = true;
};

// A double as lvlim prints it, without the leading blank and sign position ("2.84838639").
[[nodiscard]] std::string value_text(double value);

} // namespace lvlim::table
