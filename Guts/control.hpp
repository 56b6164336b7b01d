// The control parameters shared by the driver and the engine.
//
// The driver sets the defaults before it reads the input record (the record may override
// them), the engine entries store the values they receive into this block, and the quadrature
// and inversion routines read `Tolerance` from it at every call rather than through arguments.
#pragma once

namespace lvlim {

// The single-precision constant 1.0e-8 widened to double (bit pattern 3E45798EE0000000),
// not the double 1.0e-8: the default step and bracket-width tolerance.
inline constexpr double default_tolerance = static_cast<double>(1.0e-8F);
static_assert(default_tolerance == 9.99999993922529e-09);

inline constexpr int default_maximum_iterations = 200;
inline constexpr double default_bessel_arg_top = 800.0;
inline constexpr double default_result_tol = -1.0;

struct ControlParms {
    // Limits every root search.
    int MaximumIterations = default_maximum_iterations;
    // Largest Bessel argument for which closed forms replace quadrature.
    double BesselArgTop = default_bessel_arg_top;
    // Step or bracket-width tolerance of the searches; absolute accuracy of the quadrature.
    double Tolerance = default_tolerance;
    // Residual tolerance of the searches; a negative value switches the residual test off.
    double ResultTol = default_result_tol;
};

// The searches never iterate more than this, whatever MaximumIterations asks for: a search that
// has not converged in a thousand steps never will (they settle within a few dozen), and the
// ceiling keeps every run to seconds and every count within an int.
inline constexpr int iteration_ceiling = 1000;
[[nodiscard]] constexpr int effective_iterations(int maximum_iterations) {
    return maximum_iterations < iteration_ceiling ? maximum_iterations : iteration_ceiling;
}

// The one block of the run. Each thread has its own, so that runs on several threads (a table
// computed in parallel) cannot disturb one another; a program with one thread sees one block.
inline thread_local ControlParms controlparms{};

// Puts every member of `controlparms` back to its default.
inline void set_control_defaults() { controlparms = ControlParms{}; }

} // namespace lvlim
