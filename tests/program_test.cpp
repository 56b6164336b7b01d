// The program end to end: the built executable runs as a process on a given standard input,
// and its standard output, standard error and exit status are checked exactly. Limits are
// checked against the independent reference of tests/reference.hpp.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/process.hpp"
#include "tests/reference.hpp"

#ifndef LVLIM_EXE
#error "LVLIM_EXE must name the program under test"
#endif

namespace lvlim {
namespace {

using test::Outcome;
using test::read_file;

// Runs the program with `input` as standard input (or the file `stdin_path`) and the given
// arguments.
Outcome run_program(const std::string& input, const std::string& arguments = "",
                    const std::string& stdin_path = "") {
    return test::run_process(LVLIM_EXE, test::words(arguments), input, stdin_path);
}

using test::lines_of;

// The value of a result line " key= value+".
double value_of(const std::string& line, const std::string& key) {
    EXPECT_EQ(line.rfind(" " + key, 0), 0U) << line;
    EXPECT_EQ(line.back(), '+') << line;
    return std::stod(line.substr(key.size() + 1, line.size() - key.size() - 2));
}

const std::string default_controls = " Time=  0.+\n"
                                     " MaximumIterations= 200+\n"
                                     " BesselArgTop=  800.+\n"
                                     " Tolerance=  9.99999994E-09+\n"
                                     " ResultTol= -1.+\n";

const std::string example_inputs = " alpha =   0.95+\n"
                                   " lambda =   0.5+\n"
                                   " sigma=   1.2+\n"
                                   " nu=   20.+\n"
                                   " mu=   3.1+\n"
                                   " gammasquared=   21.+\n";

TEST(Program, OneSidedRecords) {
    // The lognormal setting with mu 3.1, sigma 1.2, nu 20: S = sigma = 1.2, f = 20.
    struct Case {
        int which;
        const char* name;
    };
    for (const Case c : {Case{1, "one-sided upper limit     "}, Case{2, "one-sided lower limit     "}}) {
        SCOPED_TRACE(c.which);
        const Outcome got = run_program(std::to_string(c.which) + " 0.95 0.5 1.2 20 3.1 21 /\n");
        EXPECT_EQ(got.status, 0);
        EXPECT_EQ(got.err, "");
        const auto lines = lines_of(got.out);
        ASSERT_EQ(lines.size(), 15U) << got.out;
        EXPECT_EQ(lines[0], std::string(" WhichLimit= ") + c.name + "+");
        std::string inputs;
        for (int i = 1; i <= 6; ++i) {
            inputs += lines[static_cast<std::size_t>(i)] + "\n";
        }
        EXPECT_EQ(inputs, example_inputs);
        const double p = c.which == 1 ? 0.95 : 0.05;
        const double k_reference = test::reference_limit(1.0 - p, 20.0, 1.2);
        const double k = value_of(lines[7], "StandardConfidenceLimit= ");
        EXPECT_NEAR(k, k_reference, 2e-6);
        // mu + lambda sigma^2 + k (sigma/g) sqrt((1 + nu)/nu), g = sqrt(21).
        const double limit = value_of(lines[8], "ConfidenceLimit= ");
        EXPECT_NEAR(limit, 3.1 + 0.5 * 1.44 + k_reference * 1.2 / std::sqrt(20.0), 2e-6);
        EXPECT_EQ(lines[9].rfind(" NumberIterations= ", 0), 0U);
        std::string tail;
        for (std::size_t i = 10; i < 15; ++i) {
            tail += lines[i] + "\n";
        }
        EXPECT_EQ(tail, default_controls);
    }
}

TEST(Program, TwoSidedRecordOfTheShippedExample) {
    const Outcome got = run_program(read_file(LVLIM_EXAMPLE));
    EXPECT_EQ(got.status, 0);
    EXPECT_EQ(got.err, "");
    const auto lines = lines_of(got.out);
    ASSERT_EQ(lines.size(), 18U) << got.out;
    EXPECT_EQ(lines[0], " WhichLimit=a pair of two-sided limits+");
    std::string inputs;
    for (std::size_t i = 1; i <= 6; ++i) {
        inputs += lines[i] + "\n";
    }
    EXPECT_EQ(inputs, example_inputs);
    const double f = 20.0;
    const double S = 1.2;
    const double k_lower = value_of(lines[7], "StandardLowerLimit= ");
    const double k_upper = value_of(lines[8], "StandardUpperLimit= ");
    // Each standardized limit meets both conditions of a two-sided limit, and G crosses there.
    for (const auto& [which, k] : {std::pair{1, k_lower}, std::pair{2, k_upper}}) {
        const double theta = S * k / std::sqrt(f) + S * S / 2.0;
        EXPECT_NEAR(static_cast<double>(test::reference_two_sided(theta, 0.95, which, f, S)), 0.95,
                    2e-8)
            << "side " << which;
    }
    const double scale = 1.2 / std::sqrt(21.0) * std::sqrt(21.0 / 20.0);
    EXPECT_NEAR(value_of(lines[9], "LowerConfidenceLimit= "), 3.1 + 0.72 + k_lower * scale, 1e-8);
    EXPECT_NEAR(value_of(lines[10], "UpperConfidenceLimit= "), 3.1 + 0.72 + k_upper * scale, 1e-8);
    EXPECT_EQ(lines[11].rfind(" NumberIterationsLower= ", 0), 0U);
    EXPECT_EQ(lines[12].rfind(" NumberIterationsUpper= ", 0), 0U);
    std::string tail;
    for (std::size_t i = 13; i < 18; ++i) {
        tail += lines[i] + "\n";
    }
    EXPECT_EQ(tail, default_controls);
}

TEST(Program, LayoutsOfTheSameRecordGiveTheSameOutput) {
    const std::string one_line = run_program("1 0.95 0.5 1.2 20 3.1 21 /\n").out;
    const char* layouts[] = {
        "1\n0.95\n\n0.5 1.2\n20\t3.1\n21\n/\n",
        "1,0.95,0.5,1.2,20,3.1,21,/",
        "1 0.95 0.5 1.2 20 3.1 21 /", // no final line end
        "1 0.95 0.5 1.2 20 3.1 21 200 800 ,,/ and more",
        "1 0.95 0.5 1.2 20 3.1 21\r\n/\r\n",
    };
    for (const char* layout : layouts) {
        SCOPED_TRACE(layout);
        const Outcome got = run_program(layout);
        EXPECT_EQ(got.out, one_line);
        EXPECT_EQ(got.status, 0);
    }
    // Command-line arguments are ignored.
    EXPECT_EQ(run_program("1 0.95 0.5 1.2 20 3.1 21 /\n", "--help -x 3").out, one_line);
}

TEST(Program, NullsKeepDefaultsAndOverrideControls) {
    const Outcome got = run_program("1,0.95,0.5,1.2,20,3.1,21,,,1e-6,0\n");
    const auto lines = lines_of(got.out);
    ASSERT_EQ(lines.size(), 15U) << got.out;
    EXPECT_EQ(lines[11], " MaximumIterations= 200+");
    EXPECT_EQ(lines[12], " BesselArgTop=  800.+");
    EXPECT_EQ(lines[13], " Tolerance=  1.E-06+");
    EXPECT_EQ(lines[14], " ResultTol=  0.+");
}

TEST(Program, KindNames) {
    struct Case {
        const char* input;
        const char* first_line;
        std::size_t lines;
    };
    const Case cases[] = {
        {"2 0.95 0.5 1.2 20 3.1 21 /", " WhichLimit= one-sided lower limit     +", 15},
        {"3 0.95 0.5 1.2 20 3.1 21 /", " WhichLimit=a pair of two-sided limits+", 18},
        // Kinds outside 1 to 3 run the two-sided computation and are named for it.
        {"7 0.95 0.5 1.2 20 3.1 21 /", " WhichLimit=a pair of two-sided limits+", 18},
        {"-1 0.95 0.5 1.2 20 3.1 21 /", " WhichLimit=a pair of two-sided limits+", 18},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.input);
        const auto lines = lines_of(run_program(c.input).out);
        ASSERT_EQ(lines.size(), c.lines);
        EXPECT_EQ(lines[0], c.first_line);
    }
    // Kind 7 computes exactly what kind 3 does.
    const auto three = lines_of(run_program("3 0.9 0.5 2 10 0 11 /").out);
    const auto seven = lines_of(run_program("7 0.9 0.5 2 10 0 11 /").out);
    EXPECT_EQ(std::vector(three.begin() + 1, three.end()),
              std::vector(seven.begin() + 1, seven.end()));
}

TEST(Program, ReadErrors) {
    struct Case {
        const char* what;
        const char* input;
        const char* out;
    };
    const Case cases[] = {
        {"record cut after seven items", "1 0.95 0.5 1.2 20 3.1 21\n",
         " Error reading inputs, error number  -1\n"
         " 1  0.95  0.5  1.2  20.  3.1  21. 200  800.  9.99999994E-09 -1.\n"},
        {"empty input", "",
         " Error reading inputs, error number  -1\n"
         " 0  0.  0.  0.  0.  0.  0. 200  800.  9.99999994E-09 -1.\n"},
        {"third item not a number", "1 0.95 x 1.2 20 3.1 21 /\n",
         " Error reading inputs, error number  112\n"
         " 1  0.95  0.  0.  0.  0.  0. 200  800.  9.99999994E-09 -1.\n"},
        {"decimal point in WhichLimit", "1.0 0.95 0.5 1.2 20 3.1 21 /\n",
         " Error reading inputs, error number  115\n"
         " 0  0.  0.  0.  0.  0.  0. 200  800.  9.99999994E-09 -1.\n"},
        {"integer beyond 32 bits", "1 0.95 0.5 1.2 20 3.1 21 2147483648 /\n",
         " Error reading inputs, error number  113\n"
         " 1  0.95  0.5  1.2  20.  3.1  21. 200  800.  9.99999994E-09 -1.\n"},
        {"double beyond the largest", "1 0.95 0.5 1.2 20 3.1 1e309 /\n",
         " Error reading inputs, error number  113\n"
         " 1  0.95  0.5  1.2  20.  3.1  0. 200  800.  9.99999994E-09 -1.\n"},
        {"bad control item after good ones", "1 0.95 0.5 1.2 20 3.1 21 50 1e /\n",
         " Error reading inputs, error number  112\n"
         " 1  0.95  0.5  1.2  20.  3.1  21. 50  800.  9.99999994E-09 -1.\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Outcome got = run_program(c.input);
        EXPECT_EQ(got.out, c.out);
        EXPECT_EQ(got.err, "STOP Error Reading Inputs statement executed\n");
        EXPECT_EQ(got.status, 0);
    }
    // Standard input that cannot be read at all.
    const Outcome directory = run_program("", "", testing::TempDir());
    EXPECT_EQ(directory.out, " Error reading inputs, error number  114\n"
                             " 0  0.  0.  0.  0.  0.  0. 200  800.  9.99999994E-09 -1.\n");
    EXPECT_EQ(directory.status, 0);
}

TEST(Program, FailedValidationRunsNoEngine) {
    const Outcome got = run_program("1 1.5 0.5 1.2 1 3.1 21 /\n");
    const std::string alpha = "Alpha must be between 0 and 1 (value is  1.50000            ). ";
    const std::string nu = "nu must be in the range [2,1000] (value is           1.        ). ";
    const std::string message = alpha + std::string(80 - alpha.size(), ' ') +
                                std::string(80, ' ') + nu + std::string(80 - nu.size(), ' ') +
                                std::string(80, ' ');
    EXPECT_EQ(got.out, " Error in inputs\n " + message + "\n");
    EXPECT_EQ(got.err, "STOP Error in Inputs statement executed\n");
    EXPECT_EQ(got.status, 0);
}

TEST(Program, EngineMessagesComeBeforeTheRecord) {
    // Two iterations make the two-sided fallback report its failure.
    const Outcome got = run_program("3 0.95 0.5 1.0 20 0 21 2 /\n");
    const auto lines = lines_of(got.out);
    ASSERT_GE(lines.size(), 19U) << got.out;
    EXPECT_EQ(lines[0], " Method (Only Bisection) failed...");
    EXPECT_EQ(lines[lines.size() - 18], " WhichLimit=a pair of two-sided limits+");
    EXPECT_EQ(lines.back(), " ResultTol= -1.+");
    EXPECT_EQ(got.status, 0);
}

TEST(Program, DegenerateInputsReportWhatTheArithmeticGives) {
    // lambda = 0 passes validation; the limits are not numbers.
    const auto lines = lines_of(run_program("1 0.95 0 1.2 20 3.1 21 /").out);
    ASSERT_EQ(lines.size(), 15U);
    EXPECT_EQ(lines[7], " StandardConfidenceLimit=   NaN+");
    EXPECT_EQ(lines[8], " ConfidenceLimit=   NaN+");
}

TEST(Program, FractionalNuSearchesWithItsWholePart) {
    // What README.md and lvlim.1 say under "A fractional nu".
    const auto line = [](const std::string& record, std::size_t index) {
        const auto lines = lines_of(run_program(record).out);
        return index < lines.size() ? lines[index] : std::string("(missing)");
    };
    EXPECT_EQ(line("3 0.95 0.5 1.2 9.999 3.1 10.999 /", 8), " StandardUpperLimit=   4.36010318+");
    EXPECT_EQ(line("3 0.95 0.5 1.2 9.999 3.1 10.999 /", 10),
              " UpperConfidenceLimit=   5.47462556+");
    EXPECT_EQ(line("3 0.95 0.5 1.2 10 3.1 11 /", 8), " StandardUpperLimit=   4.04488241+");
    EXPECT_EQ(line("3 0.95 0.5 1.2 9 3.1 10 /", 8), " StandardUpperLimit=   4.20528082+");
    // Two-sided: S takes floor(nu) + 1, so nu 9.999 with gammasquared 10 is nu 9 on the
    // standardized scale; the data scale takes nu itself.
    EXPECT_EQ(line("3 0.95 0.5 1.2 9.999 3.1 10 /", 8), line("3 0.95 0.5 1.2 9 3.1 10 /", 8));
    EXPECT_NE(line("3 0.95 0.5 1.2 9.999 3.1 10 /", 10), line("3 0.95 0.5 1.2 9 3.1 10 /", 10));
    // One-sided: S takes nu + 1, so with gammasquared = nu + 1 it is sigma whatever nu is.
    EXPECT_EQ(line("1 0.95 0.5 1.2 9.999 3.1 10.999 /", 7),
              " StandardConfidenceLimit=   3.52844148+");
    EXPECT_EQ(line("1 0.95 0.5 1.2 9 3.1 10 /", 7), " StandardConfidenceLimit=   3.52844148+");
    EXPECT_NE(line("1 0.95 0.5 1.2 9.5 3.1 10 /", 7), line("1 0.95 0.5 1.2 9 3.1 10 /", 7));
}

} // namespace
} // namespace lvlim
