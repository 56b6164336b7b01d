// lvlim-table: tables of standardized confidence limits over ranges of sigma and nu.
//
// A table is computed cell by cell on worker threads and written row by row in table order
// (alpha, then sigma, then nu fastest), so that only a window of cells is held at any time,
// whatever the table's size, and its bytes do not depend on the number of threads.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "Guts/control.hpp"

namespace lvlim::table {

enum class Kind { upper = 1, lower = 2, two_sided = 3 };
enum class Format { csv, text };

// Values per range FROM:TO:COUNT at most.
inline constexpr int max_range_count = 100000;
// Tables larger than this are refused unless --max-cells allows them.
inline constexpr std::uint64_t default_max_cells = 100000000;
// Above this many cells the table announces its size and the time it will take.
inline constexpr std::uint64_t announce_cells = 1000000;
inline constexpr unsigned max_threads = 1024;

struct Options {
    Kind kind = Kind::upper;
    std::vector<double> alphas = {0.95};
    std::vector<double> sigmas = {0.1, 0.25, 0.5, 0.75, 1.0, 1.5, 2.0, 3.0, 4.0, 5.0, 7.5, 10.0};
    std::vector<double> nus = {2, 3, 4, 5, 6, 8, 10, 15, 20, 30, 50, 100, 200, 500, 1000};
    // The values of --n as given, when the nu axis came from sample sizes (nu = n - 1).
    std::optional<std::vector<double>> ns;
    double lambda = 0.5;
    // gammasquared = nu + gamma_offset when set, otherwise the fixed value.
    std::optional<double> gamma_offset = 1.0;
    double gammasquared = 0.0;
    double mu = 0.0;
    bool data_scale = false; // --mu implies it
    Format format = Format::csv;
    unsigned threads = 0; // 0: every core
    std::uint64_t max_cells = default_max_cells;
    ControlParms control{};
    bool help = false;
    bool version = false;
};

// Parses the command line; on a usage error returns the message to print.
std::optional<std::string> parse_options(const std::vector<std::string>& arguments,
                                         Options& options);

// The text of --help.
[[nodiscard]] const char* usage_text();

// A list "a,b,c" or a range "FROM:TO:COUNT" (evenly spaced) or "FROM:TO:COUNT:log"
// (logarithmically spaced). Empty when the text is neither. An evenly spaced range of decimals
// gives the doubles nearest to the exact decimal steps (0.1:3:30 gives 0.1, 0.2, ..., 3).
std::optional<std::vector<double>> parse_values(const std::string& text);

// The shortest decimal that reads back as the value ("0.1", "20"): how the table prints the
// values of its axes, in the rows and in the labels of messages.
[[nodiscard]] std::string shortest(double value);

// The number of cells, or UINT64_MAX when that does not fit.
[[nodiscard]] std::uint64_t cell_count(const Options& options);

// The gammasquared a cell runs with.
[[nodiscard]] double gammasquared_for(const Options& options, double nu);

// Checks every value against the supported range; on failure returns what is wrong.
std::optional<std::string> validate(const Options& options);

// The result of one cell, with the values the engine gives for it.
struct Cell {
    double alpha = 0.0;
    double sigma = 0.0;
    double nu = 0.0;
    double k = 0.0;       // one-sided, or the lower of a pair
    double k_upper = 0.0; // two-sided only
    double limit = 0.0;   // LowerConfidenceLimit of a pair
    double limit_upper = 0.0;
    int iterations = 0;
    int iterations_upper = 0;
    bool failed = false;               // a search did not converge
    std::vector<std::string> messages; // what the cell's searches reported, a line each
};

// The cell at `index` in table order.
[[nodiscard]] Cell compute_cell(const Options& options, std::uint64_t index);

// Cells per second on `threads` threads, measured on `samples` cells spread over the table.
[[nodiscard]] double measure_rate(const Options& options, unsigned threads, std::size_t samples,
                                  const std::atomic<bool>& stop);

struct RunResult {
    std::uint64_t written = 0; // cells handed to on_cell, in table order
    std::uint64_t failed = 0;  // of those, cells whose search failed
    bool stopped = false;      // `stop` was raised or on_cell returned false
};

// Computes the table on `threads` worker threads and hands each cell to `on_cell` on the
// calling thread, in table order, as soon as it and every cell before it are complete; at most a
// window of cells is held. `on_tick(done, total)` is called about ten times a second with the
// cells computed so far. When `stop` is raised (or on_cell returns false) the workers take no
// new cells, the cells already complete in order are still handed over, and the run returns.
RunResult run(const Options& options, unsigned threads, const std::atomic<bool>& stop,
              const std::function<bool(const Cell&)>& on_cell,
              const std::function<void(std::uint64_t done, std::uint64_t total)>& on_tick);

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
