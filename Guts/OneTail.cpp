// onetail: one one-sided confidence limit for mu + lambda sigma^2.
//
// Folds lambda, sigma and gammasquared into the standardized spread S, turns alpha and the
// limit kind into a probability p, solves the standardized problem with hadap and maps its k
// back to the scale of the data. A negative lambda swaps p and the direction of the mapping,
// so kind 1 stays the upper limit and kind 2 the lower one (for alpha above 0.5).
//
// lambda = 0 or gammasquared <= 0 leave S zero or undefined; the arithmetic then gives a
// limit that is not a number, which is reported as it is.
#include <cmath>

#include "Guts/mainguts.hpp"

namespace lvlim {

void onetail(const int& WhichLimit, const double& mu, const double& sigma, const double& nu,
             const double& alpha, const double& lambda, const double& gammasquared,
             const double& BesselArgTop, const double& Tolerance, const double& ResultTol,
             const int& MaximumIterations, double& StandardConfidenceLimit,
             double& ConfidenceLimit, double& Time, int& NumberIterations) {
    // The engine reads these from the block from now on (the quadrature reads Tolerance).
    controlparms.BesselArgTop = BesselArgTop;
    controlparms.Tolerance = Tolerance;
    controlparms.ResultTol = ResultTol;
    controlparms.MaximumIterations = MaximumIterations;

    // cppcheck-suppress shadowFunction ; published name of gamma; g() is not called here
    const double g = std::sqrt(gammasquared);
    double p = WhichLimit == 1 ? alpha : 1.0 - alpha;
    double sgn = 1.0;
    if (lambda < 0.0) {
        p = 1.0 - p;
        sgn = -1.0;
    }
    const double S = (2.0 * std::fabs(lambda)) * g * sigma / std::sqrt(nu + 1.0);
    const int n = static_cast<int>(nu + 1.0);

    int count = 0;
    const double k =
        hadap(S, n, p, MaximumIterations, Tolerance, ResultTol, BesselArgTop, count);
    StandardConfidenceLimit = k;
    NumberIterations = count;
    Time = 0.0;
    ConfidenceLimit =
        mu + lambda * sigma * sigma + sgn * k * (sigma / g) * std::sqrt((1.0 + nu) / nu);
}

} // namespace lvlim
