// The input record of a run: its eleven items in order, the seven run values and then the
// four members of a control block.
#pragma once

#include <array>

#include "Guts/control.hpp"
#include "driver/free_form_input.hpp"

namespace lvlim {

// The run values, in the order of the input record, with their values before the read.
struct RunValues {
    int WhichLimit = 0;
    double alpha = 0.0;
    double lambda = 0.0;
    double sigma = 0.0;
    double nu = 0.0;
    double mu = 0.0;
    double gammasquared = 0.0;
};

// The eleven items the reader fills: the run values, then the members of `control` (the
// driver passes the block itself, so that the record's values land in it).
[[nodiscard]] inline std::array<InputItem, 11> record_items(RunValues& v, ControlParms& control) {
    return {&v.WhichLimit,
            &v.alpha,
            &v.lambda,
            &v.sigma,
            &v.nu,
            &v.mu,
            &v.gammasquared,
            &control.MaximumIterations,
            &control.BesselArgTop,
            &control.Tolerance,
            &control.ResultTol};
}

} // namespace lvlim
