// invertnewfupper: the upper end x of [lo, x] over which the kernel newf has the mass target.
//
// Adaptive Simpson on newf with an explicit stack, sweeping upward from lo: a split pushes the
// right half and then the left half, so the left half is processed next and intervals are
// accepted in left-to-right order. sum is the integral from lo up to the left end of the popped
// interval. Each popped interval [x, x + 2 hw] is halved into estimates QL and QR, and the first
// case that applies is taken:
//   a. the halves are not yet accurate: split;
//   b. the target lies within sum + QL + QR (or was passed already) and the interval is still
//      wider than Tol/10 in half-width: split, to narrow down where the target is reached;
//   c. target <= sum (the interval accepted last carried sum past the target): step back from
//      this interval's left end, which adjoins the accepted one, by the overshoot divided by
//      the density estimate QL/hw of its left half, and return;
//   d. otherwise accept it: sum = sum + (16 (QL + QR) - Qw)/15.
// If the stack runs empty the target exceeds the whole integral: failed = 1. A target that is
// not a number is never reached (every comparison with it is false) and ends the same way.
//
// Tol is read from `controlparms` at every test and floored as the quadrature floors it
// (adaptive_simpson.hpp), so a Tolerance of zero, below 1e-13 or not a number works as 1e-13;
// the accuracy test of case a is the quadrature's acceptance test.
// failed is written only on failure; the caller clears it. The result is not defined then.
#include <array>
#include <cstddef>

#include "Guts/adaptive_simpson.hpp"
#include "Guts/mainguts.hpp"

namespace lvlim {

namespace {
// Pending intervals of one call. The sweep keeps one pending sibling per level of halving, and
// refining down to a half-width of Tol/10 takes about 30 levels with the default Tolerance (about
// 47 at the floor of 1e-13), so finite integrands stay well below this depth. A split that would
// need more room, or one beyond detail::simpson_split_budget splits in the call, only happens
// with integrand values that are not numbers: the inversion then gives up with failed = 1.
constexpr std::size_t invertnewfupper_stack_capacity = 200;
} // namespace

double invertnewfupper(const double& lo, const double& hi, const double& target, const double& f,
                       const double& w, const double& m, const double& lg, const double& sc,
                       const double& L, int& failed) {
    const auto y = [&](double t) { return newf(t, f, w, m, lg, sc, L); };
    std::array<detail::SimpsonPiece, invertnewfupper_stack_capacity> stack;
    std::size_t size = 0;
    int splits = 0;

    double sum = 0.0;
    {
        const double hw = (hi - lo) * 0.5;
        const double ya = y(lo);
        const double ym = y(lo + hw);
        const double yb = y(hi);
        const double Qw = ((4.0 * ym + ya) + yb) * hw / 3.0;
        stack[size++] = detail::SimpsonPiece{lo, hw, ya, ym, yb, Qw};
    }
    while (size > 0) {
        const detail::SimpsonPiece piece = stack[--size];
        const double y1 = y(piece.x + 0.5 * piece.hw);
        const double y2 = y(piece.x + 1.5 * piece.hw);
        const double QL = ((4.0 * y1 + piece.ya) + piece.ym) * piece.hw / 6.0;
        const double QR = ((4.0 * y2 + piece.ym) + piece.yb) * piece.hw / 6.0;
        const double tol = detail::quadrature_tolerance(controlparms.Tolerance);

        const bool accurate = detail::simpson_piece_accepted(QL, QR, piece.Qw, tol);
        const bool target_inside = target < sum + QL + QR && piece.hw > tol / 10.0;
        if (!accurate || target_inside) { // cases a and b
            if (size + 2 > invertnewfupper_stack_capacity ||
                splits >= detail::simpson_split_budget) {
                failed = 1;
                return piece.x;
            }
            ++splits;
            const double half = 0.5 * piece.hw;
            stack[size++] =
                detail::SimpsonPiece{piece.x + piece.hw, half, piece.ym, y2, piece.yb, QR};
            stack[size++] = detail::SimpsonPiece{piece.x, half, piece.ya, y1, piece.ym, QL};
        } else if (target <= sum) { // case c
            return piece.x + piece.hw * (target - sum) / QL;
        } else { // case d
            sum = sum + (16.0 * (QL + QR) - piece.Qw) / 15.0;
        }
    }
    // Every interval was accepted without reaching the target.
    failed = 1;
    return hi;
}

} // namespace lvlim
