// twotailedonlybisection: the bisection fallback of the two-sided root search.
//
// Expands the bracket in half-unit steps (the upper end switching to midpoints after a failed
// evaluation, and returning at once with a count of -1 if it lands on a small enough residual),
// then bisects until the bracket is at most Tolerance wide or a residual is at most ResultTol.
// Its count restarts at 2 and adds one per bisection step. When the iteration limit is reached,
// or an expansion does not cross the target within its limit, it prints
// "Method (Only Bisection) failed..." and still returns its last midpoint. G is evaluated once
// more at the point returned, as the search always has.
#include <cmath>

#include "Guts/mainguts.hpp"
#include "Guts/messages.hpp"
#include "Guts/two_sided_search.hpp"
#include "common/list_output.hpp"

namespace lvlim {

namespace {
constexpr double fallback_step = 0.5;
} // namespace

void twotailedonlybisection(const int& which, double& root, const double& p0, const double& p1,
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
    if (d0 > d1) {
        std::swap(x0, x1);
        std::swap(d0, d1);
    }

    bool expanded = true;
    // The lower end moves down; failures are not looked at here.
    for (int evaluations = 0; d0 > 0.0; ++evaluations) {
        const double next = x0 - fallback_step;
        if (evaluations == expansion_limit || next == x0) {
            expanded = false; // out of evaluations, or the step no longer moves the end
            break;
        }
        x0 = next;
        d0 = G(x0);
    }
    if (expanded) {
        detail::ExpansionPoints points(x1);
        for (int evaluations = 0; d1 < 0.0; ++evaluations) {
            const double next = points.next(x1 + fallback_step);
            if (evaluations == expansion_limit || next == x1) {
                expanded = false;
                break;
            }
            x1 = next;
            d1 = G(x1);
            points.record(x1, evalFailed != 0);
            if (std::fabs(d1) <= ResultTol) {
                root = x1;
                iterations = -1;
                return;
            }
        }
    }

    double x2 = x0;
    double d2 = d0;
    bool converged = false;
    while (expanded && i <= limit && d1 > detail::failed_residual) {
        if (std::fabs(x0 - x1) <= Tolerance || std::fabs(d2) <= ResultTol) {
            converged = true;
            break;
        }
        x2 = (x0 + x1) * 0.5;
        d2 = G(x2);
        i = i + 1;
        if (d2 < 0.0) {
            x0 = x2;
        } else {
            x1 = x2;
            d1 = d2;
        }
    }
    if (!converged) {
        ListRecord(message_stream()).text("Method (Only Bisection) failed...");
    }
    root = x2;
    iterations = i;
    static_cast<void>(G(x2));
}

} // namespace lvlim
