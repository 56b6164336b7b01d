// The limits of one setting: the range checks, one run of the engine with its messages captured,
// and the status of the searches.
#include "lvlim/limits.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <sstream>
#include <stdexcept>
#include <string_view>

#include "Guts/control.hpp"
#include "common/number_text.hpp"
#include "Guts/mainguts.hpp"
#include "Guts/messages.hpp"
#include "src/range_checks.hpp"

namespace lvlim {

namespace {

using detail::check_range;
using detail::refuse;

} // namespace

void check_setting(const Setting& s, double confidence, const Controls& c) {
    if (!(confidence > 0.0 && confidence < 1.0)) {
        refuse("confidence", confidence, "(0, 1): it must lie strictly between 0 and 1");
    }
    check_range("sigma", s.sigma, min_sigma, max_sigma);
    check_range("nu", s.nu, min_nu, max_nu);
    if (!std::isfinite(s.mu)) {
        refuse("mu", s.mu, "the finite numbers");
    }
    if (!(std::isfinite(s.gammasquared) && s.gammasquared > 0.0)) {
        refuse("gammasquared", s.gammasquared, "the finite positive numbers");
    }
    if (!(std::isfinite(s.lambda) && s.lambda != 0.0)) {
        refuse("lambda", s.lambda, "the finite non-zero numbers");
    }
    if (!(std::isfinite(c.bessel_arg_top) && c.bessel_arg_top <= max_bessel_arg_top)) {
        refuse("bessel_arg_top", c.bessel_arg_top, "its range: a finite number of at most 800");
    }
    if (!std::isfinite(c.tolerance)) {
        refuse("tolerance", c.tolerance, "the finite numbers");
    }
    if (!std::isfinite(c.result_tol)) {
        refuse("result_tol", c.result_tol, "the finite numbers");
    }
}

namespace {

// Points the engine's messages and control block at this call for its duration, and puts both
// back afterwards, so that a caller's own settings on the same thread are left as they were.
class EngineCall {
public:
    EngineCall() : saved_stream_(engine_messages), saved_block_(controlparms) {
        engine_messages = &captured_;
    }
    ~EngineCall() {
        engine_messages = saved_stream_;
        controlparms = saved_block_;
    }
    EngineCall(const EngineCall&) = delete;
    EngineCall& operator=(const EngineCall&) = delete;

    // The lines the engine wrote, without the leading blank of each record.
    [[nodiscard]] std::vector<std::string> lines() const {
        std::vector<std::string> out;
        std::istringstream in(captured_.str());
        for (std::string line; std::getline(in, line);) {
            if (!line.empty() && line.front() == ' ') {
                line.erase(0, 1);
            }
            out.push_back(line);
        }
        return out;
    }

private:
    std::ostringstream captured_;
    std::ostream* saved_stream_;
    ControlParms saved_block_;
};

// How closely a limit is confirmed: relative to max(1, |k|), the accuracy the supported range is
// verified to.
constexpr double confirm_step = 1.0e-6;
// The confirming evaluations integrate this much more tightly than the search did.
constexpr double confirm_tolerance_ratio = 0.01;

// The condition that a standardized limit k solves, as the engine's search sees it: the one-sided
// tail probability minus its target, or the two-sided share minus alpha, both at
// theta = S^2/2 + k S/sqrt(f). S, f and the target are formed as onetail and twotail form them.
class LimitCondition {
public:
    LimitCondition(const Setting& s, Kind kind, double confidence, int which)
        : kind_(kind), which_(which), a_(confidence) {
        f_ = static_cast<double>(static_cast<int>(s.nu + 1.0) - 1);
        if (kind == Kind::two_sided) {
            S_ = 2.0 * std::fabs(s.lambda) * std::sqrt(s.gammasquared) * s.sigma /
                 std::sqrt(f_ + 1.0);
        } else {
            S_ = (2.0 * std::fabs(s.lambda)) * std::sqrt(s.gammasquared) * s.sigma /
                 std::sqrt(s.nu + 1.0);
            double p = kind == Kind::upper ? confidence : 1.0 - confidence;
            if (s.lambda < 0.0) {
                p = 1.0 - p;
            }
            a_ = 1.0 - p;
        }
        lg_ = dlgama(f_ * 0.5);
    }

    // The residual at k; NaN when the tail function fails there.
    [[nodiscard]] double residual(double k) const {
        const double theta = (0.5 * S_) * S_ + k * S_ / std::sqrt(f_);
        const double top = controlparms.BesselArgTop;
        if (kind_ != Kind::two_sided) {
            const double G = newgadap(theta, f_, S_, top, lg_);
            return G == newgadap_failed ? std::numeric_limits<double>::quiet_NaN() : G - a_;
        }
        int failed = 0;
        const double G = twotailedg(theta, a_, which_, f_, S_, top, lg_, failed);
        return failed != 0 ? std::numeric_limits<double>::quiet_NaN() : G - a_;
    }

    // Whether k is the root to within confirm_step relative: one Newton step on the condition,
    // integrated more tightly than the search was, moves it no further than that. This holds
    // for a search that converged, whatever its count says, and fails for one that stopped
    // away from the root, or on a condition too flat for its quadrature to pin the root down.
    [[nodiscard]] bool confirms(double k) const {
        if (!std::isfinite(k)) {
            return false;
        }
        const double tolerance = controlparms.Tolerance;
        controlparms.Tolerance = tolerance * confirm_tolerance_ratio;
        const double h = confirm_step * std::max(1.0, std::fabs(k));
        const double r0 = residual(k);
        const double r1 = residual(k + h);
        controlparms.Tolerance = tolerance;
        // |Newton step| = |r0| h / |r1 - r0| <= h; false for values that are not numbers.
        return std::fabs(r0) <= std::fabs(r1 - r0);
    }

private:
    Kind kind_;
    int which_;
    double a_;
    double f_ = 0.0;
    double S_ = 0.0;
    double lg_ = 0.0;
};

} // namespace

namespace {

// Which limits of a search did not solve their condition.
struct Unconfirmed {
    bool lower = false;
    bool upper = false;
};

// One run of the engine's search at `controls`, with the status of its limits.
Limits search(const Setting& setting, Kind kind, double confidence, const Controls& controls,
              Unconfirmed& unconfirmed) {
    Limits out;
    out.kind = kind;
    out.confidence = confidence;
    const Setting& s = setting;
    const Controls& c = controls;
    bool failed = false;
    {
        const EngineCall call;
        double time = 0.0;
        if (kind == Kind::two_sided) {
            double lower = 0.0;
            double upper = 0.0;
            twotail(s.mu, s.sigma, s.nu, confidence, s.lambda, s.gammasquared, c.bessel_arg_top,
                    c.tolerance, c.result_tol, c.max_iterations, lower, out.k_lower, upper,
                    out.k_upper, time, out.iterations_lower, out.iterations_upper);
            // For a negative lambda the pair is mirrored: the engine's lower value lies above.
            out.lower = std::min(lower, upper);
            out.upper = std::max(lower, upper);
            if (std::isnan(lower) || std::isnan(upper)) {
                out.lower = lower;
                out.upper = upper;
            }
            failed = !std::isfinite(lower) || !std::isfinite(upper);
        } else {
            const int which = kind == Kind::upper ? 1 : 2;
            double k = 0.0;
            double limit = 0.0;
            int count = 0;
            // The confidence is the engine's alpha; `limit` its ConfidenceLimit.
            // NOLINTNEXTLINE(readability-suspicious-call-argument): the engine's names differ
            onetail(which, s.mu, s.sigma, s.nu, confidence, s.lambda, s.gammasquared,
                    c.bessel_arg_top, c.tolerance, c.result_tol, c.max_iterations, k, limit, time,
                    count);
            failed = !std::isfinite(limit);
            if (kind == Kind::upper) {
                out.k_upper = k;
                out.upper = limit;
                out.iterations_upper = count;
            } else {
                out.k_lower = k;
                out.lower = limit;
                out.iterations_lower = count;
            }
        }
        out.messages = call.lines();
        // Whether each limit solves its condition; after the messages are taken, for the
        // confirming evaluations may report too. (The one-sided secant search stops on exact
        // stagnation, on a small residual, or when the iterations run out, often in the rounding
        // noise of the root; the two-sided searches may report a failure next to a good limit.)
        if (kind == Kind::two_sided) {
            unconfirmed.lower = !LimitCondition(s, kind, confidence, 1).confirms(out.k_lower);
            unconfirmed.upper = !LimitCondition(s, kind, confidence, 2).confirms(out.k_upper);
        } else if (kind == Kind::upper) {
            unconfirmed.upper = !LimitCondition(s, kind, confidence, 0).confirms(out.k_upper);
        } else {
            unconfirmed.lower = !LimitCondition(s, kind, confidence, 0).confirms(out.k_lower);
        }
        failed = failed || unconfirmed.lower || unconfirmed.upper;
    }
    out.status = failed ? Status::search_failed : Status::ok;
    return out;
}

// A refined limit that stays unconfirmed says why, unless the searches reported their failure
// themselves (their other lines, "Set Factor to 0", say nothing of it).
void explain_unconfirmed(Limits& l, const Unconfirmed& unconfirmed) {
    const auto reports_failure = [](const std::string& line) {
        return line.find("failed") != std::string::npos;
    };
    if (l.status != Status::search_failed ||
        std::any_of(l.messages.begin(), l.messages.end(), reports_failure)) {
        return;
    }
    const std::size_t reported = l.messages.size();
    const auto explain = [&](const char* side, double k) {
        l.messages.push_back(std::string("the ") + side + " limit (standardized " + number_text::shortest_plain(k) +
                             ") is not confirmed at tolerance " + number_text::shortest_plain(precise_tolerance) +
                             ": one Newton step on its condition moves it by more than 1e-6 of "
                             "max(1, |k|)");
    };
    if (unconfirmed.lower) {
        explain("lower", l.k_lower);
    }
    if (unconfirmed.upper) {
        explain("upper", l.k_upper);
    }
    if (l.messages.size() == reported) {
        l.messages.emplace_back("the search stopped without a limit at tolerance " +
                                number_text::shortest_plain(precise_tolerance));
    }
}

} // namespace

Limits limits(const Setting& setting, Kind kind, double confidence, const Controls& controls) {
    check_setting(setting, confidence, controls);
    Unconfirmed unconfirmed;
    Limits out = search(setting, kind, confidence, controls, unconfirmed);
    if (out.status == Status::search_failed && controls.refine) {
        if (controls.tolerance > precise_tolerance) {
            Controls precise = controls;
            precise.tolerance = precise_tolerance;
            unconfirmed = Unconfirmed{};
            out = search(setting, kind, confidence, precise, unconfirmed);
        }
        explain_unconfirmed(out, unconfirmed);
    }
    return out;
}

} // namespace lvlim
