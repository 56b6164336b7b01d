// The named ways of writing a number: each rule pinned at its edges and against an independent
// search for the shortest decimal that reads back.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "common/number_text.hpp"

namespace lvlim::number_text {
namespace {

// The fewest significant digits with which printf's %g gives a decimal that reads back.
int shortest_digits(double value) {
    for (int digits = 1; digits <= 17; ++digits) {
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "%.*g", digits, value);
        if (std::strtod(buffer, nullptr) == value) {
            return digits;
        }
    }
    return 17;
}

int significant_digits(const std::string& text) {
    const std::string mantissa = text.substr(0, text.find('e'));
    const auto first = mantissa.find_first_of("123456789");
    if (first == std::string::npos) {
        return 1;
    }
    int digits = 0;
    int run_of_zeros = 0;
    for (std::size_t i = first; i < mantissa.size(); ++i) {
        if (mantissa[i] == '0') {
            ++run_of_zeros;
        } else if (mantissa[i] != '.') {
            digits += run_of_zeros + 1;
            run_of_zeros = 0;
        }
    }
    return digits;
}

TEST(ShortestRoundTrip, PlainFrom1e5ToBelow1e16ShorterFormOtherwise) {
    const struct {
        double value;
        const char* text;
    } cases[] = {
        {0.1, "0.1"},
        {20.0, "20"},
        {100000.0, "100000"},
        {1e-5, "0.00001"},
        {-1e-5, "-0.00001"},
        {9.5e-6, "9.5e-06"},
        {9999999999999998.0, "9999999999999998"},
        {1e15, "1000000000000000"},
        {1e16, "1e+16"},
        {44167431189119544.0, "44167431189119544"},
        {0.0, "0"},
        {-0.0, "-0"},
        {std::numeric_limits<double>::infinity(), "inf"},
        {0.9999999999999, "0.9999999999999"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(shortest_round_trip(c.value), c.text);
    }
}

TEST(ShortestRoundTrip, ReadsBackWithTheFewestDigits) {
    std::mt19937_64 random(18);
    std::uniform_real_distribution<double> exponent(-30.0, 30.0);
    std::uniform_real_distribution<double> mantissa(1.0, 10.0);
    for (int i = 0; i < 20000; ++i) {
        const double value = mantissa(random) * std::pow(10.0, std::floor(exponent(random)));
        const std::string text = shortest_round_trip(value);
        SCOPED_TRACE(text);
        ASSERT_EQ(std::strtod(text.c_str(), nullptr), value);
        const int digits = shortest_digits(value);
        char exponent_form[64];
        std::snprintf(exponent_form, sizeof exponent_form, "%.*e", digits - 1, value);
        if (value >= 1e-5 && value < 1e16) {
            EXPECT_EQ(text.find('e'), std::string::npos);
            EXPECT_EQ(significant_digits(text), digits);
        } else if (text.find('e') != std::string::npos) {
            EXPECT_EQ(significant_digits(text), digits);
            EXPECT_LE(text.size(), std::string(exponent_form).size());
        } else {
            // A large whole number whose plain digits are no longer than its exponent form.
            EXPECT_LE(text.size(), std::string(exponent_form).size()) << exponent_form;
        }
    }
}

} // namespace
} // namespace lvlim::number_text
