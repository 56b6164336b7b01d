// The engine of lvlim: the validator, the confidence-limit routines and the special functions
// beneath them. Every routine takes its inputs as const references and returns results through
// plain references or its function value, in the argument order documented for it.
#pragma once

#include <span>
#include <string>

#include "Guts/control.hpp"

namespace lvlim {

// ---- Failure values ------------------------------------------------------------------------

// `dgamma` and `dlgama` return this (xinf of the gamma routines) on their error cases.
inline constexpr double gamma_failed = 1.79e308;
// `norminv` returns this for a probability outside (0, 1).
inline constexpr double norminv_failed = -99999.0;
// `besseli` returns this when the order it was asked for is not delivered to full accuracy.
inline constexpr double besseli_failed = -99999.9;
// `newgadap` returns this when the normalising integral of its kernel is zero.
inline constexpr double newgadap_failed = -9999.9;
// `twotailedgbesselalways` returns these, with evalFailed set, when the lower inversion, the
// upper inversion, or the closed-form upper cut-off for two degrees of freedom fails.
inline constexpr double twotailedg_lower_failed = -8000000.0;
inline constexpr double twotailedg_upper_failed = -5000000.0;
inline constexpr double twotailedg_closed_form_failed = -1000000.0;

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

// ---- One-sided limit solver (OneTail.cpp, HAdap.cpp, NewSecantAdap.cpp) --------------------

// One one-sided confidence limit for mu + lambda*sigma^2: WhichLimit 1 the upper limit, any
// other value the lower one (for alpha above 0.5). Stores the four control parameters into
// `controlparms` first. Time is always 0.
void onetail(const int& WhichLimit, const double& mu, const double& sigma, const double& nu,
             const double& alpha, const double& lambda, const double& gammasquared,
             const double& BesselArgTop, const double& Tolerance, const double& ResultTol,
             const int& MaximumIterations, double& StandardConfidenceLimit,
             double& ConfidenceLimit, double& Time, int& NumberIterations);

// The standardized one-sided limit k at probability p for spread S and n - 1 degrees of
// freedom; count receives the secant search's count.
[[nodiscard]] double hadap(const double& S, const int& n, const double& p,
                           const int& MaximumIterations, const double& Tolerance,
                           const double& ResultTol, const double& BesselArgTop, int& count);

// Secant iteration on newgadap(theta) - q from theta0 and theta1.
void newsecantadap(const double& theta0, const double& theta1, const double& q, const double& f,
                   const double& S, const int& MaximumIterations, const double& Tolerance,
                   const double& ResultTol, const double& BesselArgTop, const double& lg,
                   double& root, int& count);

// ---- One-sided tail function (NewGAdap.cpp, tmax.cpp, NewF.cpp, NewFIntegrateAdap.cpp,
//      NewFAdaptive.cpp) -------------------------------------------------------------------

// G(theta): the probability that the kernel's variable lies at or below r(theta), or
// newgadap_failed.
[[nodiscard]] double newgadap(const double& theta, const double& f, const double& S,
                              const double& BesselArgTop, const double& lg);
// The mode of the kernel (1 - t^2)^(f/2 - 1) exp(-c t), c = (f + 1)(-w).
[[nodiscard]] double tmax(const double& f, const double& w);
// The kernel evaluated through its logarithm, shifted by (f + 1) sc and divided by L.
[[nodiscard]] double newf(const double& t, const double& f, const double& w, const double& m,
                          const double& lg, const double& sc, const double& L);
// The integral of newf from a to b with m = 1/sqrt(pi).
[[nodiscard]] double newfintegrateadap(const double& a, const double& b, const double& f,
                                       const double& w, const double& lg, const double& sc,
                                       const double& L);
// Adaptive Simpson quadrature of newf from a to b; reads controlparms.Tolerance.
void newfadaptive(const double& a, const double& b, const double& f, const double& w,
                  const double& m, const double& lg, const double& sc, const double& L,
                  double& result);

// ---- Two-sided limits (Twotail.cpp, TwoTailedSecant.cpp, TwoTailedSecantBisection.cpp,
//      TwoTailedOnlyBisection.cpp) --------------------------------------------------------

// The pair of two-sided confidence limits for mu + lambda*sigma^2. Stores the four control
// parameters into `controlparms` first. Time is always 0.
void twotail(const double& mu, const double& sigma, const double& nu, const double& alpha,
             const double& lambda, const double& gammasquared, const double& BesselArgTop,
             const double& Tolerance, const double& ResultTol, const int& MaximumIterations,
             double& LowerConfidenceLimit, double& StandardLowerLimit,
             double& UpperConfidenceLimit, double& StandardUpperLimit, double& Time,
             int& NumberIterationsLower, int& NumberIterationsUpper);

// The root in theta of twotailedg(theta) = a for side `which` (1 lower, 2 upper), from the
// starting values p0 and p1. twotailedsecant enters twotailedsecantbisection, the secant
// search with bracketing and bisection safeguards; twotailedonlybisection is its fallback.
void twotailedsecant(const int& which, double& root, const double& p0, const double& p1,
                     const double& a, const double& f, const double& S,
                     const int& MaximumIterations, const double& Tolerance,
                     const double& ResultTol, const double& BesselArgTop, int& iterations,
                     const double& lg);
void twotailedsecantbisection(const int& which, double& root, const double& p0, const double& p1,
                              const double& a, const double& f, const double& S,
                              const int& MaximumIterations, const double& Tolerance,
                              const double& ResultTol, const double& BesselArgTop,
                              int& iterations, const double& lg);
void twotailedonlybisection(const int& which, double& root, const double& p0, const double& p1,
                            const double& a, const double& f, const double& S,
                            const int& MaximumIterations, const double& Tolerance,
                            const double& ResultTol, const double& BesselArgTop,
                            int& iterations, const double& lg);

// ---- Two-sided tail function (TwoTailedG.cpp, TwoTailedGBesselAlways.cpp,
//      BesselArgumentsOK.cpp, RatioIntegral.cpp) ------------------------------------------

// The share of the kernel's first moment inside the acceptance region of probability a that
// has r(theta) at its upper end (which = 1) or its lower end (any other which). On failure
// evalFailed = 1 and one of the twotailedg_*_failed values comes back.
[[nodiscard]] double twotailedg(const double& theta, const double& a, const int& which,
                                const double& f, const double& S, const double& BesselArgTop,
                                const double& lg, int& evalFailed);
[[nodiscard]] double twotailedgbesselalways(const double& theta, const double& a,
                                            const int& which, const double& f, const double& S,
                                            const double& BesselArgTop, const double& lg,
                                            int& evalFailed);
// 1 when the Bessel closed form may replace quadrature for argument x and order, else 0.
[[nodiscard]] int besselargumentsok(const double& x, const double& order, const double& top);
// The share between t1 and t2 of the first moment of the density proportional to
// exp((t + 1) z) on (-1, 1).
[[nodiscard]] double ratiointegral(const double& t1, const double& t2, const double& z);

// ---- Two-sided integrals and inversions (TwoTailedNewF.cpp, TwoTailedNewFAdaptive.cpp,
//      TwoTailedNewFIntegrateAdap.cpp, InvertNewFLower.cpp, InvertNewFUpper.cpp) -------------

// t times newf.
[[nodiscard]] double twotailednewf(const double& t, const double& f, const double& w,
                                   const double& m, const double& lg, const double& sc,
                                   const double& L);
// Adaptive Simpson quadrature of twotailednewf from a to b; reads controlparms.Tolerance.
void twotailednewfadaptive(const double& a, const double& b, const double& f, const double& w,
                           const double& m, const double& lg, const double& sc, const double& L,
                           double& result);
// The integral of twotailednewf from a to b with m = 1/sqrt(pi).
[[nodiscard]] double twotailednewfintegrateadap(const double& a, const double& b,
                                                const double& f, const double& w,
                                                const double& lg, const double& sc,
                                                const double& L);
// x in [lo, hi] with the integral of newf from x to hi equal to target; failed = 1 (and the
// result undefined) when the target cannot be reached, failed untouched otherwise.
[[nodiscard]] double invertnewflower(const double& lo, const double& hi, const double& target,
                                     const double& f, const double& w, const double& m,
                                     const double& lg, const double& sc, const double& L,
                                     int& failed);
// x in [lo, hi] with the integral of newf from lo to x equal to target; failed as above.
[[nodiscard]] double invertnewfupper(const double& lo, const double& hi, const double& target,
                                     const double& f, const double& w, const double& m,
                                     const double& lg, const double& sc, const double& L,
                                     int& failed);

// ---- Modified Bessel functions (Besseli.cpp) ---------------------------------------------

// I_v(x) (ize 1) or exp(-x) I_v(x) (ize 2) for one order v; besseli_failed when the order is
// not delivered to full accuracy or an argument is out of range.
[[nodiscard]] double besseli(const double& x, const double& v, const int& ize);
// The sequence I_(alpha + k)(x), k = 0..nb-1, into b[0..nb-1] (b holds at least nb values);
// ncalc = nb when every value is accurate, see the routine for the other values.
void ribesl(const double& x, const double& alpha, const int& nb, const int& ize,
            std::span<double> b, int& ncalc);

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
