// twotail: the pair of two-sided confidence limits for mu + lambda sigma^2.
//
// Reduces the run to the whole-number degrees of freedom f, the standardized spread S and the
// coverage target a, takes a starting value for each limit from the one-sided solver, finds
// each limit as the root in theta of the two-sided tail function G(theta) = a, and converts
// the roots to standardized limits k = (theta - S^2/2) sqrt(f)/S and to the scale of the data.
// The lower limit is found and converted before the search for the upper one starts.
//
// lambda = 0 or gammasquared <= 0 leave S zero or undefined; the arithmetic then gives limits
// that are not numbers, which are reported as they are.
#include <cmath>

#include "Guts/mainguts.hpp"

namespace lvlim {

namespace {
// Single-precision factors widened to double that place the second starting value of each
// search beyond the first.
constexpr double lower_start_factor = static_cast<double>(1.1F);
constexpr double upper_start_factor = static_cast<double>(1.05F);
static_assert(lower_start_factor == 1.100000023841858);
static_assert(upper_start_factor == 1.0499999523162842);
} // namespace

void twotail(const double& mu, const double& sigma, const double& nu, const double& alpha,
             const double& lambda, const double& gammasquared, const double& BesselArgTop,
             const double& Tolerance, const double& ResultTol, const int& MaximumIterations,
             double& LowerConfidenceLimit, double& StandardLowerLimit,
             double& UpperConfidenceLimit, double& StandardUpperLimit, double& Time,
             int& NumberIterationsLower, int& NumberIterationsUpper) {
    // The engine reads these from the block from now on (the quadrature reads Tolerance).
    controlparms.BesselArgTop = BesselArgTop;
    controlparms.Tolerance = Tolerance;
    controlparms.ResultTol = ResultTol;
    controlparms.MaximumIterations = MaximumIterations;
    const ControlParms& block = controlparms;

    const int n = static_cast<int>(nu + 1.0);
    const double f = static_cast<double>(n - 1);
    const double half_f = f * 0.5;
    const double lg = dlgama(half_f);
    // The coverage target is alpha whatever the sign of lambda: a negative lambda mirrors the
    // limits about the estimate (sgn) but keeps their level.
    const double a = alpha;
    const double sgn = lambda < 0.0 ? -1.0 : 1.0;
    const double S = 2.0 * std::fabs(lambda) * std::sqrt(gammasquared) * sigma / std::sqrt(f + 1.0);
    const double half_s2 = S * S / 2.0;
    const double estimate = mu + lambda * (sigma * sigma);

    // One limit: start from the one-sided limit at probability p, search, convert.
    const auto limit = [&](int which, double p, double factor, double& standard, double& data,
                           int& count) {
        int one_sided_count = 0;
        const double k1 = hadap(S, n, p, block.MaximumIterations, block.Tolerance,
                                block.ResultTol, block.BesselArgTop, one_sided_count);
        const double p0 = S * k1 / std::sqrt(f) + half_s2;
        const double p1 = factor * S * k1 / std::sqrt(f) + half_s2;
        double root = 0.0;
        twotailedsecant(which, root, p0, p1, a, f, S, block.MaximumIterations, block.Tolerance,
                        block.ResultTol, block.BesselArgTop, count, lg);
        standard = (root - half_s2) * std::sqrt(f) / S;
        data = estimate + standard * sgn * (sigma / std::sqrt(gammasquared)) *
                              std::sqrt((nu + 1.0) / nu);
    };
    limit(1, (1.0 - a) * 0.5, lower_start_factor, StandardLowerLimit, LowerConfidenceLimit,
          NumberIterationsLower);
    limit(2, 1.0 - (1.0 - a) / 1.1, upper_start_factor, StandardUpperLimit, UpperConfidenceLimit,
          NumberIterationsUpper);
    Time = 0.0;
}

} // namespace lvlim
