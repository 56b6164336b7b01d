// The planning functions of the R package: conversions between R vectors and the C++ planning
// API (lvlim/planning.hpp), nothing more. The R functions in R/planning.R recycle their
// arguments and check their types before they call in here; std::invalid_argument reaches R as
// an error with its message. R's interrupts are looked for between values (and between the
// rows of a search).
#include <Rcpp.h>

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "lvlim/lvlim.hpp"

namespace {

lvlim::PlanSetting plan_setting(double log_sd, double ratio, const std::string& statistic,
                                double percentile, double confidence) {
    lvlim::PlanSetting s;
    s.log_sd = log_sd;
    if (!Rcpp::NumericVector::is_na(ratio)) {
        s.ratio = ratio;
    }
    s.statistic = lvlim::statistic_from_string(statistic);
    s.percentile = percentile;
    s.confidence = confidence;
    return s;
}

Rcpp::List plan_values(const Rcpp::NumericVector& n, const Rcpp::NumericVector& log_sd,
                       const Rcpp::NumericVector& ratio, const std::string& statistic,
                       double percentile, double confidence, const std::string& quantity) {
    const R_xlen_t size = n.size();
    Rcpp::NumericVector value(size);
    Rcpp::NumericVector error(size);
    Rcpp::CharacterVector status(size);
    Rcpp::List messages(size);
    for (R_xlen_t i = 0; i < size; ++i) {
        Rcpp::checkUserInterrupt();
        const lvlim::PlanSetting s =
            plan_setting(log_sd[i], ratio[i], statistic, percentile, confidence);
        const auto count = static_cast<std::size_t>(n[i]);
        const lvlim::PowerResult got = quantity == "power" ? lvlim::power(count, s)
                                                           : lvlim::expected_ratio(count, s);
        value[i] = got.value;
        error[i] = got.error;
        status[i] = lvlim::to_string(got.status);
        messages[i] = Rcpp::wrap(got.messages);
    }
    return Rcpp::List::create(Rcpp::Named("value") = value, Rcpp::Named("error") = error,
                              Rcpp::Named("status") = status,
                              Rcpp::Named("messages") = messages);
}

} // namespace

// [[Rcpp::export(name = ".lvlim_plan_values")]]
Rcpp::List lvlim_plan_values(Rcpp::NumericVector n, Rcpp::NumericVector log_sd,
                             Rcpp::NumericVector ratio, std::string statistic, double percentile,
                             double confidence, std::string quantity) {
    return plan_values(n, log_sd, ratio, statistic, percentile, confidence, quantity);
}

// [[Rcpp::export(name = ".lvlim_log_sd_from_gsd")]]
Rcpp::NumericVector lvlim_log_sd_from_gsd(Rcpp::NumericVector gsd) {
    Rcpp::NumericVector out(gsd.size());
    for (R_xlen_t i = 0; i < gsd.size(); ++i) {
        out[i] = lvlim::log_sd_from_gsd(gsd[i]);
    }
    return out;
}

// [[Rcpp::export(name = ".lvlim_sample_size")]]
Rcpp::List lvlim_sample_size_raw(double log_sd, double ratio, std::string statistic,
                                 double percentile, double confidence, std::string goal,
                                 double target, double n_from, double n_to) {
    const lvlim::PlanSetting s = plan_setting(log_sd, ratio, statistic, percentile, confidence);
    const lvlim::Target t{goal == "power" ? lvlim::Goal::power : lvlim::Goal::expected_ratio,
                          target};
    const lvlim::SampleSize found = lvlim::sample_size(
        s, t, static_cast<std::size_t>(n_from), static_cast<std::size_t>(n_to),
        [](const lvlim::PlanRow&, std::size_t) { Rcpp::checkUserInterrupt(); });
    const R_xlen_t rows = static_cast<R_xlen_t>(found.rows.size());
    Rcpp::NumericVector n(rows);
    Rcpp::NumericVector power(rows);
    Rcpp::NumericVector expected(rows);
    Rcpp::CharacterVector status(rows);
    for (R_xlen_t i = 0; i < rows; ++i) {
        const lvlim::PlanRow& row = found.rows[static_cast<std::size_t>(i)];
        n[i] = static_cast<double>(row.n);
        power[i] = row.power.value;
        expected[i] = row.expected_ratio.value;
        status[i] = lvlim::to_string(row.status);
    }
    return Rcpp::List::create(
        Rcpp::Named("n") = found.n ? static_cast<double>(*found.n) : NA_REAL,
        Rcpp::Named("achieved") = found.achieved,
        Rcpp::Named("curve") = Rcpp::DataFrame::create(
            Rcpp::Named("n") = n, Rcpp::Named("power") = power,
            Rcpp::Named("expected_ratio") = expected, Rcpp::Named("status") = status,
            Rcpp::Named("stringsAsFactors") = false),
        Rcpp::Named("monotone") = found.monotone,
        Rcpp::Named("status") = lvlim::to_string(found.status),
        Rcpp::Named("messages") = Rcpp::wrap(found.messages));
}
