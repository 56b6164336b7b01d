// Timings of the engine: the Bessel function, one evaluation of each tail function, and whole
// one-sided and two-sided runs, each at typical parameters and at the worst case the input
// ranges allow (sigma 10, nu 1000, so S = 10 and f = 1000).
//
// BM_api_limits times the same runs through the public API (range checks, confirmation of each
// limit, captured messages), for the settings bench/wasm_bench.cjs times in WebAssembly.
//
// Every benchmark puts the control block back to its defaults first, and the two-sided searches
// write their console messages into a stream that discards them.
#include <cmath>
#include <ostream>
#include <streambuf>

#include <benchmark/benchmark.h>

#include "Guts/control.hpp"
#include "Guts/mainguts.hpp"
#include "Guts/messages.hpp"
#include "lvlim/lvlim.hpp"

namespace {

// A stream buffer that accepts and drops every character.
class DiscardBuffer : public std::streambuf {
  protected:
    int_type overflow(int_type ch) override { return traits_type::not_eof(ch); }
    std::streamsize xsputn(const char_type* /*text*/, std::streamsize count) override {
        return count;
    }
};

// Points the engine's messages at a discarding stream for the whole program.
std::ostream& discard_stream() {
    static DiscardBuffer buffer;
    static std::ostream stream(&buffer);
    return stream;
}

void quiet_defaults() {
    lvlim::engine_messages = &discard_stream();
    lvlim::set_control_defaults();
}

// ---- The input records ----------------------------------------------------------------------

struct Record {
    double mu;
    double sigma;
    double nu;
    double alpha;
    double lambda;
    double gammasquared;
};

// The lognormal example: 21 measurements whose logs have mean 3.1 and deviation 1.2.
constexpr Record lognormal{3.1, 1.2, 20.0, 0.95, 0.5, 21.0};
// The worst case: the largest sigma and nu, for the lognormal mean (S = 10, f = 1000).
constexpr Record worst{3.1, 10.0, 1000.0, 0.95, 0.5, 1001.0};

struct TwoSidedResult {
    double lower;
    double standard_lower;
    double upper;
    double standard_upper;
    int iterations_lower;
    int iterations_upper;
};

TwoSidedResult run_twotail(const Record& r) {
    TwoSidedResult out{};
    double time = 0.0;
    lvlim::twotail(r.mu, r.sigma, r.nu, r.alpha, r.lambda, r.gammasquared,
                   lvlim::default_bessel_arg_top, lvlim::default_tolerance,
                   lvlim::default_result_tol, lvlim::default_maximum_iterations, out.lower,
                   out.standard_lower, out.upper, out.standard_upper, time,
                   out.iterations_lower, out.iterations_upper);
    return out;
}

// ---- besseli --------------------------------------------------------------------------------

// The engine asks for the exponentially scaled function (flag 2).
void BM_besseli(benchmark::State& state, double x, double order) {
    quiet_defaults();
    const int scaled = 2;
    for (auto _ : state) {
        benchmark::DoNotOptimize(x);
        benchmark::DoNotOptimize(order);
        double value = lvlim::besseli(x, order, scaled);
        benchmark::DoNotOptimize(value);
    }
}
BENCHMARK_CAPTURE(BM_besseli, small_x1_v0_5, 1.0, 0.5);
BENCHMARK_CAPTURE(BM_besseli, small_x1_v9_5, 1.0, 9.5);
BENCHMARK_CAPTURE(BM_besseli, large_x800_v499_5, 800.0, 499.5);
BENCHMARK_CAPTURE(BM_besseli, large_x800_v500_5, 800.0, 500.5);

// ---- The one-sided tail function -------------------------------------------------------------

// BesselArgTop 0 forces quadrature for the denominator. At the worst case the Bessel argument
// (f + 1) B is far above 800, so quadrature is used with either value.
void BM_newgadap(benchmark::State& state, double theta, double f, double S, double top) {
    quiet_defaults();
    const double lg = lvlim::dlgama(f * 0.5);
    for (auto _ : state) {
        benchmark::DoNotOptimize(theta);
        double value = lvlim::newgadap(theta, f, S, top, lg);
        benchmark::DoNotOptimize(value);
    }
}
BENCHMARK_CAPTURE(BM_newgadap, typical_f20_S1, 0.55, 20.0, 1.0, 800.0);
BENCHMARK_CAPTURE(BM_newgadap, typical_f20_S1_quadrature, 0.55, 20.0, 1.0, 0.0);
BENCHMARK_CAPTURE(BM_newgadap, worst_f1000_S10, 50.5, 1000.0, 10.0, 800.0);
BENCHMARK_CAPTURE(BM_newgadap, worst_f1000_S10_quadrature, 50.5, 1000.0, 10.0, 0.0);

// ---- The two-sided tail function -------------------------------------------------------------

void two_sided_tail(benchmark::State& state, double theta, int which, double f, double S,
                    double top) {
    const double a = 0.95;
    const double lg = lvlim::dlgama(f * 0.5);
    for (auto _ : state) {
        benchmark::DoNotOptimize(theta);
        int failed = 0;
        double value = lvlim::twotailedg(theta, a, which, f, S, top, lg, failed);
        benchmark::DoNotOptimize(value);
        benchmark::DoNotOptimize(failed);
    }
}

void BM_twotailedg(benchmark::State& state, double theta, int which) {
    quiet_defaults();
    two_sided_tail(state, theta, which, 20.0, 1.0, lvlim::default_bessel_arg_top);
}
BENCHMARK_CAPTURE(BM_twotailedg, typical_f20_S1_lower, 0.0, 1);
BENCHMARK_CAPTURE(BM_twotailedg, typical_f20_S1_upper, 1.5, 2);

// The worst case at the roots the two-sided search ends on: twotail runs once, and its
// standardized limits k become theta = S k / sqrt(f) + S^2 / 2.
void BM_twotailedg_worst(benchmark::State& state, int which, double top) {
    quiet_defaults();
    const TwoSidedResult limits = run_twotail(worst);
    lvlim::set_control_defaults();
    const double f = worst.nu;
    const double S = 2.0 * worst.lambda * std::sqrt(worst.gammasquared) * worst.sigma /
                     std::sqrt(worst.nu + 1.0);
    const double k = which == 1 ? limits.standard_lower : limits.standard_upper;
    const double theta = S * k / std::sqrt(f) + S * S / 2.0;
    state.counters["theta"] = theta;
    two_sided_tail(state, theta, which, f, S, top);
}
BENCHMARK_CAPTURE(BM_twotailedg_worst, worst_f1000_S10_lower, 1, 800.0);
BENCHMARK_CAPTURE(BM_twotailedg_worst, worst_f1000_S10_upper, 2, 800.0);

// ---- Whole runs -----------------------------------------------------------------------------

void BM_onetail(benchmark::State& state, const Record& r, int which_limit) {
    quiet_defaults();
    for (auto _ : state) {
        lvlim::set_control_defaults();
        double standard = 0.0;
        double limit = 0.0;
        double time = 0.0;
        int iterations = 0;
        lvlim::onetail(which_limit, r.mu, r.sigma, r.nu, r.alpha, r.lambda, r.gammasquared,
                       lvlim::default_bessel_arg_top, lvlim::default_tolerance,
                       lvlim::default_result_tol, lvlim::default_maximum_iterations, standard,
                       limit, time, iterations);
        benchmark::DoNotOptimize(standard);
        benchmark::DoNotOptimize(limit);
        benchmark::DoNotOptimize(iterations);
    }
}
BENCHMARK_CAPTURE(BM_onetail, lognormal_upper, lognormal, 1)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_onetail, lognormal_lower, lognormal, 2)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_onetail, worst_upper, worst, 1)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_onetail, worst_lower, worst, 2)->Unit(benchmark::kMicrosecond);

void BM_twotail(benchmark::State& state, const Record& r) {
    quiet_defaults();
    for (auto _ : state) {
        lvlim::set_control_defaults();
        TwoSidedResult limits = run_twotail(r);
        benchmark::DoNotOptimize(limits);
    }
}
BENCHMARK_CAPTURE(BM_twotail, lognormal, lognormal)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_twotail, worst, worst)->Unit(benchmark::kMicrosecond);

// ---- Whole runs through the public API -------------------------------------------------------

// A cell of the page's table: n measurements, log standard deviation sigma, log mean 0, at the
// default controls, exactly as the page's tableCell asks for it. The status of the last call is
// reported as the counter "search_failed" (1 when the limits were not confirmed).
void BM_api_limits(benchmark::State& state, double n, double sigma, lvlim::Kind kind) {
    quiet_defaults();
    const lvlim::Setting setting{0.0, sigma, n - 1.0, n, 0.5};
    lvlim::Status status = lvlim::Status::ok;
    for (auto _ : state) {
        lvlim::Limits result = lvlim::limits(setting, kind, 0.95);
        status = result.status;
        benchmark::DoNotOptimize(result);
    }
    state.counters["search_failed"] = status == lvlim::Status::search_failed ? 1.0 : 0.0;
}
BENCHMARK_CAPTURE(BM_api_limits, lognormal_upper, 21.0, 1.2, lvlim::Kind::upper)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_api_limits, lognormal_lower, 21.0, 1.2, lvlim::Kind::lower)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_api_limits, worst_upper, 1001.0, 10.0, lvlim::Kind::upper)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_api_limits, worst_lower, 1001.0, 10.0, lvlim::Kind::lower)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_api_limits, twotail_lognormal, 21.0, 1.2, lvlim::Kind::two_sided)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_api_limits, twotail_worst, 1001.0, 10.0, lvlim::Kind::two_sided)
    ->Unit(benchmark::kMicrosecond);

} // namespace
