// Timings of planning a study: one power of the mean (the integral over s, an engine search at
// each node), one of the percentile (a closed form), one expected ratio, and whole sample-size
// searches over n from 3 to 1000 (build/bench/bench/planning_bench).
#include <cstddef>

#include <benchmark/benchmark.h>

#include "lvlim/lvlim.hpp"

namespace {

lvlim::PlanSetting plan(lvlim::Statistic statistic, double gsd, double ratio) {
    lvlim::PlanSetting s;
    s.log_sd = lvlim::log_sd_from_gsd(gsd);
    s.ratio = ratio;
    s.statistic = statistic;
    return s;
}

void BM_power(benchmark::State& state, lvlim::Statistic statistic, double gsd, double ratio,
              std::size_t n) {
    const lvlim::PlanSetting s = plan(statistic, gsd, ratio);
    lvlim::Status status = lvlim::Status::ok;
    for (auto _ : state) {
        const lvlim::PowerResult r = lvlim::power(n, s);
        status = r.status;
        benchmark::DoNotOptimize(r);
    }
    state.counters["search_failed"] = status == lvlim::Status::ok ? 0.0 : 1.0;
}
BENCHMARK_CAPTURE(BM_power, mean_gsd2_5_r0_5_n10, lvlim::Statistic::mean, 2.5, 0.5, 10)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_power, mean_gsd2_5_r0_5_n30, lvlim::Statistic::mean, 2.5, 0.5, 30)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_power, mean_gsd2_5_r0_5_n100, lvlim::Statistic::mean, 2.5, 0.5, 100)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_power, mean_gsd2_5_r0_5_n1000, lvlim::Statistic::mean, 2.5, 0.5, 1000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_power, mean_gsd4_r0_6_n30, lvlim::Statistic::mean, 4.0, 0.6, 30)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_power, percentile_gsd2_5_r0_5_n30, lvlim::Statistic::percentile, 2.5, 0.5,
                  30)
    ->Unit(benchmark::kMillisecond);

void BM_expected_ratio(benchmark::State& state, double gsd, std::size_t n) {
    const lvlim::PlanSetting s = plan(lvlim::Statistic::mean, gsd, 0.5);
    for (auto _ : state) {
        benchmark::DoNotOptimize(lvlim::expected_ratio(n, s));
    }
}
BENCHMARK_CAPTURE(BM_expected_ratio, gsd2_5_n30, 2.5, 30)->Unit(benchmark::kMillisecond);

void BM_sample_size(benchmark::State& state, lvlim::Statistic statistic, lvlim::Goal goal,
                    double target) {
    const lvlim::PlanSetting s = plan(statistic, 2.5, 0.5);
    std::size_t rows = 0;
    for (auto _ : state) {
        const lvlim::SampleSize r = lvlim::sample_size(s, lvlim::Target{goal, target}, 3, 1000);
        rows = r.rows.size();
        benchmark::DoNotOptimize(r);
    }
    state.counters["rows"] = static_cast<double>(rows);
}
BENCHMARK_CAPTURE(BM_sample_size, mean_power0_8_n3_1000, lvlim::Statistic::mean,
                  lvlim::Goal::power, 0.8)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_sample_size, mean_expected_ratio1_5_n3_1000, lvlim::Statistic::mean,
                  lvlim::Goal::expected_ratio, 1.5)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_sample_size, percentile_power0_8_n3_1000, lvlim::Statistic::percentile,
                  lvlim::Goal::power, 0.8)
    ->Unit(benchmark::kMillisecond);

} // namespace
