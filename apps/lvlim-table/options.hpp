// lvlim-table's command line: the options of a table, read with CLI11, and their checks.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "lvlim/lvlim.hpp"

namespace CLI {
class App;
} // namespace CLI

namespace lvlim::table {

enum class Format { csv, text };

// Tables larger than this are refused unless --max-cells allows them.
inline constexpr std::uint64_t default_max_cells = 100000000;
// Above this many cells the table announces its size and the time it will take.
inline constexpr std::uint64_t announce_cells = 1000000;
inline constexpr unsigned max_threads = 1024;

struct Options {
    Kind kind = Kind::upper;
    std::vector<double> alphas = {0.95};
    std::vector<double> sigmas = {0.1, 0.25, 0.5, 0.75, 1.0, 1.5, 2.0, 3.0, 4.0, 5.0, 7.5, 10.0};
    std::vector<double> nus = {2, 3, 4, 5, 6, 8, 10, 15, 20, 30, 50, 100, 200, 500, 1000};
    // The values of --n as given, when the nu axis came from sample sizes (nu = n - 1).
    std::optional<std::vector<double>> ns;
    double lambda = 0.5;
    // gammasquared = nu + gamma_offset when set, otherwise the fixed value.
    std::optional<double> gamma_offset = 1.0;
    double gammasquared = 0.0;
    double mu = 0.0;
    bool data_scale = false; // --mu implies it
    Format format = Format::csv;
    unsigned threads = 0; // 0: every core
    std::uint64_t max_cells = default_max_cells;
    Controls controls{};
    bool help = false;
    bool version = false;
};

// The command line's parser, storing what it reads into `options` (which must outlive it).
// A value that is not of its option's form raises CLI::ValidationError "--NAME: 'TEXT'
// (expected FORM)"; arguments it does not know are left in remaining().
[[nodiscard]] std::unique_ptr<CLI::App> make_app(Options& options);

// Parses the command line (the arguments after the program's name) with make_app; on a usage
// error returns the message to print.
std::optional<std::string> parse_options(const std::vector<std::string>& arguments,
                                         Options& options);

// The text of --help.
[[nodiscard]] const char* usage_text();

// The number of cells, or UINT64_MAX when that does not fit.
[[nodiscard]] std::uint64_t cell_count(const Options& options);

// The gammasquared a cell runs with.
[[nodiscard]] double gammasquared_for(const Options& options, double nu);

// Checks the values with the public API's own checks (lvlim::check_setting), each axis and each
// other value apart; on failure returns what is wrong, a problem of each kind, named as the
// options name them ("alpha = 1 is outside (0, 1)...; lambda = 0 is outside ...").
std::optional<std::string> validate(const Options& options);

} // namespace lvlim::table
