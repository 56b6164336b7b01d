// A sweep over the validated input space: random records (fixed seed) through whole runs, each
// of which must end, within a stated bound, with a well-formed record.
//
// The records span alpha in (0, 1) with values near 0 and 1, sigma in [0.1, 10], nu in
// [2, 1000] with fractional values, lambda positive, negative and tiny, gammasquared from tiny
// to large, every limit kind including values outside 1 to 3, and control values from the
// defaults to hostile ones. LVLIM_SWEEP_RECORDS sets the number of records (the quick sweep of
// the regular suite takes 300; `ctest --preset sweep` runs the full one).
//
// Bound: every run ends within `run_bound_seconds` (a hang guard, not a performance test); the
// slowest runs are listed, for runs with the default control values and for all runs.
#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "driver/run.hpp"
#include "tests/random_records.hpp"
#include "tests/record_format.hpp"

namespace lvlim {
namespace {

using test::make_record;
using test::Record;
using test::Records;

constexpr double run_bound_seconds = 10.0;

struct Timed {
    double seconds;
    std::string record;
};

TEST(Sweep, RandomValidatedRecordsEndWellFormed) {
    const char* requested = std::getenv("LVLIM_SWEEP_RECORDS");
    const int count = requested != nullptr ? std::atoi(requested) : 300;
    Records r(20261207);
    std::vector<Timed> all;
    std::vector<Timed> defaults;
    for (int i = 0; i < count; ++i) {
        const Record record = make_record(r);
        std::istringstream in(record.text);
        std::ostringstream out;
        std::ostringstream err;
        const auto start = std::chrono::steady_clock::now();
        const int status = run(in, out, err);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        SCOPED_TRACE(record.text);
        EXPECT_EQ(status, 0);
        EXPECT_EQ(test::output_fault(out.str(), err.str()), "") << out.str() << err.str();
        EXPECT_LT(seconds, run_bound_seconds);
        all.push_back({seconds, record.text});
        if (record.default_controls) {
            defaults.push_back({seconds, record.text});
        }
    }
    const auto report = [](const char* title, std::vector<Timed> runs) {
        std::sort(runs.begin(), runs.end(),
                  [](const Timed& a, const Timed& b) { return a.seconds > b.seconds; });
        std::printf("%s: %zu runs, slowest:\n", title, runs.size());
        for (std::size_t i = 0; i < std::min<std::size_t>(5, runs.size()); ++i) {
            std::printf("  %8.3f s  %s", runs[i].seconds, runs[i].record.c_str());
        }
    };
    report("default control values", defaults);
    report("all records", all);
}

} // namespace
} // namespace lvlim
