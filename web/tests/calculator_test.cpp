// The page's calculator against lvlim-data run as a process: the measurements go through
// lvlim-data's own reader, so every message about them must be the program's, word for word.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/process.hpp"
#include "web/calculator.hpp"

#ifndef LVLIM_DATA_EXE
#error "LVLIM_DATA_EXE must name lvlim-data, whose messages the page repeats"
#endif

namespace {

using lvlim::test::run_process;
using lvlim::test::Scratch;

// The page's message for `text` read from the file `name` with `column` against lvlim-data's.
void expect_program_message(const std::string& text, const std::string& column,
                            const std::string& kind, const std::string& confidence) {
    const Scratch scratch;
    const std::string file = scratch.write("data.csv", text);
    std::vector<std::string> arguments{"--" + kind, "--confidence=" + confidence, file};
    if (!column.empty()) {
        arguments.push_back("--column=" + column);
    }
    const auto program = run_process(LVLIM_DATA_EXE, arguments);
    const auto page = lvlim::web::from_measurements(text, file, column, kind, confidence);
    ASSERT_EQ(program.status, 1) << program.err;
    ASSERT_EQ(page.errors.size(), 1U);
    EXPECT_EQ(page.errors[0].field, "data");
    EXPECT_EQ("lvlim-data: " + page.errors[0].message + "\n", program.err);
    EXPECT_TRUE(page.rows.empty());
}

TEST(CalculatorData, MessagesAreLvlimDatas) {
    std::string too_many;
    for (int i = 0; i < 100002; ++i) {
        too_many += i % 2 == 0 ? "1\n" : "2\n";
    }
    struct Case {
        const char* what;
        std::string text;
        std::string column;
    };
    const Case cases[] = {
        {"zero", "3.2 5.1\n4.4, 0, 2.5\n", ""},
        {"not a number", "# header\r\n1.5, 2.5\t3\n\n 4 x7 5\n", "1"},
        {"decimal comma", "1 2\n3,5 4\n", ""},
        {"too few", "1 2\n", ""},
        {"too many", too_many, ""},
        {"log sd out of range", "1 1 1 1\n", ""},
        {"a column", "id,conc\n1,1.2\n2,-3\n", "2"},
        {"too few in a column", "id,conc\n1,1.2\n2,3\n", "2"},
        {"unmatched quote", "id,conc\n1,\"1.2\n", "2"},
        {"ragged table", "a,b\n1,2\n3\n", "1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        expect_program_message(c.text, c.column, "upper", "0.95");
    }
}

TEST(CalculatorData, TableColumnsAndValues) {
    const std::string csv =
        "\xEF\xBB\xBFid,\"site, name\",conc,note\r\n1,\"a, b\",1.2,x\r\n2,c,3.4,\r\n3,d,5.6,y\r\n";
    // Two columns of numbers: none is guessed, every column offered, those of text marked.
    const auto out = lvlim::web::from_measurements(csv, "wells.csv", "", "upper", "0.95");
    ASSERT_EQ(out.errors.size(), 1U);
    EXPECT_EQ(out.errors[0].field, "column");
    EXPECT_EQ(out.errors[0].message, "choose the column of the measurements: column 1 (id), "
                                     "column 3 (conc) hold numbers");
    EXPECT_TRUE(out.rows.empty());
    EXPECT_TRUE(out.values.empty());
    EXPECT_EQ(out.column, "");
    ASSERT_EQ(out.columns.size(), 4U);
    EXPECT_EQ(out.columns[1].second, "column 2 (site, name), not numbers");

    // The one chosen is read and named; a choice for another text is no choice.
    const auto conc = lvlim::web::from_measurements(csv, "w", "3", "upper", "0.95");
    ASSERT_TRUE(conc.errors.empty()) << conc.errors[0].message;
    EXPECT_EQ(conc.values, (std::vector<double>{1.2, 3.4, 5.6}));
    EXPECT_EQ(conc.read_from, "column 3 (conc)");
    EXPECT_EQ(lvlim::web::from_measurements(csv, "w", "1", "upper", "0.95").values,
              (std::vector<double>{1.0, 2.0, 3.0}));
    EXPECT_EQ(lvlim::web::from_measurements(csv, "w", "7", "upper", "0.95").errors[0].field,
              "column");

    // The first file of the review: two columns of numbers, the concentrations and durations.
    const std::string exposures = "sample_id,date,worker,task,twa_mg_m3,duration_min\n"
                                  "S1,2024-01-02,A,weld,0.12,480\nS2,2024-01-03,B,grind,0.3,420\n"
                                  "S3,2024-01-04,A,weld,0.08,455\n";
    const auto asked = lvlim::web::from_measurements(exposures, "e.csv", "", "upper", "0.95");
    ASSERT_EQ(asked.errors.size(), 1U);
    EXPECT_EQ(asked.errors[0].message,
              "choose the column of the measurements: column 5 (twa_mg_m3), column 6 "
              "(duration_min) hold numbers");
    // Under a header, a single column of numbers is the measurements.
    std::string one = exposures;
    one.replace(one.find(",duration_min"), 13, "");
    for (const char* d : {",480", ",420", ",455"}) {
        one.replace(one.find(d), 4, "");
    }
    EXPECT_EQ(lvlim::web::from_measurements(one, "e.csv", "", "upper", "0.95").read_from,
              "column 5 (twa_mg_m3)");

    // The second: decimal commas in the last of three columns, found before anything is read,
    // whatever column is chosen.
    const std::string commas = "id;date;conc\n1;2024-01-02;0,12\n2;2024-01-03;0,3\n"
                               "3;2024-01-04;0,08\n4;2024-01-05;0,2\n";
    for (const char* column : {"", "1", "3"}) {
        const auto refused = lvlim::web::from_measurements(commas, "c.csv", column, "upper", "0.95");
        ASSERT_EQ(refused.errors.size(), 1U) << column;
        EXPECT_EQ(refused.errors[0].message,
                  "c.csv, line 2, column 3 (conc): '0,12' has a decimal comma; this file writes "
                  "its numbers with decimal commas, which are not read: save it with decimal "
                  "points ('0,12' as 0.12)");
        EXPECT_TRUE(refused.values.empty());
        EXPECT_EQ(refused.columns.size(), 3U);
    }

    // Without a header, a list: every value, as lvlim-data reads it without --column.
    const auto plain = lvlim::web::from_measurements("1, 2\n3, 4\n5, 6\n", "d", "2", "upper", "0.9");
    EXPECT_EQ(plain.values.size(), 6U);
    EXPECT_TRUE(plain.columns.empty());
    EXPECT_EQ(plain.column, "");
}

// A spreadsheet's copy: a row of totals or statistics under the measurements is refused and
// named, never read as one more measurement; columns left empty by trailing separators are
// not offered as numbers.
TEST(CalculatorData, SpreadsheetSummaryRowsAreRefused) {
    const std::string body = "Sample\tDate\tConc (mg/m3)\tNotes\nS1\t2024-01-03\t0.12\t\n"
                             "S2\t2024-01-04\t0.31\tleak\nS3\t2024-01-05\t0.08\t\n"
                             "S4\t2024-01-06\t0.22\t\n";
    struct Case {
        std::string text;
        const char* message;
    };
    const Case cases[] = {
        {body + "Total\t\t0.73\t\n",
         "x, line 6: 'Total' labels a row of totals or statistics, not a measurement; its value "
         "'0.73' in column 3 (Conc (mg/m3)) would be read as one: remove the row"},
        {body + "\nMittelwert:\t\t0.1825\t\n", "x, line 7: 'Mittelwert:' labels a row"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const auto out = lvlim::web::from_measurements(c.text, "x", "3", "upper", "0.95");
        ASSERT_EQ(out.errors.size(), 1U);
        EXPECT_EQ(out.errors[0].field, "data");
        EXPECT_EQ(out.errors[0].message.rfind(c.message, 0), 0U) << out.errors[0].message;
        EXPECT_TRUE(out.rows.empty());
    }
    // Counts whose last is the sum of the others, values near that sum, a word of the kind
    // that is one of a column's values, or one with measurements after it: measurements.
    for (const char* text : {"3 5 8 16\n", "2.5 3.1 4.2 10\n", "Count\n12\n30\n18\n60\n",
                             "fraction;conc\nTotal;1.2\nrespirable;0.4\nTotal;2.1\nTotal;0.9\n",
                             "fraction;conc\nrespirable;1.2\nTotal;0.4\nrespirable;2.1\n"}) {
        EXPECT_TRUE(lvlim::web::from_measurements(text, "x", "", "upper", "0.95").errors.empty())
            << text;
    }
    const std::string trailing = "Sample;Conc;;\nS1;0.12;;\nS2;0.31;;\nS3;0.08;;\n";
    const auto out = lvlim::web::from_measurements(trailing, "x", "", "upper", "0.95");
    ASSERT_TRUE(out.errors.empty()) << out.errors[0].message;
    EXPECT_EQ(out.read_from, "column 2 (Conc)");
    EXPECT_EQ(out.columns[2].second, "column 3 (), empty");

    // A placeholder or a thousands separator among the measurements: the other column of
    // numbers is not read in their place, the choice is asked.
    const std::pair<std::string, std::string> cells[] = {{"-", "-"}, {"\"1,234.5\"", "1,234.5"}};
    for (const auto& [cell, read] : cells) {
        const std::string text = "Sample,Conc,Duration\nS1,0.12,480\nS2," + cell +
                                 ",420\nS3,0.08,455\nS4,0.31,470\n";
        const auto asked = lvlim::web::from_measurements(text, "x", "", "upper", "0.95");
        ASSERT_EQ(asked.errors.size(), 1U) << cell;
        EXPECT_EQ(asked.errors[0].field, "column");
        EXPECT_EQ(asked.errors[0].message,
                  "choose the column of the measurements: column 3 (Duration) hold numbers; "
                  "column 2 (Conc), numbers and text ('" + read + "' on line 3)");
    }
}

// Characters that look like blanks or minus signs are named, in the measurements and in every
// field, where the reader alone would say "0 measurements" or quote bytes.
TEST(CalculatorData, LookalikeCharactersAreNamed) {
    const auto spaces = lvlim::web::from_measurements("0.5 1\n1.2\xC2\xA0" "3.4\xC2\xA0" "5.6\n", "data",
                                                      "", "upper", "0.95");
    ASSERT_EQ(spaces.errors.size(), 1U);
    EXPECT_EQ(spaces.errors[0].message,
              "data, line 2 holds a non-breaking space (U+00A0), which is not read as a blank: "
              "replace it by an ordinary blank");
    const auto minus =
        lvlim::web::from_measurements("1 2 3\n\xE2\x88\x92" "0.5\n", "data", "", "upper", "0.95");
    EXPECT_EQ(minus.errors.at(0).message,
              "data, line 2 holds a Unicode minus sign (U+2212) in '\xE2\x88\x92" "0.5', which is "
              "not read: write -0.5 with the ordinary minus (a measurement must be positive all "
              "the same)");
    const auto mean = lvlim::web::from_logs("21", "\xE2\x88\x92" "0.5", "1\xE2\x80\xAF", "upper", "0.95");
    ASSERT_EQ(mean.errors.size(), 2U);
    EXPECT_EQ(mean.errors[0].message,
              "log_mean '\xE2\x88\x92" "0.5' holds a Unicode minus sign (U+2212), which is not read: "
              "write -0.5");
    EXPECT_EQ(mean.errors[1].message, "log_sd '1\xE2\x80\xAF' holds a narrow non-breaking space "
                                      "(U+202F), which is not read: write 1");
    EXPECT_EQ(*lvlim::web::read_confidences("0.95\xC2\xA0").error,
              "the confidence '0.95\xC2\xA0' holds a non-breaking space (U+00A0), which is not "
              "read: write 0.95");
}

TEST(CalculatorData, ConfidenceLists) {
    EXPECT_EQ(lvlim::web::read_confidences("0.9, 0.95 0.99").values,
              (std::vector<double>{0.9, 0.95, 0.99}));
    EXPECT_EQ(*lvlim::web::read_confidences("0.9,1.0").error,
              "the confidence must lie strictly between 0 and 1, not 1");
    EXPECT_EQ(*lvlim::web::read_confidences("95%").error, "invalid confidence '95%'");
    // A decimal comma is named, not read as the two levels 0 and 95.
    for (const char* text : {"0,95", "0.9, 0,95"}) {
        EXPECT_EQ(*lvlim::web::read_confidences(text).error,
                  "'0,95' has a decimal comma, which is not read: write 0.95 (several levels go "
                  "with a comma and a blank: 0.9, 0.95)");
    }
    EXPECT_TRUE(lvlim::web::read_confidences(" ").error);
}

// The limit value and the percentile are refused in lvlim-data's words, each under its own
// field, and nothing is computed; so are the planning tab's values, under theirs.
TEST(CalculatorData, AssessmentAndPlanRefusals) {
    const auto out = lvlim::web::from_measurements("1 2 3 4\n", "data", "", "upper", "0.95",
                                                   {"1", "-2"});
    ASSERT_EQ(out.errors.size(), 2U);
    EXPECT_EQ(out.errors[0].field, "percentile");
    EXPECT_EQ(out.errors[0].message,
              "invalid percentile '1': the percentile is a probability strictly between 0 and "
              "1, such as 0.95 for the 95th percentile");
    EXPECT_EQ(out.errors[1].field, "limit");
    EXPECT_EQ(out.errors[1].message, "invalid limit value '-2': the limit value is a number above "
                                     "0, in the units of the data");
    EXPECT_TRUE(out.rows.empty());
    EXPECT_TRUE(out.values.empty());

    struct Case {
        const char *gsd, *ratio, *goal, *target, *field;
    };
    for (const Case c : {Case{"1", "0.5", "power", "0.8", "gsd"},
                         Case{"2.5", "x", "power", "0.8", "ratio"},
                         Case{"2.5", "0.5", "power", "1.5", "target"},
                         Case{"2.5", "0", "power", "0.8", "ratio"}}) {
        SCOPED_TRACE(std::string(c.gsd) + " " + c.ratio + " " + c.target);
        const auto plan =
            lvlim::web::plan({c.gsd, c.ratio, "mean", "0.95", "0.95", c.goal, c.target});
        ASSERT_EQ(plan.errors.size(), 1U);
        EXPECT_EQ(plan.errors[0].field, c.field) << plan.errors[0].message;
        EXPECT_FALSE(plan.result);
    }
}

// Summary statistics out of range are refused before any series is summed (a log standard
// deviation of 1e300, or n = 0, would never end it), in lvlim-data's words.
TEST(CalculatorData, SummaryStatisticsOutOfRange) {
    struct Case {
        const char *n, *sd, *field, *message;
    };
    for (const Case c :
         {Case{"0", "1", "n", "0 measurements; the supported range is 3 to 100001 measurements"},
          Case{"2", "1", "n", "2 measurements; the supported range is 3 to 100001 measurements"},
          Case{"100002", "1", "n", nullptr}, Case{"2.5", "1", "n", nullptr},
          Case{"21", "1e300", "log_sd", nullptr}, Case{"21", "-1", "log_sd", nullptr},
          Case{"21", "0.0005", "log_sd",
               "the standard deviation of the logarithms is 5e-04; the supported range is "
               "0.001 to 10"}}) {
        SCOPED_TRACE(std::string(c.n) + " " + c.sd);
        const auto out = lvlim::web::from_logs(c.n, "3.1", c.sd, "upper", "0.95");
        ASSERT_EQ(out.errors.size(), 1U);
        EXPECT_EQ(out.errors[0].field, c.field);
        if (c.message != nullptr) {
            EXPECT_EQ(out.errors[0].message, c.message);
        }
        EXPECT_TRUE(out.rows.empty());
    }
}

} // namespace
