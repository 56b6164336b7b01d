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
        {"not a number", "# header\r\n1.5, 2.5\t3\n\n 4 x7 5\n", ""},
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
    const auto out = lvlim::web::from_measurements(csv, "wells.csv", "", "upper", "0.95");
    ASSERT_TRUE(out.errors.empty()) << out.errors[0].message;
    // The last column whose first value is a measurement; every column offered.
    EXPECT_EQ(out.column, "3");
    ASSERT_EQ(out.columns.size(), 4U);
    EXPECT_EQ(out.columns[1].second, "column 2 (site, name)");
    EXPECT_EQ(out.values, (std::vector<double>{1.2, 3.4, 5.6}));

    // A choice for another text falls back; the identifiers can be chosen.
    EXPECT_EQ(lvlim::web::from_measurements(csv, "w", "1", "upper", "0.95").values,
              (std::vector<double>{1.0, 2.0, 3.0}));
    EXPECT_EQ(lvlim::web::from_measurements(csv, "w", "7", "upper", "0.95").column, "3");

    // Without a header, a list: every value, as lvlim-data reads it without --column.
    const auto plain = lvlim::web::from_measurements("1, 2\n3, 4\n5, 6\n", "d", "2", "upper", "0.9");
    EXPECT_EQ(plain.values.size(), 6U);
    EXPECT_TRUE(plain.columns.empty());
    EXPECT_EQ(plain.column, "");
}

TEST(CalculatorData, ConfidenceLists) {
    EXPECT_EQ(lvlim::web::read_confidences("0.9, 0.95 0.99").values,
              (std::vector<double>{0.9, 0.95, 0.99}));
    EXPECT_EQ(*lvlim::web::read_confidences("0.9,1.0").error,
              "the confidence must lie strictly between 0 and 1, not 1");
    EXPECT_EQ(*lvlim::web::read_confidences("95%").error, "invalid confidence '95%'");
    EXPECT_TRUE(lvlim::web::read_confidences(" ").error);
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
