// twotailedsecantbisection: the secant search for G(theta) = a with bracketing and bisection
// safeguards.
//
// The bracket [x0, x1] is ordered so that d0 = G(x0) - a <= d1; it is expanded downward in
// fixed steps while d0 > 0 and upward in steps of 1% of |x1| while d1 < 0 (G - a increases
// with theta near the root). The secant steps then keep the bracket, falling back to its
// midpoint when a step leaves it. The search converges when the bracket is at most Tolerance
// wide (returning x0, whose residual is not positive) or a residual is at most ResultTol
// (returning that point). An iteration limit, a failed evaluation, or an expansion that does
// not cross the target hands the search to twotailedonlybisection.
//
// The count is 2 for the starting values, plus one per expansion evaluation and per secant
// step; when the fallback runs, the fallback's own count is reported.
#include <cmath>

#include "Guts/mainguts.hpp"
#include "Guts/messages.hpp"
#include "Guts/two_sided_search.hpp"
#include "common/list_output.hpp"

namespace lvlim {

namespace {
// Single-precision -9999.9 widened to double: the residual put in after an exact tie.
constexpr double tie_residual = static_cast<double>(-9999.9F);
static_assert(tie_residual == -9999.900390625);
} // namespace

void twotailedsecantbisection(const int& which, double& root, const double& p0, const double& p1,
                              const double& a, const double& f, const double& S,
                              const int& MaximumIterations, const double& Tolerance,
                              const double& ResultTol, const double& BesselArgTop,
                              int& iterations, const double& lg) {
    using detail::two_sided_residual;
    int evalFailed = 0;
    const auto G = [&](double theta) {
        return two_sided_residual(theta, a, which, f, S, BesselArgTop, lg, evalFailed);
    };
    const int limit = effective_iterations(MaximumIterations);
    const int expansion_limit = detail::expansion_limit(limit);

    double x0 = p0;
    double x1 = p1;
    double d0 = G(p0);
    double d1 = G(p1);
    int i = 2;
    if (d1 < d0) {
        std::swap(x0, x1);
        std::swap(d0, d1);
    }

    // Move the lower end down until its residual is not positive.
    bool expanded = true;
    {
        detail::ExpansionPoints points(x0);
        int evaluations = 0;
        while (d0 > 0.0) {
            const double next = points.next(x0 - detail::downward_step);
            if (evaluations == expansion_limit || next == x0) {
                expanded = false; // out of evaluations, or the step no longer moves the end
                break;
            }
            ++evaluations;
            i = i + 1;
            x0 = next;
            d0 = G(x0);
            points.record(x0, evalFailed != 0);
        }
    }
    // Move the upper end up until its residual is not negative.
    evalFailed = 0;
    if (expanded) {
        detail::ExpansionPoints points(x1);
        int evaluations = 0;
        while (d1 < 0.0) {
            const double next = points.next(x1 + detail::upward_ratio * std::fabs(x1));
            if (evaluations == expansion_limit || next == x1) {
                expanded = false;
                break;
            }
            ++evaluations;
            i = i + 1;
            x1 = next;
            d1 = G(x1);
            points.record(x1, evalFailed != 0);
        }
    }

    if (expanded) {
        double x2 = x1;
        double d2 = ResultTol + 1.0; // no residual test before the first secant step
        bool tied = false;
        // cppcheck-suppress knownConditionTrueFalse ; G (a lambda) sets evalFailed
        while (i <= limit && d1 > detail::failed_residual && evalFailed == 0) {
            if (d1 - d0 == 0.0) {
                ListRecord(message_stream()).text("q1-q0=machine 0 in SecantBis...");
                if (tied) {
                    break; // a second tie in a row: no step can be taken, treat as failed
                }
                tied = true;
                x2 = x1;
                d1 = tie_residual;
                continue;
            }
            tied = false;
            if (std::fabs(x0 - x1) <= Tolerance || std::fabs(d2) <= ResultTol) {
                root = std::fabs(d2) <= ResultTol ? x2 : x0;
                iterations = i;
                return;
            }
            x2 = x1 - d1 * (x1 - x0) / (d1 - d0);
            i = i + 1;
            if ((x2 < x0 && x2 < x1) || (x2 > x0 && x2 > x1)) {
                ListRecord(message_stream()).text("Guess is out of interval.  Using bisection");
                x2 = (x0 + x1) * 0.5;
            }
            d2 = G(x2);
            if (d2 < 0.0) {
                x0 = x2;
                d0 = d2;
            } else {
                x1 = x2;
                d1 = d2;
            }
        }
        // A residual that is not above the failure bound (or not a number) restarts the
        // fallback from the caller's values; every other end hands over the bracket.
        if (!(i > limit || evalFailed != 0) && !(d1 > detail::failed_residual)) {
            twotailedonlybisection(which, root, p0, p1, a, f, S, MaximumIterations, Tolerance,
                                   ResultTol, BesselArgTop, iterations, lg);
            return;
        }
    }
    const double start0 = x0;
    const double start1 = x1;
    twotailedonlybisection(which, root, start0, start1, a, f, S, MaximumIterations, Tolerance,
                           ResultTol, BesselArgTop, iterations, lg);
}

} // namespace lvlim
