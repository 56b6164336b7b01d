// lvlim-data: the reader and the log statistics in process, and the program end to end as a
// process. Its limits are checked against lvlim itself, run as a process on the summary
// statistics lvlim-data derives; its statistics against an independent long double computation.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "apps/lvlim-data/data_summary.hpp"
#include "tests/process.hpp"

#ifndef LVLIM_DATA_EXE
#error "LVLIM_DATA_EXE must name the program under test"
#endif
#ifndef LVLIM_VERSION
#error "LVLIM_VERSION must give the version the programs report"
#endif
#ifndef LVLIM_EXE
#error "LVLIM_EXE must name lvlim, the program the results are compared with"
#endif

namespace lvlim::data {
namespace {

constexpr double eps = std::numeric_limits<double>::epsilon();

// ---- Helpers ------------------------------------------------------------------------------

using test::Outcome;
using test::read_file;
using test::Scratch;

Outcome run_program(const std::string& program, const std::vector<std::string>& arguments,
                    const std::string& input = "") {
    return test::run_process(program, arguments, input);
}

Outcome run_data(const std::vector<std::string>& arguments, const std::string& input = "") {
    return run_program(LVLIM_DATA_EXE, arguments, input);
}

using test::lines_of;

// The "key: value" lines of lvlim-data's output, and their keys in order.
struct Record {
    std::vector<std::string> keys;
    std::map<std::string, std::string> value;
};
Record record_of(const std::string& out) {
    Record record;
    for (const std::string& line : lines_of(out)) {
        const std::size_t colon = line.find(": ");
        EXPECT_NE(colon, std::string::npos) << line;
        if (colon != std::string::npos) {
            record.keys.push_back(line.substr(0, colon));
            record.value[line.substr(0, colon)] = line.substr(colon + 2);
        }
    }
    return record;
}

// The value text of lvlim's result line " key= value+", without blanks.
std::optional<std::string> lvlim_value(const std::string& out, const std::string& key) {
    for (const std::string& line : lines_of(out)) {
        if (line.rfind(" " + key, 0) == 0 && line.back() == '+') {
            const std::string value = line.substr(key.size() + 1, line.size() - key.size() - 2);
            return value.substr(value.find_first_not_of(' '));
        }
    }
    return std::nullopt;
}

// The order of the output lines of each kind.
const std::vector<std::string> common_keys = {
    "n", "mu-hat", "sigma-hat", "nu", "gammasquared", "lambda", "estimate", "confidence", "kind"};
std::vector<std::string> keys_of(const std::vector<std::string>& limit_keys) {
    std::vector<std::string> keys = common_keys;
    keys.insert(keys.end(), limit_keys.begin(), limit_keys.end());
    return keys;
}

// Independent statistics of the logs: plain two-pass in long double.
struct Reference {
    long double mean;
    long double sd;
    long double largest_log; // max |log x|, the scale of the rounding of the logs in double
};
Reference reference_statistics(const std::vector<double>& values) {
    const auto n = static_cast<long double>(values.size());
    long double sum = 0.0L;
    long double largest = 0.0L;
    for (const double x : values) {
        sum += std::log(static_cast<long double>(x));
        largest = std::max(largest, std::fabs(std::log(static_cast<long double>(x))));
    }
    const long double mean = sum / n;
    long double squares = 0.0L;
    for (const double x : values) {
        const long double d = std::log(static_cast<long double>(x)) - mean;
        squares += d * d;
    }
    return {mean, std::sqrt(squares / (n - 1.0L)), largest};
}

// ---- The reader ---------------------------------------------------------------------------

TEST(DataSummary, ParseMeasurement) {
    struct Case {
        const char* item;
        double value;
        std::optional<ValueError> error;
    };
    const Case cases[] = {
        {"3.5", 3.5, std::nullopt},
        {"1e3", 1000.0, std::nullopt},
        {"2.5E-3", 0.0025, std::nullopt},
        {".5", 0.5, std::nullopt},
        {"5.", 5.0, std::nullopt},
        {"4.9e-324", 4.9e-324, std::nullopt}, // the smallest double is still a measurement
        {"0", 0.0, ValueError::not_positive},
        {"-0", 0.0, ValueError::not_positive},
        {"-1.5", 0.0, ValueError::not_positive},
        {"abc", 0.0, ValueError::not_a_number},
        {"1.5x", 0.0, ValueError::not_a_number},
        {"+1", 0.0, ValueError::not_a_number},
        {"0x10", 0.0, ValueError::not_a_number},
        {"1,5", 0.0, ValueError::not_a_number},
        {"1e", 0.0, ValueError::not_a_number},
        {"nan", 0.0, ValueError::not_a_number},
        {"", 0.0, ValueError::not_a_number},
        {"inf", 0.0, ValueError::out_of_range},
        {"1e999", 0.0, ValueError::out_of_range},
        {"1e-999", 0.0, ValueError::out_of_range},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.item);
        const ValueOrError got = parse_measurement(c.item);
        EXPECT_EQ(got.error, c.error);
        if (!c.error) {
            EXPECT_EQ(got.value, c.value);
        }
    }
}

TEST(DataSummary, ReadMeasurements) {
    struct Case {
        const char* what;
        const char* text;
        std::vector<double> values;
        std::optional<BadValue> bad;
    };
    const std::vector<double> one_two_three = {1.0, 2.0, 3.0};
    // clang-format off
    const Case cases[] = {
        {"empty", "", {}, std::nullopt},
        {"one a line", "1\n2\n3\n", one_two_three, std::nullopt},
        {"no final line end", "1 2 3", one_two_three, std::nullopt},
        {"blanks, tabs and commas", " 1,\t2 ,, 3\t", one_two_three, std::nullopt},
        {"comments and blank lines", "# head\n\n1 2 # two\n#\n3#three\n", one_two_three,
         std::nullopt},
        {"CR LF", "1 2\r\n3\r\n\r\n", one_two_three, std::nullopt},
        {"the first bad item", "1 2\n\n3 x y\n-1\n", {1.0, 2.0, 3.0},
         BadValue{3, "x", ValueError::not_a_number}},
        {"not positive", "1\r\n2 0\r\n", {1.0, 2.0}, BadValue{2, "0", ValueError::not_positive}},
        {"a CR inside a line", "1\r2\n", {}, BadValue{1, "1\r2", ValueError::not_a_number}},
        {"a comment hides a bad item", "1 # x\n2\n", {1.0, 2.0}, std::nullopt},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Measurements got = read_measurements(c.text);
        EXPECT_EQ(got.values, c.values);
        ASSERT_EQ(got.bad.has_value(), c.bad.has_value());
        if (c.bad) {
            EXPECT_EQ(got.bad->line, c.bad->line);
            EXPECT_EQ(got.bad->text, c.bad->text);
            EXPECT_EQ(got.bad->error, c.bad->error);
        }
    }
}

// ---- The statistics -----------------------------------------------------------------------

// Each log carries a rounding error of about eps * |log x|, which moves the mean and the standard
// deviation by as much; beyond that both are accurate to a few eps of their own size.
TEST(DataSummary, LogStatisticsAgainstLongDouble) {
    struct Case {
        const char* what;
        std::vector<double> values;
    };
    std::vector<double> near_constant;
    std::vector<double> many;
    for (int i = 0; i < 1001; ++i) {
        near_constant.push_back(1e300 * (1.0 + 1e-9 * i));
        many.push_back(std::exp(std::sin(i) * 3.0) * 7.0);
    }
    const Case cases[] = {
        {"three", {1.0, 10.0, 100.0}},
        {"skewed", {0.5, 1.25, 2.0, 3.5, 8.0, 20.0, 0.75}},
        {"tiny values", {1e-300, 3e-300, 2e-299, 7e-301}},
        {"large logs, tiny spread", near_constant},
        {"a thousand and one", many},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const LogSummary got = summarize_logs(c.values);
        const Reference ref = reference_statistics(c.values);
        const auto n = static_cast<long double>(c.values.size());
        const long double log_rounding = 4 * eps * ref.largest_log;
        EXPECT_EQ(got.n, c.values.size());
        EXPECT_LE(std::fabs(got.mean - ref.mean), log_rounding + 4 * eps * std::fabs(ref.mean))
            << got.mean << " vs " << static_cast<double>(ref.mean);
        // The deviations are found with the rounding of the logs, spread over sqrt(n - 1).
        EXPECT_LE(std::fabs(got.sd - ref.sd),
                  log_rounding * std::sqrt(n / (n - 1)) + 8 * eps * ref.sd)
            << got.sd << " vs " << static_cast<double>(ref.sd);
    }
}

TEST(DataProgram, StatisticsAgainstLongDouble) {
    const std::vector<double> values = {0.5, 1.25, 2.0, 3.5, 8.0, 20.0, 0.75};
    const Outcome got = run_data({}, "0.5 1.25 2.0 3.5\n8.0 20.0 0.75\n");
    ASSERT_EQ(got.status, 0) << got.err;
    EXPECT_EQ(got.err, "");
    Record record = record_of(got.out);
    EXPECT_EQ(record.keys, keys_of({"log-lower", "log-upper", "mean-lower", "mean-upper"}));
    const Reference ref = reference_statistics(values);
    const double mu = std::stod(record.value["mu-hat"]);
    const double sigma = std::stod(record.value["sigma-hat"]);
    // The logs are at most |log 20| = 3, so a few eps of 3 bound the errors of both.
    EXPECT_NEAR(mu, static_cast<double>(ref.mean), 16 * eps);
    EXPECT_NEAR(sigma, static_cast<double>(ref.sd), 16 * eps);
    const long double estimate = std::exp(ref.mean + ref.sd * ref.sd / 2);
    EXPECT_NEAR(std::stod(record.value["estimate"]) / static_cast<double>(estimate), 1.0, 64 * eps);
    EXPECT_EQ(record.value["n"], "7");
    EXPECT_EQ(record.value["nu"], "6");
    EXPECT_EQ(record.value["gammasquared"], "7");
    EXPECT_EQ(record.value["lambda"], "0.5");
    EXPECT_EQ(record.value["confidence"], "0.95");
    EXPECT_EQ(record.value["kind"], "two-sided");
}

// ---- Agreement with lvlim -----------------------------------------------------------------

// On the shipped data set, lvlim run on the full-precision statistics lvlim-data prints gives
// the same log-scale limits, character for character, and the mean's limits are their
// exponentials (the exponential of the same 9-digit text, so rounding alone separates them).
TEST(DataProgram, AgreesWithLvlimOnTheShippedExample) {
    struct Case {
        const char* option;
        int WhichLimit;
        std::vector<std::pair<std::string, std::string>> limits; // lvlim key, lvlim-data key
    };
    const Case cases[] = {
        {"--upper", 1, {{"ConfidenceLimit= ", "upper"}}},
        {"--lower", 2, {{"ConfidenceLimit= ", "lower"}}},
        {"--two-sided",
         3,
         {{"LowerConfidenceLimit= ", "lower"}, {"UpperConfidenceLimit= ", "upper"}}},
    };
    for (const char* confidence : {"0.95", "0.8"}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.option) + " " + confidence);
            const Outcome data = run_data({c.option, "-c", confidence, LVLIM_DATA_EXAMPLE});
            ASSERT_EQ(data.status, 0) << data.err;
            EXPECT_EQ(data.err, "");
            Record record = record_of(data.out);
            std::vector<std::string> limit_keys;
            for (const auto& limit : c.limits) {
                limit_keys.push_back("log-" + limit.second);
            }
            for (const auto& limit : c.limits) {
                limit_keys.push_back("mean-" + limit.second);
            }
            EXPECT_EQ(record.keys, keys_of(limit_keys));
            EXPECT_EQ(record.value["n"], "20");
            EXPECT_EQ(record.value["confidence"], confidence);

            const std::string input = std::to_string(c.WhichLimit) + " " + confidence + " 0.5 " +
                                      record.value["sigma-hat"] + " " + record.value["nu"] + " " +
                                      record.value["mu-hat"] + " " + record.value["gammasquared"] +
                                      " /\n";
            const Outcome lvlim = run_program(LVLIM_EXE, {}, input);
            ASSERT_EQ(lvlim.status, 0);
            for (const auto& [lvlim_key, side] : c.limits) {
                SCOPED_TRACE(side);
                const std::optional<std::string> expected = lvlim_value(lvlim.out, lvlim_key);
                ASSERT_TRUE(expected.has_value()) << lvlim.out;
                EXPECT_EQ(record.value["log-" + side], *expected);
                const double mean = std::stod(record.value["mean-" + side]);
                const double from_lvlim = std::exp(std::stod(*expected));
                EXPECT_NEAR(mean / from_lvlim, 1.0, 1e-12);
            }
        }
    }
}

// A search that fails reports it, as in lvlim, on standard error under the program's name;
// the record still follows, with lvlim's limits.
TEST(DataProgram, EngineMessagesGoToStandardError) {
    const Outcome data = run_data({"-c", "0.999999"}, "1 10 100\n");
    EXPECT_EQ(data.status, 0);
    const Record record = record_of(data.out);
    ASSERT_EQ(record.keys, keys_of({"log-lower", "log-upper", "mean-lower", "mean-upper"}));
    const Outcome lvlim = run_program(LVLIM_EXE, {},
                                      "3 0.999999 0.5 " + record.value.at("sigma-hat") + " 2 " +
                                          record.value.at("mu-hat") + " 3 /\n");
    std::vector<std::string> messages;
    for (const std::string& line : lines_of(lvlim.out)) {
        if (!line.empty() && line.back() != '+') {
            messages.push_back("lvlim-data: " + line.substr(line.find_first_not_of(' ')));
        }
    }
    ASSERT_FALSE(messages.empty()) << "lvlim reports no failed search here any more";
    EXPECT_EQ(messages.front(), "lvlim-data: Method (Only Bisection) failed...");
    EXPECT_EQ(lines_of(data.err), messages);
    EXPECT_EQ(record.value.at("log-lower"), lvlim_value(lvlim.out, "LowerConfidenceLimit= "));
    EXPECT_EQ(record.value.at("log-upper"), lvlim_value(lvlim.out, "UpperConfidenceLimit= "));
}

// ---- Input layouts and options ------------------------------------------------------------

TEST(DataProgram, EveryLayoutAndSourceGivesTheSameResult) {
    const Outcome baseline = run_data({}, "2.5 4 7.25 3.5 12 1.5\n");
    ASSERT_EQ(baseline.status, 0) << baseline.err;
    const Scratch scratch;
    struct Case {
        const char* what;
        std::vector<std::string> arguments;
        std::string input;
    };
    const std::string crlf = "# CR LF\r\n2.5, 4\r\n\r\n7.25 3.5\r\n12 1.5\r\n";
    const std::string commented = "# values\n\n2.5\t4,7.25 # three\n  \n3.5,,12\n#\n1.5";
    const Case cases[] = {
        {"comments, blank lines, tabs, commas, no final line end", {}, commented},
        {"CR LF", {}, crlf},
        {"one a line", {}, "2.5\n4\n7.25\n3.5\n12\n1.5\n"},
        {"- for standard input", {"-"}, crlf},
        {"a file", {scratch.write("crlf.txt", crlf)}, ""},
        {"a file after --", {"--", scratch.write("commented.txt", commented)}, ""},
        {"- after --", {"--", "-"}, commented},
        {"the defaults spelt out", {"--two-sided", "--confidence=0.95"}, crlf},
        {"the last kind wins", {"--upper", "--two-sided"}, crlf},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Outcome got = run_data(c.arguments, c.input);
        EXPECT_EQ(got.status, 0);
        EXPECT_EQ(got.err, "");
        EXPECT_EQ(got.out, baseline.out);
    }
}

TEST(DataProgram, OptionSpellings) {
    const std::string input = "2.5 4 7.25 3.5 12 1.5\n";
    struct Case {
        std::vector<std::string> arguments;
        const char* kind;
        const char* confidence;
    };
    const Case cases[] = {
        {{"-c", "0.9"}, "two-sided", "0.9"},
        {{"-c0.9"}, "two-sided", "0.9"},
        {{"--confidence=0.9"}, "two-sided", "0.9"},
        {{"--confidence", "0.9", "--upper"}, "upper", "0.9"},
        {{"--lower", "-c", "0.99", "--upper", "--lower"}, "lower", "0.99"},
        {{"-c", "0.5", "-c", "0.75"}, "two-sided", "0.75"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.arguments));
        const Outcome got = run_data(c.arguments, input);
        ASSERT_EQ(got.status, 0) << got.err;
        Record record = record_of(got.out);
        EXPECT_EQ(record.value["kind"], c.kind);
        EXPECT_EQ(record.value["confidence"], c.confidence);
    }
}

TEST(DataProgram, HelpAndVersion) {
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"--help"}, {"--upper", "--help", "--bogus"}}) {
        const Outcome help = run_data(arguments);
        EXPECT_EQ(help.status, 0);
        EXPECT_EQ(help.err, "");
        EXPECT_EQ(help.out.rfind("Usage: lvlim-data [OPTION]... [FILE]\n", 0), 0U) << help.out;
        for (const char* option : {"--confidence=P", "--upper", "--lower", "--two-sided"}) {
            EXPECT_NE(help.out.find(option), std::string::npos) << option;
        }
    }
    const Outcome version = run_data({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, std::string("lvlim-data ") + LVLIM_VERSION + "\n");
}

// ---- Errors -------------------------------------------------------------------------------

std::string values_text(std::size_t count) {
    std::string text;
    for (std::size_t i = 0; i < count; ++i) {
        text += std::to_string(1 + i % 10) + "\n";
    }
    return text;
}

TEST(DataProgram, Errors) {
    const std::string usage = "Try 'lvlim-data --help' for more information.\n";
    const Scratch scratch;
    const std::string missing = (scratch.path() / "missing.txt").string();
    const std::string directory = scratch.path().string();
    struct Case {
        const char* what;
        std::vector<std::string> arguments;
        std::string input;
        int status;
        std::string err;
    };
    // clang-format off
    const Case cases[] = {
        // Data errors: status 1.
        {"not a number", {}, "1 2\n\n3 4.5x 6\n", 1,
         "lvlim-data: (standard input):3: '4.5x' is not a number\n"},
        {"zero", {}, "1 2\r\n0 3\r\n", 1, "lvlim-data: (standard input):2: '0' is not positive\n"},
        {"negative", {}, "# head\n1,-2.5,3\n", 1,
         "lvlim-data: (standard input):2: '-2.5' is not positive\n"},
        {"out of range", {}, "1 2 1e400\n", 1,
         "lvlim-data: (standard input):1: '1e400' is out of range\n"},
        {"the file's name", {scratch.write("bad.txt", "1\n2\nthree\n")}, "", 1,
         "lvlim-data: " + (scratch.path() / "bad.txt").string() + ":3: 'three' is not a number\n"},
        {"no values", {}, "# nothing\n\n", 1,
         "lvlim-data: (standard input): 0 measurements; at least 3 are needed\n"},
        {"two values", {}, "1 2\n", 1,
         "lvlim-data: (standard input): 2 measurements; at least 3 are needed\n"},
        {"1002 values", {}, values_text(1002), 1,
         "lvlim-data: (standard input): 1002 measurements; at most 1001 can be used\n"},
        {"equal values", {}, "1 1 1 1\n", 1, // log 1 = 0 exactly
         "lvlim-data: (standard input): the standard deviation of the logarithms is 0; it "
         "must lie in [0.1, 10]\n"},
        {"missing file", {missing}, "", 1,
         "lvlim-data: cannot read '" + missing + "': No such file or directory\n"},
        {"a directory", {directory}, "", 1,
         "lvlim-data: cannot read '" + directory + "': Is a directory\n"},
        {"confidence 1", {"-c", "1"}, "1 2 3\n", 1,
         "lvlim-data: the confidence must lie strictly between 0 and 1, not 1\n"},
        {"confidence 0", {"--confidence=0"}, "1 2 3\n", 1,
         "lvlim-data: the confidence must lie strictly between 0 and 1, not 0\n"},
        {"confidence negative", {"-c-0.5"}, "1 2 3\n", 1,
         "lvlim-data: the confidence must lie strictly between 0 and 1, not -0.5\n"},
        // Usage errors: status 2.
        {"unknown long option", {"--two"}, "", 2, "lvlim-data: unknown option '--two'\n" + usage},
        {"unknown short option", {"-u"}, "", 2, "lvlim-data: unknown option '-u'\n" + usage},
        {"no confidence", {"-c"}, "", 2, "lvlim-data: option '-c' needs a value\n" + usage},
        {"no confidence, long", {"--confidence"}, "", 2,
         "lvlim-data: option '--confidence' needs a value\n" + usage},
        {"confidence not a number", {"--confidence=0.9x"}, "", 2,
         "lvlim-data: invalid confidence '0.9x'\n" + usage},
        {"confidence empty", {"--confidence="}, "", 2,
         "lvlim-data: invalid confidence ''\n" + usage},
        {"confidence nan", {"-c", "nan"}, "", 2, "lvlim-data: invalid confidence 'nan'\n" + usage},
        {"value for a flag", {"--lower=1"}, "", 2,
         "lvlim-data: option '--lower' takes no value\n" + usage},
        {"two files", {"a.txt", "-"}, "", 2,
         "lvlim-data: only one FILE may be given, '-' is a second\n" + usage},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Outcome got = run_data(c.arguments, c.input);
        EXPECT_EQ(got.status, c.status);
        EXPECT_EQ(got.err, c.err);
        EXPECT_EQ(got.out, "");
    }
}

// The limits of the accepted counts, and a spread beyond 10 reported with its value.
TEST(DataProgram, CountAndSpreadLimits) {
    for (const std::size_t count : {std::size_t{3}, std::size_t{1001}}) {
        SCOPED_TRACE(count);
        const Outcome got = run_data({"--upper"}, values_text(count));
        ASSERT_EQ(got.status, 0) << got.err;
        EXPECT_EQ(record_of(got.out).value["nu"], std::to_string(count - 1));
    }
    const std::vector<double> wide = {1e-300, 1.0, 1e300};
    const Outcome got = run_data({}, "1e-300 1 1e300\n");
    EXPECT_EQ(got.status, 1);
    const std::string start =
        "lvlim-data: (standard input): the standard deviation of the logarithms is ";
    const std::string end = "; it must lie in [0.1, 10]\n";
    ASSERT_EQ(got.err.rfind(start, 0), 0U) << got.err;
    ASSERT_GT(got.err.size(), start.size() + end.size());
    EXPECT_EQ(got.err.substr(got.err.size() - end.size()), end);
    const double sd = std::stod(got.err.substr(start.size()));
    // The logs reach 690, and carry a few eps of that each.
    EXPECT_NEAR(sd, static_cast<double>(reference_statistics(wide).sd), 16 * eps * 690.0);
}

} // namespace
} // namespace lvlim::data
