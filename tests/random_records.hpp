// Random input records over the validated input space, from a deterministic generator.
//
// alpha in (0, 1) with values near 0 and 1, sigma in [0.1, 10], nu in [2, 1000] with
// fractional values, lambda positive, negative and tiny, gammasquared from tiny to large, every
// limit kind including values outside 1 to 3, and (in 40% of the records) control values from
// the defaults to hostile ones.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>

namespace lvlim::test {

// A small deterministic generator (SplitMix64), so the records are the same on every platform.
class Records {
  public:
    explicit Records(std::uint64_t seed) : state_(seed) {}

    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30U)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27U)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31U);
    }
    // Uniform in [0, 1).
    double uniform() { return static_cast<double>(next() >> 11U) * 0x1.0p-53; }
    double uniform(double lo, double hi) { return lo + (hi - lo) * uniform(); }
    double log_uniform(double lo, double hi) {
        return std::exp(uniform(std::log(lo), std::log(hi)));
    }
    template <class T, std::size_t N> T pick(const std::array<T, N>& values) {
        return values[static_cast<std::size_t>(next() % N)];
    }
    bool chance(double p) { return uniform() < p; }

  private:
    std::uint64_t state_;
};

struct Record {
    std::string text;
    bool default_controls;
};

inline std::string number(double value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.17g", value);
    return buffer;
}

inline Record make_record(Records& r) {
    const int which = r.chance(0.85) ? r.pick(std::array{1, 2, 3}) : r.pick(std::array{0, -5, 4, 7, 100});
    double alpha = 0.0;
    switch (r.next() % 4) {
    case 0: alpha = r.uniform(1e-9, 1.0 - 1e-9); break;
    case 1: alpha = std::pow(10.0, -r.uniform(1.0, 12.0)); break;
    case 2: alpha = 1.0 - std::pow(10.0, -r.uniform(1.0, 12.0)); break;
    default: alpha = r.pick(std::array{0.5, 0.8, 0.9, 0.95, 0.975, 0.99, 0.999}); break;
    }
    const double sigma = r.chance(0.1) ? r.pick(std::array{0.1, 10.0}) : r.log_uniform(0.1, 10.0);
    double nu = 0.0;
    switch (r.next() % 4) {
    case 0: nu = std::floor(r.uniform(2.0, 1001.0)); break;
    case 1: nu = r.uniform(2.0, 1000.0); break;
    case 2: nu = r.pick(std::array{2.0, 2.5, 3.0, 50.0, 51.0, 99.0, 100.0, 999.5, 1000.0}); break;
    default: nu = std::floor(r.log_uniform(2.0, 1000.0)); break;
    }
    double lambda = 0.5;
    switch (r.next() % 5) {
    case 0: lambda = -0.5; break;
    case 1: lambda = r.uniform(-3.0, 3.0); break;
    case 2: lambda = r.log_uniform(1e-6, 1e-2) * (r.chance(0.5) ? 1.0 : -1.0); break;
    default: break;
    }
    double gammasquared = nu + 1.0;
    if (r.chance(0.3)) {
        gammasquared = r.log_uniform(1e-6, 1e6);
    }
    const double mu = r.uniform(-10.0, 10.0);

    std::string text = std::to_string(which) + " " + number(alpha) + " " + number(lambda) + " " +
                       number(sigma) + " " + number(nu) + " " + number(mu) + " " +
                       number(gammasquared);
    const bool default_controls = r.chance(0.6);
    if (default_controls) {
        return {text + " /\n", true};
    }
    const int iterations = r.pick(std::array{0, 1, 2, 5, 50, 200, 1000, 100000, 2147483647});
    const double argtop = r.pick(std::array{800.0, 0.0, -5.0, 100.0, 799.5});
    const double tolerance = r.pick(std::array{1e-8, 0.0, -1.0, 1e-15, 1e-300, 1.0, 1e3});
    const double result_tol = r.pick(std::array{-1.0, 0.0, 1e-9, 1.0});
    return {text + " " + std::to_string(iterations) + " " + number(argtop) + " " +
                number(tolerance) + " " + number(result_tol) + "\n",
            false};
}

} // namespace lvlim::test
