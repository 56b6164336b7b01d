// The engine of lvlim: the validator, the confidence-limit routines and the special functions
// beneath them. Every routine takes its inputs as const references and returns results through
// plain references or its function value, in the argument order documented for it.
#pragma once

#include <string>

#include "Guts/control.hpp"

namespace lvlim {

// ---- Failure values ------------------------------------------------------------------------

// `dgamma` and `dlgama` return this (xinf of the gamma routines) on their error cases.
inline constexpr double gamma_failed = 1.79e308;
// `norminv` returns this for a probability outside (0, 1).
inline constexpr double norminv_failed = -99999.0;

// ---- Input validation (CheckArguments.cpp) -------------------------------------------------

// Length of the validation message the driver passes, and of each of its four segments.
inline constexpr std::size_t arguments_message_length = 320;
inline constexpr std::size_t arguments_segment_length = 80;

// Tests alpha, sigma, nu and BesselArgTop against their ranges. On failure sets ArgumentsOk to
// false and fills ArgumentsMessage, whose current length is its capacity, with the four 80-
// character segments (cut or blank-filled to that capacity). On success ArgumentsOk is true and
// ArgumentsMessage is left untouched. The other arguments are accepted without a test.
void checkarguments(const int& WhichLimit, const double& alpha, const double& lambda,
                    const double& sigma, const double& nu, const double& mu,
                    const double& gammasquared, const int& MaximumIterations,
                    const double& BesselArgTop, const double& Tolerance, const double& ResultTol,
                    bool& ArgumentsOk, std::string& ArgumentsMessage);

// ---- Gamma and log-gamma (Besseli.cpp, Loggamma.cpp) ---------------------------------------

// Gamma(x); gamma_failed for x = 0, a negative integer, or an argument out of range.
[[nodiscard]] double dgamma(const double& x);
// ln Gamma(x) for x > 0; gamma_failed for x <= 0 or x > 2.55e305.
[[nodiscard]] double dlgama(const double& x);

// ---- Normal distribution (alnorm.cpp, G_cdfForStandardNormal.cpp, NormInv.cpp) -------------

// Tail area of the standard normal: from x to +infinity when upper is nonzero, from -infinity
// to x otherwise.
[[nodiscard]] double alnorm(const double& x, const int& upper);
// Phi(x), clamped to 0 at or below -100 and to 1 at or above 100.
[[nodiscard]] double g(const double& x);
// x with g(x) = p by a stepped start and a secant iteration; norminv_failed unless 0 < p < 1.
[[nodiscard]] double norminv(const double& p, const double& tol, const int& maxit);

} // namespace lvlim
