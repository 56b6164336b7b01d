// Timings of lvlim-table's streamed computation: cells per second on 1 and 2 worker threads for
// one-sided and two-sided tables over the old range of the axes and the extended one.
#include <atomic>
#include <string>

#include <benchmark/benchmark.h>

#include "apps/lvlim-table/options.hpp"
#include "apps/lvlim-table/runner.hpp"
#include "measurements/value_lists.hpp"

namespace {

namespace table = lvlim::table;

// A 10 x 10 table, both axes spaced evenly in the logarithm, lambda 0.5, gammasquared nu + 1.
table::Options table_options(lvlim::Kind kind, const char* sigmas, const char* nus) {
    table::Options options;
    options.kind = kind;
    options.sigmas = *table::parse_values(sigmas);
    options.nus = *table::parse_values(nus);
    return options;
}

void run_table(benchmark::State& state, lvlim::Kind kind, const char* sigmas, const char* nus) {
    const table::Options options = table_options(kind, sigmas, nus);
    const auto threads = static_cast<unsigned>(state.range(0));
    const std::atomic<bool> stop{false};
    std::uint64_t cells = 0;
    for (auto _ : state) {
        const auto result = table::run(
            options, threads, stop,
            [](const table::Cell& cell) {
                benchmark::DoNotOptimize(cell.k);
                return true;
            },
            [](std::uint64_t, std::uint64_t) {});
        cells += result.written;
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(cells));
}

void BM_table_upper(benchmark::State& state) {
    run_table(state, lvlim::Kind::upper, "0.1:10:10:log", "2:1000:10:log");
}
void BM_table_two_sided(benchmark::State& state) {
    run_table(state, lvlim::Kind::two_sided, "0.1:10:10:log", "2:1000:10:log");
}
void BM_table_upper_extended(benchmark::State& state) {
    run_table(state, lvlim::Kind::upper, "0.001:10:10:log", "2:100000:10:log");
}
void BM_table_two_sided_extended(benchmark::State& state) {
    run_table(state, lvlim::Kind::two_sided, "0.001:10:10:log", "2:100000:10:log");
}

BENCHMARK(BM_table_upper)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_table_two_sided)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_table_upper_extended)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_table_two_sided_extended)
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace
