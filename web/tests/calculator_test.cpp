// The page's reader against std::from_chars, the reader of lvlim-data: the WebAssembly build has
// no std::from_chars for doubles, so the calculator checks the grammar itself and converts with
// strtod. Both must accept, refuse and convert the same items.
#include <charconv>
#include <cmath>
#include <string>
#include <string_view>
#include <system_error>

#include <gtest/gtest.h>

#include "web/calculator.hpp"

namespace {

// lvlim-data's judgement of one item: its value, or the reason it is refused.
std::string from_chars_verdict(std::string_view item) {
    double value = 0.0;
    const char* end = item.data() + item.size();
    const auto [ptr, ec] = std::from_chars(item.data(), end, value);
    if (ec == std::errc::result_out_of_range) {
        return "is out of range";
    }
    if (ec != std::errc{} || ptr != end || std::isnan(value)) {
        return "is not a number";
    }
    if (std::isinf(value)) {
        return "is out of range";
    }
    if (!(value > 0.0)) {
        return "is not positive";
    }
    return lvlim::web::shortest(value);
}

std::string calculator_verdict(std::string_view item) {
    const lvlim::web::Reading r = lvlim::web::read_measurements(item);
    if (r.error) {
        for (const char* reason : {"is out of range", "is not a number", "is not positive"}) {
            if (r.error->find(reason) != std::string::npos) {
                return reason;
            }
        }
        return *r.error;
    }
    return r.values.size() == 1 ? lvlim::web::shortest(r.values[0]) : "not one value";
}

TEST(CalculatorReader, AgreesWithFromChars) {
    for (const char* item :
         {"1", "1.5", ".5", "5.", "007", "1e5", "1E+5", "2.5e-3", "1e", "e5", "1e+", ".", "-",
          "+1", "-1", "0", "-0", "0.0e0", "0x10", "1p3", "inf", "-INF", "Infinity", "nan", "NaN",
          "1e400", "1e-400", "4.9e-324", "2.2250738585072014e-308", "1.7976931348623157e308",
          "1.2.3", "1e5.5", "12abc", "0.1000000000000000055511151231257827",
          "9007199254740993", "\xc2\xb5"}) {
        SCOPED_TRACE(item);
        EXPECT_EQ(calculator_verdict(item), from_chars_verdict(item));
    }
}

TEST(CalculatorReader, ErrorsNameLineAndColumn) {
    const auto r = lvlim::web::read_measurements("# header\r\n1.5, 2.5\t3\n\n 4 x7 5\n");
    ASSERT_TRUE(r.error);
    EXPECT_EQ(*r.error, "line 4, column 4: 'x7' is not a number");
    EXPECT_EQ(r.values, (std::vector<double>{1.5, 2.5, 3.0, 4.0}));
}

TEST(CalculatorReader, ConfidenceLists) {
    EXPECT_EQ(lvlim::web::read_confidences("0.9, 0.95 0.99").values,
              (std::vector<double>{0.9, 0.95, 0.99}));
    EXPECT_EQ(*lvlim::web::read_confidences("0.9,1").error,
              "the confidence must lie strictly between 0 and 1, not 1");
    EXPECT_EQ(*lvlim::web::read_confidences("95%").error, "invalid confidence '95%'");
    EXPECT_TRUE(lvlim::web::read_confidences(" ").error);
}

TEST(CalculatorReader, NumberOfMeasurements) {
    EXPECT_EQ(lvlim::web::from_measurements("1 2", "upper", "0.95").errors.at(0).message,
              "2 measurements; at least 3 are needed");
    std::string text;
    for (int i = 0; i < 100002; ++i) {
        text += i % 2 == 0 ? "1 " : "2 ";
    }
    EXPECT_EQ(lvlim::web::from_measurements(text, "upper", "0.95").errors.at(0).message,
              "100002 measurements; at most 100001 can be used");
    text.resize(text.size() - 2);
    EXPECT_TRUE(lvlim::web::from_measurements(text, "upper", "0.95").errors.empty());
}

// Summary statistics out of range are refused before any series is summed (a log standard
// deviation of 1e300, or n = 0, would never end it).
TEST(CalculatorReader, SummaryStatisticsOutOfRange) {
    struct Case {
        const char *n, *sd, *field;
    };
    for (const Case c : {Case{"0", "1", "n"}, Case{"2", "1", "n"}, Case{"100002", "1", "n"},
                         Case{"2.5", "1", "n"}, Case{"21", "1e300", "log_sd"},
                         Case{"21", "-1", "log_sd"}, Case{"21", "0.0005", "log_sd"}}) {
        SCOPED_TRACE(std::string(c.n) + " " + c.sd);
        const auto out = lvlim::web::from_logs(c.n, "3.1", c.sd, "upper", "0.95");
        ASSERT_EQ(out.errors.size(), 1U);
        EXPECT_EQ(out.errors[0].field, c.field);
        EXPECT_TRUE(out.rows.empty());
    }
}

} // namespace
