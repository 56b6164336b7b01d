// lvlim-table's cells, computed in parallel and handed over in table order.
//
// A table is computed cell by cell on worker threads and handed over in table order (alpha,
// then sigma, then nu fastest), so that only a window of cells is held at any time, whatever the
// table's size, and its bytes do not depend on the number of threads. Every cell is one call of
// the public API (lvlim::limits) with the table's values and control values, so a cell is what
// lvlim computes for a record with the same values; the API captures the messages of the cell's
// searches and says whether they converged.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "apps/lvlim-table/options.hpp"

namespace lvlim::table {

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

} // namespace lvlim::table
