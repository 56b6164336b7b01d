// lvlim-table: tables of standardized confidence limits over ranges of sigma and nu.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "Guts/control.hpp"

namespace lvlim::table {

enum class Kind { upper = 1, lower = 2, two_sided = 3 };
enum class Format { csv, text };

struct Options {
    Kind kind = Kind::upper;
    std::vector<double> alphas = {0.95};
    std::vector<double> sigmas = {0.1, 0.25, 0.5, 0.75, 1.0, 1.5, 2.0, 3.0, 4.0, 5.0, 7.5, 10.0};
    std::vector<double> nus = {2, 3, 4, 5, 6, 8, 10, 15, 20, 30, 50, 100, 200, 500, 1000};
    double lambda = 0.5;
    // gammasquared = nu + gamma_offset when set, otherwise the fixed value.
    std::optional<double> gamma_offset = 1.0;
    double gammasquared = 0.0;
    double mu = 0.0;
    bool data_scale = false;
    Format format = Format::csv;
    unsigned threads = 0; // 0: every core
    ControlParms control{};
    bool help = false;
    bool version = false;
};

// Parses the command line; on a usage error returns the message to print.
std::optional<std::string> parse_options(const std::vector<std::string>& arguments,
                                         Options& options);

// The text of --help.
[[nodiscard]] const char* usage_text();

// A list "a,b,c" or a range "from:to:count" (evenly spaced) or "from:to:count:log"
// (logarithmically spaced). Empty when the text is neither.
std::optional<std::vector<double>> parse_values(const std::string& text);

// The result of one cell, exactly as the engine returned it.
struct Cell {
    double alpha = 0.0;
    double sigma = 0.0;
    double nu = 0.0;
    double k = 0.0;       // one-sided, or the lower of a pair
    double k_upper = 0.0; // two-sided only
    double limit = 0.0;
    double limit_upper = 0.0;
    int iterations = 0;
    int iterations_upper = 0;
    std::string messages; // what the cell's searches wrote
};

// Every cell, in the order alpha, sigma, nu (nu fastest), computed on `threads` threads.
// `progress` is called now and then from the calling thread with the cells done so far.
std::vector<Cell> compute(const Options& options, unsigned threads,
                          void (*progress)(std::size_t done, std::size_t total) = nullptr);

// The gammasquared a cell runs with.
[[nodiscard]] double gammasquared_for(const Options& options, double nu);

// Checks every combination as lvlim would; on failure returns the offending values.
std::optional<std::string> validate(const Options& options);

void write_csv(std::ostream& out, const Options& options, const std::vector<Cell>& cells);
void write_text(std::ostream& out, const Options& options, const std::vector<Cell>& cells);

// A double as lvlim prints it, without the leading blank and sign position ("2.84838639").
[[nodiscard]] std::string value_text(double value);

} // namespace lvlim::table
