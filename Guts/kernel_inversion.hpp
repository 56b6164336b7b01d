// Inversion of the kernel's cumulative integral, shared by invertnewflower and invertnewfupper.
//
// Adaptive Simpson on the kernel with an explicit stack, sweeping from the anchored end: from hi
// downward (a split pushes the left half and then the right half, so the right half is
// processed next) or from lo upward (right half pushed first, left half next). sum is the
// integral from the anchored end up to the popped interval. Each popped interval [x, x + 2 hw]
// is halved into estimates QL and QR, and the first case that applies is taken:
//   a. the halves are not yet accurate: split;
//   b. the target lies within sum + QL + QR (or was passed already) and the interval is still
//      wider than Tol/10 in half-width: split, to narrow down where the target is reached;
//   c. target not above sum (the interval accepted last carried sum past the target): step back from
//      this interval's end that adjoins the accepted one, by the overshoot divided by the
//      density estimate (QR/hw downward, QL/hw upward) of its half on that side, and return;
//   d. otherwise accept it: sum = sum + (16 (QL + QR) - Qw)/15.
// If the stack runs empty the target exceeds the whole integral: failed = 1. Values that are not
// numbers fail every comparison: such a piece is accepted into sum (case d), and the next
// piece then meets case c, so the result is not a number and failed stays as it was; a target
// that is not a number meets case c at once.
//
// Tol is read from `controlparms` once, when the call starts, and floored as the quadrature
// floors it (adaptive_simpson.hpp), so a Tolerance of zero, below 1e-13 or not a number works as
// 1e-13; the accuracy test of case a is the quadrature's acceptance test.
//
// The sweep keeps one pending sibling per level of halving, and refining down to a half-width
// of Tol/10 takes about 30 levels with the default Tolerance (about 47 at the floor of 1e-13),
// so the stack's capacity is never reached in practice. Should a split ever need more room, or
// come beyond detail::simpson_split_budget splits in the call, the inversion gives up with
// failed = 1 rather than run on.
// failed is written only on failure; the caller clears it. The result is not defined then.
#pragma once

#include <array>
#include <cstddef>

#include "Guts/adaptive_simpson.hpp"

namespace lvlim::detail {

enum class Sweep { downward_from_hi, upward_from_lo };

template <std::size_t Capacity, Sweep sweep, class Integrand>
[[nodiscard]] double invert_cumulative(const Integrand& y, double lo, double hi, double target,
                                       int& failed) {
    std::array<SimpsonPiece, Capacity> stack;
    std::size_t size = 0;
    int splits = 0;
    const SimpsonTolerance tol(controlparms.Tolerance);
    const double narrowest = tol.tol / 10.0; // the half-width below which case b no longer splits

    double sum = 0.0;
    {
        const double hw = (hi - lo) * 0.5;
        const double ya = y(lo);
        const double ym = y(lo + hw);
        const double yb = y(hi);
        const double Qw = ((4.0 * ym + ya) + yb) * hw / 3.0;
        stack[size++] = SimpsonPiece{lo, hw, ya, ym, yb, Qw};
    }
    while (size > 0) {
        const SimpsonPiece piece = stack[--size];
        const double y1 = y(piece.x + 0.5 * piece.hw);
        const double y2 = y(piece.x + 1.5 * piece.hw);
        const double QL = ((4.0 * y1 + piece.ya) + piece.ym) * piece.hw / 6.0;
        const double QR = ((4.0 * y2 + piece.ym) + piece.yb) * piece.hw / 6.0;

        const bool inaccurate = simpson_piece_not_accurate(QL, QR, piece.Qw, tol);
        const bool target_inside = target < sum + QL + QR && piece.hw > narrowest;
        if (inaccurate || target_inside) { // cases a and b
            if (size + 2 > Capacity || splits >= simpson_split_budget) {
                failed = 1;
                return piece.x;
            }
            ++splits;
            const double half = 0.5 * piece.hw;
            const SimpsonPiece left{piece.x, half, piece.ya, y1, piece.ym, QL};
            const SimpsonPiece right{piece.x + piece.hw, half, piece.ym, y2, piece.yb, QR};
            // The half next to the swept part goes on top.
            stack[size++] = sweep == Sweep::downward_from_hi ? left : right;
            stack[size++] = sweep == Sweep::downward_from_hi ? right : left;
        } else if (!(target > sum)) { // case c
            if constexpr (sweep == Sweep::downward_from_hi) {
                return (piece.x + 2.0 * piece.hw) - piece.hw * (target - sum) / QR;
            } else {
                return piece.x + piece.hw * (target - sum) / QL;
            }
        } else { // case d
            sum = sum + (16.0 * (QL + QR) - piece.Qw) / 15.0;
        }
    }
    // Every interval was accepted without reaching the target.
    failed = 1;
    return sweep == Sweep::downward_from_hi ? lo : hi;
}

} // namespace lvlim::detail
