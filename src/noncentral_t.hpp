// The noncentral t distribution and the normal distribution for the assessment and the planning
// of samples: distribution function, quantile, and the noncentrality that puts a given value at a
// given probability. Boost.Math computes the distribution functions; the searches are bracketed
// root searches (TOMS 748) with an explicit iteration limit.
//
// Every result carries a status: a distribution function that raised an error or returned a value
// outside [0, 1], or a search that found no bracket or did not converge, is `failed` with a
// message, and its value is NaN. Nothing is printed; every function may be called from many
// threads at once.
#pragma once

#include <string>

namespace lvlim::detail {

struct NctResult {
    double value = 0.0;
    bool ok = false;
    int iterations = 0;  // of the search; 0 for a distribution function
    std::string message; // why it failed; empty when ok
};

// The standard normal distribution function Phi(x), its complement 1 - Phi(x) = Phi(-x), and
// the quantile z_p (p strictly between 0 and 1).
[[nodiscard]] double normal_cdf(double x);
[[nodiscard]] double normal_quantile(double p);

// F(t; nu, delta) = P(T <= t) for T noncentral t with nu > 0 degrees of freedom and noncentrality
// delta; with `upper`, the complement P(T > t), computed without cancellation.
[[nodiscard]] NctResult nct_cdf(double t, double nu, double delta, bool upper = false);

// t'_q(nu, delta): the t with F(t; nu, delta) = q, for q strictly between 0 and 1.
[[nodiscard]] NctResult nct_quantile(double q, double nu, double delta);

// The noncentrality delta with F(t; nu, delta) = q, for q strictly between 0 and 1 (F falls
// strictly as delta grows, so there is exactly one).
[[nodiscard]] NctResult nct_noncentrality(double t, double nu, double q);

} // namespace lvlim::detail
