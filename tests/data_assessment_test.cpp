// lvlim-data's assessment of a sample (--percentile, --limit): its CSV and JSON fields against
// the API called in process on the same measurements, bit for bit; the rules the p-values and
// verdicts follow whatever the kind; the words of the report; and the inputs it must refuse.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "measurements/data_reader.hpp"
#include "apps/lvlim-data/report.hpp"
#include "common/number_text.hpp"
#include "lvlim/assessment.hpp"
#include "tests/process.hpp"

#ifndef LVLIM_DATA_EXE
#error "LVLIM_DATA_EXE must name the program under test"
#endif
#ifndef LVLIM_EXPOSURE_EXAMPLE
#error "LVLIM_EXPOSURE_EXAMPLE must name the shipped exposure data"
#endif

namespace lvlim::data {
namespace {

using json = nlohmann::ordered_json;
using test::lines_of;
using test::Outcome;
using number_text::shortest;

const std::string exposure = LVLIM_EXPOSURE_EXAMPLE;
const std::string column = "--column=twa_mg_m3";

Outcome run_data(const std::vector<std::string>& arguments, const std::string& input = "") {
    return test::run_process(LVLIM_DATA_EXE, arguments, input);
}

// The rows of lvlim-data's JSON output, which must succeed.
json json_rows(std::vector<std::string> arguments) {
    arguments.emplace_back("--format=json");
    const Outcome got = run_data(arguments);
    EXPECT_EQ(got.status, 0) << got.err;
    EXPECT_EQ(got.err, "");
    return json::parse(got.out).at("results");
}

// The measurements of the exposure example, as lvlim-data reads them.
std::vector<double> exposure_values() {
    std::vector<double> values;
    ReadOptions options;
    options.column = "twa_mg_m3";
    options.values = &values;
    std::FILE* stream = std::fopen(exposure.c_str(), "rb");
    EXPECT_NE(stream, nullptr);
    (void)read_data(stream, exposure, options);
    std::fclose(stream);
    return values;
}

// The JSON value of a double that applies is that very double; one that does not is null.
void expect_same(const json& got, double expected, bool applies, const std::string& name) {
    SCOPED_TRACE(name);
    if (!applies || std::isnan(expected)) {
        EXPECT_TRUE(got.is_null()) << got;
        return;
    }
    ASSERT_TRUE(got.is_number()) << got;
    EXPECT_EQ(got.get<double>(), expected);
}

std::string verdict_name(Verdict verdict) {
    return verdict == Verdict::none ? std::string() : std::string(to_string(verdict));
}

// ---- The fields are the API's -------------------------------------------------------------

TEST(DataAssessment, FieldsAreTheApisBitForBitInJsonAndCsv) {
    const std::vector<double> values = exposure_values();
    ASSERT_EQ(values.size(), 14U);
    struct Case {
        std::string kind;
        Kind api_kind;
        std::vector<std::string> extra;
    };
    const Case cases[] = {
        {"--two-sided", Kind::two_sided, {"--limit=50"}},
        {"--upper", Kind::upper, {"--limit=50", "--percentile=0.9"}},
        {"--lower", Kind::lower, {"--limit=12.5", "--percentile=0.99"}},
        {"--upper", Kind::upper, {}}, // no limit: nothing about L applies
    };
    for (const Case& c : cases) {
        std::vector<std::string> arguments = {c.kind, "-c", "0.9,0.95", column, exposure};
        arguments.insert(arguments.end(), c.extra.begin(), c.extra.end());
        SCOPED_TRACE(testing::PrintToString(arguments));
        const json rows = json_rows(arguments);
        arguments.emplace_back("--format=csv");
        const Outcome csv = run_data(arguments);
        ASSERT_EQ(csv.status, 0) << csv.err;
        const std::vector<std::string> csv_lines = lines_of(csv.out);
        ASSERT_EQ(rows.size(), 2U);
        ASSERT_EQ(csv_lines.size(), 3U);
        for (std::size_t i = 0; i < rows.size(); ++i) {
            const json& row = rows[i];
            AssessmentOptions options;
            options.kind = c.api_kind;
            options.confidence = i == 0 ? 0.9 : 0.95;
            for (const std::string& e : c.extra) {
                if (e.starts_with("--limit=")) {
                    options.limit = std::stod(e.substr(8));
                } else {
                    options.percentile = std::stod(e.substr(13));
                }
            }
            const Assessment a = assess(values, options);
            const bool lower = c.api_kind != Kind::upper;
            const bool upper = c.api_kind != Kind::lower;
            expect_same(row.at("gm"), a.gm, true, "gm");
            expect_same(row.at("gsd"), a.gsd, true, "gsd");
            expect_same(row.at("shapiro_wilk_w"), a.shapiro_wilk_w, true, "w");
            expect_same(row.at("shapiro_wilk_p"), a.shapiro_wilk_p, true, "p");
            expect_same(row.at("percentile"), options.percentile, true, "percentile");
            expect_same(row.at("percentile_estimate"), a.percentile_estimate, true, "estimate");
            expect_same(row.at("percentile_lower"), a.percentile_lower, lower, "pl");
            expect_same(row.at("percentile_upper"), a.percentile_upper, upper, "pu");
            expect_same(row.at("limit"), options.limit.value_or(NAN), true, "limit");
            expect_same(row.at("exceedance"), a.exceedance, true, "exceedance");
            expect_same(row.at("exceedance_lower"), a.exceedance_lower, lower, "el");
            expect_same(row.at("exceedance_upper"), a.exceedance_upper, upper, "eu");
            expect_same(row.at("mean_p_value"), a.mean_p_value, true, "mean p");
            expect_same(row.at("percentile_p_value"), a.percentile_p_value, true, "pct p");
            expect_same(row.at("mean_upper"), a.mean.mean_upper, upper, "mean_upper");
            for (const char* name : {"mean_verdict", "percentile_verdict"}) {
                const Verdict v =
                    std::string(name) == "mean_verdict" ? a.mean_verdict : a.percentile_verdict;
                EXPECT_EQ(row.at(name).is_null() ? "" : row.at(name).get<std::string>(),
                          verdict_name(v))
                    << name;
            }
            EXPECT_EQ(options.limit.has_value(), !row.at("mean_verdict").is_null());
            EXPECT_EQ(row.at("mean_p_value_bounded"),
                      options.limit ? json(a.mean_p_value_bounded) : json(nullptr));
            EXPECT_EQ(row.at("assessment_status"), "ok");
            EXPECT_EQ(a.status, Status::ok);

            // The CSV row: the same fields, at full precision, empty where JSON has null.
            std::vector<std::string> fields;
            std::string field;
            for (const char ch : csv_lines[i + 1]) {
                if (ch == ',') {
                    fields.push_back(field);
                    field.clear();
                } else {
                    field += ch;
                }
            }
            fields.push_back(field);
            ASSERT_EQ(fields.size(), field_names().size());
            for (std::size_t f = 0; f < fields.size(); ++f) {
                const json& item = row.at(field_names()[f]);
                SCOPED_TRACE(field_names()[f]);
                if (item.is_null()) {
                    EXPECT_EQ(fields[f], "");
                } else if (item.is_number_float()) {
                    EXPECT_EQ(fields[f], shortest(item.get<double>()));
                } else if (item.is_string()) {
                    EXPECT_EQ(fields[f], item.get<std::string>());
                } else if (item.is_boolean()) {
                    EXPECT_EQ(fields[f], item.dump());
                }
            }
        }
    }
}

// ---- Why an assessment failed, and a p-value that is only a bound ---------------------------

// The fields of one CSV line, quoted ones unquoted (RFC 4180).
std::vector<std::string> csv_fields(const std::string& line) {
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char ch = line[i];
        if (quoted && ch == '"' && i + 1 < line.size() && line[i + 1] == '"') {
            fields.back() += ch;
            ++i;
        } else if (ch == '"') {
            quoted = !quoted;
        } else if (ch == ',' && !quoted) {
            fields.emplace_back();
        } else {
            fields.back() += ch;
        }
    }
    return fields;
}

// The CSV field `name` of the first row, and the first row of the JSON, of `results`.
std::string csv_value(const Results& results, const std::string& name) {
    std::ostringstream out;
    write_csv(out, results);
    const std::vector<std::string> lines = lines_of(out.str());
    const std::vector<std::string> fields = csv_fields(lines.at(1));
    const auto at = std::find(field_names().begin(), field_names().end(), name);
    EXPECT_EQ(fields.size(), field_names().size());
    return fields.at(static_cast<std::size_t>(at - field_names().begin()));
}
json json_row(const Results& results) {
    std::ostringstream out;
    write_json(out, results);
    return json::parse(out.str()).at("results").at(0);
}

// A mean whose search is starved fails the mean p-value too: a reader of CSV or JSON gets every
// line of the assessment's messages, not only the searches' messages about the mean.
TEST(DataAssessment, AFailedAssessmentSaysWhyInCsvAndJson) {
    AssessmentOptions options;
    options.limit = 30.0;
    options.kind = Kind::upper;
    options.controls.max_iterations = 1;
    const Assessment failed = assess(exposure_values(), options);
    ASSERT_EQ(failed.status, Status::search_failed);
    ASSERT_GE(failed.messages.size(), 2U);
    const Results results{exposure, "twa_mg_m3", {failed}, {}};
    const json row = json_row(results);
    EXPECT_EQ(row.at("assessment_status"), "search failed");
    EXPECT_EQ(row.at("assessment_messages"), json(failed.messages));
    EXPECT_EQ(row.at("messages"), json(failed.mean.limits.messages));
    std::string joined;
    for (const std::string& m : failed.messages) {
        joined += (joined.empty() ? "" : " | ") + m;
    }
    EXPECT_EQ(csv_value(results, "assessment_messages"), joined);
    EXPECT_EQ(csv_value(results, "assessment_status"), "search failed");

    // A sound one has none.
    options.controls = Controls{};
    const Results sound{exposure, "twa_mg_m3", {assess(exposure_values(), options)}, {}};
    EXPECT_EQ(json_row(sound).at("assessment_messages"), json::array());
    EXPECT_EQ(csv_value(sound, "assessment_messages"), "");
}

// A limit value far beyond the data on either side leaves the mean's p-value at the bound of
// its search, and says so; one near the data gives a searched p-value; none, no flag at all.
TEST(DataAssessment, ABoundedMeanPValueIsFlagged) {
    struct Case {
        std::vector<std::string> limit;
        json bounded;
        double p;
    };
    const Case cases[] = {
        {{"--limit=1e6"}, true, mean_p_value_bound},
        {{"--limit=1e-6"}, true, 1.0 - mean_p_value_bound},
        {{"--limit=40"}, false, NAN},
        {{}, nullptr, NAN},
    };
    for (const Case& c : cases) {
        std::vector<std::string> arguments = {"--upper", column, exposure};
        arguments.insert(arguments.end(), c.limit.begin(), c.limit.end());
        SCOPED_TRACE(testing::PrintToString(arguments));
        const json row = json_rows(arguments).at(0);
        EXPECT_EQ(row.at("mean_p_value_bounded"), c.bounded);
        if (!std::isnan(c.p)) {
            EXPECT_EQ(row.at("mean_p_value").get<double>(), c.p);
        }
        if (c.bounded == false) {
            const double p = row.at("mean_p_value").get<double>();
            EXPECT_TRUE(p > mean_p_value_bound && p < 1.0 - mean_p_value_bound) << p;
        }
        arguments.emplace_back("--format=csv");
        const Outcome csv = run_data(arguments);
        ASSERT_EQ(csv.status, 0) << csv.err;
        const std::vector<std::string> fields = csv_fields(lines_of(csv.out).at(1));
        ASSERT_EQ(fields.size(), field_names().size());
        EXPECT_EQ(fields.back(), c.bounded.is_null() ? "" : c.bounded.dump());
    }
}

// ---- One-sided tests, equal-tailed pairs ----------------------------------------------------

TEST(DataAssessment, PairsAreOneSidedAtHalfTheRestAndTestsIgnoreTheKind) {
    const std::string pair_level = shortest((1.0 + 0.9) / 2.0);
    const json two = json_rows({"-c", "0.9", "--limit=40", column, exposure})[0];
    const json up = json_rows({"--upper", "-c", pair_level, "--limit=40", column, exposure})[0];
    const json low = json_rows({"--lower", "-c", pair_level, "--limit=40", column, exposure})[0];
    // (Not the mean's: its two-sided limits are the unbiased pair, not equal-tailed.)
    for (const char* name : {"percentile_upper", "exceedance_upper"}) {
        EXPECT_EQ(two.at(name), up.at(name)) << name;
    }
    for (const char* name : {"percentile_lower", "exceedance_lower"}) {
        EXPECT_EQ(two.at(name), low.at(name)) << name;
    }
    // The p-values and verdicts are one-sided at the level itself, whatever the kind.
    const json one = json_rows({"--upper", "-c", "0.9", "--limit=40", column, exposure})[0];
    for (const char* name :
         {"mean_p_value", "percentile_p_value", "mean_verdict", "percentile_verdict"}) {
        EXPECT_EQ(two.at(name), one.at(name)) << name;
    }
}

// A verdict at the level g is "below" exactly when the one-sided p-value is below 1 - g, and
// "above" when it is above g; at the percentile's upper tolerance limit, the exceedance's
// upper limit is 1 - P and the percentile's p-value 1 - g. The report says the same in words,
// beside the one-sided limit that decides.
TEST(DataAssessment, VerdictsFollowTheOneSidedLimitsAndTheReportSaysSo) {
    const double gamma = 0.95;
    const json ends = json_rows({"--upper", "--percentile=0.9", column, exposure})[0];
    const double tolerance_limit = ends.at("percentile_upper").get<double>();
    const json at = json_rows({"--upper", "--percentile=0.9",
                               "--limit=" + shortest(tolerance_limit), column, exposure})[0];
    EXPECT_NEAR(at.at("exceedance_upper").get<double>(), 0.1, 1e-9);
    EXPECT_NEAR(at.at("percentile_p_value").get<double>(), 1.0 - gamma, 1e-9);

    int seen_below = 0;
    int seen_above = 0;
    int seen_undecided = 0;
    for (const char* limit : {"8", "15", "30", "50", "120"}) {
        SCOPED_TRACE(limit);
        const std::vector<std::string> run = {"--limit=" + std::string(limit), column, exposure};
        const json row = json_rows(run)[0];
        const json up =
            json_rows({"--upper", "--limit=" + std::string(limit), column, exposure})[0];
        const json low =
            json_rows({"--lower", "--limit=" + std::string(limit), column, exposure})[0];
        const Outcome text = run_data(run);
        ASSERT_EQ(text.status, 0) << text.err;
        const std::vector<std::string> lines = lines_of(text.out);
        const double l = std::stod(limit);
        struct Part {
            const char* subject;
            const char* p_value;
            const char* verdict;
            const char* upper_field;
            const char* lower_field;
            const char* upper_name;
        };
        for (const Part& part :
             {Part{"the mean", "mean_p_value", "mean_verdict", "mean_upper", "mean_lower",
                   "upper confidence limit"},
              Part{"the 95th percentile", "percentile_p_value", "percentile_verdict",
                   "percentile_upper", "percentile_lower", "upper tolerance limit"}}) {
            SCOPED_TRACE(part.subject);
            const double p = row.at(part.p_value).get<double>();
            const std::string verdict = row.at(part.verdict).get<std::string>();
            const double upper = up.at(part.upper_field).get<double>();
            const double lower = low.at(part.lower_field).get<double>();
            std::string subject = part.subject;
            subject.front() = 'T';
            std::string said;
            if (verdict == "below") {
                ++seen_below;
                EXPECT_LT(p, 1.0 - gamma);
                EXPECT_LT(upper, l);
                said = subject + " is below the limit " + limit + " with 95% confidence (" +
                       part.upper_name + " " + six_digits(upper) + ")";
            } else if (verdict == "above") {
                ++seen_above;
                EXPECT_GT(p, gamma);
                EXPECT_GT(lower, l);
                said = subject + " is above the limit " + limit +
                       " with 95% confidence (lower confidence limit " + six_digits(lower) + ")";
            } else {
                ++seen_undecided;
                EXPECT_EQ(verdict, "undecided");
                EXPECT_GE(p, 1.0 - gamma);
                EXPECT_LE(p, gamma);
                EXPECT_LE(lower, l);
                EXPECT_GE(upper, l);
                said = "Undecided at 95% confidence whether " + std::string(part.subject) +
                       " is below or above the limit " + limit + " (lower confidence limit " +
                       six_digits(lower) + ", " + part.upper_name + " " + six_digits(upper) + ")";
            }
            EXPECT_NE(std::find(lines.begin(), lines.end(), said), lines.end()) << said << "\n"
                                                                                << text.out;
        }
    }
    EXPECT_GT(seen_below, 0);
    EXPECT_GT(seen_above, 0);
    EXPECT_GT(seen_undecided, 0);
}

// ---- What is refused ------------------------------------------------------------------------

// Non-detects used to be refused as "not a number", or, alone on the first line, silently
// dropped as a header.
TEST(DataAssessment, NonDetectsAreRefusedAsCensoredData) {
    const std::string censored = " is a non-detect, a value below a detection or quantitation "
                                 "limit; censored data need other methods: the limits here "
                                 "assume that every measurement is a quantified value\n";
    const std::string in = "lvlim-data: (standard input)";
    struct Case {
        std::vector<std::string> arguments;
        std::string input;
        std::string err;
    };
    const Case cases[] = {
        {{}, "0.5 <0.05 1.2 0.8\n", in + ", line 1, value 2: '<0.05'" + censored},
        {{}, "ND\n0.5\n1.2\n0.8\n", in + ", line 1, value 1: 'ND'" + censored},
        {{}, "0.5 1.2\n< 0.05 0.8\n", in + ", line 2, value 1: '<'" + censored},
        {{"--limit=1"}, "0.5, n.d., 1.2, 0.8\n", in + ", line 1, value 2: 'n.d.'" + censored},
        {{"--column=conc"},
         "id,conc\na,0.5\nb,<LOD\nc,1.2\nd,0.8\n",
         in + ", line 3, column 2 (conc): '<LOD'" + censored},
        {{"--column=2"},
         "id;conc\na;0.5\nb;BDL\nc;1.2\n",
         in + ", line 3, column 2 (conc): 'BDL'" + censored},
        {{"--column=conc", "--format=json"},
         "id\tconc\na\t0.5\nb\t\"<0,05\"\nc\t1.2\n",
         in + ", line 3, column 2 (conc): '<0,05'" + censored},
        {{}, "<0.05\n0.5\n1.2\n0.8\n", in + ", line 1, value 1: '<0.05'" + censored},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input);
        const Outcome got = run_data(c.arguments, c.input);
        EXPECT_EQ(got.status, 1);
        EXPECT_EQ(got.err, c.err);
        EXPECT_EQ(got.out, "");
    }
    // A header may still name a column LOD or ND beside the others.
    const Outcome header = run_data({"--column=conc", "--format=csv"},
                                    "id,LOD,ND,conc\na,0.1,0,0.5\nb,0.1,0,0.9\nc,0.1,0,1.2\n");
    EXPECT_EQ(header.status, 0) << header.err;
    EXPECT_EQ(lines_of(header.out).size(), 2U);
}

TEST(DataAssessment, BadLimitOrPercentileIsAUsageErrorBeforeAnyOutput) {
    const std::string usage = "Try 'lvlim-data --help' for more information.\n";
    const std::string limit_rule = "': the limit value is a number above 0, in the units of the "
                                   "data\n";
    const std::string percentile_rule = "': the percentile is a probability strictly between 0 "
                                        "and 1, such as 0.95 for the 95th percentile\n";
    for (const std::string bad :
         {"0", "-0", "-2.5", "abc", "nan", "inf", "1e400", "5mg", " 5", "1,5"}) {
        SCOPED_TRACE(bad);
        for (const char* format : {"--format=text", "--format=csv", "--format=json"}) {
            const Outcome got = run_data({format, "--limit=" + bad}, "0.5 1.2 0.8\n");
            EXPECT_EQ(got.status, 2);
            EXPECT_EQ(got.err, "lvlim-data: invalid limit value '" + bad + limit_rule + usage);
            EXPECT_EQ(got.out, "");
        }
    }
    for (const std::string bad : {"0", "1", "95", "-0.5", "x", "nan"}) {
        SCOPED_TRACE(bad);
        const Outcome got = run_data({"--percentile", bad}, "0.5 1.2 0.8\n");
        EXPECT_EQ(got.status, 2);
        EXPECT_EQ(got.err, "lvlim-data: invalid percentile '" + bad + percentile_rule + usage);
        EXPECT_EQ(got.out, "");
    }
    for (const std::string missing : {"--limit", "--limit=", "--percentile="}) {
        const Outcome got = run_data({missing}, "0.5 1.2 0.8\n");
        EXPECT_EQ(got.status, 2) << missing;
        EXPECT_EQ(got.out, "") << missing;
    }
}

// Beyond 5000 measurements the W test is not computed, and the report says why; the rest is.
// A sample the test rejects is said to make the model doubtful.
TEST(DataAssessment, WTestOutsideItsRangeIsSaidNotFailed) {
    std::string many;
    for (int i = 0; i < 5001; ++i) {
        many += std::to_string(1.0 + (i * 7919 % 5001) / 1000.0) + "\n";
    }
    const Outcome text = run_data({"--limit=5"}, many);
    ASSERT_EQ(text.status, 0) << text.err;
    EXPECT_EQ(text.err, "");
    EXPECT_NE(text.out.find("W test not computed: n > 5000"), std::string::npos) << text.out;
    const Outcome got = run_data({"--format=json", "--limit=5"}, many);
    ASSERT_EQ(got.status, 0) << got.err;
    const json row = json::parse(got.out).at("results")[0];
    EXPECT_TRUE(row.at("shapiro_wilk_w").is_null());
    EXPECT_TRUE(row.at("shapiro_wilk_p").is_null());
    EXPECT_EQ(row.at("assessment_status"), "ok");
    EXPECT_TRUE(row.at("percentile_upper").is_number());

    // Two clusters a hundredfold apart: the model is doubtful, and the report says so.
    std::string clusters;
    for (int i = 0; i < 15; ++i) {
        clusters += std::to_string(1.0 + i / 100.0) + " " + std::to_string(100.0 + i) + "\n";
    }
    const Outcome doubtful = run_data({}, clusters);
    ASSERT_EQ(doubtful.status, 0) << doubtful.err;
    EXPECT_NE(
        doubtful.out.find("\nthe lognormal model is doubtful: every limit below rests on it\n"),
        std::string::npos)
        << doubtful.out;

    const Outcome help = run_data({"--help"});
    for (const char* item : {"--percentile=P", "--limit=L", "censored data need other methods",
                             "percentile_verdict", "assessment_status", "assessment_messages",
                             "mean_p_value_bounded"}) {
        EXPECT_NE(help.out.find(item), std::string::npos) << item;
    }
}

} // namespace
} // namespace lvlim::data
