// lvlim-table's lists and ranges, in process: decimal steps are the decimals themselves, log
// ranges land on the round decimals, and malformed texts are refused.
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "measurements/value_lists.hpp"

namespace lvlim::table {
namespace {

// The doubles strtod reads from the decimals: the reference for exact steps.
std::vector<double> decimals(const std::vector<const char*>& texts) {
    std::vector<double> values;
    values.reserve(texts.size());
    for (const char* text : texts) {
        values.push_back(std::strtod(text, nullptr));
    }
    return values;
}

TEST(TableValueLists, ListsAndRangesGiveTheDecimalsTyped) {
    EXPECT_EQ(parse_values("1,2.5,-3e2"), decimals({"1", "2.5", "-300"}));
    EXPECT_EQ(parse_values("0.7:1.3:7"), decimals({"0.7", "0.8", "0.9", "1", "1.1", "1.2", "1.3"}));
    EXPECT_EQ(parse_values("-1:1:5"), decimals({"-1", "-0.5", "0", "0.5", "1"}));
    EXPECT_EQ(parse_values("1e-3:3e-3:3"), decimals({"0.001", "0.002", "0.003"}));
    EXPECT_EQ(parse_values("0.001:10:5:log"), decimals({"0.001", "0.01", "0.1", "1", "10"}));
    EXPECT_EQ(parse_values("3:6:2:log"), decimals({"3", "6"}));
    EXPECT_EQ(parse_values("0.25:9:1"), decimals({"0.25"})) << "COUNT 1 is FROM";
    // Every step of a long decimal range is the decimal itself: i/100 for i = 1 .. 1000.
    const auto steps = parse_values("0.01:10:1000");
    ASSERT_TRUE(steps);
    ASSERT_EQ(steps->size(), 1000U);
    for (int i = 1; i <= 1000; ++i) {
        const std::string decimal =
            std::to_string(i / 100) + "." + std::to_string(i % 100 / 10) + std::to_string(i % 10);
        EXPECT_EQ((*steps)[static_cast<std::size_t>(i - 1)], std::strtod(decimal.c_str(), nullptr))
            << decimal;
    }
}

TEST(TableValueLists, MalformedTextsAreRefused) {
    for (const char* text : {"", "1:2", "1:2:3:4:5", "1:2:0", "1:2:100001", "1:2:x", "0:1:3:log",
                             "1:-2:3:log", "1:2:3:lin", "2,x", "1,,2", "inf", "1,nan", "1:2:2.5"}) {
        EXPECT_FALSE(parse_values(text)) << text;
    }
    EXPECT_TRUE(parse_values("1:2:100000"));
}

TEST(TableValueLists, SnappedGivesTheRoundDecimalWithinFourUlps) {
    EXPECT_EQ(snapped(4.1 - 1.0), 3.1);
    EXPECT_NE(4.1 - 1.0, 3.1) << "the case is one that needs snapping";
    EXPECT_EQ(snapped(std::nextafter(0.1, 1.0)), 0.1);
    // More than 12 significant digits, or further than 4 ulps: left as it is.
    EXPECT_EQ(snapped(1.0 / 3.0), 1.0 / 3.0);
    const double far = 0.1 + 8 * (std::nextafter(0.1, 1.0) - 0.1);
    EXPECT_EQ(snapped(far), far);
    EXPECT_EQ(snapped(0.0), 0.0);
}

} // namespace
} // namespace lvlim::table
