// lvlim-table run as a process: its cells are what lvlim prints for the same inputs, the table
// does not depend on the number of threads, it streams in bounded memory, and it stops cleanly.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
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
    const Case cases[] = {
        {"upper", 1, ""},
        {"lower", 2, "--lambda=-0.5 --gammasquared=nu+3 --mu=1.5"},
        {"two-sided", 3, "--max-iterations=50 --result-tol=1e-9"},
        // A negative lambda mirrors the pair: the columns keep lvlim's labels all the same.
        {"two-sided", 3, "--max-iterations=50 --result-tol=1e-9 --lambda=-0.5 --mu=1.5"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        const Outcome table =
            run(LVLIM_TABLE_EXE, std::string("--kind=") + c.kind +
                                     " -a 0.9,0.99 -s 0.3,2.5 -n 3,40.5 -d " + c.extra);
        // Some one-sided searches here run out of iterations: exit status 3.
        ASSERT_TRUE(table.status == 0 || table.status == 3) << table.err;
        const auto rows = csv_rows(table.out);
        ASSERT_EQ(rows.size(), 9U) << table.out;
        const bool pair = c.which == 3;
        for (std::size_t r = 1; r < rows.size(); ++r) {
            const auto& f = rows[r];
            ASSERT_EQ(f.size(), pair ? 13U : 10U);
            EXPECT_TRUE(f.back() == "ok" || f.back() == "search failed") << f.back();
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

TEST(TableProgram, OutputDoesNotDependOnThreads) {
    // alpha 0.9999999999999 makes two-sided searches fail; the table holds good cells too.
    for (const char* kind : {"upper", "two-sided"}) {
        for (const char* format : {"csv", "text"}) {
            SCOPED_TRACE(std::string(kind) + " " + format);
            const std::string arguments = std::string("--kind=") + kind + " --format=" + format +
                                          " -s 0.1:10:7:log -n 2:1000:6:log -d " +
                                          "-a 0.9,0.9999999999999";
            const Outcome one = run(LVLIM_TABLE_EXE, arguments + " --threads=1");
            EXPECT_FALSE(one.out.empty());
            if (std::string(kind) == "two-sided") {
                EXPECT_EQ(one.status, 3);
                EXPECT_NE(one.err.find("failed"), std::string::npos);
            }
            for (const char* threads : {" --threads=2", " --threads=7"}) {
                const Outcome many = run(LVLIM_TABLE_EXE, arguments + threads);
                EXPECT_EQ(one.status, many.status) << threads;
                EXPECT_EQ(one.out, many.out) << threads;
                EXPECT_EQ(one.err, many.err) << threads;
            }
        }
    }
}

TEST(TableProgram, MessagesGoToStandardErrorWithTheirCell) {
    // Two iterations make the two-sided fallback report its failure for every cell.
    const Outcome got = run(LVLIM_TABLE_EXE, "--kind=two-sided -s 1 -n 20 --max-iterations=2");
    EXPECT_EQ(got.status, 3);
    EXPECT_EQ(csv_rows(got.out).size(), 2U);
    EXPECT_NE(got.err.find("lvlim-table: alpha=0.95 sigma=1 nu=20: Method (Only Bisection) "
                           "failed...\n"),
              std::string::npos)
        << got.err;
}

TEST(TableProgram, FailedCellIsMarked) {
    const std::string cell = "-a 0.9999999999999 -s 1.2 -n 20 -k two-sided";
    const Outcome csv = run(LVLIM_TABLE_EXE, cell);
    EXPECT_EQ(csv.status, 3) << "a failed cell has an exit status of its own";
    const auto rows = csv_rows(csv.out);
    ASSERT_EQ(rows.size(), 2U);
    EXPECT_EQ(rows[0].back(), "status");
    EXPECT_EQ(rows[1].back(), "search failed");
    // The label gives alpha as the table does, not rounded to "alpha=1".
    EXPECT_NE(csv.err.find("alpha=0.9999999999999 sigma=1.2 nu=20: Method (Only Bisection)"),
              std::string::npos)
        << csv.err;

    const Outcome text = run(LVLIM_TABLE_EXE, cell + " -f text -s 1.2,0.5");
    EXPECT_EQ(text.status, 3);
    const auto lines = test::lines_of(text.out);
    ASSERT_GE(lines.size(), 5U) << text.out;
    EXPECT_EQ(lines[2].substr(0, 18), "               1.2");
    // The mark stands before the value, which keeps its place at the column's right edge.
    EXPECT_NE(lines[2].find(" *" + rows[1][5]), std::string::npos) << text.out;
    EXPECT_EQ(lines[4].rfind("* search failed", 0), 0U) << text.out;

    const Outcome good = run(LVLIM_TABLE_EXE, "-a 0.9 -s 1.2 -n 20 -k two-sided -f text");
    EXPECT_EQ(good.status, 0);
    EXPECT_EQ(good.out.find('*'), std::string::npos) << good.out;
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
        {"--kind=middle",
         "invalid value for --kind: 'middle' (expected upper, lower or two-sided)"},
        {"--sigma=1:2", "invalid value for --sigma: '1:2' (expected a list a,b,c or a range"},
        {"--nu=2:3:100001", "COUNT from 1 to 100000"},
        {"--nu=2,x", "invalid value for --nu: '2,x'"},
        {"--threads=-1", "invalid value for --threads: '-1' (expected a whole number from 0, "
                         "every core, to 1024)"},
        {"--alpha", "option --alpha needs a value"},
        {"--nu=2 --n=3", "give the nu axis once, with --nu or --n"},
        {"--sigma=20",
         "values out of range: sigma = 20 is outside the supported range [0.001, 10]"},
        {"--sigma=0.0009", "sigma = 0.0009 is outside the supported range [0.001, 10]"},
        {"--nu=1.5", "values out of range: nu = 1.5 is outside the supported range [2, 100000]"},
        {"--nu=100001", "nu = 100001 is outside the supported range [2, 100000]"},
        {"--n=2,100002", "n = 2 is outside the supported range [3, 100001]"},
        {"--alpha=1", "alpha = 1 is outside (0, 1)"},
        {"--lambda=0", "lambda = 0 is outside the finite non-zero numbers"},
        // 10^8 cells are allowed by default, 10^9 are not; nothing is computed either way.
        {"--sigma=0.1:10:10000 --nu=2:1000:10000 --max-cells=99999999",
         "the table has 100000000 cells, more than --max-cells=99999999 allows"},
        {"--sigma=0.1:10:100000 --nu=2:1000:100000",
         "the table has 10000000000 cells, more than --max-cells=100000000 allows"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments);
        const Outcome got = run(LVLIM_TABLE_EXE, c.arguments);
        EXPECT_EQ(got.status, 2);
        EXPECT_EQ(got.out, "");
        EXPECT_NE(got.err.find(c.message), std::string::npos) << got.err;
    }
}

TEST(TableProgram, WriteErrorsAreReported) {
    for (const char* arguments : {"--help", "--version", "-s 1 -n 2", "-s 1 -n 2 -f text"}) {
        SCOPED_TRACE(arguments);
        const Outcome got =
            test::run_process("/bin/sh", {"-c", std::string("'") + LVLIM_TABLE_EXE + "' " +
                                                    arguments + " > /dev/full"});
        EXPECT_EQ(got.status, 1);
        EXPECT_EQ(got.err, "lvlim-table: cannot write standard output: No space left on device\n");
    }
}

TEST(TableProgram, RangesAndTextLayout) {
    const Outcome got = run(LVLIM_TABLE_EXE, "-f text -s 1:3:3 -n 2,10 -a 0.95");
    ASSERT_EQ(got.status, 0);
    const auto text = test::lines_of(got.out);
    ASSERT_EQ(text.size(), 5U);
    EXPECT_EQ(text[0],
              "k, one-sided upper limit, alpha = 0.95, lambda = 0.5, gammasquared = nu + 1");
    EXPECT_EQ(text[1], "        sigma \\ nu                 2                10");
    EXPECT_EQ(text[2].substr(0, 18), "                 1");
    EXPECT_EQ(text[3].substr(0, 18), "                 2");
    EXPECT_EQ(text[4].substr(0, 18), "                 3");

    // Evenly spaced decimals print as typed; a range of one value is FROM.
    const Outcome steps = run(LVLIM_TABLE_EXE, "--sigma=0.1:3:30 -n 2 -j0");
    EXPECT_EQ(steps.status, 0) << "-j0 means every core";
    const auto rows = csv_rows(steps.out);
    ASSERT_EQ(rows.size(), 31U);
    for (int i = 1; i <= 30; ++i) {
        std::string expected = std::to_string(i / 10) + "." + std::to_string(i % 10);
        if (i % 10 == 0) {
            expected = std::to_string(i / 10);
        }
        EXPECT_EQ(rows[static_cast<std::size_t>(i)][1], expected);
    }
    const Outcome one = run(LVLIM_TABLE_EXE, "--sigma=0.1:0.2:1 --nu=20:20:1");
    ASSERT_EQ(csv_rows(one.out).size(), 2U);
    EXPECT_EQ(csv_rows(one.out)[1][1], "0.1");
    EXPECT_EQ(csv_rows(one.out)[1][2], "20");

    // Log ranges hit the round decimals on the way and end exactly at TO; nu from a fractional
    // n prints as the decimal n - 1.
    for (const auto& [arguments, column, expected] :
         std::vector<std::tuple<std::string, std::size_t, std::vector<std::string>>>{
             {"-s 0.001:10:5:log -n 2", 1, {"0.001", "0.01", "0.1", "1", "10"}},
             {"-s 1 -n 10:100000:5:log", 2, {"10", "100", "1000", "10000", "100000"}},
             {"-s 0.1:10:3:log -n 2", 1, {"0.1", "1", "10"}},
             {"-s 1 -n 3:6:2:log", 2, {"3", "6"}},
             {"-s 1 --n=4.1,3.3", 2, {"3.1", "2.3"}}}) {
        const auto values = csv_rows(run(LVLIM_TABLE_EXE, arguments).out);
        ASSERT_EQ(values.size(), expected.size() + 1) << arguments;
        for (std::size_t i = 0; i < expected.size(); ++i) {
            EXPECT_EQ(values[i + 1][column], expected[i]) << arguments;
        }
    }

    // --n is the axis of sample sizes; --mu brings the limits on the data scale with it.
    const Outcome by_n = run(LVLIM_TABLE_EXE, "--n=3,21,100001 -s 0.001,10 --mu=2");
    const Outcome by_nu = run(LVLIM_TABLE_EXE, "--nu=2,20,100000 -s 0.001,10 --mu=2 -d");
    EXPECT_EQ(by_n.status, 0) << by_n.err;
    EXPECT_EQ(by_n.out, by_nu.out);
    EXPECT_EQ(csv_rows(by_n.out)[0][8], "limit");
    EXPECT_EQ(csv_rows(by_n.out)[3][2], "100000");

    // Labels wider than a column widen every column, and values of any width (here the limits
    // of a large mu under short labels) fit theirs: the columns stay aligned.
    for (const char* wide_arguments : {"--nu=2:1000:10:log -s 1,2.5", "-n 2,5 -s 1,10"}) {
        const Outcome wide = run(LVLIM_TABLE_EXE, std::string("-f text -a 0.9 -k lower ") +
                                                      wide_arguments + " --mu=-1.23456789e10");
        auto lines = test::lines_of(wide.out);
        ASSERT_EQ(lines.size(), 9U) << wide.out;
        lines.erase(lines.begin() + 4, lines.begin() + 6); // the blank line and the next title
        for (std::size_t i = 2; i < 7; ++i) {
            EXPECT_EQ(lines[i].size(), lines[1].size()) << wide.out;
            std::size_t end = 0;
            // Every column ends where its label ends.
            for (std::istringstream words(lines[1]); words;) {
                std::string word;
                if (!(words >> word)) {
                    break;
                }
                end = lines[1].find(word, end) + word.size();
                if (word != "sigma" && word != "\\") {
                    EXPECT_NE(lines[i][end - 1], ' ') << lines[i];
                    EXPECT_TRUE(end == lines[i].size() || lines[i][end] == ' ') << lines[i];
                }
            }
        }
    }
}

// ---- Streaming, memory and interrupts -------------------------------------------------------

// A process started with its standard output and standard error in files.
struct Child {
    pid_t pid = -1;
    std::string out;
    std::string err;
};

Child start_table(const test::Scratch& scratch, const std::vector<std::string>& arguments) {
    Child child;
    child.out = (scratch.path() / "out").string();
    child.err = (scratch.path() / "err").string();
    child.pid = fork();
    if (child.pid == 0) {
        const int out = open(child.out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = open(child.err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(out, STDOUT_FILENO);
        dup2(err, STDERR_FILENO);
        std::vector<char*> argv{const_cast<char*>(LVLIM_TABLE_EXE)};
        for (const std::string& a : arguments) {
            argv.push_back(const_cast<char*>(a.c_str()));
        }
        argv.push_back(nullptr);
        execv(LVLIM_TABLE_EXE, argv.data());
        _exit(127);
    }
    return child;
}

// Waits for the child; its exit status and its peak resident memory in kilobytes.
std::pair<int, long> finish(const Child& child) {
    int status = 0;
    rusage usage{};
    wait4(child.pid, &status, 0, &usage);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, usage.ru_maxrss};
}

TEST(TableProgram, MemoryStaysBoundedWhateverTheSize) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer keeps freed memory in quarantine";
#endif
    // Cheap cells (small sigma and nu); the large table has 100 times the cells of the small
    // one. A table held whole costs over 100 bytes a cell, so 4 MB more for the large one.
    const test::Scratch scratch;
    const Child small = start_table(scratch, {"-s", "0.001:0.002:20", "-n", "2:3:20", "-j2"});
    const auto [small_status, small_kb] = finish(small);
    const Child large = start_table(scratch, {"-s", "0.001:0.002:200", "-n", "2:3:200", "-j2"});
    const auto [large_status, large_kb] = finish(large);
    // Exit status 0: a few one-sided searches there run out of iterations, cycling in the
    // rounding noise of their roots, but every limit is confirmed.
    ASSERT_EQ(small_status, 0);
    ASSERT_EQ(large_status, 0);
    EXPECT_EQ(csv_rows(test::read_file(large.out)).size(), 40001U);
    EXPECT_LT(large_kb, 50 * 1024) << "peak resident memory in kB";
    EXPECT_LT(large_kb - small_kb, 1536) << "kB: " << small_kb << " then " << large_kb;
}

TEST(TableProgram, InterruptLeavesThePrefixOfTheTable) {
    // 1001000 cells: the table announces its size, then streams its first rows at once.
    const std::vector<std::string> arguments = {"-s", "0.1:10:1000", "-n", "2:1000:1001", "-j2"};
    for (const int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signal);
        const test::Scratch scratch;
        const Child child = start_table(scratch, arguments);
        // Wait for a few hundred rows, a minute at most.
        for (int wait = 0; wait < 600 && test::read_file(child.out).size() < 20000; ++wait) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        kill(child.pid, signal);
        const auto [status, kb] = finish(child);
        EXPECT_EQ(status, 128 + signal);
        const std::string err = test::read_file(child.err);
        EXPECT_NE(err.find("lvlim-table: 1001000 cells; at about "), std::string::npos) << err;
        EXPECT_EQ(err.find('\r'), std::string::npos) << "no progress line off a terminal";

        const std::string out = test::read_file(child.out);
        ASSERT_FALSE(out.empty());
        EXPECT_EQ(out.back(), '\n') << "only whole rows";
        const auto rows = csv_rows(out);
        ASSERT_GT(rows.size(), 100U);
        ASSERT_LT(rows.size(), 1001000U);
        // The complete table over the sigma values reached gives the same first rows.
        std::string sigmas;
        for (std::size_t r = 1; r < rows.size(); r += 1001) {
            sigmas += (sigmas.empty() ? "" : ",") + rows[r][1];
        }
        const Outcome whole = run(LVLIM_TABLE_EXE, "-s " + sigmas + " -n 2:1000:1001");
        ASSERT_TRUE(whole.status == 0 || whole.status == 3) << whole.err;
        EXPECT_EQ(whole.out.substr(0, out.size()), out);
    }
}

TEST(TableProgram, InterruptedTextKeepsTheLegendOfItsMarks) {
    // Two iterations make every cell of a pair fail; the level is far from done when stopped.
    const test::Scratch scratch;
    const Child child = start_table(scratch, {"-k", "two-sided", "--max-iterations=2", "-f", "text",
                                              "-s", "0.1:10:100000", "-n", "2,3"});
    for (int wait = 0; wait < 600 && test::read_file(child.out).find('*') == std::string::npos;
         ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    kill(child.pid, SIGINT);
    const auto [status, kb] = finish(child);
    EXPECT_EQ(status, 130);
    const auto lines = test::lines_of(test::read_file(child.out));
    ASSERT_GE(lines.size(), 4U);
    EXPECT_NE(lines[lines.size() - 2].find(" *-"), std::string::npos) << lines[lines.size() - 2];
    EXPECT_EQ(lines.back().rfind("* search failed", 0), 0U) << lines.back();
}

TEST(TableProgram, ProgressLineOnATerminalIsClearedOnInterrupt) {
    // Standard error on a terminal: the progress line appears after a second.
    int terminal = -1;
    int child_side = -1;
    ASSERT_EQ(openpty(&terminal, &child_side, nullptr, nullptr, nullptr), 0);
    const pid_t pid = fork();
    if (pid == 0) {
        close(terminal);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        dup2(child_side, STDERR_FILENO);
        execl(LVLIM_TABLE_EXE, LVLIM_TABLE_EXE, "-s", "0.1:10:100", "-n", "2:1000:1000", "-j2",
              static_cast<char*>(nullptr));
        _exit(127);
    }
    close(child_side);
    std::string screen;
    bool interrupted = false;
    for (int round = 0; round < 1200; ++round) {
        pollfd ready{terminal, POLLIN, 0};
        if (poll(&ready, 1, 100) > 0) {
            char buffer[4096];
            const ssize_t got = read(terminal, buffer, sizeof buffer);
            if (got <= 0) {
                break; // the program has ended
            }
            screen.append(buffer, static_cast<std::size_t>(got));
        }
        if (!interrupted && screen.find(" left") != std::string::npos) {
            kill(pid, SIGINT);
            interrupted = true;
        }
    }
    const auto [status, kb] = finish(Child{pid, "", ""});
    close(terminal);
    ASSERT_TRUE(interrupted) << screen;
    EXPECT_EQ(status, 130);
    // "lvlim-table: [###...] 1234/100000 cells, 1234 cells/s, 1 min left", then blanks over it.
    const auto line = screen.find("lvlim-table: [");
    ASSERT_NE(line, std::string::npos) << screen;
    EXPECT_NE(screen.find("/100000 cells, ", line), std::string::npos) << screen;
    EXPECT_NE(screen.find(" cells/s, ", line), std::string::npos) << screen;
    const auto last = screen.find_last_not_of(' ', screen.size() - 2);
    ASSERT_NE(last, std::string::npos);
    EXPECT_EQ(screen.back(), '\r') << "the line is cleared at the end";
    EXPECT_EQ(screen[last], '\r') << screen.substr(line);
}

} // namespace
} // namespace lvlim
