// The number-to-text variants: each one's rule (where the exponent form begins, how values that
// are not finite are spelled), and for all of them that the text reads back as the value with no
// shorter decimal doing so.
#include "common/number_text.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

namespace text = lvlim::number_text;

// The number of significant digits of a decimal text: its digits up to an exponent, without the
// leading and trailing zeros.
int significant_digits(const std::string& s) {
    std::string digits;
    for (const char c : s) {
        if (c == 'e') {
            break;
        }
        if (c >= '0' && c <= '9' && !(digits.empty() && c == '0')) {
            digits += c;
        }
    }
    while (!digits.empty() && digits.back() == '0') {
        digits.pop_back();
    }
    return static_cast<int>(digits.size());
}

// Reads back as `value` through strtod, and no decimal of fewer significant digits does (printf
// rounds correctly to a given number of digits). A whole number without a point or an exponent
// is written with all its digits, which are exact.
void expect_shortest_round_trip(const std::string& s, double value) {
    EXPECT_EQ(std::strtod(s.c_str(), nullptr), value) << s;
    const int digits = significant_digits(s);
    if (digits > 1 && s.find_first_of(".e") != std::string::npos) {
        char shorter[64];
        std::snprintf(shorter, sizeof shorter, "%.*e", digits - 2, value);
        EXPECT_NE(std::strtod(shorter, nullptr), value) << s << " is not the shortest: " << shorter;
    }
}

TEST(NumberText, EveryVariantIsTheShortestDecimalThatReadsBack) {
    std::mt19937_64 random(20261207);
    std::uniform_real_distribution<double> exponent(-320.0, 308.0);
    std::vector<double> values = {0.1, 2.0 / 3.0, 19.080809275897902, 1e-5, 1e15, 123456789.125,
                                  std::numeric_limits<double>::min(),
                                  std::numeric_limits<double>::max(),
                                  std::numeric_limits<double>::denorm_min()};
    for (int i = 0; i < 2000; ++i) {
        const double v = std::pow(10.0, exponent(random)) * (i % 2 == 0 ? 1.0 : -1.0);
        values.push_back(v == 0.0 ? 1.0 : v);
    }
    for (const double v : values) {
        SCOPED_TRACE(v);
        expect_shortest_round_trip(text::shortest(v), v);
        expect_shortest_round_trip(text::shortest_plain(v), v);
        expect_shortest_round_trip(text::shortest_with_NaN(v), v);
    }
}

TEST(NumberText, ShortestTakesTheShorterOfFixedAndExponentForms) {
    EXPECT_EQ(text::shortest(0.95), "0.95");
    EXPECT_EQ(text::shortest(100000.0), "1e+05");
    EXPECT_EQ(text::shortest(123456.0), "123456");
    // Fixed on a tie of lengths; the exact digits of a large whole number when they are shorter.
    EXPECT_EQ(text::shortest(0.001), "0.001");
    EXPECT_EQ(text::shortest(0.0001), "1e-04");
    EXPECT_EQ(text::shortest(92897368957001888.0), "92897368957001888");
    EXPECT_EQ(text::shortest(-0.0), "-0");
    EXPECT_EQ(text::shortest(std::numeric_limits<double>::infinity()), "inf");
    EXPECT_EQ(text::shortest(-std::numeric_limits<double>::infinity()), "-inf");
    EXPECT_EQ(text::shortest(std::numeric_limits<double>::quiet_NaN()), "nan");
}

TEST(NumberText, ShortestPlainHasNoExponentFromOneE5BelowToOneE15) {
    EXPECT_EQ(text::shortest_plain(0.0), "0");
    EXPECT_EQ(text::shortest_plain(100000.0), "100000");
    EXPECT_EQ(text::shortest_plain(0.0005), "0.0005");
    // The edges: 1e-5 is plain, the double below it is not; 1e15 is not, the one below it is.
    EXPECT_EQ(text::shortest_plain(1e-5), "0.00001");
    EXPECT_EQ(text::shortest_plain(-1e-5), "-0.00001");
    EXPECT_EQ(text::shortest_plain(std::nextafter(1e-5, 0.0)), "9.999999999999999e-06");
    EXPECT_EQ(text::shortest_plain(1e15), "1e+15");
    EXPECT_EQ(text::shortest_plain(999999999999999.9), "999999999999999.9");
    EXPECT_EQ(text::shortest_plain(1e300), "1e+300");
    EXPECT_EQ(text::shortest_plain(std::numeric_limits<double>::quiet_NaN()), "nan");
    EXPECT_EQ(text::shortest_plain(-std::numeric_limits<double>::infinity()), "-inf");
}

TEST(NumberText, ShortestWithNaNSpellsNaNAsJavaScriptDoes) {
    EXPECT_EQ(text::shortest_with_NaN(std::numeric_limits<double>::quiet_NaN()), "NaN");
    EXPECT_EQ(text::shortest_with_NaN(-std::numeric_limits<double>::quiet_NaN()), "NaN");
    EXPECT_EQ(text::shortest_with_NaN(100000.0), "1e+05");
    EXPECT_EQ(text::shortest_with_NaN(0.95), "0.95");
    EXPECT_EQ(text::shortest_with_NaN(std::numeric_limits<double>::infinity()), "inf");
}

TEST(NumberText, ShortestOrEmptyLeavesANaNFieldEmpty) {
    EXPECT_EQ(text::shortest_or_empty(std::numeric_limits<double>::quiet_NaN()), "");
    EXPECT_EQ(text::shortest_or_empty(100000.0), "1e+05");
    EXPECT_EQ(text::shortest_or_empty(-0.0), "-0");
    EXPECT_EQ(text::shortest_or_empty(-std::numeric_limits<double>::infinity()), "-inf");
}

} // namespace
