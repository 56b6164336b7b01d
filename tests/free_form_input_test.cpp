// Tests of the free-form input record reader.
//
// Every case reads into the eleven items of the program's record, starting from the values
// they hold before the read, and checks the status and all eleven values afterwards. The
// expected doubles are written as C++ literals, which the compiler converts correctly
// rounded; the reader has to agree with them bit for bit.
#include "driver/free_form_input.hpp"
#include "driver/input_record.hpp"

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <iterator>
#include <limits>
#include <locale>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <streambuf>
#include <string>

namespace lvlim {

// Shows a status as the number the error report prints. Internal, and found by argument-
// dependent lookup.
static void PrintTo(ReadStatus status, std::ostream* os) { *os << static_cast<int>(status); }

namespace {

// The eleven items of the input record with their values before the read.
using Record = lvlim::InputRecord;

// Doubles are compared bit for bit, so that -0.0 and 0.0 differ.
void expect_same(double actual, double expected, const char* name) {
    EXPECT_EQ(std::bit_cast<std::uint64_t>(actual), std::bit_cast<std::uint64_t>(expected))
        << name << ": read " << std::setprecision(17) << actual << ", expected " << expected;
}

void expect_record(const Record& actual, const Record& expected) {
    EXPECT_EQ(actual.WhichLimit, expected.WhichLimit) << "WhichLimit";
    expect_same(actual.alpha, expected.alpha, "alpha");
    expect_same(actual.lambda, expected.lambda, "lambda");
    expect_same(actual.sigma, expected.sigma, "sigma");
    expect_same(actual.nu, expected.nu, "nu");
    expect_same(actual.mu, expected.mu, "mu");
    expect_same(actual.gammasquared, expected.gammasquared, "gammasquared");
    EXPECT_EQ(actual.MaximumIterations, expected.MaximumIterations) << "MaximumIterations";
    expect_same(actual.BesselArgTop, expected.BesselArgTop, "BesselArgTop");
    expect_same(actual.Tolerance, expected.Tolerance, "Tolerance");
    expect_same(actual.ResultTol, expected.ResultTol, "ResultTol");
}

// What is left in the stream after the read.
std::string rest_of(std::istream& in) {
    return {std::istreambuf_iterator<char>(in.rdbuf()), std::istreambuf_iterator<char>()};
}

struct Case {
    const char* name;
    std::string input;
    ReadStatus status;
    Record expected;
    // What the read must leave unread, where that matters.
    std::optional<std::string> rest = std::nullopt;
};

void run_cases(const Case* begin, const Case* end) {
    for (const Case* c = begin; c != end; ++c) {
        SCOPED_TRACE(c->name);
        Record record;
        std::istringstream in(c->input);
        EXPECT_EQ(read_free_form(in, record.items()), c->status);
        expect_record(record, c->expected);
        if (c->rest) {
            EXPECT_EQ(rest_of(in), *c->rest);
        }
    }
}

template <std::size_t N> void run_cases(const Case (&cases)[N]) { run_cases(cases, cases + N); }

// The documented example with its seven run values.
constexpr Record seven{.WhichLimit = 1, .alpha = 0.95, .lambda = 0.5, .sigma = 1.2, .nu = 20.0,
                       .mu = 3.1, .gammasquared = 21.0};

// All eleven items given.
constexpr Record eleven{.WhichLimit = 3, .alpha = 0.9, .lambda = -0.5, .sigma = 2.0, .nu = 7.5,
                        .mu = -1.25, .gammasquared = 8.5, .MaximumIterations = 50,
                        .BesselArgTop = 100.0, .Tolerance = 1e-10, .ResultTol = 1e-12};

TEST(FreeFormInput, LayoutsOfTheRecord) {
    const Case cases[] = {
        {"one line", "3 0.9 -0.5 2 7.5 -1.25 8.5 50 100 1e-10 1e-12\n", ReadStatus::ok, eleven},
        {"one line without a line end", "3 0.9 -0.5 2 7.5 -1.25 8.5 50 100 1e-10 1e-12",
         ReadStatus::ok, eleven},
        {"several lines", "3 0.9\n-0.5\n2 7.5 -1.25\n8.5 50\n100\n1e-10\n1e-12\n", ReadStatus::ok,
         eleven},
        {"blank lines", "\n\n3 0.9 -0.5\n\n   \n2 7.5 -1.25 8.5 50 100 1e-10 1e-12\n",
         ReadStatus::ok, eleven},
        {"tabs", "\t3\t0.9\t-0.5 \t2\t7.5\t-1.25\t8.5\t50\t100\t1e-10\t1e-12\n", ReadStatus::ok,
         eleven},
        {"CR LF line ends", "3 0.9\r\n-0.5 2\r\n7.5,-1.25\r\n8.5 50 100 1e-10 1e-12\r\n",
         ReadStatus::ok, eleven},
        {"commas with blanks around them", "3 , 0.9,-0.5 ,2,\t7.5, -1.25,8.5,50,100,1e-10,1e-12",
         ReadStatus::ok, eleven},
        {"a comma ending a line is a separator", "3,0.9,\n-0.5,2,7.5,\n-1.25,8.5,50,100,1e-10,1e-12",
         ReadStatus::ok, eleven},
        {"nulls keep the control defaults", "1,0.95,0.5,1.2,20,3.1,21,,,1e-6,0\n", ReadStatus::ok,
         Record{.WhichLimit = 1, .alpha = 0.95, .lambda = 0.5, .sigma = 1.2, .nu = 20.0, .mu = 3.1,
                .gammasquared = 21.0, .Tolerance = 1e-6, .ResultTol = 0.0}},
        {"a comma before the first item is a null", ",0.95 0.5 1.2 20 3.1 21 /",
         ReadStatus::ok, Record{.alpha = 0.95, .lambda = 0.5, .sigma = 1.2, .nu = 20.0, .mu = 3.1,
                                .gammasquared = 21.0}},
        {"a comma at the start of a line is a null", "1 0.95\n,1.2 20 3.1 21 /",
         ReadStatus::ok, Record{.WhichLimit = 1, .alpha = 0.95, .sigma = 1.2, .nu = 20.0,
                                .mu = 3.1, .gammasquared = 21.0}},
        {"a lone comma on its own line is a null", "1 0.95,\n,\n1.2 20 3.1 21 /",
         ReadStatus::ok, Record{.WhichLimit = 1, .alpha = 0.95, .sigma = 1.2, .nu = 20.0,
                                .mu = 3.1, .gammasquared = 21.0}},
        {"two commas apart on one line", "1, ,1.2 20 3.1 21 /",
         ReadStatus::ok, Record{.WhichLimit = 1, .lambda = 1.2, .sigma = 20.0, .nu = 3.1,
                                .mu = 21.0}},
        {"an indented comma after a blank line end", "1 0.95 \n  ,1.2 20 3.1 21 /",
         ReadStatus::ok, Record{.WhichLimit = 1, .alpha = 0.95, .sigma = 1.2, .nu = 20.0,
                                .mu = 3.1, .gammasquared = 21.0}},
        {"a null as the last item", "3 0.9 -0.5 2 7.5 -1.25 8.5 50 100 1e-10,,junk",
         ReadStatus::ok,
         Record{.WhichLimit = 3, .alpha = 0.9, .lambda = -0.5, .sigma = 2.0, .nu = 7.5,
                .mu = -1.25, .gammasquared = 8.5, .MaximumIterations = 50, .BesselArgTop = 100.0,
                .Tolerance = 1e-10},
         "junk"},
        {"slash after seven items", "1 0.95 0.5 1.2 20 3.1 21 /\n", ReadStatus::ok, seven, "\n"},
        {"slash after seven items without a line end", "1 0.95 0.5 1.2 20 3.1 21 /",
         ReadStatus::ok, seven, ""},
        {"slash directly after a value", "1 0.95 0.5 1.2 20 3.1 21/", ReadStatus::ok, seven, ""},
        {"slash after a separating comma", "1 0.95 0.5 1.2 20 3.1 21, /", ReadStatus::ok, seven},
        {"slash on a line of its own", "1 0.95 0.5 1.2 20 3.1 21\n\n/\n", ReadStatus::ok, seven},
        {"text after the slash is not read", "1 0.95 0.5 1.2 20 3.1 21 / 7 x\nmore\n",
         ReadStatus::ok, seven, " 7 x\nmore\n"},
        {"slash first keeps every value", "/ 1 2 3", ReadStatus::ok, Record{}, " 1 2 3"},
        {"text after the eleventh item", "3 0.9 -0.5 2 7.5 -1.25 8.5 50 100 1e-10 1e-12 x y\n",
         ReadStatus::ok, eleven, " x y\n"},
        {"text after the eleventh item without a line end",
         "3 0.9 -0.5 2 7.5 -1.25 8.5 50 100 1e-10 1e-12 , x y", ReadStatus::ok, eleven,
         " , x y"},
        {"later lines are not read", "3 0.9 -0.5 2 7.5 -1.25 8.5 50 100 1e-10 1e-12\n4 5\n",
         ReadStatus::ok, eleven, "\n4 5\n"},
    };
    run_cases(cases);
}

TEST(FreeFormInput, RepeatCounts) {
    const Case cases[] = {
        {"r*v fills r items", "1 3*0.5 20 3.1 21 /", ReadStatus::ok,
         Record{.WhichLimit = 1, .alpha = 0.5, .lambda = 0.5, .sigma = 0.5, .nu = 20.0, .mu = 3.1,
                .gammasquared = 21.0}},
        {"r* is r nulls", "1 0.95 2* 20 3.1 21 /", ReadStatus::ok,
         Record{.WhichLimit = 1, .alpha = 0.95, .nu = 20.0, .mu = 3.1, .gammasquared = 21.0}},
        {"r* followed by a separating comma", "1 0.95 2*, 20 3.1 21 /", ReadStatus::ok,
         Record{.WhichLimit = 1, .alpha = 0.95, .nu = 20.0, .mu = 3.1, .gammasquared = 21.0}},
        {"leading zeros in the count", "1 002*0.25 /", ReadStatus::ok,
         Record{.WhichLimit = 1, .alpha = 0.25, .lambda = 0.25}},
        {"r*v converts for each item's type", "11*7", ReadStatus::ok,
         Record{.WhichLimit = 7, .alpha = 7.0, .lambda = 7.0, .sigma = 7.0, .nu = 7.0, .mu = 7.0,
                .gammasquared = 7.0, .MaximumIterations = 7, .BesselArgTop = 7.0,
                .Tolerance = 7.0, .ResultTol = 7.0}},
        {"copies past the last item are ignored", "1 0.95 0.5 1.2 20 3.1 21 9 2*-3 1 2 3",
         ReadStatus::ok,
         Record{.WhichLimit = 1, .alpha = 0.95, .lambda = 0.5, .sigma = 1.2, .nu = 20.0,
                .mu = 3.1, .gammasquared = 21.0, .MaximumIterations = 9, .BesselArgTop = -3.0,
                .Tolerance = -3.0, .ResultTol = 1.0},
         " 2 3"},
        {"a huge count ends the record", "99999999999999999999999999*4 junk", ReadStatus::ok,
         Record{.WhichLimit = 4, .alpha = 4.0, .lambda = 4.0, .sigma = 4.0, .nu = 4.0, .mu = 4.0,
                .gammasquared = 4.0, .MaximumIterations = 4, .BesselArgTop = 4.0,
                .Tolerance = 4.0, .ResultTol = 4.0},
         " junk"},
        {"nulls for every item", "11*", ReadStatus::ok, Record{}, ""},
        {"r*v ended by a slash", "2 2*0.5/", ReadStatus::ok,
         Record{.WhichLimit = 2, .alpha = 0.5, .lambda = 0.5}},
        {"a zero count", "1 0*1 /", ReadStatus::bad_value, Record{.WhichLimit = 1}},
        {"a count that is not a number", "1 x*1 /", ReadStatus::bad_value,
         Record{.WhichLimit = 1}},
        {"a signed count", "1 +2*1 /", ReadStatus::bad_value, Record{.WhichLimit = 1}},
        {"no count", "1 *1 /", ReadStatus::bad_value, Record{.WhichLimit = 1}},
        {"a second star", "1 2**1 /", ReadStatus::bad_value, Record{.WhichLimit = 1}},
        {"copies reaching an integer item", "1 0.95 0.5 1.2 20 3.1 2*1.5 /",
         ReadStatus::bad_integer,
         Record{.WhichLimit = 1, .alpha = 0.95, .lambda = 0.5, .sigma = 1.2, .nu = 20.0,
                .mu = 3.1, .gammasquared = 1.5}},
        {"copies starting at an integer item", "2*1.5 /", ReadStatus::bad_integer, Record{}},
        {"r*v cut by the end of input", "1 3*0.5", ReadStatus::end_of_input,
         Record{.WhichLimit = 1, .alpha = 0.5, .lambda = 0.5, .sigma = 0.5}},
    };
    run_cases(cases);
}

TEST(FreeFormInput, EndOfInput) {
    const Case cases[] = {
        {"empty input", "", ReadStatus::end_of_input, Record{}},
        {"blanks only", "  \t \r ", ReadStatus::end_of_input, Record{}},
        {"blank lines only", "\n\n  \n\r\n", ReadStatus::end_of_input, Record{}},
        {"seven items and no slash", "1 0.95 0.5 1.2 20 3.1 21\n", ReadStatus::end_of_input,
         seven},
        {"seven items, no slash, no line end", "1 0.95 0.5 1.2 20 3.1 21",
         ReadStatus::end_of_input, seven},
        {"ten items and a separator", "3 0.9 -0.5 2 7.5 -1.25 8.5 50 100 1e-10,",
         ReadStatus::end_of_input,
         Record{.WhichLimit = 3, .alpha = 0.9, .lambda = -0.5, .sigma = 2.0, .nu = 7.5,
                .mu = -1.25, .gammasquared = 8.5, .MaximumIterations = 50, .BesselArgTop = 100.0,
                .Tolerance = 1e-10}},
        {"nulls only", ",,,\n", ReadStatus::end_of_input, Record{}},
    };
    run_cases(cases);
}

TEST(FreeFormInput, FailureKeepsTheFailingItemAndLaterOnes) {
    const Case cases[] = {
        {"third item not a number", "1 0.95 x 1.2 20 3.1 21 /", ReadStatus::bad_value,
         Record{.WhichLimit = 1, .alpha = 0.95}},
        {"WhichLimit with a decimal point", "1.0 0.95 0.5 1.2 20 3.1 21 /",
         ReadStatus::bad_integer, Record{}},
        {"MaximumIterations with an exponent", "1 0.95 0.5 1.2 20 3.1 21 1e3 /",
         ReadStatus::bad_integer, seven},
        {"a bad BesselArgTop after a null", "1 0.95 0.5 1.2 20 3.1 21,,1e /",
         ReadStatus::bad_value, seven},
        {"a bad last item", "3 0.9 -0.5 2 7.5 -1.25 8.5 50 100 1e-10 --1", ReadStatus::bad_value,
         Record{.WhichLimit = 3, .alpha = 0.9, .lambda = -0.5, .sigma = 2.0, .nu = 7.5,
                .mu = -1.25, .gammasquared = 8.5, .MaximumIterations = 50, .BesselArgTop = 100.0,
                .Tolerance = 1e-10}},
        {"a form feed is not a separator", "1\f0.95 /", ReadStatus::bad_value, Record{}},
    };
    run_cases(cases);
}

// One value text and what it reads as.
struct ValueCase {
    const char* text;
    ReadStatus status;
    double value; // the value read when the status is ok
};

// Reads `before`, then `c.text` and a slash, and checks that the record afterwards is
// `expected` with, when the text read, the item that `set` names holding its value.
template <std::size_t N, typename Set>
void check_values(const ValueCase (&cases)[N], const std::string& before, const Record& expected,
                  Set set) {
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        Record record;
        std::istringstream in(before + c.text + " /");
        EXPECT_EQ(read_free_form(in, record.items()), c.status);
        Record after = expected;
        if (c.status == ReadStatus::ok) {
            set(after, c.value);
        }
        expect_record(record, after);
    }
}

TEST(FreeFormInput, IntegerItems) {
    const ValueCase cases[] = {
        {"42", ReadStatus::ok, 42},
        {"+5", ReadStatus::ok, 5},
        {"-17", ReadStatus::ok, -17},
        {"007", ReadStatus::ok, 7},
        {"2147483647", ReadStatus::ok, 2147483647.0},
        {"-2147483648", ReadStatus::ok, -2147483648.0},
        {"0000000000000000000002147483647", ReadStatus::ok, 2147483647.0},
        {"2147483648", ReadStatus::out_of_range, 0},
        {"-2147483649", ReadStatus::out_of_range, 0},
        {"99999999999999999999999", ReadStatus::out_of_range, 0},
        {"1.0", ReadStatus::bad_integer, 0},
        {"1.", ReadStatus::bad_integer, 0},
        {".5", ReadStatus::bad_integer, 0},
        {"-.5", ReadStatus::bad_integer, 0},
        {"1e3", ReadStatus::bad_integer, 0},
        {"1E3", ReadStatus::bad_integer, 0},
        {"1d3", ReadStatus::bad_integer, 0},
        {"2D0", ReadStatus::bad_integer, 0},
        {"e5", ReadStatus::bad_integer, 0},
        {"-", ReadStatus::bad_value, 0},
        {"+", ReadStatus::bad_value, 0},
        {"1x", ReadStatus::bad_value, 0},
        {"1+3", ReadStatus::bad_value, 0},
        {"--1", ReadStatus::bad_value, 0},
        {"1x.5", ReadStatus::bad_value, 0},
        {"0x10", ReadStatus::bad_value, 0},
    };
    check_values(cases, "", Record{},
                 [](Record& r, double v) { r.WhichLimit = static_cast<int>(v); });
}

TEST(FreeFormInput, MaximumIterationsIsAnIntegerItem) {
    const ValueCase cases[] = {
        {"500", ReadStatus::ok, 500},
        {"1.5", ReadStatus::bad_integer, 0},
        {"3000000000", ReadStatus::out_of_range, 0},
    };
    check_values(cases, "1 0.95 0.5 1.2 20 3.1 21 ", seven,
                 [](Record& r, double v) { r.MaximumIterations = static_cast<int>(v); });
}

TEST(FreeFormInput, DoubleItems) {
    constexpr double largest = std::numeric_limits<double>::max();
    constexpr double smallest_denormal = std::numeric_limits<double>::denorm_min();
    const ValueCase cases[] = {
        {"12", ReadStatus::ok, 12.0},
        {"1.5+3", ReadStatus::ok, 1500.0},
        {"1.5-3", ReadStatus::ok, 0.0015},
        {"-1.5-3", ReadStatus::ok, -0.0015},
        {"2.5D2", ReadStatus::ok, 250.0},
        {"2.5d-2", ReadStatus::ok, 0.025},
        {"2.5E+2", ReadStatus::ok, 250.0},
        {"2.5e2", ReadStatus::ok, 250.0},
        {"+.5", ReadStatus::ok, 0.5},
        {"-7.", ReadStatus::ok, -7.0},
        {"0.95", ReadStatus::ok, 0.95},
        {"3.1", ReadStatus::ok, 3.1},
        {".1e1", ReadStatus::ok, 1.0},
        {"-0", ReadStatus::ok, -0.0},
        {"1e0000000000000000000000000005", ReadStatus::ok, 1e5},
        {"0e999999999999999999999", ReadStatus::ok, 0.0},
        // Round to nearest even: 2^53 + 1 lies halfway between 2^53 and 2^53 + 2.
        {"9007199254740993", ReadStatus::ok, 9007199254740992.0},
        {"0.1000000000000000055511151231257827", ReadStatus::ok, 0.1},
        {"1.7976931348623157e308", ReadStatus::ok, largest},
        {"1.7976931348623158e308", ReadStatus::ok, largest},
        {"1.7976931348623159e308", ReadStatus::out_of_range, 0},
        {"1e400", ReadStatus::out_of_range, 0},
        {"-1D400", ReadStatus::out_of_range, 0},
        {"1e99999999999999999999", ReadStatus::out_of_range, 0},
        {"4e-320", ReadStatus::ok, 4e-320},
        {"2.4703282292062328e-324", ReadStatus::ok, smallest_denormal},
        {"2.4703282292062327e-324", ReadStatus::ok, 0.0},
        {"1e-400", ReadStatus::ok, 0.0},
        {"-1e-400", ReadStatus::ok, -0.0},
        {"1-99999999999999999999", ReadStatus::ok, 0.0},
        {"1e", ReadStatus::bad_value, 0},
        {"1e+", ReadStatus::bad_value, 0},
        {"1+", ReadStatus::bad_value, 0},
        {"1.5-", ReadStatus::bad_value, 0},
        {".", ReadStatus::bad_value, 0},
        {"-.", ReadStatus::bad_value, 0},
        {"e5", ReadStatus::bad_value, 0},
        {".e5", ReadStatus::bad_value, 0},
        {"1.2.3", ReadStatus::bad_value, 0},
        {"1e5.0", ReadStatus::bad_value, 0},
        {"1e+-5", ReadStatus::bad_value, 0},
        {"1ee5", ReadStatus::bad_value, 0},
        {"1x", ReadStatus::bad_value, 0},
        {"1f5", ReadStatus::bad_value, 0},
        {"inf", ReadStatus::bad_value, 0},
        {"nan", ReadStatus::bad_value, 0},
        {"0x1p3", ReadStatus::bad_value, 0},
        {"--1", ReadStatus::bad_value, 0},
    };
    check_values(cases, "3 ", Record{.WhichLimit = 3}, [](Record& r, double v) { r.alpha = v; });
}

TEST(FreeFormInput, LongItems) {
    // An item of exactly the longest length reads; one character more is a bad value.
    constexpr std::size_t longest = 65536;
    struct LongCase {
        const char* name;
        std::string text;
        ReadStatus status;
        double value;
    };
    const LongCase cases[] = {
        {"a thousand leading zeros", std::string(1000, '0') + "1", ReadStatus::ok, 1.0},
        {"a thousand trailing zeros", "2." + std::string(1000, '0'), ReadStatus::ok, 2.0},
        {"the longest item", std::string(longest - 3, '0') + "1.5", ReadStatus::ok, 1.5},
        {"a long exact fraction", "0." + std::string(400, '0') + "1e401", ReadStatus::ok, 1.0},
        {"an item one character too long", std::string(longest - 2, '0') + "1.5",
         ReadStatus::bad_value, 0},
        {"an item far too long", std::string(10 * longest, '7'), ReadStatus::bad_value, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Record record;
        std::istringstream in("1 " + c.text + " /");
        EXPECT_EQ(read_free_form(in, record.items()), c.status);
        Record expected{.WhichLimit = 1};
        if (c.status == ReadStatus::ok) {
            expected.alpha = c.value;
        }
        expect_record(record, expected);
    }

    // The same limit holds for an integer item.
    Record record;
    std::istringstream in(std::string(longest - 1, '0') + "7 /");
    EXPECT_EQ(read_free_form(in, record.items()), ReadStatus::ok);
    EXPECT_EQ(record.WhichLimit, 7);
}

// A numeric punctuation with a decimal comma, as some locales have.
struct DecimalComma : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
    char do_thousands_sep() const override { return '.'; }
};

TEST(FreeFormInput, TheStreamLocaleDoesNotChangeNumbers) {
    Record record;
    std::istringstream in("1 0.95 0.5 1.2 20 3.1 21 /");
    in.imbue(std::locale(std::locale::classic(), new DecimalComma));
    EXPECT_EQ(read_free_form(in, record.items()), ReadStatus::ok);
    expect_record(record, seven);
}

// A stream buffer that hands out `prefix` and then `pattern` over and over, one character per
// refill, and counts the characters it has handed out. After `limit` characters it ends, so
// that a reader that wrongly reads to the end still finishes (and fails the test).
class EndlessBuffer : public std::streambuf {
  public:
    EndlessBuffer(std::string prefix, std::string pattern, std::size_t limit = 10'000'000)
        : prefix_(std::move(prefix)), pattern_(std::move(pattern)), limit_(limit) {}

    // Characters taken from the buffer (handed out and not merely looked at).
    [[nodiscard]] std::size_t taken() const {
        return produced_ - static_cast<std::size_t>(egptr() - gptr());
    }

  protected:
    int_type underflow() override {
        if (produced_ == limit_) {
            return traits_type::eof();
        }
        current_ = produced_ < prefix_.size()
                       ? prefix_[produced_]
                       : pattern_[(produced_ - prefix_.size()) % pattern_.size()];
        ++produced_;
        setg(&current_, &current_, &current_ + 1);
        return traits_type::to_int_type(current_);
    }

  private:
    std::string prefix_;
    std::string pattern_;
    std::size_t limit_;
    std::size_t produced_ = 0;
    char current_ = 0;
};

TEST(FreeFormInput, AnEndlessInputIsReadOnlyAsFarAsNeeded) {
    struct EndlessCase {
        const char* name;
        std::string prefix;
        std::string pattern;
        ReadStatus status;
        std::size_t taken; // characters the read takes: up to the end of the record
    };
    const EndlessCase cases[] = {
        // "1 1 1 1 1 1 1 1 1 1 1" is 21 characters; the blank after the last item stays.
        {"numbers without end", "", "1 ", ReadStatus::ok, 21},
        {"a slash, then text without end", "1 0.95 0.5 1.2 20 3.1 21 /", "x",
         ReadStatus::ok, 26},
        {"a slash, then numbers without end", "1 0.95 0.5 1.2 20 3.1 21/", "3 ",
         ReadStatus::ok, 25},
        {"a repeat filling the record, then numbers", "11*5", " 6", ReadStatus::ok, 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EndlessBuffer buffer(c.prefix, c.pattern);
        std::istream in(&buffer);
        Record record;
        EXPECT_EQ(read_free_form(in, record.items()), c.status);
        EXPECT_EQ(buffer.taken(), c.taken);
    }

    // Zero bytes without end (standard input from /dev/zero) form one item that exceeds the
    // longest length; the read stops when it has seen that.
    EndlessBuffer zeros("", std::string(1, '\0'));
    std::istream in(&zeros);
    Record record;
    EXPECT_EQ(read_free_form(in, record.items()), ReadStatus::bad_value);
    EXPECT_LE(zeros.taken(), std::size_t{65537});
    expect_record(record, Record{});
}

TEST(FreeFormInput, AnEndlessInputThatEndsTheRecordEarlyStillReadsTheValues) {
    EndlessBuffer buffer("2 0.5 0.25 3 10 -1 11 /", "\n");
    std::istream in(&buffer);
    Record record;
    EXPECT_EQ(read_free_form(in, record.items()), ReadStatus::ok);
    expect_record(record, Record{.WhichLimit = 2, .alpha = 0.5, .lambda = 0.25, .sigma = 3.0,
                                 .nu = 10.0, .mu = -1.0, .gammasquared = 11.0});
}

// A stream buffer whose reads fail, as a file's do on a device error, after `good` characters.
class FailingBuffer : public std::streambuf {
  public:
    explicit FailingBuffer(std::string good) : good_(std::move(good)) {
        setg(good_.data(), good_.data(), good_.data() + good_.size());
    }

  protected:
    int_type underflow() override { throw std::runtime_error("read error"); }

  private:
    std::string good_;
};

TEST(FreeFormInput, AFailingStreamIsAStreamFailure) {
    {
        SCOPED_TRACE("a stream already bad");
        std::istringstream in("1 0.95 0.5 1.2 20 3.1 21 /");
        in.setstate(std::ios_base::badbit);
        Record record;
        EXPECT_EQ(read_free_form(in, record.items()), ReadStatus::stream_failure);
        expect_record(record, Record{});
    }
    {
        SCOPED_TRACE("a read failing in the middle of the record");
        FailingBuffer buffer("1 0.95 0.5 ");
        std::istream in(&buffer);
        Record record;
        EXPECT_EQ(read_free_form(in, record.items()), ReadStatus::stream_failure);
        EXPECT_TRUE(in.bad());
        expect_record(record, Record{.WhichLimit = 1, .alpha = 0.95, .lambda = 0.5});
    }
    {
        SCOPED_TRACE("a failing read on a stream that throws on bad");
        FailingBuffer buffer("");
        std::istream in(&buffer);
        in.exceptions(std::ios_base::badbit | std::ios_base::failbit | std::ios_base::eofbit);
        Record record;
        EXPECT_EQ(read_free_form(in, record.items()), ReadStatus::stream_failure);
    }
    {
        SCOPED_TRACE("a directory read as a file");
        std::ifstream in(std::filesystem::temp_directory_path());
        ASSERT_TRUE(in.is_open());
        Record record;
        EXPECT_EQ(read_free_form(in, record.items()), ReadStatus::stream_failure);
        expect_record(record, Record{});
    }
}

TEST(FreeFormInput, EndOfInputIsNotAStreamFailure) {
    std::istringstream in("1 2");
    Record record;
    EXPECT_EQ(read_free_form(in, record.items()), ReadStatus::end_of_input);
    EXPECT_TRUE(in.eof());
    EXPECT_FALSE(in.bad());

    // A stream already at its end reads as empty input.
    EXPECT_EQ(read_free_form(in, record.items()), ReadStatus::end_of_input);
    expect_record(record, Record{.WhichLimit = 1, .alpha = 2.0});

    // A stream that throws on end of input does not make the reader throw.
    std::istringstream throwing("1 2");
    throwing.exceptions(std::ios_base::eofbit | std::ios_base::failbit);
    Record other;
    EXPECT_EQ(read_free_form(throwing, other.items()), ReadStatus::end_of_input);
}

TEST(FreeFormInput, AnEmptyListReadsNothing) {
    std::istringstream in("1 2 3");
    EXPECT_EQ(read_free_form(in, {}), ReadStatus::ok);
    EXPECT_EQ(rest_of(in), "1 2 3");
}

} // namespace
} // namespace lvlim
