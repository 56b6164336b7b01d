// Adaptive Simpson quadrature with an explicit stack of pending intervals, shared by the
// kernel's plain integral and its first moment.
//
// Each pending interval [x, x + 2 hw] carries its three integrand values and its Simpson
// estimate Qw. A popped interval is split into halves with estimates QL and QR; it is accepted
// when its contribution is negligible (|QL + QR| <= Tolerance/1000) or the halves agree with the
// whole (|QL + QR - Qw| <= Tolerance/100), and then adds the Richardson-corrected value
// (16 (QL + QR) - Qw)/15. Otherwise the right half and then the left half are pushed, so that
// intervals are accepted, and added, in left-to-right order. The tolerances are absolute; they
// are read from `controlparms` once, when the call starts (nothing changes it during a call).
//
// Termination: with finite integrand values and a sensible Tolerance the depth stays far below
// the capacity (each level halves the width). A Tolerance of zero or below, or one too small for
// double precision, could never be met, so:
//  - the absolute tolerance is never taken below `quadrature_tolerance_floor`, which is at the
//    rounding level of the kernel's integrals (normalised to a peak of 1);
//  - a piece whose halves agree with the whole to within rounding is accepted: splitting it
//    further cannot improve it.
// Neither changes anything for tolerances of 1e-13 and above. With integrand values that are not
// numbers no test can pass: once a split would overflow the stack, or after
// `simpson_split_budget` splits, the routine stops refining and accepts the popped interval and
// every one still pending as they are. A call never does more than a fixed amount of work.
#pragma once

#include <array>
#include <cmath>
#include <cstddef>

#include "Guts/control.hpp"

namespace lvlim::detail {

// One pending interval: left end, half-width, y(x), y(x + hw), y(x + 2 hw), Simpson estimate.
struct SimpsonPiece {
    double x;
    double hw;
    double ya;
    double ym;
    double yb;
    double Qw;
};

// The smallest absolute tolerance the quadrature works to; smaller, zero or negative values of
// Tolerance (and a Tolerance that is not a number) are taken as this.
inline constexpr double quadrature_tolerance_floor = 1.0e-13;

[[nodiscard]] inline double quadrature_tolerance(double tolerance) {
    return tolerance >= quadrature_tolerance_floor ? tolerance : quadrature_tolerance_floor;
}

// A piece whose Simpson estimates differ by no more than this many units of rounding of their
// magnitudes cannot be improved by splitting it.
inline constexpr double simpson_rounding_floor = 64.0 * 2.220446049250313e-16;

// The thresholds of the acceptance test for one call: the floored Tolerance tol, tol/1000 for a
// negligible contribution and tol/100 for agreement, each divided out once per call rather than
// at every test (the quotients are the same).
struct SimpsonTolerance {
    explicit SimpsonTolerance(double tolerance)
        : tol(quadrature_tolerance(tolerance)), negligible(tol / 1000.0), agreement(tol / 100.0) {}

    double tol;
    double negligible;
    double agreement;
};

// The acceptance test of a piece split into halves QL and QR with whole estimate Qw: a
// negligible contribution, halves that agree with the whole to the tolerance, or halves that
// agree with it to within rounding.
[[nodiscard]] inline bool simpson_piece_accepted(double QL, double QR, double Qw,
                                                 const SimpsonTolerance& tol) {
    const double change = std::fabs(QL + QR - Qw);
    return std::fabs(QL + QR) <= tol.negligible || change <= tol.agreement ||
           change <= simpson_rounding_floor * (std::fabs(QL) + std::fabs(QR) + std::fabs(Qw));
}

// The inversions' test that a piece is not yet accurate: every acceptance test fails by a
// comparison that holds. For finite values this is the negation of simpson_piece_accepted; a
// piece whose values are not numbers is not counted as inaccurate (no comparison holds), so the
// inversions take it into their sum instead of splitting it without end.
[[nodiscard]] inline bool simpson_piece_not_accurate(double QL, double QR, double Qw,
                                                     const SimpsonTolerance& tol) {
    const double change = std::fabs(QL + QR - Qw);
    return std::fabs(QL + QR) > tol.negligible && change > tol.agreement &&
           change > simpson_rounding_floor * (std::fabs(QL) + std::fabs(QR) + std::fabs(Qw));
}

// Splits one call may make before it stops refining. With the default Tolerance the kernel's
// integrals need a few hundred at most; the budget only bounds hostile control values.
inline constexpr int simpson_split_budget = 20000;

// The integral of y from a to b (negative for b < a, 0 for a = b).
template <std::size_t Capacity, class Integrand>
[[nodiscard]] double adaptive_simpson(const Integrand& y, double a, double b) {
    std::array<SimpsonPiece, Capacity> stack;
    std::size_t size = 0;
    int splits = 0;
    bool refining = true;
    const SimpsonTolerance tol(controlparms.Tolerance);

    double result = 0.0;
    {
        const double hw = (b - a) * 0.5;
        const double ya = y(a);
        const double ym = y(a + hw);
        const double yb = y(b);
        const double Qw = ((4.0 * ym + ya) + yb) * hw / 3.0;
        stack[size++] = SimpsonPiece{a, hw, ya, ym, yb, Qw};
    }
    while (size > 0) {
        const SimpsonPiece piece = stack[--size];
        const double y1 = y(piece.x + 0.5 * piece.hw);
        const double y2 = y((piece.hw * 3.0) * 0.5 + piece.x);
        const double QL = ((4.0 * y1 + piece.ya) + piece.ym) * piece.hw / 6.0;
        const double QR = ((4.0 * y2 + piece.ym) + piece.yb) * piece.hw / 6.0;
        const bool accurate = simpson_piece_accepted(QL, QR, piece.Qw, tol);
        if (refining && !accurate && (size + 2 > Capacity || splits >= simpson_split_budget)) {
            refining = false; // stack full or budget spent: accept what is pending
        }
        if (accurate || !refining) {
            result = result + (16.0 * (QL + QR) - piece.Qw) / 15.0;
        } else {
            ++splits;
            const double half = 0.5 * piece.hw;
            stack[size++] = SimpsonPiece{piece.x + piece.hw, half, piece.ym, y2, piece.yb, QR};
            stack[size++] = SimpsonPiece{piece.x, half, piece.ya, y1, piece.ym, QL};
        }
    }
    return result;
}

} // namespace lvlim::detail
