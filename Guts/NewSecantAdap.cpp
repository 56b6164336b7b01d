// newsecantadap: the secant search for the root of d(theta) = newgadap(theta) - q.
//
// The counter c counts the two starting values and every secant step that did not end the
// search. A step ends the search only when both the step |theta2 - theta1| <= Tolerance and
// the residual |d2| < ResultTol are small, so a negative ResultTol (the default -1) leaves only
// exact stagnation, the iteration limit or a failure of the tail function. The root is always
// the newest iterate.
#include <cmath>

#include "Guts/mainguts.hpp"

namespace lvlim {

namespace {
// A residual at or below this marks a failed tail-function evaluation (newgadap_failed - q).
constexpr double failed_residual = -9000.0;
} // namespace

void newsecantadap(const double& theta0, const double& theta1, const double& q, const double& f,
                   const double& S, const int& MaximumIterations, const double& Tolerance,
                   const double& ResultTol, const double& BesselArgTop, const double& lg,
                   double& root, int& count) {
    const int limit = effective_iterations(MaximumIterations);
    double t0 = theta0;
    double t1 = theta1;
    double d0 = newgadap(t0, f, S, BesselArgTop, lg) - q;
    int c = 2;
    double d1 = newgadap(t1, f, S, BesselArgTop, lg) - q;
    // With no secant step at all (MaximumIterations below 2, or a failure at theta1) the
    // second starting value is the root.
    root = t1;
    while (c <= limit && d1 > failed_residual) {
        if (d1 - d0 == 0.0) {
            root = t1; // stagnation: two residuals equal to the last bit
            break;
        }
        const double t2 = t1 - d1 * (t1 - t0) / (d1 - d0);
        const double d2 = newgadap(t2, f, S, BesselArgTop, lg) - q;
        if (std::fabs(t2 - t1) <= Tolerance && std::fabs(d2) < ResultTol) {
            root = t2;
            break;
        }
        c = c + 1;
        t0 = t1;
        d0 = d1;
        t1 = t2;
        d1 = d2;
        root = t1;
    }
    count = c;
}

} // namespace lvlim
