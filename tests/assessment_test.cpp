// The one-sample assessment (lvlim::assess) against independent references:
//   - the W test against R's shapiro.test on the logs, run as a process on the same data;
//   - the percentile and exceedance limits and the percentile p-value against values from an
//     mpmath integral over the chi distribution (tests/assessment/noncentral_t_reference.py,
//     which made tests/assessment/noncentral_t_reference.txt), computed on two threads at once;
//   - the mean p-value against the limits of the mean it is defined by;
// and its contract: range errors, fields that do not apply, verdicts, marked failures.
#include "lvlim/assessment.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <initializer_list>
#include <limits>
#include <numbers>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "normals.hpp"
#include "process.hpp"

namespace lvlim {
namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();

std::vector<double> lognormal_sample(std::size_t n, double mu, double sigma, std::uint64_t seed) {
    test::Normals normals(seed);
    std::vector<double> x(n);
    for (double& v : x) {
        v = std::exp(mu + sigma * normals.next());
    }
    return x;
}

// ---- The W test against R ----------------------------------------------------------------------

struct DataSet {
    std::string name;
    std::vector<double> x;
};

std::vector<DataSet> w_test_data() {
    std::vector<DataSet> sets;
    std::uint64_t seed = 1900;
    for (std::size_t n : {3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 15, 20, 30, 50, 100, 250, 500, 1000,
                          2000, 4000, 5000}) {
        sets.push_back({"lognormal n=" + std::to_string(n), lognormal_sample(n, 0.5, 1.2, ++seed)});
    }
    // Ties: measurements reported to one decimal, and three values two of which are equal.
    for (std::size_t n : {8, 25, 200, 3000}) {
        std::vector<double> x = lognormal_sample(n, 0.7, 0.5, ++seed);
        for (double& v : x) {
            v = std::max(0.1, std::round(v * 10.0) / 10.0);
        }
        sets.push_back({"rounded n=" + std::to_string(n), x});
    }
    sets.push_back({"tie n=3", {1.0, 1.0, 2.0}});
    // Clearly not lognormal: normal, uniform and bimodal measurements.
    for (std::size_t n : {100, 5000}) {
        test::Normals normals(++seed);
        std::vector<double> x(n);
        for (double& v : x) {
            v = std::max(0.5, 10.0 + 3.0 * normals.next());
        }
        sets.push_back({"normal n=" + std::to_string(n), x});
    }
    {
        test::Normals normals(++seed);
        std::vector<double> x(60);
        for (double& v : x) {
            v = 0.01 + normals.uniform();
        }
        sets.push_back({"uniform n=60", x});
    }
    {
        std::vector<double> x = lognormal_sample(1000, 0.0, 0.3, ++seed);
        for (std::size_t i = 0; i < x.size(); i += 2) {
            x[i] *= 20.0;
        }
        sets.push_back({"bimodal n=1000", x});
    }
    return sets;
}

TEST(AssessmentFit, ShapiroWilkAgreesWithR) {
    const std::vector<DataSet> sets = w_test_data();
    ASSERT_GE(sets.size(), 30U);
    std::ostringstream data;
    data.precision(17);
    for (const DataSet& set : sets) {
        for (std::size_t i = 0; i < set.x.size(); ++i) {
            data << (i == 0 ? "" : " ") << set.x[i];
        }
        data << '\n';
    }
    const test::Scratch scratch;
    const std::string data_file = scratch.write("data.txt", data.str());
    const std::string script = scratch.write(
        "w.R", "for (line in readLines('" + data_file +
                   "')) {\n"
                   "  r <- shapiro.test(log(as.numeric(strsplit(line, ' ')[[1]])))\n"
                   "  cat(sprintf('%.17g %.17g\\n', r$statistic, r$p.value))\n"
                   "}\n");
    const test::Outcome r = test::run_process(LVLIM_RSCRIPT, {"--vanilla", script});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> lines = test::lines_of(r.out);
    ASSERT_EQ(lines.size(), sets.size()) << r.out << r.err;

    double worst_w = 0.0;
    double worst_p = 0.0;
    bool saw_doubtful = false;
    for (std::size_t i = 0; i < sets.size(); ++i) {
        double w_r = nan;
        double p_r = nan;
        ASSERT_EQ(std::sscanf(lines[i].c_str(), "%lf %lf", &w_r, &p_r), 2) << lines[i];
        const Assessment a = assess(sets[i].x);
        SCOPED_TRACE(sets[i].name);
        ASSERT_EQ(a.fit_status, Status::ok) << a.fit_message;
        EXPECT_TRUE(a.fit_message.empty());
        EXPECT_NEAR(a.shapiro_wilk_w, w_r, 1e-6);
        EXPECT_NEAR(a.shapiro_wilk_p, p_r, 1e-6);
        // Far into the tail the p-values agree in their leading digits too.
        if (p_r > 1e-10) {
            EXPECT_LE(std::abs(a.shapiro_wilk_p - p_r), 1e-6 * p_r) << p_r;
        }
        EXPECT_EQ(a.fit_doubtful, p_r < 0.05);
        saw_doubtful = saw_doubtful || a.fit_doubtful;
        worst_w = std::max(worst_w, std::abs(a.shapiro_wilk_w - w_r));
        worst_p = std::max(worst_p, std::abs(a.shapiro_wilk_p - p_r));
    }
    EXPECT_TRUE(saw_doubtful) << "the non-lognormal sets must be found out";
    std::printf("W test against R: %zu data sets, largest differences %.3g in W, %.3g in p\n",
                sets.size(), worst_w, worst_p);
}

TEST(AssessmentFit, OutsideItsRangeTheTestIsNotComputedAndSaysWhy) {
    const Assessment big = assess(lognormal_sample(5001, 0.0, 1.0, 7));
    EXPECT_TRUE(std::isnan(big.shapiro_wilk_w));
    EXPECT_TRUE(std::isnan(big.shapiro_wilk_p));
    EXPECT_EQ(big.fit_message, "not computed: n > 5000");
    EXPECT_EQ(big.fit_status, Status::ok);
    EXPECT_FALSE(big.fit_doubtful);
    EXPECT_EQ(big.status, Status::ok);

    const Assessment from_summary = assess(summary_from_logs(10, 0.0, 1.0));
    EXPECT_TRUE(std::isnan(from_summary.shapiro_wilk_w));
    EXPECT_NE(from_summary.fit_message.find("not computed"), std::string::npos);
}

// ---- Percentile and exceedance limits against the mpmath reference --------------------------

struct ReferenceCase {
    std::size_t n;
    double p, gamma, u;
    double k_upper, k_lower, exc_upper, exc_lower, pct_p_value;
};

std::vector<ReferenceCase> reference_cases() {
    std::ifstream file(LVLIM_NCT_REFERENCE);
    std::vector<ReferenceCase> cases;
    for (std::string line; std::getline(file, line);) {
        if (line.empty() || line[0] == '#') {
            continue;
        }
        ReferenceCase c{};
        std::istringstream in(line);
        in >> c.n >> c.p >> c.gamma >> c.u >> c.k_upper >> c.k_lower >> c.exc_upper >>
            c.exc_lower >> c.pct_p_value;
        if (in.fail()) {
            ADD_FAILURE() << "unreadable reference line: " << line;
            continue;
        }
        cases.push_back(c);
    }
    return cases;
}

struct Deviation {
    double value = 0.0;
    std::string where;
    void note(double d, const ReferenceCase& c, const char* what) {
        if (d > value) {
            char buffer[200];
            std::snprintf(buffer, sizeof buffer, "%s at n=%zu P=%g gamma=%g u=%.17g", what, c.n,
                          c.p, c.gamma, c.u);
            value = d;
            where = buffer;
        }
    }
};

struct Findings {
    Deviation limits;   // relative, in the percentile limits
    Deviation absolute; // in the exceedance limits and the p-value
    std::vector<std::string> marked; // failures marked as such
    std::vector<std::string> wrong;
};

// Up to this many measurements no case of the reference may fail, marked or not.
constexpr std::size_t max_n_without_marked_failure = 10000;

// One case through the public API with the one-sided kinds, on a sample with ybar 0.4 and
// a log standard deviation that cycles through 0.3, 1 and 2.5.
void check_case(const ReferenceCase& c, std::size_t index, Findings& f) {
    constexpr double ybar = 0.4;
    const double s = std::array{0.3, 1.0, 2.5}[index % 3];
    const Summary summary = summary_from_logs(c.n, ybar, s);
    AssessmentOptions options;
    options.percentile = c.p;
    options.confidence = c.gamma;
    options.limit = std::exp(ybar + c.u * s);
    options.kind = Kind::upper;
    const Assessment up = assess(summary, options);
    options.kind = Kind::lower;
    const Assessment low = assess(summary, options);

    const auto relative = [&](double got, double k_reference, const char* what) {
        const double want = std::exp(ybar + k_reference * s);
        if (std::isnan(got)) {
            return;
        }
        const double d = std::abs(got / want - 1.0);
        f.limits.note(d, c, what);
        if (d > 1e-8) {
            f.wrong.push_back(f.limits.where);
        }
    };
    const auto absolute = [&](double got, double want, const char* what) {
        if (std::isnan(got)) {
            return;
        }
        const double d = std::abs(got - want);
        f.absolute.note(d, c, what);
        if (d > 1e-9) {
            f.wrong.push_back(f.absolute.where);
        }
    };
    relative(up.percentile_upper, c.k_upper, "percentile upper limit");
    relative(low.percentile_lower, c.k_lower, "percentile lower limit");
    absolute(up.exceedance_upper, c.exc_upper, "exceedance upper limit");
    absolute(low.exceedance_lower, c.exc_lower, "exceedance lower limit");
    absolute(up.percentile_p_value, c.pct_p_value, "percentile p-value");
    // A value left out must be marked.
    const auto marked = [&](const Assessment& a, std::initializer_list<double> fields) {
        if (std::any_of(fields.begin(), fields.end(), [](double v) { return std::isnan(v); })) {
            if (a.status == Status::ok || a.messages.empty()) {
                f.wrong.push_back("unmarked NaN at n=" + std::to_string(c.n));
            }
            const std::string where =
                "n=" + std::to_string(c.n) + " P=" + std::to_string(c.p) +
                " gamma=" + std::to_string(c.gamma) + ": " +
                (a.messages.empty() ? std::string() : a.messages.front());
            f.marked.push_back(where);
            // Up to 10000 measurements every case of the reference is computed: a marked
            // failure there is a failure all the same. Only the largest samples may be marked.
            if (c.n <= max_n_without_marked_failure) {
                f.wrong.push_back("marked failure where none is allowed: " + where);
            }
        }
    };
    marked(up, {up.percentile_upper, up.exceedance_upper, up.percentile_p_value});
    marked(low, {low.percentile_lower, low.exceedance_lower});
}

TEST(AssessmentLimits, AgreeWithTheIntegralOverTheChiDistribution) {
    const std::vector<ReferenceCase> cases = reference_cases();
    EXPECT_GE(cases.size(), 200U);
    // Two threads at once, each on every other case: the API is used concurrently.
    Findings findings[2];
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < 2; ++t) {
        threads.emplace_back([&, t] {
            for (std::size_t i = t; i < cases.size(); i += 2) {
                check_case(cases[i], i, findings[t]);
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    const Findings& a = findings[0];
    const Findings& b = findings[1];
    const Deviation& limits = a.limits.value >= b.limits.value ? a.limits : b.limits;
    const Deviation& absolute = a.absolute.value >= b.absolute.value ? a.absolute : b.absolute;
    std::printf("%zu cases; worst relative error of a percentile limit %.3g (%s); worst absolute "
                "error of an exceedance limit or p-value %.3g (%s); %zu marked failures\n",
                cases.size(), limits.value, limits.where.c_str(), absolute.value,
                absolute.where.c_str(), a.marked.size() + b.marked.size());
    for (const Findings* f : {&a, &b}) {
        for (const std::string& m : f->marked) {
            std::printf("  marked failure: %s\n", m.c_str());
        }
        for (const std::string& w : f->wrong) {
            ADD_FAILURE() << w;
        }
    }
}

// ---- The mean's p-value ------------------------------------------------------------------------

TEST(AssessmentMeanPValue, TheUpperLimitAtOneLessPIsTheLimitValue) {
    int searched = 0;
    int bounded = 0;
    for (std::size_t n : {3, 5, 10, 30, 100, 1000}) {
        for (double s : {0.1, 0.5, 1.5, 4.0}) {
            const Summary summary = summary_from_logs(n, -1.0, s);
            for (double ratio : {0.5, 0.9, 1.2, 2.0, 5.0}) {
                AssessmentOptions options;
                options.limit = summary.mvue * ratio;
                const Assessment a = assess(summary, options);
                SCOPED_TRACE("n=" + std::to_string(n) + " s=" + std::to_string(s) +
                             " L/mvue=" + std::to_string(ratio));
                ASSERT_EQ(a.status, Status::ok);
                const double p = a.mean_p_value;
                ASSERT_TRUE(p >= mean_p_value_bound && p <= 1.0 - mean_p_value_bound) << p;
                const double upper = lognormal_mean(summary, Kind::upper, 1.0 - p).mean_upper;
                if (a.mean_p_value_bounded) {
                    ++bounded;
                    // The limit value lies beyond the upper limit at the bound.
                    EXPECT_TRUE(p == mean_p_value_bound ? upper <= *options.limit
                                                        : upper >= *options.limit);
                } else {
                    ++searched;
                    EXPECT_NEAR(upper / *options.limit, 1.0, 1e-8);
                }
                // The test and the verdict say the same at the level gamma.
                if (a.mean_verdict == Verdict::below) {
                    EXPECT_LT(p, 1.0 - options.confidence);
                } else {
                    EXPECT_GE(p, 1.0 - options.confidence * (1.0 + 1e-9));
                }
            }
        }
    }
    EXPECT_GT(searched, 60);
    EXPECT_GT(bounded, 5);
}

// ---- The normal scores of the Q-Q plot ------------------------------------------------------

// Against mpmath (sqrt(2) erfinv(2p - 1) at 40 digits), and at every score of a plot against a
// Newton step on Phi computed with erfc in long double.
TEST(AssessmentNormalScores, AgreeWithIndependentQuantiles) {
    const struct {
        double p;
        double z;
    } known[] = {{0.975, 1.9599639845400542355},
                 {0.025, -1.9599639845400542355},
                 {0.5, 0.0},
                 {0.3, -0.52440051270804078404},
                 {1e-10, -6.3613409024040562047}};
    // A few units in the last place.
    const auto close = [](double z) {
        return 8.0 * std::numeric_limits<double>::epsilon() * std::max(1.0, std::abs(z));
    };
    for (const auto& k : known) {
        EXPECT_NEAR(normal_quantile(k.p), k.z, close(k.z)) << k.p;
    }
    // The last of 20 values sits at p = 0.975; the scores are symmetric about the median, exactly,
    // and as accurate in the upper tail as in the lower.
    EXPECT_NEAR(normal_score(19, 20), 1.9599639845400542355, close(2.0));
    EXPECT_EQ(normal_score(0, 1), 0.0);
    for (const std::size_t n : {2U, 7U, 100U, 2000U}) {
        for (std::size_t i = 0; i < n; ++i) {
            const double z = normal_score(i, n);
            EXPECT_EQ(z, -normal_score(n - 1 - i, n));
            const long double p =
                (static_cast<long double>(i) + 0.5L) / static_cast<long double>(n);
            const long double zl = z;
            const long double phi = 0.5L * std::erfc(-zl / std::sqrt(2.0L));
            const long double density =
                std::exp(-0.5L * zl * zl) / std::sqrt(2.0L * std::numbers::pi_v<long double>);
            const long double reference = zl - (phi - p) / density;
            EXPECT_NEAR(z, static_cast<double>(reference), close(z)) << i << " of " << n;
        }
    }
    for (double bad : {0.0, 1.0, -0.5, nan}) {
        EXPECT_THROW((void)normal_quantile(bad), std::invalid_argument);
    }
    EXPECT_THROW((void)normal_score(5, 5), std::invalid_argument);
    EXPECT_THROW((void)normal_score(0, 0), std::invalid_argument);
}

// ---- The contract --------------------------------------------------------------------------

TEST(AssessmentContract, RangeErrorsAreInvalidArgument) {
    const std::vector<double> x = lognormal_sample(12, 0.0, 1.0, 3);
    const auto with = [](auto change) {
        AssessmentOptions o;
        o.limit = 2.0;
        change(o);
        return o;
    };
    for (double bad : {0.0, 1.0, -0.5, 1.5, nan}) {
        EXPECT_THROW((void)assess(x, with([&](AssessmentOptions& o) { o.percentile = bad; })),
                     std::invalid_argument);
        EXPECT_THROW((void)assess(x, with([&](AssessmentOptions& o) { o.confidence = bad; })),
                     std::invalid_argument);
    }
    for (double bad : {0.0, -1.0, nan, std::numeric_limits<double>::infinity()}) {
        EXPECT_THROW((void)assess(x, with([&](AssessmentOptions& o) { o.limit = bad; })),
                     std::invalid_argument);
    }
    EXPECT_THROW((void)assess(std::vector<double>{1.0, 2.0}), std::invalid_argument);
    EXPECT_THROW((void)assess(std::vector<double>{1.0, 2.0, 0.0, 3.0}), std::invalid_argument);
    EXPECT_THROW((void)assess(std::vector<double>{1.0, 2.0, -1.0}), std::invalid_argument);
    EXPECT_THROW((void)assess(std::vector<double>(max_measurements + 1, 1.0)),
                 std::invalid_argument);
    EXPECT_THROW((void)assess(std::vector<double>{3.0, 3.0, 3.0}), std::invalid_argument);
    try {
        (void)assess(x, with([](AssessmentOptions& o) { o.limit = -1.0; }));
    } catch (const std::invalid_argument& e) {
        EXPECT_NE(std::string(e.what()).find("limit = -1"), std::string::npos) << e.what();
    }
}

TEST(AssessmentContract, TheFieldsOfEachKindAndWithoutALimit) {
    const std::vector<double> x = lognormal_sample(25, 1.0, 0.8, 11);
    long double sum = 0.0L;
    for (double v : x) {
        sum += std::log(static_cast<long double>(v));
    }
    const long double mean = sum / 25.0L;
    long double ss = 0.0L;
    for (double v : x) {
        ss += (std::log(static_cast<long double>(v)) - mean) *
              (std::log(static_cast<long double>(v)) - mean);
    }

    const Assessment none = assess(x);
    EXPECT_NEAR(none.gm, static_cast<double>(std::exp(mean)), 1e-14 * none.gm);
    EXPECT_NEAR(none.gsd, static_cast<double>(std::exp(std::sqrt(ss / 24.0L))), 1e-14 * none.gsd);
    EXPECT_EQ(none.n, 25U);
    EXPECT_FALSE(none.limit.has_value());
    for (double v : {none.exceedance, none.exceedance_lower, none.exceedance_upper,
                     none.mean_p_value, none.percentile_p_value}) {
        EXPECT_TRUE(std::isnan(v));
    }
    EXPECT_EQ(none.mean_verdict, Verdict::none);
    EXPECT_EQ(none.percentile_verdict, Verdict::none);
    EXPECT_EQ(none.percentile, 0.95);
    EXPECT_NEAR(none.percentile_estimate,
                static_cast<double>(std::exp(mean + 1.6448536269514722L * std::sqrt(ss / 24.0L))),
                1e-13 * none.percentile_estimate); // z_0.95
    EXPECT_LT(none.percentile_lower, none.percentile_estimate);
    EXPECT_LT(none.percentile_estimate, none.percentile_upper);
    // The mean is the existing one, unchanged.
    const LognormalMean mean_limits = lognormal_mean(x, Kind::two_sided, 0.95);
    EXPECT_EQ(none.mean.mean_lower, mean_limits.mean_lower);
    EXPECT_EQ(none.mean.mean_upper, mean_limits.mean_upper);

    AssessmentOptions options;
    options.limit = 20.0;
    options.confidence = 0.9;
    options.kind = Kind::upper;
    const Assessment up = assess(x, options);
    EXPECT_TRUE(std::isnan(up.percentile_lower) && std::isnan(up.exceedance_lower));
    options.kind = Kind::lower;
    const Assessment low = assess(x, options);
    EXPECT_TRUE(std::isnan(low.percentile_upper) && std::isnan(low.exceedance_upper));
    // The two-sided pair is the pair of one-sided limits at (1 + gamma) / 2; the tests and
    // verdicts do not depend on the kind.
    options.kind = Kind::two_sided;
    options.confidence = 0.8;
    const Assessment pair = assess(x, options);
    EXPECT_EQ(pair.percentile_upper, up.percentile_upper);
    EXPECT_EQ(pair.percentile_lower, low.percentile_lower);
    EXPECT_EQ(pair.exceedance_upper, up.exceedance_upper);
    EXPECT_EQ(pair.exceedance_lower, low.exceedance_lower);
    options.confidence = 0.9;
    const Assessment pair_90 = assess(x, options);
    EXPECT_EQ(pair_90.percentile_p_value, up.percentile_p_value);
    EXPECT_EQ(pair_90.mean_p_value, up.mean_p_value);
    EXPECT_EQ(pair_90.percentile_verdict, up.percentile_verdict);
    EXPECT_EQ(pair_90.mean_verdict, low.mean_verdict);
    EXPECT_NEAR(up.exceedance, 1.0 - 0.5 * std::erfc(-(std::log(20.0) - static_cast<double>(mean)) /
                                                         static_cast<double>(std::sqrt(ss / 24.0L)) /
                                                         std::sqrt(2.0)),
                1e-12);
}

// Along a sweep of limit values the verdicts go from above through undecided to below, and each
// agrees with its p-value (below exactly when p < 1 - gamma): the limits and the distribution
// function are separate computations.
TEST(AssessmentContract, VerdictsFollowTheLimitValueAndAgreeWithThePValues) {
    const Summary summary = summary_from_logs(15, 0.0, 0.7);
    Verdict last_mean = Verdict::above;
    Verdict last_percentile = Verdict::above;
    int order[3] = {};
    for (double log_limit = -1.0; log_limit <= 4.0; log_limit += 0.05) {
        AssessmentOptions options;
        options.limit = std::exp(log_limit);
        const Assessment a = assess(summary, options);
        ASSERT_EQ(a.status, Status::ok);
        const double q = 1.0 - options.confidence;
        EXPECT_EQ(a.percentile_verdict == Verdict::below, a.percentile_p_value < q) << log_limit;
        EXPECT_EQ(a.mean_verdict == Verdict::below, a.mean_p_value < q) << log_limit;
        // below < above < undecided in the enumeration: map to a monotone order.
        const auto rank = [](Verdict v) {
            return v == Verdict::above ? 0 : v == Verdict::undecided ? 1 : 2;
        };
        EXPECT_GE(rank(a.mean_verdict), rank(last_mean)) << log_limit;
        EXPECT_GE(rank(a.percentile_verdict), rank(last_percentile)) << log_limit;
        last_mean = a.mean_verdict;
        last_percentile = a.percentile_verdict;
        ++order[rank(a.percentile_verdict)];
        // The exceedance limits bracket the estimate.
        EXPECT_LE(a.exceedance_lower, a.exceedance);
        EXPECT_LE(a.exceedance, a.exceedance_upper);
    }
    EXPECT_GT(order[0], 0);
    EXPECT_GT(order[1], 0);
    EXPECT_GT(order[2], 0);
    EXPECT_EQ(to_string(Verdict::below), "below");
    EXPECT_EQ(to_string(Verdict::above), "above");
    EXPECT_EQ(to_string(Verdict::undecided), "undecided");
}

// Hostile corners: limit values far beyond the data, the extremes of n, P and gamma, and a
// search for the mean given no room. Every field is a number, or NaN with the failure marked.
TEST(AssessmentContract, FailuresAreMarkedNeverSilent) {
    int failures = 0;
    for (std::size_t n : {3, 100001}) {
        for (double s : {0.001, 10.0}) {
            for (double log_limit : {-700.0, 0.0, 700.0}) {
                for (double level : {1e-9, 0.5, 1.0 - 1e-9}) {
                    AssessmentOptions options;
                    options.limit = std::exp(log_limit);
                    options.percentile = level;
                    options.confidence = level == 0.5 ? 0.999999 : level;
                    const Assessment a = assess(summary_from_logs(n, 0.0, s), options);
                    const double fields[] = {a.percentile_lower, a.percentile_upper,
                                             a.exceedance,       a.exceedance_lower,
                                             a.exceedance_upper, a.mean_p_value,
                                             a.percentile_p_value};
                    const bool any_nan = std::any_of(std::begin(fields), std::end(fields),
                                                     [](double v) { return std::isnan(v); });
                    if (any_nan) {
                        ++failures;
                        EXPECT_EQ(a.status, Status::search_failed);
                        EXPECT_FALSE(a.messages.empty());
                    }
                    EXPECT_TRUE(std::isnan(a.exceedance) ||
                                (a.exceedance >= 0.0 && a.exceedance <= 1.0));
                }
            }
        }
    }
    std::printf("hostile corners: %d of 72 with a marked failure\n", failures);

    AssessmentOptions starved;
    starved.limit = 1.0;
    starved.controls.max_iterations = 1;
    const Assessment a = assess(summary_from_logs(40, 0.0, 2.0), starved);
    EXPECT_EQ(a.status, Status::search_failed);
    ASSERT_FALSE(a.messages.empty());
    EXPECT_EQ(a.messages.front().rfind("mean", 0), 0U) << a.messages.front();
}

} // namespace
} // namespace lvlim
