// The list-directed line layout and the fixed-point edit. Every expected text here is an exact
// console text of the program: the worked lines of its result record and error reports.
#include <cmath>
#include <limits>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "common/list_output.hpp"

namespace lvlim {
namespace {

struct RealCase {
    double value;
    const char* expected;
};

TEST(ListOutput, DoubleItemsUseNineDigitGLayout) {
    // Each item is a blank, the sign position and the magnitude.
    const RealCase cases[] = {
        // The item is always a blank, the sign position and the digits, so 0.95 is "  0.95",
        // as the result record's " alpha =   0.95+" (key "alpha = ") and the read-error echo
        // " 1  0.95  0.5 ..." show.
        {0.95, "  0.95"},
        {800.0, "  800."},
        {-1.0, " -1."},
        {1.0e10, "  1.E+10"},
        {1.0e-5, "  1.E-05"},
        {123456789.0, "  123456789."},
        {2.0 / 3.0, "  0.666666667"},
        {0.0, "  0."},
        {-0.0, "  0."},
        {20.0, "  20."},
        {21.0, "  21."},
        {3.1, "  3.1"},
        // The single-precision 1.0e-8 widened to double.
        {static_cast<double>(1.0e-8F), "  9.99999994E-09"},
        // Exponent 9 takes the exponent form; exponent -4 stays positional.
        {1234567890.0, "  1.23456789E+09"},
        {0.0001, "  0.0001"},
        {0.00001, "  1.E-05"},
        {-0.00012345, " -0.00012345"},
        // The choice is read from the rounded value: these round up into the next decade.
        {999999999.6, "  1.E+09"},
        {99999.99999, "  100000."},
        {99999999.95, "  100000000."},
        {999999999.4, "  999999999."},
        {0.000099999999999, "  0.0001"},
        {9.999999999e-5, "  0.0001"},
        // Rounding to 9 digits, and three-digit exponents.
        {1.0 / 3.0 * 1e-300, "  3.33333333E-301"},
        {-1.7976931348623157e308, " -1.79769313E+308"},
        {4.9406564584124654e-324, "  4.94065646E-324"},
        {1.5e-5, "  1.5E-05"},
        {-2.5640000001, " -2.564"},
        {-2.56400001, " -2.56400001"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(format_list_real(c.value), c.expected);
    }
}

TEST(ListOutput, NonFiniteDoublesAreNamedWithoutPoint) {
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(format_list_real(inf), "  Infinity");
    EXPECT_EQ(format_list_real(-inf), " -Infinity");
    EXPECT_EQ(format_list_real(std::numeric_limits<double>::quiet_NaN()), "  NaN");
    EXPECT_EQ(format_list_real(-std::numeric_limits<double>::quiet_NaN()), "  NaN");
}

TEST(ListOutput, IntegerItems) {
    EXPECT_EQ(format_list_integer(7), " 7");
    EXPECT_EQ(format_list_integer(200), " 200");
    EXPECT_EQ(format_list_integer(-1), " -1");
    EXPECT_EQ(format_list_integer(0), " 0");
    EXPECT_EQ(format_list_integer(-2147483648LL), " -2147483648");
}

std::string record_text(void (*build)(ListRecord&)) {
    std::ostringstream out;
    {
        ListRecord record(out);
        build(record);
    }
    return out.str();
}

TEST(ListOutput, ResultRecordLines) {
    // Key, value, "+": the worked lines of the result record.
    EXPECT_EQ(record_text([](ListRecord& r) { r.text("alpha = ").real(0.95).text("+").end(); }),
              " alpha =   0.95+\n");
    EXPECT_EQ(record_text([](ListRecord& r) { r.text("nu= ").real(20.0).text("+"); }),
              " nu=   20.+\n");
    EXPECT_EQ(record_text([](ListRecord& r) { r.text("NumberIterations=").integer(7).text("+"); }),
              " NumberIterations= 7+\n");
    EXPECT_EQ(record_text([](ListRecord& r) { r.text("Time=").real(0.0).text("+"); }),
              " Time=  0.+\n");
    EXPECT_EQ(record_text([](ListRecord& r) { r.text("MaximumIterations=").integer(200).text("+"); }),
              " MaximumIterations= 200+\n");
    EXPECT_EQ(record_text([](ListRecord& r) { r.text("BesselArgTop=").real(800.0).text("+"); }),
              " BesselArgTop=  800.+\n");
    EXPECT_EQ(record_text([](ListRecord& r) {
                  r.text("Tolerance=").real(static_cast<double>(1.0e-8F)).text("+");
              }),
              " Tolerance=  9.99999994E-09+\n");
    EXPECT_EQ(record_text([](ListRecord& r) { r.text("ResultTol=").real(-1.0).text("+"); }),
              " ResultTol= -1.+\n");
    EXPECT_EQ(record_text([](ListRecord& r) {
                  r.text("WhichLimit= ").text("one-sided upper limit     ").text("+");
              }),
              " WhichLimit= one-sided upper limit     +\n");
    EXPECT_EQ(record_text([](ListRecord& r) {
                  r.text("WhichLimit=").text("a pair of two-sided limits").text("+");
              }),
              " WhichLimit=a pair of two-sided limits+\n");
    EXPECT_EQ(record_text([](ListRecord& r) { r.text("Error in inputs"); }), " Error in inputs\n");
    // An integer item after a text keeps its own blank and no "+" follows a status line.
    EXPECT_EQ(record_text([](ListRecord& r) {
                  r.text("Error reading inputs, error number ").integer(-1);
              }),
              " Error reading inputs, error number  -1\n");
}

// The echo of a record's eleven items after a read error.
void echo(ListRecord& r, int which, double a, double l, double s, double n, double m, double g,
          int iterations, double top, double tol, double rtol) {
    r.integer(which).real(a).real(l).real(s).real(n).real(m).real(g);
    r.integer(iterations).real(top).real(tol).real(rtol);
}

TEST(ListOutput, EchoOfElevenItemsFitsOneLine) {
    std::ostringstream out;
    {
        ListRecord r(out);
        echo(r, 1, 0.95, 0.5, 1.2, 20.0, 3.1, 21.0, 200, 800.0, static_cast<double>(1.0e-8F), -1.0);
    }
    EXPECT_EQ(out.str(), " 1  0.95  0.5  1.2  20.  3.1  21. 200  800.  9.99999994E-09 -1.\n");
    std::ostringstream empty;
    {
        ListRecord r(empty);
        echo(r, 0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 200, 800.0, static_cast<double>(1.0e-8F), -1.0);
    }
    EXPECT_EQ(empty.str(), " 0  0.  0.  0.  0.  0.  0. 200  800.  9.99999994E-09 -1.\n");
}

TEST(ListOutput, ItemThatWouldReachColumn80StartsNewLine) {
    // Each double item in exponent form is 16 characters: after " 3" and four of them the
    // line holds 66, so the fifth would end at 82 and starts the second line.
    std::ostringstream out;
    {
        ListRecord r(out);
        echo(r, 3, 1.23456789e-5, -1.23456789e-6, 1.23456789e20, -1.23456789e-20, 1.23456789e30,
             1.23456789e-30, 200, 1.23456789e10, 1.23456789e-9, -1.23456789e-9);
    }
    EXPECT_EQ(out.str(), " 3  1.23456789E-05 -1.23456789E-06  1.23456789E+20 -1.23456789E-20\n"
                         "  1.23456789E+30  1.23456789E-30 200  1.23456789E+10  1.23456789E-09\n"
                         " -1.23456789E-09\n");
}

TEST(ListOutput, WidthTestBoundaries) {
    // A line of 63 characters: a 16-character double brings it to 79 and stays; the next
    // item would reach 80 and moves.
    const std::string key(62, 'k'); // with its leading blank, 63 columns
    std::ostringstream fits;
    {
        ListRecord r(fits);
        r.text(key).real(1.23456789e-9);
    }
    EXPECT_EQ(fits.str(), " " + key + "  1.23456789E-09\n");
    std::ostringstream moves;
    {
        ListRecord r(moves);
        r.text(key + "k").real(1.23456789e-9);
    }
    EXPECT_EQ(moves.str(), " " + key + "k\n  1.23456789E-09\n");

    // Integers count only their digits: 76 columns plus 3 digits is 79 and stays, 4 digits
    // reach 80 and move; the sign is not counted.
    const std::string line(75, 'i'); // 76 columns
    std::ostringstream three;
    {
        ListRecord r(three);
        r.text(line).integer(-123);
    }
    EXPECT_EQ(three.str(), " " + line + " -123\n");
    std::ostringstream four;
    {
        ListRecord r(four);
        r.text(line).integer(1234);
    }
    EXPECT_EQ(four.str(), " " + line + "\n 1234\n");

    // Text counts its own length; a text moved to a new line gets its leading blank there.
    std::ostringstream text;
    {
        ListRecord r(text);
        r.text(std::string(78, 'a')).text("+");
    }
    EXPECT_EQ(text.str(), " " + std::string(78, 'a') + "\n +\n");
}

TEST(ListOutput, LongTextStartingARecordStaysOnOneLine) {
    const std::string message(320, 'm');
    std::ostringstream out;
    {
        ListRecord r(out);
        r.text(message);
    }
    EXPECT_EQ(out.str().size(), 322U); // 321 characters and the line end
    EXPECT_EQ(out.str(), " " + message + "\n");

    // Whatever follows such a line starts a new one.
    std::ostringstream more;
    {
        ListRecord r(more);
        r.text(message).real(1.0).integer(5);
    }
    EXPECT_EQ(more.str(), " " + message + "\n  1. 5\n");
}

TEST(ListOutput, EveryRecordEndsWithALineEnd) {
    std::ostringstream out;
    {
        ListRecord r(out);
        r.text("a").end();
        r.text("b"); // a new record on the same writer
    }
    EXPECT_EQ(out.str(), " a\n b\n");
}

struct FixedCase {
    double value;
    int w;
    int d;
    const char* expected;
};

TEST(FixedFormat, EditsAsTheValidationMessageShowsThem) {
    const FixedCase cases[] = {
        {1.5, 8, 5, " 1.50000"},
        {0.0, 8, 5, " 0.00000"},
        {1.0, 8, 5, " 1.00000"},
        {-0.25, 8, 5, "-0.25000"},
        {0.5, 8, 5, " 0.50000"},
        {100.0, 8, 5, "********"},
        {20.0, 12, 2, "       20.00"},
        {0.099, 12, 2, "        0.10"},
        {1.7, 12, 0, "          2."},
        {1500.0, 12, 0, "       1500."},
        {1.0, 12, 0, "          1."},
        {1000.0, 12, 1, "      1000.0"},
        {800.05, 12, 1, "       800.0"}, // 800.05 is stored just below the tie
        // A rounded zero loses its minus sign.
        {-0.000001, 8, 5, " 0.00000"},
        {-0.4, 12, 0, "          0."},
        {-0.5, 12, 0, "         -1."},
        // Ties of exactly representable values round away from zero.
        {0.125, 5, 2, " 0.13"},
        {2.5, 12, 0, "          3."},
        {-2.5, 12, 0, "         -3."},
        {1000.5, 12, 0, "       1001."},
        {800.25, 12, 1, "       800.3"},
        // Carry into a new leading digit.
        {9.9999999, 8, 5, "10.00000"},
        {99.999999, 8, 5, "********"},
        // The zero before the point goes only when that makes the text fit.
        {-0.5, 7, 5, "-.50000"},
        {0.5, 6, 5, ".50000"},
        {-0.5, 6, 5, "******"},
        {-12.34567, 8, 5, "********"},
        {-1.0e300, 12, 2, "************"},
        {1.0e-300, 8, 5, " 0.00000"},
        {0.5, 12, 0, "          1."},
        {0.49999999999999994, 12, 0, "          0."},
        {-0.0, 8, 5, " 0.00000"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.value << " F" << c.w << "." << c.d);
        EXPECT_EQ(format_fixed(c.value, c.w, c.d), c.expected);
    }
}

TEST(FixedFormat, NonFiniteValues) {
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(format_fixed(inf, 12, 2), "    Infinity");
    EXPECT_EQ(format_fixed(-inf, 8, 5), "********");
    EXPECT_EQ(format_fixed(std::nan(""), 8, 5), "     NaN");
}

} // namespace
} // namespace lvlim
