// The input record of a run: its eleven items in order, the seven run values and then the
// four control parameters, with the values they hold before the read.
#pragma once

#include <array>

#include "Guts/control.hpp"
#include "driver/free_form_input.hpp"

namespace lvlim {

struct InputRecord {
    // The run values: 0 until the record gives them.
    int WhichLimit = 0;
    double alpha = 0.0;
    double lambda = 0.0;
    double sigma = 0.0;
    double nu = 0.0;
    double mu = 0.0;
    double gammasquared = 0.0;
    // The control parameters: their defaults until the record gives them.
    int MaximumIterations = default_maximum_iterations;
    double BesselArgTop = default_bessel_arg_top;
    double Tolerance = default_tolerance;
    double ResultTol = default_result_tol;

    // The eleven items the reader fills, in the order of the record.
    [[nodiscard]] std::array<InputItem, 11> items() {
        return {&WhichLimit,   &alpha,        &lambda,    &sigma,    &nu, &mu, &gammasquared,
                &MaximumIterations, &BesselArgTop, &Tolerance, &ResultTol};
    }

    // The control block the record sets.
    [[nodiscard]] ControlParms control() const {
        return {MaximumIterations, BesselArgTop, Tolerance, ResultTol};
    }
};

} // namespace lvlim
