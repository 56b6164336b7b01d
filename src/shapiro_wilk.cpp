// The Shapiro-Wilk W test of normality and its p-value.
//
// References:
//   [1] P. Royston, "Remark AS R94: A remark on Algorithm AS 181: The W-test for normality",
//       Applied Statistics 44(4), 1995, pp. 547-551.
//   [2] P. Royston, "Approximating the Shapiro-Wilk W-test for non-normality", Statistics and
//       Computing 2, 1992, pp. 117-119.
//   [3] S. S. Shapiro and M. B. Wilk, "An analysis of variance test for normality (complete
//       samples)", Biometrika 52, 1965, pp. 591-611.
//
// Purpose: W = (sum a_i x_(i))^2 / sum (x_i - xbar)^2 for the ordered sample x_(1) <= ... <=
//          x_(n), with the approximate normalised coefficients a of [1], and the p-value of W
//          under normality from the normalising transformations of [1], [2].
// Method:  m_i = z((i - 3/8) / (n + 1/4)) (z the standard normal quantile), u = 1/sqrt(n).
//          The two largest coefficients are polynomials in u added to m_i / sqrt(m'm)
//          (swilk_c1 for a_n; swilk_c2 for a_(n-1), used from n = 6); the others are m_i
//          scaled so that sum a_i^2 = 1; a is antisymmetric. n = 3 has a_3 = sqrt(1/2).
//          p-value: n = 3 exactly, (6/pi) (asin(sqrt W) - asin(sqrt(3/4))); 4 <= n <= 11,
//          y = -ln(gamma - ln(1 - W)) normal with mean and log-sd polynomials in n (swilk_g,
//          swilk_c3, swilk_c4); n >= 12, y = ln(1 - W) normal with mean and log-sd polynomials
//          in ln n (swilk_c5, swilk_c6). p is the upper tail of y.
// Range:   3 <= n <= 5000, the range of the published approximation.
// Failure: ok false and NaN for n outside the range, values not all finite, or all equal.
//
// Changes in translation:
//   - Written from the description above, for complete samples only (the published routine
//     also handles censoring from above, which the assessment never needs).
//   - W is formed on the sample less its mean, and 1 - W as (r - s)(r + s) / r^2 with
//     r = sqrt(sum (x - xbar)^2), s = sum a_i x_(i): the p-value depends on ln(1 - W), which
//     this keeps accurate when W is near 1.
//   - The constants 6/pi and asin(sqrt(3/4)) = pi/3 of the n = 3 case are computed, not typed.
//   - Where ln(1 - W) >= gamma (4 <= n <= 11, W far below any normal sample's) the
//     transformation is undefined; the p-value is 0, the limit of the upper tail, where the
//     publication returns a small positive constant.
//   - The coefficient tables are the published ones as extracted and cross-checked in
//     docs/reference/shapiro-wilk-coefficients.md; index i of each table holds the coefficient
//     of the power i.
#include "shapiro_wilk.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <limits>
#include <numbers>
#include <numeric>
#include <vector>

#include "noncentral_t.hpp"

namespace lvlim::detail {

namespace {

// clang-format off
// gamma of the transformation for 4 <= n <= 11, a polynomial in n.
constexpr std::array<double, 2> swilk_g = {-2.273, 0.459};
// a_n less m_n / sqrt(m'm), a polynomial in u = 1/sqrt(n).
constexpr std::array<double, 6> swilk_c1 = {0, 0.221157, -0.147981, -2.071190, 4.434685, -2.706056};
// a_(n-1) less m_(n-1) / sqrt(m'm), a polynomial in u (n >= 6).
constexpr std::array<double, 6> swilk_c2 = {0, 0.042981, -0.293762, -1.752461, 5.682633, -3.582633};
// Mean and log standard deviation of y, polynomials in n, 4 <= n <= 11.
constexpr std::array<double, 4> swilk_c3 = {0.544, -0.39978, 0.025054, -6.714e-4};
constexpr std::array<double, 4> swilk_c4 = {1.3822, -0.77857, 0.062767, -0.0020322};
// Mean and log standard deviation of y, polynomials in ln n, 12 <= n <= 5000.
constexpr std::array<double, 4> swilk_c5 = {-1.5861, -0.31082, -0.083751, 0.0038915};
constexpr std::array<double, 3> swilk_c6 = {-0.4803, -0.082676, 0.0030302};
// clang-format on

constexpr std::size_t smallest_n = 3;
constexpr std::size_t largest_n = 5000;
constexpr std::size_t first_two_coefficient_n = 6; // a_(n-1) by its polynomial from here
constexpr std::size_t first_log_n = 12;             // the ln n transformation from here

template <std::size_t N>
double polynomial(const std::array<double, N>& c, double x) {
    double sum = 0.0;
    for (std::size_t i = N; i-- > 0;) {
        sum = sum * x + c[i];
    }
    return sum;
}

double upper_normal_tail(double z) {
    return 0.5 * std::erfc(z / std::numbers::sqrt2);
}

ShapiroWilk refused(std::string message) {
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    return {nan, nan, false, std::move(message)};
}

// The upper half of the antisymmetric coefficients: a[k] for the k-th largest value
// (k = 0 .. n/2 - 1), positive; the k-th smallest has -a[k].
std::vector<double> coefficients(std::size_t n) {
    const std::size_t half = n / 2;
    std::vector<double> a(half);
    if (n == smallest_n) {
        a[0] = std::sqrt(0.5);
        return a;
    }
    const double dn = static_cast<double>(n);
    // m[k] = z((n - k - 3/8) / (n + 1/4)) > 0 for the k-th largest; m'm sums both halves.
    std::vector<double> m(half);
    double mm = 0.0;
    for (std::size_t k = 0; k < half; ++k) {
        m[k] = -normal_quantile((static_cast<double>(k + 1) - 0.375) / (dn + 0.25));
        mm += 2.0 * m[k] * m[k];
    }
    const double root_mm = std::sqrt(mm);
    const double u = 1.0 / std::sqrt(dn);
    a[0] = m[0] / root_mm + polynomial(swilk_c1, u);
    std::size_t first_scaled = 1;
    double rest_mm = mm - 2.0 * m[0] * m[0];
    double rest_aa = 1.0 - 2.0 * a[0] * a[0];
    if (n >= first_two_coefficient_n) {
        a[1] = m[1] / root_mm + polynomial(swilk_c2, u);
        first_scaled = 2;
        rest_mm -= 2.0 * m[1] * m[1];
        rest_aa -= 2.0 * a[1] * a[1];
    }
    const double scale = std::sqrt(rest_mm / rest_aa);
    for (std::size_t k = first_scaled; k < half; ++k) {
        a[k] = m[k] / scale;
    }
    return a;
}

double p_value(std::size_t n, double w, double one_less_w) {
    const double dn = static_cast<double>(n);
    if (n == smallest_n) {
        const double p = (6.0 / std::numbers::pi) *
                         (std::asin(std::sqrt(w)) - std::asin(std::sqrt(0.75)));
        return std::clamp(p, 0.0, 1.0);
    }
    const double log_one_less_w = std::log(one_less_w);
    if (n < first_log_n) {
        const double gamma = polynomial(swilk_g, dn);
        if (log_one_less_w >= gamma) {
            return 0.0;
        }
        const double y = -std::log(gamma - log_one_less_w);
        const double mean = polynomial(swilk_c3, dn);
        const double sd = std::exp(polynomial(swilk_c4, dn));
        return upper_normal_tail((y - mean) / sd);
    }
    const double log_n = std::log(dn);
    const double mean = polynomial(swilk_c5, log_n);
    const double sd = std::exp(polynomial(swilk_c6, log_n));
    return upper_normal_tail((log_one_less_w - mean) / sd);
}

} // namespace

ShapiroWilk shapiro_wilk(std::span<const double> x) {
    const std::size_t n = x.size();
    if (n < smallest_n) {
        return refused("not computed: n < " + std::to_string(smallest_n));
    }
    if (n > largest_n) {
        return refused("not computed: n > " + std::to_string(largest_n));
    }
    if (!std::all_of(x.begin(), x.end(), [](double v) { return std::isfinite(v); })) {
        return refused("not computed: a value is not finite");
    }
    std::vector<double> sorted(x.begin(), x.end());
    std::sort(sorted.begin(), sorted.end());
    if (sorted.front() == sorted.back()) {
        return refused("not computed: all values are equal");
    }
    // Centre (and scale by the range, which leaves W unchanged) before summing squares.
    const double range = sorted.back() - sorted.front();
    const double mean = std::accumulate(sorted.begin(), sorted.end(), 0.0) /
                        static_cast<double>(n);
    double ss = 0.0;
    for (double& v : sorted) {
        v = (v - mean) / range;
        ss += v * v;
    }
    const std::vector<double> a = coefficients(n);
    double s = 0.0;
    for (std::size_t k = 0; k < a.size(); ++k) {
        s += a[k] * (sorted[n - 1 - k] - sorted[k]);
    }
    const double r = std::sqrt(ss);
    const double one_less_w = std::max(0.0, (r - s) * (r + s) / ss);
    const double w = 1.0 - one_less_w;
    return {w, p_value(n, w, one_less_w), true, {}};
}

} // namespace lvlim::detail
