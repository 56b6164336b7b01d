// Lost output is a failure: each program run with standard output on /dev/full (every write
// fails with ENOSPC) must say so in one line on standard error, "<program>: cannot write ...
// standard output: No space left on device", and exit with status 1, whatever it was asked to
// do. The same runs with a working standard output exit 0 (the other program tests check what
// they write).
//
// A program or another way of running one is one line of `runs` below.
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/process.hpp"

#if !defined(LVLIM_EXE) || !defined(LVLIM_TABLE_EXE) || !defined(LVLIM_DATA_EXE)
#error "LVLIM_EXE, LVLIM_TABLE_EXE and LVLIM_DATA_EXE must name the programs under test"
#endif

namespace lvlim {
namespace {

struct ProgramRun {
    const char* what;      // shown when the check fails
    const char* name;      // the program's name, which starts its message
    const char* program;   // the executable
    const char* arguments; // written with blanks
    const char* input;     // standard input
};

const std::vector<ProgramRun> runs = {
    {"lvlim, a result record", "lvlim", LVLIM_EXE, "", "3 0.95 0.5 1.2 20 3.1 21 /\n"},
    {"lvlim, engine messages and a record", "lvlim", LVLIM_EXE, "", "3 0.95 0.5 1 20 0 21 2 /\n"},
    {"lvlim, a read error", "lvlim", LVLIM_EXE, "", "1 0.95 x /\n"},
    {"lvlim, a validation error", "lvlim", LVLIM_EXE, "", "1 1.5 0.5 1.2 20 3.1 21 /\n"},
    {"lvlim-table, a table", "lvlim-table", LVLIM_TABLE_EXE, "-s 0.5,1 -n 5,20 -j1", ""},
    {"lvlim-table, a text table", "lvlim-table", LVLIM_TABLE_EXE, "-s 1 -n 20 --format=text", ""},
    {"lvlim-table --help", "lvlim-table", LVLIM_TABLE_EXE, "--help", ""},
    {"lvlim-table --version", "lvlim-table", LVLIM_TABLE_EXE, "--version", ""},
    {"lvlim-data, a report", "lvlim-data", LVLIM_DATA_EXE, "", "2.5 4 7.25 3.5 12 1.5\n"},
    {"lvlim-data, CSV", "lvlim-data", LVLIM_DATA_EXE, "--format=csv -c 0.9,0.95", "2.5 4 7.25\n"},
    {"lvlim-data, JSON", "lvlim-data", LVLIM_DATA_EXE, "--format=json --upper", "2.5 4 7.25\n"},
    {"lvlim-data --help", "lvlim-data", LVLIM_DATA_EXE, "--help", ""},
    {"lvlim-data --version", "lvlim-data", LVLIM_DATA_EXE, "--version", ""},
};

class OutputFailure : public testing::TestWithParam<ProgramRun> {};

TEST_P(OutputFailure, IsReportedWithStatusOne) {
    const ProgramRun& run = GetParam();
    SCOPED_TRACE(run.what);
    if (!std::filesystem::exists("/dev/full")) {
        GTEST_SKIP() << "/dev/full is missing";
    }
    const auto arguments = test::words(run.arguments);

    // With a working standard output the run succeeds.
    const test::Outcome fine = test::run_process(run.program, arguments, run.input);
    EXPECT_EQ(fine.status, 0) << fine.err;
    EXPECT_FALSE(fine.out.empty());

    const test::Outcome full =
        test::run_process(run.program, arguments, run.input, "", "/dev/full");
    EXPECT_EQ(full.status, 1);
    // Standard error holds what it holds with a working standard output, then the one line.
    const std::string expected_start = std::string(run.name) + ": cannot write ";
    const std::string expected_end =
        " standard output: " + std::string(std::strerror(ENOSPC)) + "\n";
    ASSERT_GE(full.err.size(), fine.err.size());
    EXPECT_EQ(full.err.substr(0, fine.err.size()), fine.err);
    const std::string line = full.err.substr(fine.err.size());
    EXPECT_EQ(line.rfind(expected_start, 0), 0U) << line;
    ASSERT_GE(line.size(), expected_end.size()) << line;
    EXPECT_EQ(line.substr(line.size() - expected_end.size()), expected_end) << line;
    EXPECT_EQ(test::lines_of(line).size(), 1U) << line;
}

std::string run_name(const testing::TestParamInfo<ProgramRun>& info) {
    std::string name;
    for (const char* c = info.param.what; *c != '\0'; ++c) {
        name += std::isalnum(static_cast<unsigned char>(*c)) != 0 ? *c : '_';
    }
    return name;
}

// The whole line of lvlim, as its manual page gives it.
TEST(OutputFailureText, OfLvlim) {
    if (!std::filesystem::exists("/dev/full")) {
        GTEST_SKIP() << "/dev/full is missing";
    }
    const test::Outcome full =
        test::run_process(LVLIM_EXE, {}, "1 0.95 0.5 1.2 20 3.1 21 /\n", "", "/dev/full");
    EXPECT_EQ(full.err, "lvlim: cannot write the results to standard output: " +
                            std::string(std::strerror(ENOSPC)) + "\n");
    EXPECT_EQ(full.status, 1);
}

INSTANTIATE_TEST_SUITE_P(Programs, OutputFailure, testing::ValuesIn(runs), run_name);

} // namespace
} // namespace lvlim
