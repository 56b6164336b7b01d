// The R side of lvlim: conversions between R vectors and the C++ API, nothing more. Every
// number comes from lvlim::limits and lvlim::lognormal_mean; the R functions recycle their
// arguments and check their types before they call in here.
#include <Rcpp.h>

#include <cmath>
#include <cstddef>
#include <stdexcept>
#include <string>
#include <vector>

#include "lvlim/lvlim.hpp"

namespace {

lvlim::Controls controls_from(const Rcpp::List& control) {
    lvlim::Controls c;
    c.max_iterations = Rcpp::as<int>(control["max.iterations"]);
    c.bessel_arg_top = Rcpp::as<double>(control["bessel.arg.top"]);
    c.tolerance = Rcpp::as<double>(control["tolerance"]);
    c.result_tol = Rcpp::as<double>(control["result.tol"]);
    c.refine = Rcpp::as<bool>(control["refine"]);
    return c;
}

// NA for the side of an interval that a kind does not have.
double value_or_na(double value, bool exists) { return exists ? value : NA_REAL; }
int count_or_na(int count, bool exists) { return exists ? count : NA_INTEGER; }

Rcpp::CharacterVector joined_messages(const std::vector<std::string>& lines) {
    Rcpp::CharacterVector out(lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        out[static_cast<R_xlen_t>(i)] = lines[i];
    }
    return out;
}

} // namespace

// The columns of lvlim_limits() for arguments already recycled to one length. A row with a
// missing input (NA or NaN) gives NA throughout; so does a row with a value out of range, whose
// status is "invalid" and whose message is the API's.
// [[Rcpp::export(.limits_columns)]]
Rcpp::List limits_columns(const Rcpp::NumericVector& sigma, const Rcpp::NumericVector& nu,
                          const Rcpp::NumericVector& mu, const Rcpp::NumericVector& lambda,
                          const Rcpp::NumericVector& gammasq,
                          const Rcpp::NumericVector& conf_level, const std::string& ci_type,
                          const Rcpp::List& control) {
    const lvlim::Kind kind = lvlim::kind_from_string(ci_type);
    const lvlim::Controls controls = controls_from(control);
    const bool has_lower = kind != lvlim::Kind::upper;
    const bool has_upper = kind != lvlim::Kind::lower;
    const R_xlen_t n = sigma.size();

    Rcpp::NumericVector k_lower(n), k_upper(n), lower(n), upper(n);
    Rcpp::IntegerVector iterations_lower(n), iterations_upper(n);
    Rcpp::CharacterVector status(n);
    Rcpp::List messages(n);
    for (R_xlen_t i = 0; i < n; ++i) {
        if (i % 64 == 0) {
            Rcpp::checkUserInterrupt();
        }
        const double inputs[] = {sigma[i], nu[i], mu[i], lambda[i], gammasq[i], conf_level[i]};
        bool missing = false;
        for (const double v : inputs) {
            missing = missing || std::isnan(v);
        }
        if (missing) {
            k_lower[i] = k_upper[i] = lower[i] = upper[i] = NA_REAL;
            iterations_lower[i] = iterations_upper[i] = NA_INTEGER;
            status[i] = NA_STRING;
            messages[i] = Rcpp::CharacterVector(0);
            continue;
        }
        const lvlim::Setting setting{mu[i], sigma[i], nu[i], gammasq[i], lambda[i]};
        lvlim::Limits limits;
        try {
            limits = lvlim::limits(setting, kind, conf_level[i], controls);
        } catch (const std::invalid_argument& e) {
            k_lower[i] = k_upper[i] = lower[i] = upper[i] = NA_REAL;
            iterations_lower[i] = iterations_upper[i] = NA_INTEGER;
            status[i] = "invalid";
            messages[i] = Rcpp::CharacterVector::create(e.what());
            continue;
        }
        k_lower[i] = value_or_na(limits.k_lower, has_lower);
        k_upper[i] = value_or_na(limits.k_upper, has_upper);
        lower[i] = value_or_na(limits.lower, has_lower);
        upper[i] = value_or_na(limits.upper, has_upper);
        iterations_lower[i] = count_or_na(limits.iterations_lower, has_lower);
        iterations_upper[i] = count_or_na(limits.iterations_upper, has_upper);
        status[i] = lvlim::to_string(limits.status);
        messages[i] = joined_messages(limits.messages);
    }
    return Rcpp::List::create(
        Rcpp::Named("k.lower") = k_lower, Rcpp::Named("k.upper") = k_upper,
        Rcpp::Named("lower") = lower, Rcpp::Named("upper") = upper,
        Rcpp::Named("iterations.lower") = iterations_lower,
        Rcpp::Named("iterations.upper") = iterations_upper, Rcpp::Named("status") = status,
        Rcpp::Named("messages") = messages);
}

// The summary of positive measurements and the limits of their lognormal mean.
// [[Rcpp::export(.lognormal_mean)]]
Rcpp::List lognormal_mean(const Rcpp::NumericVector& x, double conf_level,
                          const std::string& ci_type, const Rcpp::List& control) {
    const lvlim::Kind kind = lvlim::kind_from_string(ci_type);
    const std::vector<double> values(x.begin(), x.end());
    lvlim::LognormalMean m;
    try {
        m = lvlim::lognormal_mean(values, kind, conf_level, controls_from(control));
    } catch (const std::invalid_argument& e) {
        Rcpp::stop(e.what());
    }
    const bool has_lower = kind != lvlim::Kind::upper;
    const bool has_upper = kind != lvlim::Kind::lower;
    return Rcpp::List::create(
        Rcpp::Named("n") = static_cast<double>(m.summary.n),
        Rcpp::Named("log.mean") = m.summary.log_mean, Rcpp::Named("log.sd") = m.summary.log_sd,
        Rcpp::Named("mvue") = m.summary.mvue, Rcpp::Named("sample.mean") = m.summary.sample_mean,
        Rcpp::Named("nu") = m.nu, Rcpp::Named("gammasq") = m.gammasquared,
        Rcpp::Named("log.lower") = value_or_na(m.limits.lower, has_lower),
        Rcpp::Named("log.upper") = value_or_na(m.limits.upper, has_upper),
        Rcpp::Named("mean.lower") = value_or_na(m.mean_lower, has_lower),
        Rcpp::Named("mean.upper") = value_or_na(m.mean_upper, has_upper),
        Rcpp::Named("status") = lvlim::to_string(m.limits.status),
        Rcpp::Named("messages") = joined_messages(m.limits.messages));
}

// The API's default control values and the largest BesselArgTop it accepts.
// [[Rcpp::export(.api_controls)]]
Rcpp::List api_controls() {
    const lvlim::Controls c;
    return Rcpp::List::create(Rcpp::Named("max.iterations") = c.max_iterations,
                              Rcpp::Named("bessel.arg.top") = c.bessel_arg_top,
                              Rcpp::Named("tolerance") = c.tolerance,
                              Rcpp::Named("result.tol") = c.result_tol,
                              Rcpp::Named("refine") = true,
                              Rcpp::Named("max.bessel.arg.top") = lvlim::max_bessel_arg_top);
}
