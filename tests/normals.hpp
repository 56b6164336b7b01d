// Standard normal deviates the same on every platform: std::mt19937_64 (whose output the
// standard fixes), 53-bit uniforms, Box-Muller.
#pragma once

#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>

namespace lvlim::test {

class Normals {
  public:
    explicit Normals(std::uint64_t seed) : engine_(seed) {}
    // Uniform in [0, 1).
    double uniform() { return static_cast<double>(engine_() >> 11U) * 0x1.0p-53; }
    double next() {
        if (has_spare_) {
            has_spare_ = false;
            return spare_;
        }
        const double u1 = 1.0 - uniform(); // (0, 1]
        const double u2 = uniform();
        const double radius = std::sqrt(-2.0 * std::log(u1));
        const double angle = 2.0 * std::numbers::pi * u2;
        spare_ = radius * std::sin(angle);
        has_spare_ = true;
        return radius * std::cos(angle);
    }

  private:
    std::mt19937_64 engine_;
    double spare_ = 0.0;
    bool has_spare_ = false;
};

} // namespace lvlim::test
