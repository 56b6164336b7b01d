// lvlim-plan run as a process: its JSON against the API bit for bit, the CSV columns, the text
// report, the exit statuses (2 for every value out of its range, 3 for a value not computed
// reliably, 1 for output that cannot be written), the progress line, which only a terminal
// gets, and rows that reach a pipe while the search still runs.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "lvlim/lvlim.hpp"
#include "tests/process.hpp"

#ifndef LVLIM_PLAN_EXE
#error "LVLIM_PLAN_EXE must name the program under test"
#endif

namespace lvlim {
namespace {

using test::run_process;
using test::words;

test::Outcome plan(const std::string& arguments) {
    return run_process(LVLIM_PLAN_EXE, words(arguments));
}

PlanSetting setting(Statistic statistic, double gsd, double ratio) {
    PlanSetting s;
    s.log_sd = log_sd_from_gsd(gsd);
    s.ratio = ratio;
    s.statistic = statistic;
    return s;
}

// A JSON number or null against a double: the same bits, or null for NaN.
void expect_same(const nlohmann::json& got, double want, const std::string& what) {
    if (std::isnan(want)) {
        EXPECT_TRUE(got.is_null()) << what;
    } else {
        ASSERT_TRUE(got.is_number()) << what;
        EXPECT_EQ(got.get<double>(), want) << what;
    }
}

TEST(PlanProgram, JsonAgreesWithTheApiToTheLastBit) {
    struct Run {
        const char* arguments;
        Statistic statistic;
        double gsd, ratio;
        Target target;
        std::size_t from, to;
    };
    const Run runs[] = {
        {"--gsd=2.5 --ratio=0.5 --n=3:60", Statistic::mean, 2.5, 0.5, {Goal::power, 0.8}, 3, 60},
        {"--gsd=2 --ratio=0.4 --statistic=percentile --power=0.9 --n=3:1000",
         Statistic::percentile,
         2.0,
         0.4,
         {Goal::power, 0.9},
         3,
         1000},
        {"--gsd=3 --ratio=0.7 --expected-ratio=1.8 --n=10:200",
         Statistic::mean,
         3.0,
         0.7,
         {Goal::expected_ratio, 1.8},
         10,
         200},
        {"--gsd=3 --ratio=0.7 --n=17:17", Statistic::mean, 3.0, 0.7, {Goal::power, 0.8}, 17, 17},
    };
    for (const Run& run : runs) {
        const test::Outcome out = plan(std::string(run.arguments) + " --format=json");
        ASSERT_TRUE(out.status == 0 || out.status == 3) << run.arguments << "\n" << out.err;
        const nlohmann::json got = nlohmann::json::parse(out.out);
        const SampleSize want =
            sample_size(setting(run.statistic, run.gsd, run.ratio), run.target, run.from, run.to);
        if (want.n) {
            EXPECT_EQ(got.at("sample_size").get<std::size_t>(), *want.n) << run.arguments;
        } else {
            EXPECT_TRUE(got.at("sample_size").is_null()) << run.arguments;
        }
        expect_same(got.at("achieved"), want.achieved, run.arguments);
        ASSERT_EQ(got.at("rows").size(), want.rows.size()) << run.arguments;
        for (std::size_t i = 0; i < want.rows.size(); ++i) {
            const nlohmann::json& row = got.at("rows")[i];
            const std::string what = std::string(run.arguments) + " row " + std::to_string(i);
            EXPECT_EQ(row.at("n").get<std::size_t>(), want.rows[i].n) << what;
            expect_same(row.at("power"), want.rows[i].power.value, what);
            expect_same(row.at("expected_ratio"), want.rows[i].expected_ratio.value, what);
            EXPECT_EQ(row.at("status").get<std::string>(), to_string(want.rows[i].status));
        }
    }
    // The one row of --n=N:N is the API's plan_row: both quantities of the mean.
    const nlohmann::json one =
        nlohmann::json::parse(plan("--gsd=3 --ratio=0.7 --n=17:17 --format=json").out);
    const PlanRow row = plan_row(17, setting(Statistic::mean, 3.0, 0.7));
    expect_same(one.at("rows")[0].at("power"), row.power.value, "17:17 power");
    expect_same(one.at("rows")[0].at("expected_ratio"), row.expected_ratio.value,
                "17:17 expected ratio");
}

TEST(PlanProgram, CsvTextAndJsonCarryTheSameRows) {
    const std::string common = "--log-sd=0.8 --ratio=0.5 --statistic=percentile --n=5:300";
    const test::Outcome csv = plan(common + " --format=csv");
    const test::Outcome json = plan(common + " --format=json");
    const test::Outcome text = plan(common);
    ASSERT_EQ(csv.status, 0) << csv.err;
    ASSERT_EQ(text.status, 0) << text.err;
    const std::vector<std::string> lines = test::lines_of(csv.out);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], "n,power,expected_ratio,status");
    const nlohmann::json rows = nlohmann::json::parse(json.out).at("rows");
    ASSERT_EQ(lines.size(), rows.size() + 1);
    // CSV has the rows in the order computed, JSON in increasing n: the same rows once sorted.
    std::vector<std::string> csv_rows(lines.begin() + 1, lines.end());
    EXPECT_FALSE(std::is_sorted(csv_rows.begin(), csv_rows.end(), [](const auto& a, const auto& b) {
        return std::stoul(a) < std::stoul(b);
    })) << "a search that bisects computes rows between the grid's";
    std::sort(csv_rows.begin(), csv_rows.end(),
              [](const auto& a, const auto& b) { return std::stoul(a) < std::stoul(b); });
    for (std::size_t i = 0; i < rows.size(); ++i) {
        // n, the power read back to the same bits, no expected ratio for the percentile, ok.
        const std::string& line = csv_rows[i];
        const std::size_t c1 = line.find(',');
        const std::size_t c2 = line.find(',', c1 + 1);
        const std::size_t c3 = line.find(',', c2 + 1);
        EXPECT_EQ(line.substr(0, c1), std::to_string(rows[i].at("n").get<std::size_t>()));
        EXPECT_EQ(std::strtod(line.substr(c1 + 1, c2 - c1 - 1).c_str(), nullptr),
                  rows[i].at("power").get<double>());
        EXPECT_EQ(line.substr(c2 + 1, c3 - c2 - 1), "");
        EXPECT_EQ(line.substr(c3 + 1), "ok");
    }
    const std::size_t n = nlohmann::json::parse(json.out).at("sample_size").get<std::size_t>();
    EXPECT_NE(text.out.find("Sample size: " + std::to_string(n) + " (power "), std::string::npos)
        << text.out;
    // Not a terminal: no progress line.
    EXPECT_EQ(csv.err.find('\r'), std::string::npos);
    EXPECT_TRUE(csv.err.empty()) << csv.err;
}

TEST(PlanProgram, ValuesOutOfRangeAreUsageErrors) {
    const char* const bad[] = {
        "--gsd=1 --ratio=0.5",
        "--gsd=0.7 --ratio=0.5",
        "--gsd=abc --ratio=0.5",
        "--log-sd=0 --ratio=0.5",
        "--gsd=2 --ratio=0",
        "--gsd=2 --ratio=-0.5",
        "--gsd=2 --ratio=0.5 --power=0",
        "--gsd=2 --ratio=0.5 --power=1",
        "--gsd=2 --ratio=0.5 --power=1.2",
        "--gsd=2 --expected-ratio=0.9",
        "--gsd=2 --ratio=0.5 --n=10:5",
        "--gsd=2 --ratio=0.5 --n=10",
        "--gsd=2 --ratio=0.5 --n=2:10",
        "--gsd=2",
        "--ratio=0.5",
        "--gsd=2 --ratio=0.5 --power=0.8 --expected-ratio=2",
        "--gsd=2 --ratio=0.5 --statistic=median",
        "--gsd=2 --ratio=0.5 --confidence=1",
        "--gsd=2 --statistic=percentile --expected-ratio=2",
        "--gsd=2 --ratio=0.5 --percentile=0.9", // else the mean is planned, unsaid
    };
    for (const char* arguments : bad) {
        const test::Outcome out = plan(arguments);
        EXPECT_EQ(out.status, 2) << arguments;
        EXPECT_TRUE(out.out.empty()) << arguments;
        EXPECT_EQ(out.err.rfind("lvlim-plan: ", 0), 0U) << arguments << ": " << out.err;
    }
    // What each of the cases says.
    EXPECT_NE(plan("--gsd=1 --ratio=0.5").err.find("must be above 1"), std::string::npos);
    EXPECT_NE(plan("--gsd=2 --ratio=0").err.find("above 0"), std::string::npos);
    EXPECT_NE(plan("--gsd=2 --ratio=0.5 --power=1").err.find("strictly between 0 and 1"),
              std::string::npos);
    EXPECT_NE(plan("--gsd=2 --ratio=0.5 --n=10:5").err.find("is empty"), std::string::npos);
}

TEST(PlanProgram, UnreliableValuesAndLostOutput) {
    // With 3 measurements and a GSD of 2.5 the expected ratio has no bound: written, marked,
    // said on standard error, exit status 3.
    const test::Outcome heavy = plan("--gsd=2.5 --expected-ratio=2 --n=3:4 --format=json");
    EXPECT_EQ(heavy.status, 3) << heavy.err;
    const nlohmann::json rows = nlohmann::json::parse(heavy.out).at("rows");
    EXPECT_TRUE(rows[0].at("expected_ratio").is_null());
    EXPECT_EQ(rows[0].at("status").get<std::string>(), "search failed");
    EXPECT_NE(heavy.err.find("not bounded"), std::string::npos) << heavy.err;

    const test::Outcome full =
        run_process(LVLIM_PLAN_EXE, words("--gsd=2 --ratio=0.5 --n=5:5"), "", "", "/dev/full");
    EXPECT_EQ(full.status, 1);
    EXPECT_NE(full.err.find("lvlim-plan: cannot write to standard output"), std::string::npos)
        << full.err;
}

TEST(PlanProgram, RowsReachAPipeWhileTheSearchRunsAndAnInterruptKeepsThem) {
    // A wide search read through a pipe: the first row arrives while the program still
    // computes the others (it cannot have exited: it is not reaped until waitpid below), and
    // Ctrl-C then ends it with the rows written so far whole.
    int pipe_ends[2];
    ASSERT_EQ(pipe(pipe_ends), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        dup2(pipe_ends[1], STDOUT_FILENO);
        close(pipe_ends[0]);
        close(pipe_ends[1]);
        execl(LVLIM_PLAN_EXE, LVLIM_PLAN_EXE, "--gsd=1.5", "--expected-ratio=1.01", "--n=3:100001",
              "--format=csv", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(pipe_ends[1]);
    FILE* from_child = fdopen(pipe_ends[0], "r");
    ASSERT_NE(from_child, nullptr);
    const auto next_line = [&]() -> std::string {
        char buffer[256];
        return std::fgets(buffer, sizeof buffer, from_child) != nullptr ? buffer : "";
    };
    EXPECT_EQ(next_line(), "n,power,expected_ratio,status\n");
    const std::string first = next_line();
    EXPECT_EQ(first.rfind("3,,", 0), 0U) << first;
    int status = 0;
    EXPECT_EQ(waitpid(child, &status, WNOHANG), 0) << "the first row came only at the end";
    kill(child, SIGINT);
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) << status;
    // What came out before the interrupt is whole rows, and not the whole curve: the grid's
    // last n, computed well after its first, was never reached. Output written only at the end
    // would hold every row by the time the first could be read.
    for (std::string line = next_line(); !line.empty(); line = next_line()) {
        EXPECT_EQ(std::count(line.begin(), line.end(), ','), 3) << line;
        EXPECT_EQ(line.back(), '\n') << line;
        EXPECT_NE(line.rfind("100001,", 0), 0U) << "the search ran to its end";
    }
    std::fclose(from_child);
}

TEST(PlanProgram, ProgressLineOnlyOnATerminal) {
    // script(1) gives the program a terminal; the progress line is erased before the output.
    if (std::system("command -v script > /dev/null 2>&1") != 0) {
        GTEST_SKIP() << "script(1) is not installed";
    }
    const test::Outcome out = run_process(
        "script",
        {"-qec", std::string(LVLIM_PLAN_EXE) + " --gsd=2 --ratio=0.5 --n=5:40", "/dev/null"});
    EXPECT_EQ(out.status, 0) << out.err;
    EXPECT_NE(out.out.find("lvlim-plan: n = 40 computed"), std::string::npos) << out.out;
    EXPECT_NE(out.out.find("Sample size: "), std::string::npos);
}

TEST(PlanProgram, HelpAndVersion) {
    const test::Outcome help = plan("--help");
    EXPECT_EQ(help.status, 0);
    for (const char* option : {"--gsd", "--log-sd", "--ratio", "--statistic", "--percentile",
                               "--confidence", "--power", "--expected-ratio", "--n", "--format"}) {
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
    }
    EXPECT_EQ(plan("--version").status, 0);
}

} // namespace
} // namespace lvlim
