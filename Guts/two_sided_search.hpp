// Pieces shared by the two root finders of the two-sided limits.
#pragma once

#include <algorithm>

#include "Guts/mainguts.hpp"

namespace lvlim::detail {

// Single-precision step constants widened to double, as the searches have always stepped.
inline constexpr double downward_step = static_cast<double>(0.1F); // 0.10000000149011612
inline constexpr double upward_ratio = static_cast<double>(0.01F); // 0.009999999776482582
static_assert(downward_step == 0.10000000149011612);
static_assert(upward_ratio == 0.009999999776482582);

// A residual at or below this marks a failed evaluation that the loops stop on.
inline constexpr double failed_residual = -90000.0;

// Evaluations one bracket-expansion phase may make. If the tail function never crosses the
// target, the phase ends there and the search is handed over as a failed one; so it does, at
// once, when a step no longer moves the end (a fixed step lost against a huge value, or the
// midpoints after failed evaluations closing in on a point). The searches' own iteration
// ceiling (control.hpp) is the same, so this is 1000.
inline constexpr int minimum_expansion_limit = 1000;
[[nodiscard]] inline int expansion_limit(int maximum_iterations) {
    return std::max(maximum_iterations, minimum_expansion_limit);
}

// The residual G(theta) - a of one evaluation; evalFailed receives its failure flag.
[[nodiscard]] inline double two_sided_residual(double theta, const double& a, const int& which,
                                               const double& f, const double& S,
                                               const double& BesselArgTop, const double& lg,
                                               int& evalFailed) {
    return twotailedg(theta, a, which, f, S, BesselArgTop, lg, evalFailed) - a;
}

// The next point of an expansion phase: the plain step until an evaluation fails, then the
// midpoint of the last point that evaluated and the last one that failed.
class ExpansionPoints {
  public:
    explicit ExpansionPoints(double start) : last_good_(start), last_failed_(start) {}

    [[nodiscard]] double next(double plain_step) const {
        return midpoint_ ? (last_good_ + last_failed_) * 0.5 : plain_step;
    }
    void record(double x, bool failed) {
        if (failed) {
            last_failed_ = x;
            midpoint_ = true;
        } else {
            last_good_ = x;
        }
    }

  private:
    double last_good_;
    double last_failed_;
    bool midpoint_ = false;
};

} // namespace lvlim::detail
