// lvlim-table's command line, in process: what each option stores, the words of a usage error,
// and the range checks, which are the public API's with the values named as the options are.
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "apps/lvlim-table/options.hpp"
#include "tests/process.hpp"

namespace lvlim::table {
namespace {

// The options of a command line written with blanks; fails the test on a usage error.
Options parsed(const std::string& line) {
    Options options;
    const auto error = parse_options(test::words(line), options);
    EXPECT_FALSE(error) << line << ": " << *error;
    return options;
}

std::string usage_error(const std::string& line) {
    Options options;
    return parse_options(test::words(line), options).value_or("");
}

TEST(TableOptions, EachOptionStoresItsValue) {
    const Options defaults = parsed("");
    EXPECT_EQ(defaults.kind, Kind::upper);
    EXPECT_EQ(defaults.controls.max_iterations, Controls{}.max_iterations);
    EXPECT_EQ(defaults.controls.tolerance, Controls{}.tolerance);
    EXPECT_FALSE(defaults.data_scale);

    const Options o = parsed("-k two-sided -a0.9 -a 0.8,0.99 -s 1:2:3 --nu=2,40.5 -f text -j7 "
                             "--lambda -0.25 --gammasquared=nu+3 --max-cells=12 "
                             "--max-iterations=50 --bessel-arg-top=500 --tolerance=1e-10 "
                             "--result-tol=1e-9 --mu=-2.5");
    EXPECT_EQ(o.kind, Kind::two_sided);
    EXPECT_EQ(o.alphas, (std::vector<double>{0.8, 0.99})) << "the last of a repeated option";
    EXPECT_EQ(o.sigmas, (std::vector<double>{1, 1.5, 2}));
    EXPECT_EQ(o.nus, (std::vector<double>{2, 40.5}));
    EXPECT_FALSE(o.ns);
    EXPECT_EQ(o.format, Format::text);
    EXPECT_EQ(o.threads, 7U);
    EXPECT_EQ(o.lambda, -0.25);
    EXPECT_EQ(o.gamma_offset, 3.0);
    EXPECT_EQ(gammasquared_for(o, 40.5), 43.5);
    EXPECT_EQ(o.max_cells, 12U);
    EXPECT_EQ(o.controls.max_iterations, 50);
    EXPECT_EQ(o.controls.bessel_arg_top, 500.0);
    EXPECT_EQ(o.controls.tolerance, 1e-10);
    EXPECT_EQ(o.controls.result_tol, 1e-9);
    EXPECT_FALSE(o.controls.refine);
    EXPECT_EQ(o.mu, -2.5);
    EXPECT_TRUE(o.data_scale) << "--mu brings the data scale";

    const Options fixed = parsed("--gammasquared=7 --n=4.1,21 -d");
    EXPECT_FALSE(fixed.gamma_offset);
    EXPECT_EQ(gammasquared_for(fixed, 20.0), 7.0);
    EXPECT_EQ(fixed.ns, (std::vector<double>{4.1, 21}));
    EXPECT_EQ(fixed.nus, (std::vector<double>{3.1, 20})) << "nu = n - 1, as the decimal";
    EXPECT_TRUE(fixed.data_scale);
    EXPECT_TRUE(parsed("--help").help);
    EXPECT_TRUE(parsed("--version").version);
}

TEST(TableOptions, UsageErrorsNameTheOptionAndWhatItTakes) {
    EXPECT_EQ(usage_error("--format=xml"),
              "invalid value for --format: 'xml' (expected csv or text)");
    EXPECT_EQ(usage_error("--gammasquared=nu-1"),
              "invalid value for --gammasquared: 'nu-1' (expected nu+C or a number)");
    EXPECT_EQ(usage_error("-j 1025"), "invalid value for --threads: '1025' (expected a whole "
                                      "number from 0, every core, to 1024)");
    EXPECT_EQ(usage_error("--max-cells=0"),
              "invalid value for --max-cells: '0' (expected a whole number of at least 1)");
    EXPECT_EQ(usage_error("--mu=nan"), "invalid value for --mu: 'nan' (expected a finite number)");
    EXPECT_EQ(usage_error("-s"), "option --sigma needs a value");
    EXPECT_EQ(usage_error("-s 1 extra"), "unrecognized argument 'extra'");
    EXPECT_EQ(usage_error("-h"), "unrecognized argument '-h'");
    EXPECT_EQ(usage_error("--n=4 --n=5"), "give the nu axis once, with --nu or --n");
    EXPECT_NE(usage_error("-d=1"), "");
}

TEST(TableOptions, RangesAreCheckedWithTheApiNamedAsTheOptions) {
    EXPECT_EQ(validate(parsed("")), std::nullopt);
    EXPECT_EQ(validate(parsed("-s 0.001,10 -n 2,100000 -a 1e-9,0.999999 --bessel-arg-top=800")),
              std::nullopt);
    // One problem of each kind, the first value refused on each axis.
    EXPECT_EQ(validate(parsed("-a 0.5,0,1 -s 1,20,30 -n 2,1.5 --lambda=0 --bessel-arg-top=900")),
              "alpha = 0 is outside (0, 1): it must lie strictly between 0 and 1; "
              "sigma = 20 is outside the supported range [0.001, 10]; "
              "nu = 1.5 is outside the supported range [2, 100000]; "
              "lambda = 0 is outside the finite non-zero numbers; "
              "bessel-arg-top = 900 is outside its range: a finite number of at most 800");
    EXPECT_EQ(validate(parsed("--gammasquared=nu+-3 -n 2,5")),
              "gammasquared = -1 is outside the finite positive numbers");
    // Sample sizes may be fractional; their range is the API's.
    EXPECT_EQ(validate(parsed("--n=3,100001,4.5")), std::nullopt);
    EXPECT_EQ(validate(parsed("--n=2.9")), "n = 2.9 is outside the supported range [3, 100001]");
    EXPECT_EQ(validate(parsed("--n=100001.5")),
              "n = 100001.5 is outside the supported range [3, 100001]");
}

TEST(TableOptions, CellCountSaturates) {
    Options options;
    options.alphas.assign(3, 0.9);
    options.sigmas.assign(5, 1.0);
    options.nus.assign(7, 2.0);
    EXPECT_EQ(cell_count(options), 105U);
    // 2^22 values per axis make 2^66 cells, more than 64 bits hold.
    options.alphas.assign(std::size_t{1} << 22, 0.9);
    options.sigmas.assign(std::size_t{1} << 22, 1.0);
    options.nus.assign(std::size_t{1} << 22, 2.0);
    EXPECT_EQ(cell_count(options), std::numeric_limits<std::uint64_t>::max());
}

} // namespace
} // namespace lvlim::table
