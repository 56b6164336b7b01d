// lvlim_assess(): the one-sample assessment of the C++ API (lvlim/assessment.hpp) as a list of
// its fields, named as lvlim-data's CSV and JSON name them. Conversion only; R/assess.R checks
// the arguments and makes the object.
#include <Rcpp.h>

#include <cmath>
#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "lvlim/assessment.hpp"
#include "lvlim/lvlim.hpp"

namespace {

// NaN (a quantity that does not apply) as R's NA.
double na_for_nan(double value) {
    return std::isnan(value) ? NA_REAL : value;
}

Rcpp::CharacterVector lines_of(const std::vector<std::string>& lines) {
    Rcpp::CharacterVector out(lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        out[static_cast<R_xlen_t>(i)] = lines[i];
    }
    return out;
}

Rcpp::CharacterVector verdict_of(lvlim::Verdict v) {
    if (v == lvlim::Verdict::none) {
        return Rcpp::CharacterVector::create(NA_STRING);
    }
    return Rcpp::CharacterVector::create(std::string(lvlim::to_string(v)));
}

} // namespace

// The assessment of positive measurements; `limit` NA for none.
// [[Rcpp::export(.assess)]]
Rcpp::List assess_measurements(const Rcpp::NumericVector& x, double limit, double percentile,
                               double conf_level, const std::string& ci_type) {
    lvlim::AssessmentOptions options;
    options.kind = lvlim::kind_from_string(ci_type);
    if (!ISNA(limit)) {
        options.limit = limit;
    }
    options.percentile = percentile;
    options.confidence = conf_level;
    const std::vector<double> values(x.begin(), x.end());
    lvlim::Assessment a;
    try {
        a = lvlim::assess(values, options);
    } catch (const std::invalid_argument& e) {
        Rcpp::stop(e.what());
    }
    const lvlim::LognormalMean& m = a.mean;
    Rcpp::List mean = Rcpp::List::create(
        Rcpp::Named("log_mean") = m.summary.log_mean, Rcpp::Named("log_sd") = m.summary.log_sd,
        Rcpp::Named("mvue") = m.summary.mvue, Rcpp::Named("sample_mean") = m.summary.sample_mean,
        Rcpp::Named("plug_in") = m.summary.plug_in, Rcpp::Named("nu") = m.nu,
        Rcpp::Named("gammasquared") = m.gammasquared,
        Rcpp::Named("k_lower") = na_for_nan(m.limits.k_lower),
        Rcpp::Named("k_upper") = na_for_nan(m.limits.k_upper),
        Rcpp::Named("log_lower") = na_for_nan(m.limits.lower),
        Rcpp::Named("log_upper") = na_for_nan(m.limits.upper),
        Rcpp::Named("mean_lower") = na_for_nan(m.mean_lower),
        Rcpp::Named("mean_upper") = na_for_nan(m.mean_upper),
        Rcpp::Named("status") = lvlim::to_string(m.limits.status));
    Rcpp::List fields = Rcpp::List::create(
        Rcpp::Named("n") = static_cast<double>(a.n), Rcpp::Named("gm") = na_for_nan(a.gm),
        Rcpp::Named("gsd") = na_for_nan(a.gsd),
        Rcpp::Named("shapiro_wilk_w") = na_for_nan(a.shapiro_wilk_w),
        Rcpp::Named("shapiro_wilk_p") = na_for_nan(a.shapiro_wilk_p),
        Rcpp::Named("percentile") = na_for_nan(a.percentile),
        Rcpp::Named("percentile_estimate") = na_for_nan(a.percentile_estimate),
        Rcpp::Named("percentile_lower") = na_for_nan(a.percentile_lower),
        Rcpp::Named("percentile_upper") = na_for_nan(a.percentile_upper),
        Rcpp::Named("limit") = a.limit ? *a.limit : NA_REAL,
        Rcpp::Named("exceedance") = na_for_nan(a.exceedance),
        Rcpp::Named("exceedance_lower") = na_for_nan(a.exceedance_lower),
        Rcpp::Named("exceedance_upper") = na_for_nan(a.exceedance_upper),
        Rcpp::Named("mean_p_value") = na_for_nan(a.mean_p_value),
        Rcpp::Named("percentile_p_value") = na_for_nan(a.percentile_p_value),
        Rcpp::Named("mean_verdict") = verdict_of(a.mean_verdict),
        Rcpp::Named("percentile_verdict") = verdict_of(a.percentile_verdict),
        Rcpp::Named("assessment_status") = lvlim::to_string(a.status));
    // Rcpp::List::create takes at most 20 elements: the rest are added by name.
    fields.push_back(a.mean_p_value_bounded, "mean_p_value_bounded");
    fields.push_back(a.fit_doubtful, "fit_doubtful");
    fields.push_back(a.fit_message, "fit_message");
    fields.push_back(lines_of(a.messages), "messages");
    fields.push_back(mean, "mean");
    return fields;
}
