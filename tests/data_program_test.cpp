// lvlim-data: its reader and estimates in process, and the program end to end as a process. Its
// limits are checked against lvlim itself, run as a process on the summary statistics lvlim-data
// derives; its statistics against an independent long double computation.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "apps/lvlim-data/report.hpp"
#include "common/list_output.hpp"
#include "common/number_text.hpp"
#include "lvlim/lvlim.hpp"
#include "measurements/confidence_list.hpp"
#include "measurements/data_reader.hpp"
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

using number_text::shortest;
using test::lines_of;
using test::Outcome;
using test::Scratch;

Outcome run_data(const std::vector<std::string>& arguments, const std::string& input = "") {
    return test::run_process(LVLIM_DATA_EXE, arguments, input);
}

// The rows of lvlim-data's CSV output, each a map from the field name to its text.
using Row = std::map<std::string, std::string>;
std::vector<Row> csv_rows(const std::string& out) {
    std::vector<Row> rows;
    const std::vector<std::string> lines = lines_of(out);
    EXPECT_FALSE(lines.empty());
    const std::vector<std::string>& names = field_names();
    for (std::size_t i = 1; i < lines.size(); ++i) {
        // RFC 4180 fields: a quoted one (the messages may be) keeps its commas, "" is a quote.
        std::vector<std::string> fields(1);
        bool quoted = false;
        for (std::size_t at = 0; at < lines[i].size(); ++at) {
            const char c = lines[i][at];
            if (quoted && c == '"' && at + 1 < lines[i].size() && lines[i][at + 1] == '"') {
                fields.back() += '"';
                ++at;
            } else if (c == '"') {
                quoted = !quoted;
            } else if (c == ',' && !quoted) {
                fields.emplace_back();
            } else {
                fields.back() += c;
            }
        }
        EXPECT_EQ(fields.size(), names.size()) << lines[i];
        Row row;
        for (std::size_t f = 0; f < names.size() && f < fields.size(); ++f) {
            row[names[f]] = fields[f];
        }
        rows.push_back(row);
    }
    return rows;
}

// The CSV rows of lvlim-data run with `arguments` on `input`, which must succeed.
std::vector<Row> csv_of(std::vector<std::string> arguments, const std::string& input = "") {
    arguments.insert(arguments.begin(), "--format=csv");
    const Outcome got = run_data(arguments, input);
    EXPECT_EQ(got.status, 0) << got.err;
    EXPECT_EQ(got.err, "");
    return csv_rows(got.out);
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

// A double as lvlim prints it, without the leading blanks.
std::string as_lvlim_prints(const std::string& text) {
    const std::string printed = format_list_real(std::stod(text));
    return printed.substr(printed.find_first_not_of(' '));
}

const std::string model_needs = "; the lognormal model takes the logarithm of every measurement, "
                                "so each must be a finite number above 0\n";

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

// ---- The pieces of a line -----------------------------------------------------------------

// The two ways of writing a list of levels: lvlim-data's --confidence (commas only, every item
// a number) and the page's field (runs of blanks and commas); both stop at the first item that
// is no finite number and leave the range to the caller.
TEST(ConfidenceList, SeparatorsAndTheFirstBadItem) {
    using V = std::vector<double>;
    const auto read = [](std::string_view text, ListSeparators separators) {
        const ConfidenceList list = read_confidence_list(text, separators);
        return std::make_pair(list.values, list.bad_item.value_or("(none)"));
    };
    const auto commas = ListSeparators::commas;
    const auto blanks = ListSeparators::blanks_and_commas;
    EXPECT_EQ(read("0.9,0.95,1.5", commas),
              std::make_pair(V{0.9, 0.95, 1.5}, std::string("(none)")));
    EXPECT_EQ(read("0.9,,0.95", commas), std::make_pair(V{0.9}, std::string("")));
    EXPECT_EQ(read("", commas), std::make_pair(V{}, std::string("")));
    EXPECT_EQ(read("0.9 0.95", commas), std::make_pair(V{}, std::string("0.9 0.95")));
    EXPECT_EQ(read(" 0.9,, 0.95\t0.99 ", blanks),
              std::make_pair(V{0.9, 0.95, 0.99}, std::string("(none)")));
    EXPECT_EQ(read("0.9 x 0.95", blanks), std::make_pair(V{0.9}, std::string("x")));
    EXPECT_EQ(read(" ,\t", blanks), std::make_pair(V{}, std::string("(none)")));
    for (const char* bad : {"inf", "nan", "1e400", "0.9x", "+0.9"}) {
        EXPECT_EQ(read(bad, blanks), std::make_pair(V{}, std::string(bad)));
    }
    EXPECT_EQ(confidence_refused(0.95), std::nullopt);
    EXPECT_EQ(confidence_refused(1.0), "the confidence must lie strictly between 0 and 1, not 1");
    EXPECT_EQ(confidence_refused(-0.0), "the confidence must lie strictly between 0 and 1, not -0");
}

TEST(DataReader, ParseValue) {
    struct Case {
        const char* text;
        double value;
        std::optional<ValueError> error;
    };
    const Case cases[] = {
        {"3.5", 3.5, std::nullopt},
        {" 2.5E-3\t", 0.0025, std::nullopt},
        {"+12", 0.0, ValueError::not_a_number},
        {".5", 0.5, std::nullopt},
        {"4.9e-324", 4.9e-324, std::nullopt}, // the smallest double is still a measurement
        {"", 0.0, ValueError::empty},
        {"  ", 0.0, ValueError::empty},
        {"0", 0.0, ValueError::not_positive},
        {"-0", 0.0, ValueError::not_positive},
        {"-2.5", 0.0, ValueError::not_positive},
        {"1e-400", 0.0, ValueError::not_positive},
        {"inf", 0.0, ValueError::not_finite},
        {"1e400", 0.0, ValueError::not_finite},
        {"nan", 0.0, ValueError::not_a_number},
        {"0x10", 0.0, ValueError::not_a_number},
        {"4.5x", 0.0, ValueError::not_a_number},
        {"1,5", 0.0, ValueError::decimal_comma},
        {"1,5,5", 0.0, ValueError::not_a_number},
        {"a,5", 0.0, ValueError::not_a_number},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const ValueOrError got = parse_value(c.text);
        EXPECT_EQ(got.error, c.error);
        if (!c.error) {
            EXPECT_EQ(got.value, c.value);
        }
    }
}

TEST(DataReader, SplitFields) {
    using Fields = std::vector<std::string>;
    EXPECT_EQ(split_fields("a, b ,c", Separator::comma), (Fields{"a", "b", "c"}));
    EXPECT_EQ(split_fields("1,,3,", Separator::comma), (Fields{"1", "", "3", ""}));
    EXPECT_EQ(split_fields(R"("x, y" , "say ""hi""",2)", Separator::comma),
              (Fields{"x, y", R"(say "hi")", "2"}));
    EXPECT_EQ(split_fields("1,2 # note, 3", Separator::comma), (Fields{"1", "2"}));
    EXPECT_EQ(split_fields(R"("#1",2)", Separator::comma), (Fields{"#1", "2"}));
    EXPECT_EQ(split_fields("a b\t c", Separator::tab), (Fields{"a b", "c"}));
    EXPECT_EQ(split_fields("1,5;2", Separator::semicolon), (Fields{"1,5", "2"}));
    EXPECT_EQ(split_fields("  a \t \"b c\"  d ", Separator::blanks), (Fields{"a", "b c", "d"}));
    EXPECT_EQ(split_fields("  # only a comment", Separator::comma), Fields{});
    EXPECT_EQ(split_fields(" \t", Separator::tab), Fields{});
    EXPECT_THROW((void)split_fields(R"(1,"2)", Separator::comma), DataError);
    EXPECT_THROW((void)split_fields(R"(1,"2"3)", Separator::comma), DataError);
}

TEST(DataReader, SplitList) {
    using Items = std::vector<std::string>;
    EXPECT_EQ(split_list("2.1, 25.3, 6.6, 4.0"), (Items{"2.1", "25.3", "6.6", "4.0"}));
    EXPECT_EQ(split_list(" 3.5,,12\t-1, # 7"), (Items{"3.5", "12", "-1"}));
    EXPECT_EQ(split_list("1e-3,\t2"), (Items{"1e-3", "2"}));
    EXPECT_EQ(split_list(R"("1.2","3.4" "5.6")"), (Items{"1.2", "3.4", "5.6"}));
    // A comma between two digits may be a decimal comma, or a table without a header.
    EXPECT_THROW((void)split_list("1,5 2,5 3,5"), DataError);
    EXPECT_THROW((void)split_list("1,1.2"), DataError);
}

TEST(DataReader, HeaderAndSeparatorDetection) {
    EXPECT_TRUE(looks_like_header("id,conc"));
    EXPECT_TRUE(looks_like_header("conc"));
    EXPECT_TRUE(looks_like_header(R"x("well id";"arsenic (ug/L)")x"));
    EXPECT_TRUE(looks_like_header("x\ty # 1"));
    EXPECT_FALSE(looks_like_header("1,1.2"));
    EXPECT_FALSE(looks_like_header("2.5 4 7.25"));
    EXPECT_FALSE(looks_like_header("well,-1")); // a number, if not a measurement
    EXPECT_FALSE(looks_like_header("1,5 2,5"));
    EXPECT_FALSE(looks_like_header(R"("a","2")"));
    // Numbers joined by a non-breaking space, or with a Unicode minus, are unreadable values.
    EXPECT_FALSE(looks_like_header("1\xC2\xA0" "234"));
    EXPECT_FALSE(looks_like_header("0.12\xC2\xA0" "0.3\xE2\x80\xAF" "0.08"));
    EXPECT_FALSE(looks_like_header("\xE2\x88\x92" "0.5,2"));
    EXPECT_TRUE(looks_like_header("conc\xC2\xA0(mg/m3)"));
    EXPECT_TRUE(looks_like_header("sample\xC2\xA0" "1,conc"));
    EXPECT_EQ(detect_separator("a\tb,c"), Separator::tab);
    EXPECT_EQ(detect_separator("a;b,c"), Separator::semicolon);
    EXPECT_EQ(detect_separator("a, b"), Separator::comma);
    EXPECT_EQ(detect_separator(" a  b "), Separator::blanks);
    EXPECT_EQ(detect_separator(" conc "), Separator::comma);
}

// The page reads text, the program a stream: one reader, the same measurements and messages,
// across the 64 KiB blocks it reads in.
TEST(DataReader, TextAndStreamAgree) {
    std::string list = "\xEF\xBB\xBF# values\r\n";
    for (int i = 0; list.size() < 200000; ++i) {
        list += std::to_string(1 + i % 97) + "." + std::to_string(i % 13) + (i % 5 == 0 ? "\n" : " ");
    }
    const std::string table = "id;conc\n1;1.5\n2;2.5\n3;0\n";
    ReadOptions column;
    column.column = "conc";
    for (const auto& [text, options] : {std::pair{list, ReadOptions{}}, std::pair{table, column}}) {
        std::vector<double> from_text;
        std::vector<double> from_stream;
        ReadOptions a = options;
        ReadOptions b = options;
        a.values = &from_text;
        b.values = &from_stream;
        std::string text_result;
        std::string stream_result;
        try {
            const Data data = read_data(std::string_view(text), "in", a);
            text_result = shortest(data.summary.log_mean) + " " + shortest(data.summary.log_sd) +
                          " " + data.column;
        } catch (const DataError& e) {
            text_result = e.what();
        }
        std::string copy = text;
        std::FILE* stream = fmemopen(copy.data(), copy.size(), "r");
        ASSERT_NE(stream, nullptr);
        try {
            const Data data = read_data(stream, "in", b);
            stream_result = shortest(data.summary.log_mean) + " " +
                            shortest(data.summary.log_sd) + " " + data.column;
        } catch (const DataError& e) {
            stream_result = e.what();
        }
        std::fclose(stream);
        EXPECT_EQ(text_result, stream_result);
        EXPECT_EQ(from_text, from_stream);
        EXPECT_FALSE(from_text.empty());
    }
}

TEST(DataReport, NumberForms) {
    EXPECT_EQ(percent(0.95), "95");
    EXPECT_EQ(percent(0.9), "90");
    EXPECT_EQ(percent(0.05), "5");
    EXPECT_EQ(percent(0.999), "99.9");
    EXPECT_EQ(percent(0.9999999999999), "99.99999999999");
    EXPECT_EQ(percent(0.001), "0.1");
    EXPECT_EQ(six_digits(19.080809226377531), "19.0808");
    EXPECT_EQ(six_digits(1234567.0), "1.23457e+06");
    EXPECT_EQ(shortest(0.1), "0.1");
    EXPECT_EQ(std::stod(shortest(2.0 / 3.0)), 2.0 / 3.0);
}

// ---- The statistics and the estimates -----------------------------------------------------

// Each log carries a rounding error of about eps * |log x|, which moves the mean and the standard
// deviation by as much; beyond that both are accurate to a few eps of their own size.
TEST(DataEstimates, LogStatisticsAgainstLongDouble) {
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
        const Summary got = summarise(c.values);
        const Reference ref = reference_statistics(c.values);
        const auto n = static_cast<long double>(c.values.size());
        const long double log_rounding = 4 * eps * ref.largest_log;
        EXPECT_EQ(got.n, c.values.size());
        EXPECT_LE(std::fabs(got.log_mean - ref.mean), log_rounding + 4 * eps * std::fabs(ref.mean))
            << got.log_mean << " vs " << static_cast<double>(ref.mean);
        // The deviations are found with the rounding of the logs, spread over sqrt(n - 1).
        EXPECT_LE(std::fabs(got.log_sd - ref.sd),
                  log_rounding * std::sqrt(n / (n - 1)) + 8 * eps * ref.sd)
            << got.log_sd << " vs " << static_cast<double>(ref.sd);
    }
}

// The minimum-variance unbiased estimates of an independent implementation, 15 digits each:
// three from n and the log statistics, one from the shipped data set through the program.
TEST(DataEstimates, UnbiasedEstimateCheckValues) {
    constexpr double tolerance = 1e-12; // relative; the check values carry 15 digits
    struct Case {
        std::size_t n;
        double log_mean;
        double log_sd;
        double mvue;
    };
    const Case cases[] = {
        {5, 1.1939048425068564, 1.4415591375721095, 6.91756566896641},
        {20, 1.19052387615662414, 0.91325372005665439, 4.85272016734503},
        {50, 1.2511206999006392, 2.0784848260616462, 26.7972070652569},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.n);
        const Summary s = summary_from_logs(c.n, c.log_mean, c.log_sd);
        EXPECT_NEAR(s.mvue / c.mvue, 1.0, tolerance) << shortest(s.mvue);
        EXPECT_EQ(s.plug_in, std::exp(c.log_mean + c.log_sd * c.log_sd / 2));
    }
    const std::vector<Row> rows = csv_of({LVLIM_DATA_EXAMPLE});
    ASSERT_EQ(rows.size(), 1U);
    EXPECT_NEAR(std::stod(rows[0].at("mvue")) / 11.2320671477816, 1.0, tolerance);
    // The arithmetic mean of the 20 values, summed by hand: 227 / 20.
    EXPECT_NEAR(std::stod(rows[0].at("sample_mean")), 11.35, 4 * eps * 11.35);
    const double log_mean = std::stod(rows[0].at("log_mean"));
    const double log_sd = std::stod(rows[0].at("log_sd"));
    EXPECT_NEAR(std::stod(rows[0].at("plug_in")) / std::exp(log_mean + log_sd * log_sd / 2), 1.0,
                4 * eps);
}

// ---- Faults once found --------------------------------------------------------------------

// Peak resident memory of `command` run by the shell, from wait4 (which counts the waited-for
// descendants of the shell as well), and its exit status.
struct Footprint {
    long peak_kib = 0;
    int status = -1;
    std::string err;
};
Footprint footprint(const std::string& command) {
    const Scratch scratch;
    const std::string err = (scratch.path() / "err").string();
    const std::string full = command + " > /dev/null 2> '" + err + "'";
    const pid_t child = fork();
    if (child == 0) {
        execl("/bin/sh", "sh", "-c", full.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    Footprint out;
    int raw = 0;
    rusage usage{};
    if (child > 0 && wait4(child, &raw, 0, &usage) == child) {
        out.peak_kib = usage.ru_maxrss;
        out.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    }
    out.err = test::read_file(err);
    return out;
}

// Input without end, or without line ends, used to be read whole into memory.
TEST(DataFaults, EndlessInputRunsInBoundedMemory) {
    // The input is 200 MB: read whole, it would exceed either ceiling. AddressSanitizer's
    // allocator and shadow memory add a fixed overhead of tens of megabytes to the program.
#if defined(__SANITIZE_ADDRESS__)
    constexpr long ceiling_kib = 120L * 1024;
#else
    constexpr long ceiling_kib = 50L * 1024;
#endif
    const std::string program = std::string("'") + LVLIM_DATA_EXE + "'";
    const Footprint yes = footprint("yes 1.5 | head -c 200000000 | " + program);
    EXPECT_EQ(yes.status, 1);
    EXPECT_EQ(yes.err, "lvlim-data: (standard input), line 100002, value 1: more than 100001 "
                       "measurements; the supported range is 3 to 100001 measurements\n");
    EXPECT_LT(yes.peak_kib, ceiling_kib);
    const Footprint zero = footprint(program + " /dev/zero");
    EXPECT_EQ(zero.status, 1);
    EXPECT_EQ(zero.err, "lvlim-data: /dev/zero, line 1: the line is longer than 8388608 bytes; "
                        "is this a text file of measurements?\n");
    EXPECT_LT(zero.peak_kib, ceiling_kib);
}

// A search that did not converge used to be reported as success.
TEST(DataFaults, FailedSearchIsMarkedInEveryFormat) {
    const std::vector<std::string> run = {"-c", "0.9999999999999", LVLIM_DATA_EXAMPLE};
    const std::string failure = "Method (Only Bisection) failed...";

    std::vector<std::string> with = run;
    const Outcome text = run_data(with);
    EXPECT_EQ(text.status, 3);
    EXPECT_EQ(lines_of(text.err),
              std::vector<std::string>{"lvlim-data: confidence 0.9999999999999: " + failure});
    // The line of the mean's limits (the percentile's section follows it).
    const std::vector<std::string> printed = lines_of(text.out);
    const auto mean_line = std::find_if(printed.begin(), printed.end(), [](const std::string& l) {
        return l.starts_with("99.99999999999% two-sided confidence limits of the mean: ");
    });
    ASSERT_NE(mean_line, printed.end()) << text.out;
    EXPECT_TRUE(mean_line->ends_with(" (SEARCH FAILED: not to be trusted)")) << *mean_line;

    with.emplace_back("--format=csv");
    const Outcome csv = run_data(with);
    EXPECT_EQ(csv.status, 3);
    EXPECT_EQ(csv.err, "");
    const std::vector<Row> rows = csv_rows(csv.out);
    ASSERT_EQ(rows.size(), 1U);
    EXPECT_EQ(rows[0].at("status"), "search failed");
    EXPECT_EQ(rows[0].at("messages"), failure);

    with.back() = "--format=json";
    const Outcome json = run_data(with);
    EXPECT_EQ(json.status, 3);
    const nlohmann::json document = nlohmann::json::parse(json.out);
    EXPECT_EQ(document["results"][0]["status"], "search failed");
    EXPECT_EQ(document["results"][0]["messages"], nlohmann::json::array({failure}));

    // At a level the search handles, the same data are ok, and so is the exit status.
    const std::vector<Row> fine = csv_of({"-c", "0.95", LVLIM_DATA_EXAMPLE});
    ASSERT_EQ(fine.size(), 1U);
    EXPECT_EQ(fine[0].at("status"), "ok");
    EXPECT_EQ(fine[0].at("messages"), "");
}

// A table, decimal commas and a byte-order mark used to be misread without complaint.
TEST(DataFaults, TablesDecimalCommasAndByteOrderMark) {
    const std::string table = "id,conc\n1,1.2\n2,3.4\n3,5.6\n4,2.2\n";
    const Outcome asked = run_data({}, table);
    EXPECT_EQ(asked.status, 1);
    EXPECT_EQ(asked.err, "lvlim-data: (standard input), line 1: the header names 2 columns "
                         "('id', 'conc'): choose one with --column=NAME or --column=NUMBER\n");
    const std::vector<Row> plain = csv_of({}, "1.2 3.4 5.6 2.2\n");
    EXPECT_EQ(csv_of({"--column=conc"}, table), plain);
    EXPECT_EQ(csv_of({"--column", "2"}, table), plain);
    // Without a header too: a tab or a semicolon on the first line makes a table.
    for (const std::string& headerless : {std::string("1\t1.2\n2\t3.4\n3\t5.6\n4\t2.2\n"),
                                          std::string("1;1.2\n2;3.4\n3;5.6\n4;2.2\n")}) {
        const Outcome pooled = run_data({}, headerless);
        EXPECT_EQ(pooled.status, 1);
        EXPECT_EQ(pooled.err, "lvlim-data: (standard input), line 1: a table of 2 columns "
                              "without a header: choose one with --column=NUMBER\n");
        EXPECT_EQ(csv_of({"--column=2"}, headerless), plain);
    }
    EXPECT_EQ(csv_of({"--separator=tab"}, "1.2\n3.4\n5.6\n2.2\n"), plain);
    // Quoted values read in a list as in a table; a list may hold several values to a line.
    EXPECT_EQ(csv_of({}, "\"1.2\"\n\"3.4\"\n\"5.6\"\n\"2.2\"\n"), plain);
    EXPECT_EQ(csv_of({}, "1.2 3.4\n5.6, 2.2\n"), plain);

    const Outcome commas = run_data({}, "1,5 2,5 3,5\n");
    EXPECT_EQ(commas.status, 1);
    EXPECT_EQ(commas.err,
              "lvlim-data: (standard input), line 1: '1,5': a comma between two digits may be a "
              "decimal comma, which is not read; write numbers with a decimal point and separate "
              "them by blanks or by a comma and a blank, or choose a column of a table with "
              "--column\n");

    EXPECT_EQ(csv_of({}, "\xEF\xBB\xBF"
                         "1.2\n3.4\n5.6\n2.2\n"),
              plain);
    EXPECT_EQ(csv_of({}, "\xEF\xBB\xBF"
                         "conc\n1.2\n3.4\n5.6\n2.2\n"),
              plain);
}

// Limits used to be printed with 17 digits, from a search accurate to about 8.
TEST(DataFaults, ReportShowsSixSignificantDigits) {
    const Outcome got = run_data({"--upper", "-c", "0.9,0.95,0.975", LVLIM_DATA_EXAMPLE});
    ASSERT_EQ(got.status, 0) << got.err;
    const std::vector<Row> rows = csv_of({"--upper", "-c", "0.9,0.95,0.975", LVLIM_DATA_EXAMPLE});
    ASSERT_EQ(rows.size(), 3U);
    const Row& r = rows[0];
    const auto six = [&](const Row& row, const char* name) {
        return six_digits(std::stod(row.at(name)));
    };
    const std::string weak = "note: the test is weak for small n: with few measurements it "
                             "seldom detects a departure from the lognormal model, so passing "
                             "it does not show the model holds";
    const std::string tolerance = " (upper tolerance limit, 95% coverage)";
    const std::vector<std::string> expected = {
        std::string("data: ") + LVLIM_DATA_EXAMPLE,
        "number of measurements n: 20",
        "",
        "fit of the lognormal model: the Shapiro-Wilk W test of the logs",
        "W: " + six(r, "shapiro_wilk_w") + ", p-value: " + six(r, "shapiro_wilk_p"),
        "no evidence against the lognormal model",
        weak,
        "",
        "geometric statistics",
        "geometric mean: " + six(r, "gm"),
        "geometric standard deviation: " + six(r, "gsd"),
        "",
        "the mean",
        "mean of the logs: " + six_digits(std::stod(r.at("log_mean"))),
        "standard deviation of the logs: " + six_digits(std::stod(r.at("log_sd"))),
        "minimum-variance unbiased estimate of the mean: 11.2321",
        "sample mean: 11.35",
        "plug-in estimate of the mean, exp(mean + sd^2/2): " +
            six_digits(std::stod(r.at("plug_in"))),
        "kind of limits: upper",
        "90% upper confidence limit of the mean: " +
            six_digits(std::stod(rows[0].at("mean_upper"))),
        "95% upper confidence limit of the mean: 19.0808",
        "97.5% upper confidence limit of the mean: " +
            six_digits(std::stod(rows[2].at("mean_upper"))),
        "",
        "the 95th percentile",
        "estimate, exp(mean + z sd): " + six(r, "percentile_estimate"),
        "90% upper confidence limit of the 95th percentile: " + six(rows[0], "percentile_upper") +
            tolerance,
        "95% upper confidence limit of the 95th percentile: " + six(rows[1], "percentile_upper") +
            tolerance,
        "97.5% upper confidence limit of the 95th percentile: " +
            six(rows[2], "percentile_upper") + tolerance,
    };
    EXPECT_EQ(lines_of(got.out), expected);
    EXPECT_EQ(six_digits(std::stod(rows[1].at("mean_upper"))), "19.0808");

    const Outcome pair = run_data({"--lower", "--two-sided", LVLIM_DATA_EXAMPLE});
    const std::vector<Row> two = csv_of({LVLIM_DATA_EXAMPLE});
    const std::vector<std::string> paired = lines_of(pair.out);
    EXPECT_NE(std::find(paired.begin(), paired.end(),
                        "95% two-sided confidence limits of the mean: " + six(two[0], "mean_lower") +
                            " to " + six(two[0], "mean_upper")),
              paired.end())
        << pair.out;
}

// ---- Real files ---------------------------------------------------------------------------

TEST(DataFiles, EveryLayoutGivesTheSameSample) {
    const std::vector<Row> baseline = csv_of({}, "2.5 4 7.25 3.5 12 1.5\n");
    ASSERT_EQ(baseline.size(), 1U);
    const Scratch scratch;
    struct Case {
        const char* what;
        std::vector<std::string> arguments;
        std::string input;
    };
    const std::string crlf = "# CR LF\r\n2.5, 4\r\n\r\n7.25 3.5\r\n12 1.5\r\n";
    const std::string commented = "# values\n\n2.5 4, 7.25 # three\n  \n3.5,\t,12\n#\n1.5";
    const std::string csv = "well,conc,site\n"
                            "a,2.5,x\r\nb,4,y\r\n\r\n# a comment\r\n"
                            "\"c, d\",\"7.25\",z\r\ne, 3.5 ,\"say \"\"w\"\"\"\r\n"
                            "f,12,u # checked\r\ng,1.5,v\r\n";
    const Case cases[] = {
        {"comments, blank lines, tabs, commas, no final line end", {}, commented},
        {"CR LF", {}, crlf},
        {"CR alone", {"--column=conc"}, "id;conc\r1;2.5\r2;4\r3;7.25\r\r4;3.5\r5;12\r6;1.5\r"},
        {"- for standard input", {"-"}, crlf},
        {"a file after --", {"--", scratch.write("commented.txt", commented)}, ""},
        {"CSV, a column by name", {"--column=conc"}, csv},
        {"CSV, a column by number", {"--column=2"}, csv},
        {"CSV with a byte-order mark", {"--column=conc"}, "\xEF\xBB\xBF" + csv},
        {"TSV", {"--column", "conc"}, "id\tconc\n1\t2.5\n2\t4\n3\t7.25\n4\t3.5\n5\t12\n6\t1.5\n"},
        {"semicolons", {"--column=2"}, "id;conc\n1;2.5\n2;4\n3;7.25\n4;3.5\n5;12\n6;1.5\n"},
        {"a spreadsheet's line stating the separator",
         {"--column=conc"},
         "sep=;\r\nid;conc\r\n1;2.5\r\n2;4\r\n3;7.25\r\n4;3.5\r\n5;12\r\n6;1.5\r\n"},
        {"a spreadsheet's line stating a tab", {"--column=conc"},
         "sep=\t\nid\tconc\n1\t2.5\n2\t4\n3\t7.25\n4\t3.5\n5\t12\n6\t1.5\n"},
        {"a spreadsheet's empty rows",
         {"--column=conc"},
         "id;conc;;\r\n1;2.5;;\r\n2;4;;\r\n;;;\r\n3;7.25;;\r\n4;3.5;;\r\n5;12;;\r\n6;1.5;;\r\n"
         ";;;\r\n;;;\r\n"},
        {"blank-separated columns",
         {"--column=2"},
         "id conc\n1 2.5\n2 4\n3 7.25\n4 3.5\n5 12\n6 1.5\n"},
        {"one column with its header", {}, "conc\n2.5\n4\n7.25\n3.5\n12\n1.5\n"},
        {"a word of totals in many rows is data",
         {"--column=2"},
         "part,conc\ntotal,2.5\ntotal,4\ntotal,7.25\nsum,3.5\nsum,12\nsum,1.5\n"},
        {"a header stated", {"--header"}, "2024\n2.5\n4\n7.25\n3.5\n12\n1.5\n"},
        {"no header, a column",
         {"--no-header", "--column=1"},
         "2.5,a\n4,b\n7.25,c\n3.5,d\n12,e\n1.5,f\n"},
        {"no header, a column detected",
         {"--column=2", "--separator=tab"},
         "a\t2.5\nb\t4\nc\t7.25\nd\t3.5\ne\t12\nf\t1.5\n"},
        {"a list with --no-header", {"--no-header"}, "conc 2.5 4 7.25 3.5 12 1.5\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (std::string(c.what) == "a list with --no-header") {
            // A stated "no header" turns a header into a bad value of a list.
            const Outcome got = run_data(c.arguments, c.input);
            EXPECT_EQ(got.status, 1);
            EXPECT_EQ(got.err, "lvlim-data: (standard input), line 1, value 1: 'conc' is not a "
                               "number" +
                                   model_needs);
            continue;
        }
        EXPECT_EQ(csv_of(c.arguments, c.input), baseline);
    }
}

TEST(DataFiles, ErrorsNameTheirPlace) {
    const std::string usage = "Try 'lvlim-data --help' for more information.\n";
    const Scratch scratch;
    const std::string missing = (scratch.path() / "missing.txt").string();
    const std::string bad = scratch.write("bad.txt", "1\n2\nthree\n");
    const std::string table = "id,conc\n1,1.2\n";
    struct Case {
        const char* what;
        std::vector<std::string> arguments;
        std::string input;
        int status;
        std::string err;
    };
    const std::string in = "lvlim-data: (standard input)";
    // clang-format off
    const Case cases[] = {
        {"not a number", {}, "1 2\n\n3 4.5x 6\n", 1,
         in + ", line 3, value 2: '4.5x' is not a number" + model_needs},
        {"zero", {}, "1 2\r\n0 3\r\n", 1, in + ", line 2, value 1: '0' is not positive" + model_needs},
        {"negative in a column", {"--column=conc"}, table + "2,-2.5\n", 1,
         in + ", line 3, column 2 (conc): '-2.5' is not positive" + model_needs},
        {"empty in a column", {"--column=2"}, table + "2, \n", 1,
         in + ", line 3, column 2 (conc): the value is empty" + model_needs},
        {"not finite", {}, "1 2 1e400\n", 1, in + ", line 1, value 3: '1e400' is not finite" + model_needs},
        {"invisible bytes shown", {}, "1 2\n\x01\x7F\xC3\n", 1,
         in + ", line 2, value 1: '\\x01\\x7F\\xC3' is not a number" + model_needs},
        // Pasted from a spreadsheet: a first line of values between non-breaking spaces is
        // named, never taken for a header and dropped.
        {"a non-breaking space", {}, "0.12\xC2\xA0" "0.3\n0.08\n0.21\n0.5\n", 1,
         in + ", line 1, value 1: '0.12\\xC2\\xA00.3' holds a non-breaking space (U+00A0), which "
         "is not read as a blank: write an ordinary blank between two values, and nothing between "
         "the digits of one\n"},
        {"a Unicode minus", {"--column=2"}, table + "2,\xE2\x88\x92" "1.5\n", 1,
         in + ", line 3, column 2 (conc): '\\xE2\\x88\\x921.5' holds a Unicode minus sign (U+2212), "
         "which is not read: write -1.5 with the ordinary minus (a measurement must be positive "
         "all the same)\n"},
        // Exported from a spreadsheet: a row of totals under the data, and an error value,
        // which begins with '#' like a comment; neither may be read, nor dropped unsaid.
        {"a row of totals", {"--column=conc"}, "id,conc\nA,1.2\nB,1.5\nC,3.4\nTotal:,6.1\n", 1,
         in + ", line 5: 'Total:' labels a row of totals or statistics, not a measurement; its "
         "value '6.1' in column 2 (conc) would be read as one: remove the row\n"},
        {"a row of statistics in another language", {"--column=2"},
         "id;conc\nA;1.2\nB;1.5\nC;3.4\nStd. Dev.:;1.2\n", 1,
         in + ", line 5: 'Std. Dev.:' labels a row of totals or statistics, not a measurement; "
         "its value '1.2' in column 2 (conc) would be read as one: remove the row\n"},
        {"an error value alone on its line", {}, "conc\n1.2\n#N/A\n3.4\n2.2\n", 1,
         in + ", line 3, column 1 (conc): '#N/A' is a spreadsheet's error value (a formula that "
         "failed, or a missing value), not a measurement: mend the cell or remove its row\n"},
        {"an error value in a list", {}, "1.2 3.4\n#div/0! # a comment\n2.2\n", 1,
         in + ", line 2, value 1: '#div/0!' is a spreadsheet's error value (a formula that "
         "failed, or a missing value), not a measurement: mend the cell or remove its row\n"},
        {"an error value beside the value column", {"--column=3"}, "a,b,c\n1,#REF!,2\n1,x,0\n", 1,
         in + ", line 3, column 3 (c): '0' is not positive" + model_needs},
        {"UTF-16 text", {}, std::string("\xFF\xFE" "c\0o\0n\0c\0\n\0" "1\0\n\0", 14), 1,
         in + ": the text is UTF-16 (a byte-order mark FF FE begins it), which is not read: save "
         "it as UTF-8 text or CSV\n"},
        {"a workbook", {}, std::string("PK\x03\x04\x14\0\x06\0\n1\n", 10), 1,
         "lvlim-data: (standard input) is a spreadsheet's workbook (a zip archive, as .xlsx and "
         ".ods are), not text: export the sheet as CSV\n"},
        {"the file's name", {bad}, "", 1, "lvlim-data: " + bad + ", line 3, value 1: 'three' is not a number" + model_needs},
        {"a decimal comma in a quoted field", {"--column=2"}, table + "2,\"2,5\"\n", 1,
         in + ", line 3, column 2 (conc): '2,5' has a decimal comma, which is not read: write 2.5\n"},
        {"a comma that may separate thousands", {"--column=2"}, table + "2,\"1,234\"\n", 1,
         in + ", line 3, column 2 (conc): '1,234' has a comma, which is not read: write 1.234 if "
         "it is a decimal comma, 1234 if it separates thousands\n"},
        {"decimal commas split a row", {"--column=2"}, table + "2,2,5\n", 1,
         in + ", line 3: 3 fields where line 1 has 2; with commas between the fields, decimal "
         "commas are not read: write decimal points\n"},
        {"a quote left open", {"--column=2"}, table + "2,\"2\n", 1,
         in + ", line 3: a quoted field has no closing quote; a quoted field must end on its line\n"},
        {"no such column name", {"--column=ppm"}, table, 1,
         in + ", line 1: the header has no column named 'ppm'; its columns are 'id', 'conc'\n"},
        {"a name given to two columns", {"--column=result"}, "id,result,unit,result\n1,1.2,mg,3\n", 1,
         in + ", line 1: the header names columns 2 and 4 'result': choose one with "
         "--column=NUMBER\n"},
        {"no such column number", {"--column=3"}, table, 1,
         in + ", line 1: there is no column 3; line 1 has 2 columns\n"},
        {"a name without a header", {"--column=conc"}, "1,1.2\n", 1,
         in + ": --column=conc names a column, but line 1 is not a header (it has numbers): give "
         "the column's number, or --header\n"},
        {"no values", {}, "# nothing\n\n", 1,
         in + ": 0 measurements; the supported range is 3 to 100001 measurements\n"},
        {"two values", {}, "1 2\n", 1,
         in + ": 2 measurements; the supported range is 3 to 100001 measurements\n"},
        {"equal values", {}, "1 1 1 1\n", 1, // log 1 = 0 exactly
         in + ": the standard deviation of the logarithms is 0; the supported range is 0.001 to 10\n"},
        {"missing file", {missing}, "", 1,
         "lvlim-data: cannot read '" + missing + "': No such file or directory\n"},
        {"a directory", {scratch.path().string()}, "", 1,
         "lvlim-data: cannot read '" + scratch.path().string() + "': Is a directory\n"},
        {"confidence 1", {"-c", "1"}, "1 2 3\n", 1,
         "lvlim-data: the confidence must lie strictly between 0 and 1, not 1\n"},
        {"one of several confidences", {"-c", "0.9,0,0.95"}, "1 2 3\n", 1,
         "lvlim-data: the confidence must lie strictly between 0 and 1, not 0\n"},
        // Usage errors: status 2.
        {"unknown option", {"--two"}, "", 2,
         "lvlim-data: The following argument was not expected: --two\n" + usage},
        {"no confidence", {"-c"}, "", 2, "lvlim-data: --confidence: 1 required TEXT missing\n" + usage},
        {"confidence not a number", {"--confidence=0.9,x"}, "", 2,
         "lvlim-data: invalid confidence 'x'\n" + usage},
        {"unknown format", {"--format=xml"}, "", 2,
         "lvlim-data: --format: xml not in {text,csv,json}\n" + usage},
        {"header and no header", {"--header", "--no-header"}, "", 2,
         "lvlim-data: --header excludes --no-header\n" + usage},
        {"two files", {"a.txt", "b.txt"}, "", 2,
         "lvlim-data: The following argument was not expected: b.txt\n" + usage},
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

std::string values_text(std::size_t count) {
    std::string text;
    for (std::size_t i = 0; i < count; ++i) {
        text += std::to_string(1 + i % 10) + "\n";
    }
    return text;
}

// The ends of the supported number of measurements, a log standard deviation near its lower
// end, and one beyond its upper end reported with its value.
TEST(DataFiles, SupportedRange) {
    for (const std::size_t count : {min_measurements, max_measurements}) {
        SCOPED_TRACE(count);
        const std::vector<Row> rows = csv_of({"--upper"}, values_text(count));
        ASSERT_EQ(rows.size(), 1U);
        EXPECT_EQ(rows[0].at("n"), std::to_string(count));
        EXPECT_EQ(rows[0].at("nu"), std::to_string(count - 1));
        EXPECT_EQ(rows[0].at("status"), "ok");
    }
    const Outcome over = run_data({}, values_text(max_measurements + 1));
    EXPECT_EQ(over.status, 1);
    EXPECT_EQ(over.err, "lvlim-data: (standard input), line 100002, value 1: more than 100001 "
                        "measurements; the supported range is 3 to 100001 measurements\n");

    const std::vector<Row> narrow = csv_of({}, "1.001 1 0.999 1.002 0.998\n");
    ASSERT_EQ(narrow.size(), 1U);
    EXPECT_LT(std::stod(narrow[0].at("log_sd")), 0.002);
    EXPECT_EQ(narrow[0].at("status"), "ok");

    const Outcome wide = run_data({}, "1e-300 1 1e300\n");
    EXPECT_EQ(wide.status, 1);
    const std::string start =
        "lvlim-data: (standard input): the standard deviation of the logarithms is ";
    const std::string end = "; the supported range is 0.001 to 10\n";
    ASSERT_TRUE(wide.err.starts_with(start)) << wide.err;
    ASSERT_TRUE(wide.err.ends_with(end)) << wide.err;
    const double sd = std::stod(wide.err.substr(start.size()));
    // The logs reach 690, and carry a few eps of that each.
    EXPECT_NEAR(sd, static_cast<double>(reference_statistics({1e-300, 1.0, 1e300}).sd),
                16 * eps * 690.0);
}

// ---- Formats and options ------------------------------------------------------------------

TEST(DataFormats, CsvAndJsonCarryTheSameFullPrecisionFields) {
    const std::vector<std::string> run = {"-c", "0.9,0.95,0.975", LVLIM_DATA_EXAMPLE};
    for (const char* kind : {"--upper", "--lower", "--two-sided"}) {
        SCOPED_TRACE(kind);
        std::vector<std::string> arguments = run;
        arguments.emplace_back(kind);
        const Outcome csv = run_data([&] {
            auto a = arguments;
            a.emplace_back("--format=csv");
            return a;
        }());
        ASSERT_EQ(csv.status, 0) << csv.err;
        std::string names;
        for (const std::string& name : field_names()) {
            names += (names.empty() ? "" : ",") + name;
        }
        EXPECT_EQ(lines_of(csv.out).front(),
                  "n,log_mean,log_sd,nu,gammasquared,confidence,kind,mvue,sample_mean,plug_in,"
                  "k_lower,k_upper,log_lower,log_upper,mean_lower,mean_upper,status,messages,"
                  "gm,gsd,shapiro_wilk_w,shapiro_wilk_p,percentile,percentile_estimate,"
                  "percentile_lower,percentile_upper,limit,exceedance,exceedance_lower,"
                  "exceedance_upper,mean_p_value,percentile_p_value,mean_verdict,"
                  "percentile_verdict,assessment_status,assessment_messages,"
                  "mean_p_value_bounded");
        EXPECT_EQ(lines_of(csv.out).front(), names);
        const std::vector<Row> rows = csv_rows(csv.out);

        arguments.emplace_back("--format=json");
        const Outcome json = run_data(arguments);
        ASSERT_EQ(json.status, 0) << json.err;
        const nlohmann::ordered_json document = nlohmann::ordered_json::parse(json.out);
        ASSERT_EQ(document.size(), 1U);
        const nlohmann::ordered_json& results = document.at("results");
        ASSERT_EQ(results.size(), 3U);
        ASSERT_EQ(rows.size(), 3U);
        const std::vector<std::string> levels = {"0.9", "0.95", "0.975"};
        for (std::size_t i = 0; i < 3; ++i) {
            SCOPED_TRACE(i);
            const Row& row = rows[i];
            const nlohmann::ordered_json& item = results[i];
            std::vector<std::string> keys;
            for (const auto& [key, value] : item.items()) {
                keys.push_back(key);
            }
            EXPECT_EQ(keys, field_names());
            EXPECT_EQ(row.at("confidence"), levels[i]);
            EXPECT_EQ(row.at("kind"), std::string(kind).substr(2));
            EXPECT_EQ(item.at("kind"), row.at("kind"));
            EXPECT_EQ(item.at("status"), "ok");
            EXPECT_EQ(item.at("n").get<int>(), 20);
            for (const std::string& name : field_names()) {
                if (name == "n" || name == "kind" || name == "status" || name == "messages" ||
                    name == "assessment_status") {
                    continue;
                }
                if (name == "assessment_messages") {
                    EXPECT_EQ(row.at(name), "");
                    EXPECT_EQ(item.at(name), nlohmann::ordered_json::array());
                    continue;
                }
                SCOPED_TRACE(name);
                // Without --limit, nothing about a limit value applies.
                const bool no_limit = name == "limit" || name.starts_with("exceedance") ||
                                      name.ends_with("p_value") || name.ends_with("verdict") ||
                                      name == "mean_p_value_bounded";
                const bool absent = (name.ends_with("lower") && row.at("kind") == "upper") ||
                                    (name.ends_with("upper") && row.at("kind") == "lower") ||
                                    no_limit;
                if (absent) {
                    EXPECT_EQ(row.at(name), "");
                    EXPECT_TRUE(item.at(name).is_null());
                    continue;
                }
                // Full precision: the CSV text is the shortest form of the double, and the JSON
                // number is the very same double.
                const double value = std::stod(row.at(name));
                EXPECT_EQ(shortest(value), row.at(name));
                EXPECT_EQ(item.at(name).get<double>(), value);
            }
            for (const char* side : {"lower", "upper"}) {
                const std::string log = row.at(std::string("log_") + side);
                if (!log.empty()) {
                    EXPECT_EQ(std::stod(row.at(std::string("mean_") + side)),
                              std::exp(std::stod(log)));
                }
            }
        }
    }
}

// The limits agree with lvlim run on the record lvlim-data derives, character for character as
// lvlim prints them: the standardized limits and the limits for mu + sigma^2/2.
TEST(DataFormats, AgreesWithLvlimOnTheDerivedRecord) {
    struct Case {
        const char* option;
        int WhichLimit;
        std::vector<std::pair<std::string, std::string>> limits; // lvlim key, CSV field
    };
    const Case cases[] = {
        {"--upper",
         1,
         {{"StandardConfidenceLimit= ", "k_upper"}, {"ConfidenceLimit= ", "log_upper"}}},
        {"--lower",
         2,
         {{"StandardConfidenceLimit= ", "k_lower"}, {"ConfidenceLimit= ", "log_lower"}}},
        {"--two-sided",
         3,
         {{"StandardLowerLimit= ", "k_lower"},
          {"StandardUpperLimit= ", "k_upper"},
          {"LowerConfidenceLimit= ", "log_lower"},
          {"UpperConfidenceLimit= ", "log_upper"}}},
    };
    const Scratch scratch;
    const std::string skewed = scratch.write("skewed.txt", "0.5 1.25 2.0 3.5 8.0 20.0 0.75\n");
    for (const std::string& file : {std::string(LVLIM_DATA_EXAMPLE), skewed}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.option) + " " + file);
            const std::vector<Row> rows = csv_of({c.option, "-c", "0.95,0.8", file});
            ASSERT_EQ(rows.size(), 2U);
            for (const Row& row : rows) {
                const std::string input = std::to_string(c.WhichLimit) + " " +
                                          row.at("confidence") + " 0.5 " + row.at("log_sd") + " " +
                                          row.at("nu") + " " + row.at("log_mean") + " " +
                                          row.at("gammasquared") + " /\n";
                const Outcome lvlim = test::run_process(LVLIM_EXE, {}, input);
                ASSERT_EQ(lvlim.status, 0);
                for (const auto& [key, field] : c.limits) {
                    SCOPED_TRACE(field);
                    const std::optional<std::string> expected = lvlim_value(lvlim.out, key);
                    ASSERT_TRUE(expected.has_value()) << lvlim.out;
                    EXPECT_EQ(as_lvlim_prints(row.at(field)), *expected);
                }
            }
        }
    }
}

TEST(DataFormats, OptionSpellings) {
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
        {{"--upper", "--two-sided"}, "two-sided", "0.95"},
        {{"-c", "0.5", "-c", "0.75"}, "two-sided", "0.75"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.arguments));
        const std::vector<Row> rows = csv_of(c.arguments, input);
        ASSERT_EQ(rows.size(), 1U);
        EXPECT_EQ(rows[0].at("kind"), c.kind);
        EXPECT_EQ(rows[0].at("confidence"), c.confidence);
    }
}

TEST(DataFormats, HelpAndVersion) {
    const Outcome help = run_data({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.err, "");
    EXPECT_TRUE(help.out.starts_with("Usage: lvlim-data [OPTION]... [FILE]\n")) << help.out;
    for (const char* item : {"--confidence=P[,P...]", "--upper", "--lower", "--two-sided",
                             "--format=FORMAT", "--column=NAME|N", "--header", "--no-header",
                             "--separator=SEP", "--version", "3 to 100001 measurements",
                             "0.001 to 10", "Exit status", "mean_upper, status, messages"}) {
        EXPECT_NE(help.out.find(item), std::string::npos) << item;
    }
    const Outcome version = run_data({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, std::string("lvlim-data ") + LVLIM_VERSION + "\n");
}

} // namespace
} // namespace lvlim::data
