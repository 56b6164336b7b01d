// lvlim-table run as a process: its cells are what lvlim prints for the same inputs, and the
// table does not depend on the number of threads.
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/process.hpp"

#ifndef LVLIM_EXE
#error "LVLIM_EXE and LVLIM_TABLE_EXE must name the programs under test"
#endif

namespace lvlim {
namespace {

using test::Outcome;

// Runs `program arguments < input`.
Outcome run(const std::string& program, const std::string& arguments,
            const std::string& input = "") {
    return test::run_process(program, test::words(arguments), input);
}

std::vector<std::vector<std::string>> csv_rows(const std::string& text) {
    std::vector<std::vector<std::string>> rows;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::vector<std::string> fields;
        std::istringstream items(line);
        for (std::string field; std::getline(items, field, ',');) {
            fields.push_back(field);
        }
        rows.push_back(fields);
    }
    return rows;
}

// The value of lvlim's line " key=  value+", without the blanks.
std::string lvlim_value(const std::string& record, const std::string& key) {
    const auto at = record.find(" " + key);
    EXPECT_NE(at, std::string::npos) << key << " in\n" << record;
    const auto start = record.find_first_not_of(' ', at + key.size() + 1);
    const auto end = record.find('+', start);
    return record.substr(start, end - start);
}

TEST(TableProgram, CellsAreWhatLvlimPrints) {
    struct Case {
        const char* kind;
        int which;
        const char* extra;
    };
    const Case cases[] = {{"upper", 1, ""},
                          {"lower", 2, "--lambda=-0.5 --gammasquared=nu+3 --mu=1.5"},
                          {"two-sided", 3, "--max-iterations=50 --result-tol=1e-9"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        const Outcome table = run(LVLIM_TABLE_EXE, std::string("--kind=") + c.kind +
                                                       " -a 0.9,0.99 -s 0.3,2.5 -n 3,40.5 -d " +
                                                       c.extra);
        ASSERT_EQ(table.status, 0) << table.err;
        const auto rows = csv_rows(table.out);
        ASSERT_EQ(rows.size(), 9U) << table.out;
        const bool pair = c.which == 3;
        for (std::size_t r = 1; r < rows.size(); ++r) {
            const auto& f = rows[r];
            ASSERT_EQ(f.size(), pair ? 12U : 9U);
            // alpha, sigma, nu, lambda, gammasquared as lvlim's record takes them.
            std::string record = std::to_string(c.which) + " " + f[0] + " " + f[3] + " " + f[1] +
                                 " " + f[2] + " " + f[pair ? 9 : 7] + " " + f[4];
            record += pair ? " 50 800 9.99999993922529e-09 1e-9\n" : " /\n";
            const Outcome lvlim = run(LVLIM_EXE, "", record);
            SCOPED_TRACE(record);
            if (pair) {
                EXPECT_EQ(f[5], lvlim_value(lvlim.out, "StandardLowerLimit= "));
                EXPECT_EQ(f[6], lvlim_value(lvlim.out, "StandardUpperLimit= "));
                EXPECT_EQ(f[7], lvlim_value(lvlim.out, "NumberIterationsLower="));
                EXPECT_EQ(f[8], lvlim_value(lvlim.out, "NumberIterationsUpper="));
                EXPECT_EQ(f[10], lvlim_value(lvlim.out, "LowerConfidenceLimit= "));
                EXPECT_EQ(f[11], lvlim_value(lvlim.out, "UpperConfidenceLimit= "));
            } else {
                EXPECT_EQ(f[5], lvlim_value(lvlim.out, "StandardConfidenceLimit= "));
                EXPECT_EQ(f[6], lvlim_value(lvlim.out, "NumberIterations="));
                EXPECT_EQ(f[8], lvlim_value(lvlim.out, "ConfidenceLimit= "));
            }
        }
    }
}

TEST(TableProgram, ParallelTableEqualsSingleThreaded) {
    for (const char* kind : {"upper", "two-sided"}) {
        for (const char* format : {"csv", "text"}) {
            SCOPED_TRACE(std::string(kind) + " " + format);
            const std::string arguments = std::string("--kind=") + kind + " --format=" + format +
                                          " -s 0.1:10:7:log -n 2:1000:6:log -a 0.9,0.95 -d";
            const Outcome one = run(LVLIM_TABLE_EXE, arguments + " --threads=1");
            const Outcome many = run(LVLIM_TABLE_EXE, arguments + " --threads=5");
            EXPECT_EQ(one.status, 0);
            EXPECT_FALSE(one.out.empty());
            EXPECT_EQ(one.out, many.out);
            EXPECT_EQ(one.err, many.err);
        }
    }
}

TEST(TableProgram, MessagesGoToStandardErrorWithTheirCell) {
    // Two iterations make the two-sided fallback report its failure for every cell.
    const Outcome got = run(LVLIM_TABLE_EXE, "--kind=two-sided -s 1 -n 20 --max-iterations=2");
    EXPECT_EQ(got.status, 0);
    EXPECT_EQ(csv_rows(got.out).size(), 2U);
    EXPECT_NE(got.err.find("lvlim-table: alpha=0.95 sigma=1 nu=20: Method (Only Bisection) "
                           "failed...\n"),
              std::string::npos)
        << got.err;
}

TEST(TableProgram, UsageAndErrors) {
    const Outcome help = run(LVLIM_TABLE_EXE, "--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("Usage: lvlim-table", 0), 0U);
    struct Case {
        const char* arguments;
        const char* message;
    };
    const Case cases[] = {
        {"--bogus", "unrecognized argument '--bogus'"},
        {"--kind=middle", "invalid value for --kind: 'middle'"},
        {"--sigma=1:2", "invalid value for --sigma: '1:2'"},
        {"--nu=2,x", "invalid value for --nu: '2,x'"},
        {"--threads=0", "invalid value for --threads: '0'"},
        {"--alpha", "option --alpha needs a value"},
        {"--sigma=20", "values out of range: Sigma must be in the range [0.1,10] (value is"},
        {"--nu=1.5", "values out of range: nu must be in the range [2,1000]"},
        {"--alpha=1", "values out of range: Alpha must be between 0 and 1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments);
        const Outcome got = run(LVLIM_TABLE_EXE, c.arguments);
        EXPECT_EQ(got.status, 2);
        EXPECT_EQ(got.out, "");
        EXPECT_NE(got.err.find(c.message), std::string::npos) << got.err;
    }
}

TEST(TableProgram, RangesAndTextLayout) {
    const Outcome got = run(LVLIM_TABLE_EXE, "-f text -s 1:3:3 -n 2,10 -a 0.95");
    ASSERT_EQ(got.status, 0);
    std::istringstream lines(got.out);
    std::vector<std::string> text;
    for (std::string line; std::getline(lines, line);) {
        text.push_back(line);
    }
    ASSERT_EQ(text.size(), 5U);
    EXPECT_EQ(text[0], "k, one-sided upper limit, alpha = 0.95, lambda = 0.5, gammasquared = nu + 1");
    EXPECT_EQ(text[1], "    sigma \\ nu             2            10");
    EXPECT_EQ(text[2].substr(0, 14), "             1");
    EXPECT_EQ(text[3].substr(0, 14), "             2");
    EXPECT_EQ(text[4].substr(0, 14), "             3");
}

} // namespace
} // namespace lvlim
