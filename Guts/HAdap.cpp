// hadap: the standardized one-sided limit k at probability p.
//
// Two starting values for the secant search on the tail function come from a normal
// approximation: theta1 = S^2/2 is the point estimate, theta0 moves from it by a damped
// multiple of the normal quantile of p. The root theta* becomes k = sqrt(f)(theta* - S^2/2)/S.
#include <cmath>

#include "Guts/mainguts.hpp"

namespace lvlim {

namespace {
// Single-precision 0.15 widened to double: the damping of the first starting step.
constexpr double start_step_factor = static_cast<double>(0.15F);
static_assert(start_step_factor == 0.15000000596046448);

// Tolerance and iteration limit of the normal quantile behind the starting value.
constexpr double quantile_tolerance = 1.0e-4;
constexpr int quantile_iterations = 500;
} // namespace

double hadap(const double& S, const int& n, const double& p, const int& MaximumIterations,
             const double& Tolerance, const double& ResultTol, const double& BesselArgTop,
             int& count) {
    const double f = static_cast<double>(n - 1);
    const double half_f = 0.5 * f;
    const double lg = dlgama(half_f);
    const double z = norminv(p, quantile_tolerance, quantile_iterations);
    const double V = 1.0 / (f + 1.0) + S * S / (2.0 * (f + 2.0));
    const double theta0 = S * S / 2.0 + ((z * S) * std::sqrt(V)) * start_step_factor;
    const double theta1 = S * S / 2.0;
    const double q = 1.0 - p;
    double root = 0.0;
    newsecantadap(theta0, theta1, q, f, S, MaximumIterations, Tolerance, ResultTol, BesselArgTop,
                  lg, root, count);
    return std::sqrt(f) * (root - (0.5 * S) * S) / S;
}

} // namespace lvlim
