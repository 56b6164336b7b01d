// Planning a study: the power of the one-sided upper limits against a limit value, the expected
// ratio of the mean's upper limit to the mean, and the sample-size search (lvlim/planning.hpp).
//
// The mean's two quantities are integrals over the distribution of the sample standard deviation
// s, with w = (n - 1) s^2 / sigma^2 ~ chi^2(nu), nu = n - 1. They are integrated in the variable
// z of the Wilson-Hilferty cube w = nu (1 - 2/(9 nu) + z sqrt(2/(9 nu)))^3, in which the density
// of w times dw/dz is close to a standard normal density: the integrand is smooth and the mass
// lies in a few units of z. The change of variable is exact (its Jacobian is part of the
// integrand); only the quadrature is approximate. Both integrands share the engine's limit at
// each node, by globally adaptive Gauss-Kronrod (7, 15) quadrature.
#include "lvlim/planning.hpp"

#include "lvlim/lognormal.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <map>
#include <stdexcept>
#include <string_view>
#include <utility>

#include <boost/math/special_functions/gamma.hpp>

#include "common/number_text.hpp"
#include "src/noncentral_t.hpp"

namespace lvlim {

namespace {

using number_text::shortest;

[[noreturn]] void refuse(const std::string& what) { throw std::invalid_argument(what); }

// The tolerances: the power to 1e-6 absolute, the expected ratio to 1e-6 of itself. The
// quadrature aims at a fifth of each, leaving room for the bounds on the tails.
constexpr double power_tolerance = 1.0e-6;
constexpr double ratio_tolerance = 1.0e-6;
constexpr double quadrature_share = 0.5;
// Where the quadrature over z starts split.
constexpr std::array<double, 3> first_cuts = {-3.0, 0.0, 3.0};
// The probability of w beyond which the integrals are cut, each tail's mass added to the error.
// The power's integrand is at most 1, so each cut adds at most its mass to the error bound.
constexpr double power_cut_mass = 1.0e-10;
constexpr double cut_mass = 1.0e-13;
// The share of the expected ratio's integral beyond its cut that counts as negligible (the
// integral is at least 1 - cut_mass).
constexpr double negligible_ratio_tail = 1.0e-3 * ratio_tolerance;
// At most this many subintervals (each 15 engine searches) before giving up on the tolerance.
constexpr std::size_t max_intervals = 40;

void check_setting(const PlanSetting& s) {
    if (!(s.log_sd >= min_sigma && s.log_sd <= max_sigma)) {
        refuse("log_sd = " + shortest(s.log_sd) + " is outside the supported range [" +
               shortest(min_sigma) + ", " + shortest(max_sigma) + "] (a GSD from " +
               shortest(std::exp(min_sigma)) + " to " + shortest(std::exp(max_sigma)) + ")");
    }
    if (s.ratio && !(std::isfinite(*s.ratio) && *s.ratio > 0.0)) {
        refuse("ratio = " + shortest(*s.ratio) +
               " is outside its range: the true value over the limit must be finite and above 0");
    }
    if (!(s.confidence > 0.0 && s.confidence < 1.0)) {
        refuse("confidence = " + shortest(s.confidence) + " must lie strictly between 0 and 1");
    }
    if (s.statistic == Statistic::percentile && !(s.percentile > 0.0 && s.percentile < 1.0)) {
        refuse("percentile = " + shortest(s.percentile) + " must lie strictly between 0 and 1");
    }
}

void check_n(std::size_t n) {
    if (n < min_measurements || n > max_measurements) {
        refuse("n = " + std::to_string(n) + " is outside the supported range [" +
               std::to_string(min_measurements) + ", " + std::to_string(max_measurements) + "]");
    }
}

double normal_cdf(double x) { return 0.5 * std::erfc(-x / std::sqrt(2.0)); }

// The integrals of the mean at one n: the power, and E_s[exp(g(s))] of the expected ratio, each
// by its own adaptive pass, the engine's limits at the nodes kept for the other pass. Each pass
// depends on its own integrand alone, so the power is the same bits whether or not the expected
// ratio is computed too.
class MeanIntegrals {
public:
    MeanIntegrals(std::size_t n, const PlanSetting& setting)
        : n_(n), sigma_(setting.log_sd), gamma_(setting.confidence),
          nu_(static_cast<double>(n) - 1.0), c_(2.0 / (9.0 * nu_)) {
        if (setting.ratio) {
            // L = 1: mu = ln(ratio L) - sigma^2/2.
            mu_ = std::log(*setting.ratio) - sigma_ * sigma_ / 2.0;
        }
    }

    enum class Quantity { power, ratio };

    struct Result {
        double value = 0.0;
        double error = 0.0; // bound on |value - exact|; infinite when there is none
        std::vector<std::string> messages;
    };

    Result integrate(Quantity q) {
        Result out;
        const bool ratio = q == Quantity::ratio;
        // The range of w: the engine's s from min_sigma to max_sigma, cut where the mass left
        // beyond is below cut_mass.
        const double a = nu_ / 2.0;
        const double w_min_sigma = nu_ * (min_sigma / sigma_) * (min_sigma / sigma_);
        const double w_max_sigma = nu_ * (max_sigma / sigma_) * (max_sigma / sigma_);
        const double first_cut = ratio ? cut_mass : power_cut_mass;
        const double w_low = std::max({w_min_sigma, 2.0 * boost::math::gamma_p_inv(a, first_cut),
                                       w_of_z(z_floor())});

        // Below w_low (s < min_sigma, or the cut): the limit g(s) moves steadily from its value
        // as s -> 0 (the mean of the logs itself: g = 0) to its value at w_low, so the
        // integrand lies between its values at the two ends.
        const double mass_low = boost::math::gamma_p(a, w_low / 2.0);
        if (mass_low > 0.0) {
            const double end = value(q, w_low, out);
            const double zero =
                ratio ? 1.0 : normal_cdf(-mu_ * std::sqrt(static_cast<double>(n_)) / sigma_);
            out.value += mass_low * 0.5 * (zero + end);
            out.error += mass_low * 0.5 * std::fabs(zero - end);
        }
        // Above w_high (s > max_sigma, or the cut): the power's integrand lies between 0 and its
        // value at w_high. exp(g) is at least its value there, and nothing the engine knows
        // bounds it above: its share mass * exp(g(w_high)) is added to the value and again to
        // the error. For the expected ratio the cut moves out until that share is negligible;
        // a share that stays leaves the expected ratio unbounded.
        double w_high = w_max_sigma;
        double mass_high = 0.0;
        double end_high = 0.0;
        for (double cut = first_cut;; cut = cut * cut) {
            w_high = std::min(w_max_sigma, 2.0 * boost::math::gamma_q_inv(a, cut));
            mass_high = boost::math::gamma_q(a, w_high / 2.0);
            if (mass_high == 0.0) {
                break;
            }
            end_high = value(q, w_high, out);
            if (!ratio || mass_high * end_high <= negligible_ratio_tail ||
                w_high == w_max_sigma || cut < 1.0e-150) {
                break;
            }
        }
        if (mass_high > 0.0) {
            const double share = ratio ? mass_high * end_high : mass_high * 0.5 * end_high;
            out.value += share;
            out.error += share;
            if (ratio && !(share <= negligible_ratio_tail)) {
                out.messages.push_back(
                    "the expected ratio is not bounded: beyond s = " + shortest(s_of_w(w_high)) +
                    ", with probability " + shortest(mass_high) +
                    ", the upper limit is at least " + shortest(end_high) +
                    " times the geometric mean, and the expectation may not exist");
                out.error = std::numeric_limits<double>::infinity();
                return out;
            }
        }

        // Globally adaptive Gauss-Kronrod over z, from pieces split where the density of z
        // (close to the standard normal density) changes its shape: split the piece of the
        // largest error until the sum meets the tolerance.
        const double z_low = z_of_w(w_low);
        const double z_high = z_of_w(w_high);
        std::vector<Piece> pieces;
        double from = z_low;
        for (const double cut : first_cuts) {
            if (cut > from && cut < z_high) {
                pieces.push_back(piece(q, from, cut, out));
                from = cut;
            }
        }
        pieces.push_back(piece(q, from, z_high, out));
        for (;;) {
            double sum = 0.0;
            double err = 0.0;
            for (const Piece& p : pieces) {
                sum += p.value;
                err += p.error;
            }
            if (!(std::isfinite(sum) && std::isfinite(err))) {
                out.messages.push_back("the expected ratio exceeds the range of double precision");
                out.value = sum;
                out.error = std::numeric_limits<double>::infinity();
                return out;
            }
            const double goal = quadrature_share * (ratio ? ratio_tolerance * (sum + out.value)
                                                          : power_tolerance);
            if (err <= goal || pieces.size() >= max_intervals) {
                out.value += sum;
                out.error += err;
                return out;
            }
            const auto worst = std::max_element(
                pieces.begin(), pieces.end(),
                [](const Piece& x, const Piece& y) { return x.error < y.error; });
            const Piece split = *worst;
            pieces.erase(worst);
            const double middle = 0.5 * (split.from + split.to);
            pieces.push_back(piece(q, split.from, middle, out));
            pieces.push_back(piece(q, middle, split.to, out));
        }
    }

    [[nodiscard]] bool searches_ok() const { return searches_ok_; }
    [[nodiscard]] const std::vector<std::string>& search_messages() const {
        return search_messages_;
    }

private:
    struct Piece {
        double from = 0.0;
        double to = 0.0;
        double value = 0.0;
        double error = 0.0;
    };

    // The Wilson-Hilferty cube and its inverse; z_floor is where the cube's base is 0.
    [[nodiscard]] double z_floor() const { return -(1.0 - c_) / std::sqrt(c_); }
    [[nodiscard]] double w_of_z(double z) const {
        const double base = std::max(0.0, 1.0 - c_ + z * std::sqrt(c_));
        return nu_ * base * base * base;
    }
    [[nodiscard]] double dw_dz(double z) const {
        const double base = std::max(0.0, 1.0 - c_ + z * std::sqrt(c_));
        return 3.0 * nu_ * base * base * std::sqrt(c_);
    }
    [[nodiscard]] double z_of_w(double w) const {
        return (std::cbrt(w / nu_) - 1.0 + c_) / std::sqrt(c_);
    }
    [[nodiscard]] double s_of_w(double w) const { return sigma_ * std::sqrt(w / nu_); }

    // g(s): the engine's one-sided upper limit of mu + s^2/2 for a sample whose logs have mean 0
    // and standard deviation s, searched once for each s.
    double limit(double s) {
        const auto found = limits_.find(s);
        if (found != limits_.end()) {
            return found->second;
        }
        const LognormalMean m = lognormal_mean(summary_from_logs(n_, 0.0, s), Kind::upper, gamma_);
        if (m.limits.status != Status::ok && searches_ok_) {
            searches_ok_ = false;
            search_messages_.push_back("the upper limit at s = " + shortest(s) +
                                       " is not confirmed by its search");
        }
        limits_.emplace(s, m.limits.upper);
        return m.limits.upper;
    }

    // The integrand at w, without the density: Phi((ln L - mu - g(s)) sqrt(n) / sigma) for the
    // power, exp(g(s)) for the expected ratio.
    double value(Quantity q, double w, Result&) {
        const double g = limit(std::clamp(s_of_w(w), min_sigma, max_sigma));
        if (q == Quantity::ratio) {
            return std::exp(g);
        }
        return normal_cdf((0.0 - mu_ - g) * std::sqrt(static_cast<double>(n_)) / sigma_);
    }

    // The density of z: the chi^2(nu) density of w(z) times dw/dz.
    [[nodiscard]] double weight(double z) const {
        const double w = w_of_z(z);
        if (!(w > 0.0)) {
            return 0.0;
        }
        return 0.5 * boost::math::gamma_p_derivative(nu_ / 2.0, w / 2.0) * dw_dz(z);
    }

    // Gauss-Kronrod (7, 15) over [from, to] with QUADPACK's error estimate (qk15).
    Piece piece(Quantity q, double from, double to, Result& out) {
        // The Kronrod abscissae and weights, and the Gauss weights of the abscissae 1, 3, 5, 7.
        static constexpr std::array<double, 8> x = {
            0.991455371120812639206854697526329, 0.949107912342758524526189684047851,
            0.864864423359769072789712788640926, 0.741531185599394439863864773280788,
            0.586087235467691130294144845693013, 0.405845151377397166906606412076961,
            0.207784955007898467600689403773245, 0.000000000000000000000000000000000};
        static constexpr std::array<double, 8> wk = {
            0.022935322010529224963732008058970, 0.063092092629978553290700663189204,
            0.104790010322250183839876322541518, 0.140653259715525918745189590510238,
            0.169004726639267902826583426598550, 0.190350578064785409913256402421014,
            0.204432940075298892414161999234649, 0.209482141084727828012999174891714};
        static constexpr std::array<double, 4> wg = {
            0.129484966168869693270611432679082, 0.279705391489276667901467771423780,
            0.381830050505118944950369775488975, 0.417959183673469387755102040816327};
        const double half = 0.5 * (to - from);
        const double centre = 0.5 * (to + from);
        std::array<double, 15> f{};
        double kronrod = 0.0;
        double gauss = 0.0;
        for (std::size_t i = 0; i < 15; ++i) {
            const std::size_t j = i < 8 ? i : 14 - i;
            const double z = centre + half * (i < 8 ? -x[j] : x[j]);
            const double density = weight(z);
            f[i] = density > 0.0 ? value(q, w_of_z(z), out) * density : 0.0;
            kronrod += wk[j] * f[i];
            if (j % 2 == 1) {
                gauss += wg[j / 2] * f[i];
            }
        }
        const double mean = kronrod * 0.5;
        double absolute = 0.0; // of |f - mean f|, the scale of the error
        for (std::size_t i = 0; i < 15; ++i) {
            absolute += wk[i < 8 ? i : 14 - i] * std::fabs(f[i] - mean);
        }
        const double diff = std::fabs((kronrod - gauss) * half);
        const double scale = absolute * std::fabs(half);
        Piece p;
        p.from = from;
        p.to = to;
        p.value = kronrod * half;
        p.error = scale == 0.0 || diff == 0.0
                      ? diff
                      : scale * std::min(1.0, std::pow(200.0 * diff / scale, 1.5));
        return p;
    }

    std::size_t n_;
    double sigma_;
    double gamma_;
    double nu_;
    double c_;
    double mu_ = 0.0;
    std::map<double, double> limits_; // g(s) by s
    bool searches_ok_ = true;
    std::vector<std::string> search_messages_;
};

void finish(PowerResult& r, double tolerance, const MeanIntegrals& integrals, const char* what) {
    if (!integrals.searches_ok()) {
        r.status = Status::search_failed;
        r.messages.insert(r.messages.end(), integrals.search_messages().begin(),
                          integrals.search_messages().end());
    }
    if (!(r.error <= tolerance)) {
        r.status = Status::search_failed;
        if (std::isfinite(r.error)) {
            r.messages.push_back(std::string(what) + " is not computed to its tolerance " +
                                 shortest(tolerance) + ": error bound " + shortest(r.error));
        }
    }
}

PlanRow mean_row(std::size_t n, const PlanSetting& setting, bool want_power, bool want_ratio) {
    MeanIntegrals integrals(n, setting);
    PlanRow row;
    row.n = n;
    const auto fill = [&](PowerResult& r, const MeanIntegrals::Result& got) {
        r.value = got.value;
        r.error = got.error;
        r.messages = got.messages;
    };
    if (want_power) {
        fill(row.power, integrals.integrate(MeanIntegrals::Quantity::power));
        row.power.value = std::clamp(row.power.value, 0.0, 1.0);
    }
    if (want_ratio) {
        fill(row.expected_ratio, integrals.integrate(MeanIntegrals::Quantity::ratio));
        const double sigma = setting.log_sd;
        const double count = static_cast<double>(n);
        const double factor = std::exp(sigma * sigma / (2.0 * count) - sigma * sigma / 2.0);
        row.expected_ratio.value = factor * row.expected_ratio.value;
        row.expected_ratio.error = factor * row.expected_ratio.error;
        if (!std::isfinite(row.expected_ratio.value) || !std::isfinite(row.expected_ratio.error)) {
            row.expected_ratio.value = not_computed; // no number to give
            row.expected_ratio.error = std::numeric_limits<double>::infinity();
        }
    }
    // The searches' messages go with each value computed; the tolerances are checked last.
    if (want_power) {
        finish(row.power, power_tolerance, integrals, "the power");
    }
    if (want_ratio) {
        finish(row.expected_ratio, ratio_tolerance * row.expected_ratio.value, integrals,
               "the expected ratio");
    }
    row.status = row.power.status == Status::ok && row.expected_ratio.status == Status::ok
                     ? Status::ok
                     : Status::search_failed;
    return row;
}

PowerResult percentile_power(std::size_t n, const PlanSetting& setting) {
    // power = 1 - F(sqrt(n) K; n - 1, sqrt(n) (z_P - ln(ratio) / sigma)),
    // K = t'_gamma(n - 1, z_P sqrt(n)) / sqrt(n).
    PowerResult out;
    const double count = static_cast<double>(n);
    const double nu = count - 1.0;
    const double root_n = std::sqrt(count);
    const double z = detail::normal_quantile(setting.percentile);
    const detail::NctResult quantile = detail::nct_quantile(setting.confidence, nu, z * root_n);
    if (!quantile.ok) {
        out.status = Status::search_failed;
        out.messages.push_back("the percentile's limit factor is not computed: " +
                               quantile.message);
        return out;
    }
    const double k = quantile.value / root_n;
    const double delta = root_n * (z - std::log(*setting.ratio) / setting.log_sd);
    const detail::NctResult tail = detail::nct_cdf(root_n * k, nu, delta, true);
    if (!tail.ok) {
        out.status = Status::search_failed;
        out.messages.push_back("the noncentral t distribution function failed: " + tail.message);
        return out;
    }
    out.value = tail.value;
    out.error = 0.0;
    return out;
}

} // namespace

const char* to_string(Statistic statistic) {
    return statistic == Statistic::mean ? "mean" : "percentile";
}

Statistic statistic_from_string(const std::string& name) {
    if (name == "mean") {
        return Statistic::mean;
    }
    if (name == "percentile") {
        return Statistic::percentile;
    }
    throw std::invalid_argument("statistic '" + name + "' is neither 'mean' nor 'percentile'");
}

const char* to_string(Goal goal) { return goal == Goal::power ? "power" : "expected_ratio"; }

double log_sd_from_gsd(double gsd) {
    if (!(gsd > 1.0)) {
        refuse("GSD = " + shortest(gsd) +
               " must be above 1: a GSD of 1 or less is no spread of a lognormal population");
    }
    const double s = std::log(gsd);
    if (!(s >= min_sigma && s <= max_sigma)) {
        refuse("GSD = " + shortest(gsd) + " is outside the supported range [" +
               shortest(std::exp(min_sigma)) + ", " + shortest(std::exp(max_sigma)) + "]");
    }
    return s;
}

PlanRow plan_row(std::size_t n, const PlanSetting& setting) {
    check_setting(setting);
    check_n(n);
    if (setting.statistic == Statistic::mean) {
        return mean_row(n, setting, setting.ratio.has_value(), true);
    }
    PlanRow row;
    row.n = n;
    if (setting.ratio) {
        row.power = percentile_power(n, setting);
        row.status = row.power.status;
    }
    return row;
}

PowerResult power(std::size_t n, const PlanSetting& setting) {
    check_setting(setting);
    check_n(n);
    if (!setting.ratio) {
        refuse("the power needs the ratio of the true value to the limit");
    }
    if (setting.statistic == Statistic::percentile) {
        return percentile_power(n, setting);
    }
    return mean_row(n, setting, true, false).power;
}

PowerResult expected_ratio(std::size_t n, const PlanSetting& setting) {
    check_setting(setting);
    check_n(n);
    if (setting.statistic != Statistic::mean) {
        refuse("the expected ratio is that of the mean's upper limit, not the percentile's");
    }
    return mean_row(n, setting, false, true).expected_ratio;
}

namespace {

// The grid of a search: every n of a range of up to grid_points values, otherwise grid_points
// values spaced evenly on the log scale, both ends included.
constexpr std::size_t grid_points = 16;

std::vector<std::size_t> search_grid(std::size_t from, std::size_t to) {
    std::vector<std::size_t> grid;
    if (to - from + 1 <= grid_points) {
        for (std::size_t n = from; n <= to; ++n) {
            grid.push_back(n);
        }
        return grid;
    }
    const double span = std::log(static_cast<double>(to) / static_cast<double>(from));
    for (std::size_t i = 0; i < grid_points; ++i) {
        const double t = static_cast<double>(i) / static_cast<double>(grid_points - 1);
        const auto n = static_cast<std::size_t>(
            std::llround(static_cast<double>(from) * std::exp(span * t)));
        const std::size_t clamped = std::clamp(n, from, to);
        if (grid.empty() || clamped > grid.back()) {
            grid.push_back(clamped);
        }
    }
    grid.back() = to;
    return grid;
}

} // namespace

void check_search(const PlanSetting& setting, const Target& target, std::size_t n_from,
                  std::size_t n_to) {
    check_setting(setting);
    if (n_from > n_to) {
        refuse("the range of n " + std::to_string(n_from) + ":" + std::to_string(n_to) +
               " is empty: its first value must not exceed its last");
    }
    check_n(n_from);
    check_n(n_to);
    if (target.goal == Goal::power) {
        if (!(target.value > 0.0 && target.value < 1.0)) {
            refuse("target power = " + shortest(target.value) +
                   " must lie strictly between 0 and 1");
        }
        if (!setting.ratio) {
            refuse("a target power needs the ratio of the true value to the limit");
        }
    } else {
        if (!(target.value > 1.0 && std::isfinite(target.value))) {
            refuse("target expected ratio = " + shortest(target.value) +
                   " must be a finite number above 1: the upper limit lies above the mean");
        }
        if (setting.statistic != Statistic::mean) {
            refuse("the expected ratio is that of the mean's upper limit, not the percentile's");
        }
    }

}

SampleSize sample_size(const PlanSetting& setting, const Target& target, std::size_t n_from,
                       std::size_t n_to,
                       const std::function<void(const PlanRow&, std::size_t)>& progress) {
    check_search(setting, target, n_from, n_to);
    const bool by_power = target.goal == Goal::power;
    SampleSize out;
    const auto value_of = [&](const PlanRow& row) {
        return by_power ? row.power.value : row.expected_ratio.value;
    };
    const auto reaches = [&](const PlanRow& row) {
        const double v = value_of(row);
        return by_power ? v >= target.value : v <= target.value;
    };
    // A one-row range gets both quantities (where they apply), a search the one it searches.
    const auto evaluate = [&](std::size_t n) -> const PlanRow& {
        PlanRow row;
        if (n_from == n_to) {
            row = plan_row(n, setting);
        } else if (setting.statistic == Statistic::percentile) {
            row.n = n;
            row.power = percentile_power(n, setting);
        } else {
            row = mean_row(n, setting, by_power, !by_power);
        }
        row.status = row.power.status == Status::ok && row.expected_ratio.status == Status::ok
                         ? Status::ok
                         : Status::search_failed;
        out.rows.push_back(std::move(row));
        if (progress) {
            progress(out.rows.back(), out.rows.size());
        }
        return out.rows.back();
    };

    const std::vector<std::size_t> grid = search_grid(n_from, n_to);
    std::optional<std::size_t> first_met; // index into grid
    for (std::size_t i = 0; i < grid.size(); ++i) {
        if (reaches(evaluate(grid[i])) && !first_met) {
            first_met = i;
        }
    }
    if (first_met) {
        std::size_t met = grid[*first_met];
        if (*first_met > 0) {
            std::size_t short_of = grid[*first_met - 1];
            while (met - short_of > 1) {
                const std::size_t middle = short_of + (met - short_of) / 2;
                if (reaches(evaluate(middle))) {
                    met = middle;
                } else {
                    short_of = middle;
                }
            }
        }
        out.n = met;
    }
    std::sort(out.rows.begin(), out.rows.end(),
              [](const PlanRow& a, const PlanRow& b) { return a.n < b.n; });
    for (const PlanRow& row : out.rows) {
        if (out.n && row.n == *out.n) {
            out.achieved = value_of(row);
        }
        if (row.status != Status::ok) {
            out.status = Status::search_failed;
        }
    }
    // Checked monotone: each value no worse than the one before less their two error bounds.
    for (std::size_t i = 1; i < out.rows.size() && out.monotone; ++i) {
        const PowerResult& a = by_power ? out.rows[i - 1].power : out.rows[i - 1].expected_ratio;
        const PowerResult& b = by_power ? out.rows[i].power : out.rows[i].expected_ratio;
        const double slack = a.error + b.error;
        const bool in_order = by_power ? b.value >= a.value - slack : b.value <= a.value + slack;
        if (!in_order && !std::isnan(a.value) && !std::isnan(b.value)) {
            out.monotone = false;
            out.messages.push_back(std::string("the ") + (by_power ? "power" : "expected ratio") +
                                   " is not monotone in n: " + shortest(a.value) + " at n = " +
                                   std::to_string(out.rows[i - 1].n) + ", " + shortest(b.value) +
                                   " at n = " + std::to_string(out.rows[i].n) +
                                   "; the sample size is the first crossing the search found");
        }
    }
    if (out.status != Status::ok) {
        out.messages.push_back("some values of the curve are not computed reliably");
    }
    if (!out.n) {
        out.messages.push_back(std::string("no n from ") + std::to_string(n_from) + " to " +
                               std::to_string(n_to) + " reaches the target " + to_string(target.goal) +
                               " " + shortest(target.value));
    }
    return out;
}

} // namespace lvlim
