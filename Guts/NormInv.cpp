// Inverse of the standard normal distribution function.
//
// Method: a starting pair stepped out from 1.0 in steps of 0.1, then a plain secant
// iteration on h(x) = g(x) - p, where g is Phi by AS 66 (I. D. Hill, Applied Statistics
// 22(3), 1973, pp. 424-427).
//
// Purpose: the x with g(x) = p.
// Input:   p, the probability; tol, the convergence tolerance on successive iterates;
//          maxit, the iteration limit (the count starts at 2, so at most maxit - 1 secant
//          steps are taken).
// Output:  the last secant iterate; with maxit below 2, the upper starting point b.
// Failure: norminv_failed (-99999.0) unless 0 < p < 1; nothing is evaluated then. Reaching
//          the iteration limit, or two equal values of h, returns the current iterate
//          without a flag.
//
// Changes in translation:
//   - The step 0.1 is a single-precision constant in the original, widened to double
//     (0.10000000149011612) and subtracted from or added to the double starting point.
//   - The secant keeps the last two iterates, not a bracket, and does not test the size
//     of h; far in the tails the result can stay at the stepped starting point (for
//     p = 1e-12 about -7.1 against the true -7.03).
//   - With maxit below 2 no secant step is taken and b is returned.
//   - A NaN p is not rejected; the engine never passes one.

#include <cmath>

#include "Guts/mainguts.hpp"

namespace lvlim {

namespace {

// The starting-point step: single precision in the original, widened to double.
constexpr double start_step = static_cast<double>(0.1F);
static_assert(start_step == 0.10000000149011612);

constexpr double start_point = 1.0; // both starting points are stepped out from here

} // namespace

double norminv(const double& p, const double& tol, const int& maxit) {
    if (p <= 0.0 || p >= 1.0) {
        return norminv_failed;
    }
    const auto h = [&p](const double& x) { return g(x) - p; };

    // Lower starting point: the first a, going down, with g(a) < p.
    double a = start_point;
    while (h(a) >= 0.0) {
        a = a - start_step;
    }
    // Upper starting point: the first b, going up, with g(b) > p.
    double b = start_point;
    while (h(b) <= 0.0) {
        b = b + start_step;
    }

    double fa = h(a);
    double fb = h(b);
    int counter = 2;
    double result = b;
    while (counter <= maxit) {
        if (fb - fa == 0.0) {
            result = b;
            break;
        }
        const double x = b - fb * (b - a) / (fb - fa);
        result = x;
        if (std::abs(x - b) <= tol) {
            break;
        }
        counter = counter + 1;
        a = b;
        fa = fb;
        b = x;
        fb = h(x);
    }
    return result;
}

} // namespace lvlim
