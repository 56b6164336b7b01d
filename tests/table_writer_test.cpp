// lvlim-table's writer, in process, on made-up cells: the CSV columns of each kind, and the text
// layout's blocks, their order, their marks and legends, whole or cut short.
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "apps/lvlim-table/writer.hpp"
#include "tests/process.hpp"

namespace lvlim::table {
namespace {

Cell made_up(double sigma, double nu, double k, bool failed = false) {
    Cell cell;
    cell.alpha = 0.95;
    cell.sigma = sigma;
    cell.nu = nu;
    cell.k = k;
    cell.k_upper = k + 1.0;
    cell.limit = k + 10.0;
    cell.limit_upper = k + 11.0;
    cell.iterations = 7;
    cell.iterations_upper = 9;
    cell.failed = failed;
    return cell;
}

TEST(TableWriter, CsvHasTheColumnsOfItsKind) {
    Options options;
    options.mu = 0.25;
    struct Case {
        Kind kind;
        bool data_scale;
        const char* expected;
    };
    const Case cases[] = {
        {Kind::upper, false,
         "alpha,sigma,nu,lambda,gammasquared,k,iterations,status\n"
         "0.95,0.5,20,0.5,21,2.5,7,ok\n0.95,0.5,30,0.5,31,-1.25E-07,7,search failed\n"},
        {Kind::lower, true,
         "alpha,sigma,nu,lambda,gammasquared,k,iterations,mu,limit,status\n"
         "0.95,0.5,20,0.5,21,2.5,7,0.25,12.5,ok\n"
         "0.95,0.5,30,0.5,31,-1.25E-07,7,0.25,9.99999988,search failed\n"},
        {Kind::two_sided, true,
         "alpha,sigma,nu,lambda,gammasquared,k_lower,k_upper,iterations_lower,iterations_upper,"
         "mu,lower_limit,upper_limit,status\n"
         "0.95,0.5,20,0.5,21,2.5,3.5,7,9,0.25,12.5,13.5,ok\n"
         "0.95,0.5,30,0.5,31,-1.25E-07,0.999999875,7,9,0.25,9.99999988,10.9999999,search failed\n"},
    };
    for (const Case& c : cases) {
        options.kind = c.kind;
        options.data_scale = c.data_scale;
        std::ostringstream out;
        Writer writer(out, options);
        writer.cell(made_up(0.5, 20, 2.5));
        writer.cell(made_up(0.5, 30, -1.25e-7, true));
        EXPECT_EQ(out.str(), c.expected);
    }
}

TEST(TableWriter, TextBlocksFollowTheirLevelWithMarksAndLegend) {
    Options options;
    options.format = Format::text;
    options.data_scale = true;
    options.alphas = {0.9, 0.95};
    options.sigmas = {0.5, 1};
    options.nus = {2, 3};
    std::ostringstream out;
    Writer writer(out, options);
    writer.cell(made_up(0.5, 2, 1.0));
    writer.cell(made_up(0.5, 3, 2.0, true));
    // The first block's row is out at once; the second block is held back.
    const auto first_row = test::lines_of(out.str());
    ASSERT_EQ(first_row.size(), 3U) << out.str();
    EXPECT_EQ(first_row[0], "k, one-sided upper limit, alpha = 0.9, lambda = 0.5, "
                            "gammasquared = nu + 1, mu = 0");
    writer.cell(made_up(1, 2, 3.0));
    writer.cell(made_up(1, 3, 4.0));
    const auto level = test::lines_of(out.str());
    // Block 1: title, labels, two rows, legend; a blank line; block 2 the same.
    ASSERT_EQ(level.size(), 11U) << out.str();
    EXPECT_EQ(level[2].find(" *"), level[2].rfind(" *")) << "one mark: " << level[2];
    EXPECT_NE(level[2].find("*2"), std::string::npos) << level[2];
    EXPECT_EQ(level[4].rfind("* search failed", 0), 0U);
    EXPECT_EQ(level[5], "");
    EXPECT_EQ(level[6].rfind("limit for mu + lambda*sigma^2, alpha = 0.9,", 0), 0U);
    EXPECT_NE(level[8].find("*12"), std::string::npos) << level[8];
    EXPECT_EQ(level[10], level[4]);
    for (const int row : {2, 3, 8, 9}) {
        const std::string& line = level[static_cast<std::size_t>(row)];
        EXPECT_EQ(line.size(), level[1].size()) << "aligned: " << line;
    }

    // The next level, cut short after a row with a mark: only its first block, then the legend.
    writer.cell(made_up(0.5, 2, 5.0, true));
    writer.cell(made_up(0.5, 3, 6.0));
    writer.finish();
    const auto cut = test::lines_of(out.str());
    ASSERT_EQ(cut.size(), 16U) << out.str();
    EXPECT_EQ(cut[12].rfind("k, one-sided upper limit, alpha = 0.95,", 0), 0U);
    EXPECT_EQ(cut[15].rfind("* search failed", 0), 0U);
}

TEST(TableWriter, ALevelCutShortWithoutMarksGetsNoLegend) {
    Options options;
    options.format = Format::text;
    options.sigmas = {0.5, 1};
    options.nus = {2};
    std::ostringstream out;
    Writer writer(out, options);
    writer.cell(made_up(0.5, 2, 1.0));
    writer.finish();
    EXPECT_EQ(out.str().find('*'), std::string::npos) << out.str();
    EXPECT_EQ(test::lines_of(out.str()).size(), 3U);
}

} // namespace
} // namespace lvlim::table
