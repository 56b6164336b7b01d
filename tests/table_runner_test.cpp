// lvlim-table's runner, in process: a cell is the API's limits for its values, the cells come in
// table order whatever the threads, and a stop or a failure ends the run cleanly.
#include <atomic>
#include <cmath>
#include <cstdint>
#include <stdexcept>
#include <vector>

#include <gtest/gtest.h>

#include "apps/lvlim-table/runner.hpp"

namespace lvlim::table {
namespace {

bool same(double a, double b) {
    return (std::isnan(a) && std::isnan(b)) || a == b;
}

Options small_table(Kind kind) {
    Options options;
    options.kind = kind;
    options.alphas = {0.9, 0.99};
    options.sigmas = {0.3, 2.5};
    options.nus = {3, 40.5, 200};
    options.lambda = -0.5;
    options.gamma_offset = 3.0;
    options.mu = 1.5;
    options.controls.max_iterations = 60;
    return options;
}

TEST(TableRunner, ACellIsTheApisLimitsForItsValues) {
    for (const Kind kind : {Kind::upper, Kind::lower, Kind::two_sided}) {
        SCOPED_TRACE(to_string(kind));
        const Options options = small_table(kind);
        for (std::uint64_t index = 0; index < cell_count(options); ++index) {
            const Cell cell = compute_cell(options, index);
            // Table order: alpha slowest, nu fastest.
            EXPECT_EQ(cell.alpha, options.alphas[index / 6]);
            EXPECT_EQ(cell.sigma, options.sigmas[index / 3 % 2]);
            EXPECT_EQ(cell.nu, options.nus[index % 3]);
            const Limits api = limits(Setting{1.5, cell.sigma, cell.nu, cell.nu + 3.0, -0.5}, kind,
                                      cell.alpha, options.controls);
            EXPECT_EQ(cell.failed, api.status == Status::search_failed);
            EXPECT_EQ(cell.messages, api.messages);
            if (kind == Kind::two_sided) {
                EXPECT_TRUE(same(cell.k, api.k_lower) && same(cell.k_upper, api.k_upper));
                EXPECT_EQ(cell.iterations, api.iterations_lower);
                // A negative lambda mirrors the pair: the limit from k_lower comes first, as the
                // engine labels it, although it is the API's upper end.
                EXPECT_TRUE(same(cell.limit, api.upper) && same(cell.limit_upper, api.lower));
            } else {
                const bool upper = kind == Kind::upper;
                EXPECT_TRUE(same(cell.k, upper ? api.k_upper : api.k_lower));
                EXPECT_TRUE(same(cell.limit, upper ? api.upper : api.lower));
                EXPECT_EQ(cell.iterations, upper ? api.iterations_upper : api.iterations_lower);
            }
        }
    }
}

// The cells a run hands over, in the order it hands them.
std::vector<Cell> cells_of(const Options& options, unsigned threads, const std::atomic<bool>& stop,
                           std::uint64_t wanted, RunResult& result) {
    std::vector<Cell> cells;
    result = run(
        options, threads, stop,
        [&](const Cell& cell) {
            cells.push_back(cell);
            return cells.size() < wanted;
        },
        [](std::uint64_t done, std::uint64_t total) { EXPECT_LE(done, total); });
    return cells;
}

TEST(TableRunner, CellsComeInTableOrderWhateverTheThreads) {
    Options options = small_table(Kind::upper);
    options.sigmas = {0.01, 0.02, 0.03, 0.04, 0.05, 0.06, 0.07, 0.08, 0.09, 0.1};
    options.nus = {2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17};
    const std::atomic<bool> go{false};
    RunResult one;
    const auto serial = cells_of(options, 1, go, UINT64_MAX, one);
    ASSERT_EQ(serial.size(), cell_count(options));
    EXPECT_EQ(one.written, serial.size());
    EXPECT_FALSE(one.stopped);
    for (std::size_t i = 0; i < serial.size(); ++i) {
        EXPECT_EQ(serial[i].k, compute_cell(options, i).k) << i;
    }
    RunResult many;
    const auto parallel = cells_of(options, 5, go, UINT64_MAX, many);
    ASSERT_EQ(parallel.size(), serial.size());
    for (std::size_t i = 0; i < serial.size(); ++i) {
        EXPECT_TRUE(parallel[i].nu == serial[i].nu && parallel[i].k == serial[i].k) << i;
    }
    EXPECT_EQ(many.failed, one.failed);
}

TEST(TableRunner, AStopEndsTheRunWithAPrefix) {
    Options options = small_table(Kind::upper);
    options.sigmas.assign(40, 0.01);
    options.nus.assign(40, 2.0);
    const std::atomic<bool> go{false};
    RunResult result;
    // The consumer wants no more after 10 cells.
    EXPECT_EQ(cells_of(options, 3, go, 10, result).size(), 10U);
    EXPECT_TRUE(result.stopped);
    EXPECT_EQ(result.written, 10U);
    // Raised before the run: at most the cells already complete in order are handed over.
    const std::atomic<bool> stop{true};
    const auto cells = cells_of(options, 3, stop, UINT64_MAX, result);
    EXPECT_TRUE(result.stopped);
    EXPECT_LT(cells.size(), cell_count(options));
    EXPECT_EQ(result.written, cells.size());
}

TEST(TableRunner, AFailingConsumerEndsTheRunWithItsError) {
    const Options options = small_table(Kind::lower);
    const std::atomic<bool> go{false};
    int calls = 0;
    const auto failing = [&](const Cell&) -> bool {
        if (++calls == 3) {
            throw std::runtime_error("cannot write");
        }
        return true;
    };
    EXPECT_THROW((void)run(options, 2, go, failing, [](std::uint64_t, std::uint64_t) {}),
                 std::runtime_error);
}

} // namespace
} // namespace lvlim::table
