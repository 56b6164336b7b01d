// lvlim-data: exact confidence limits for the mean of a lognormal population, straight from the
// measurements, beside the usual estimates of that mean.
//
// The measurements are read line by line and summarised as they come (constant memory); the
// limits come from the public API, lvlim::lognormal_mean, at each confidence level asked for.
//
// Exit status: 0 success; 1 an error in the data, the file, the supported range or the
// confidence, or standard output that cannot be written; 2 a usage error; 3 the results are
// written but at least one search did not converge (marked in the output).
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "measurements/data_reader.hpp"
#include "apps/lvlim-data/report.hpp"
#include "common/number_text.hpp"
#include "common/standard_output.hpp"
#include "measurements/confidence_list.hpp"
#include "lvlim/lvlim.hpp"

#ifndef LVLIM_VERSION
#error "LVLIM_VERSION must give the program's version"
#endif

namespace {

constexpr std::string_view program_name = "lvlim-data";

constexpr int exit_ok = 0;
constexpr int exit_error = 1;
constexpr int exit_usage = 2;
constexpr int exit_search_failed = 3;

constexpr std::string_view usage_text =
    R"(Usage: lvlim-data [OPTION]... [FILE]
Exact confidence limits for the mean of a lognormal population from its
measurements, with the minimum-variance unbiased, the sample and the plug-in
estimates of that mean. Reads FILE, or standard input when FILE is absent or -.

  -c, --confidence=P[,P...]  confidence levels, each strictly between 0 and 1
                             (default 0.95); one result per level
      --upper                one-sided upper limits
      --lower                one-sided lower limits
      --two-sided            two-sided limits (the default)
      --format=FORMAT        text (a report, 6 significant digits, the default),
                             csv or json (full precision)
      --column=NAME|N        read the column named NAME in the header, or the
                             N-th column (from 1), of a CSV or TSV table
      --header               the first line is a header
      --no-header            the first line holds data
      --separator=SEP        the table's separator: comma, tab, semicolon or
                             space (default: detected from the first line)
      --help                 show this help and exit
      --version              show the version and exit

Input: one column of a table (CSV, TSV and the like) when there is a header,
--column or --separator, or when the first data line has a tab or a
semicolon; a table of several columns needs --column. Otherwise a plain list:
values separated by blanks or commas (tabs too after the first line), any
number to a line, all pooled (so choose a column of a blank- or
comma-separated table without a header with --column). Blank lines and '#' comments are skipped; CR LF line ends, a UTF-8
byte-order mark and quoted values are read. A header is detected when no item
of the first data line reads as a number. Decimal commas are not read.
Every value must be a finite number above 0.

Supported range: 3 to 100001 measurements, a standard deviation of the logs
from 0.001 to 10.

CSV and JSON fields: n, log_mean, log_sd, nu, gammasquared, confidence, kind,
mvue, sample_mean, plug_in, k_lower, k_upper, log_lower, log_upper,
mean_lower, mean_upper, status, messages.

Exit status: 0 success; 1 an error in the data, the file, the range or the
confidence, or output that cannot be written; 2 a usage error; 3 results
written, but a search did not converge (marked 'search failed').
)";

// Writes to standard output what `write` puts there and flushes it; a failure is reported on
// standard error and turns the exit status into exit_error.
template <class Write> int emit(Write write, int status) {
    write(std::cout);
    if (!lvlim::flush_standard_output(
            std::string(program_name) + ": cannot write to standard output", std::cerr)) {
        return exit_error;
    }
    return status;
}

int fail(const std::string& message) {
    std::cerr << program_name << ": " << message << '\n';
    return exit_error;
}

int run(int argc, char** argv) {
    CLI::App app("lvlim-data", std::string(program_name));
    app.set_help_flag("--help");
    bool version = false;
    std::string confidence_text = "0.95";
    std::string format_name = "text";
    std::string column;
    std::string separator_name;
    std::string file = "-";
    app.add_flag("--version", version);
    app.add_option("-c,--confidence", confidence_text)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    CLI::Option* upper = app.add_flag("--upper")->disable_flag_override();
    CLI::Option* lower = app.add_flag("--lower")->disable_flag_override();
    CLI::Option* two_sided = app.add_flag("--two-sided")->disable_flag_override();
    app.add_option("--format", format_name)
        ->check(CLI::IsMember({"text", "csv", "json"}))
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    CLI::Option* column_option = app.add_option("--column", column);
    CLI::Option* header = app.add_flag("--header")->disable_flag_override();
    CLI::Option* no_header = app.add_flag("--no-header")->disable_flag_override();
    header->excludes(no_header);
    app.add_option("--separator", separator_name)
        ->check(CLI::IsMember({"comma", "tab", "semicolon", "space"}));
    app.add_option("file", file);
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        return emit([](std::ostream& out) { out << usage_text; }, exit_ok);
    } catch (const CLI::ParseError& error) {
        std::cerr << program_name << ": " << error.what() << '\n'
                  << "Try '" << program_name << " --help' for more information.\n";
        return exit_usage;
    }
    if (version) {
        return emit([](std::ostream& out) { out << program_name << ' ' << LVLIM_VERSION << '\n'; },
                    exit_ok);
    }

    // The last of the kind options counts.
    lvlim::Kind kind = lvlim::Kind::two_sided;
    for (const CLI::Option* option : app.parse_order()) {
        kind = option == upper       ? lvlim::Kind::upper
               : option == lower     ? lvlim::Kind::lower
               : option == two_sided ? lvlim::Kind::two_sided
                                     : kind;
    }
    const lvlim::data::ConfidenceList confidences =
        lvlim::data::read_confidence_list(confidence_text, lvlim::data::ListSeparators::commas);
    if (confidences.bad_item) {
        std::cerr << program_name << ": " << lvlim::data::invalid_confidence(*confidences.bad_item)
                  << "\n"
                  << "Try '" << program_name << " --help' for more information.\n";
        return exit_usage;
    }
    const std::vector<double>& levels = confidences.values;
    for (const double level : levels) {
        if (const auto refused = lvlim::data::confidence_refused(level)) {
            return fail(*refused);
        }
    }
    const lvlim::data::Format format = format_name == "csv"    ? lvlim::data::Format::csv
                                       : format_name == "json" ? lvlim::data::Format::json
                                                               : lvlim::data::Format::text;
    lvlim::data::ReadOptions read_options;
    if (*column_option) {
        read_options.column = column;
    }
    if (*header) {
        read_options.header = true;
    } else if (*no_header) {
        read_options.header = false;
    }
    if (!separator_name.empty()) {
        using lvlim::data::Separator;
        read_options.separator = separator_name == "tab"         ? Separator::tab
                                 : separator_name == "semicolon" ? Separator::semicolon
                                 : separator_name == "space"     ? Separator::blanks
                                                                 : Separator::comma;
    }

    const bool standard_input = file == "-";
    const std::string source = standard_input ? "(standard input)" : file;
    std::FILE* stream = standard_input ? stdin : std::fopen(file.c_str(), "rb");
    if (stream == nullptr) {
        return fail("cannot read '" + source + "': " + std::strerror(errno));
    }
    lvlim::data::Results results{source, "", {}};
    try {
        const lvlim::data::Data data = lvlim::data::read_data(stream, source, read_options);
        if (!standard_input) {
            std::fclose(stream);
        }
        results.column = data.column;
        const double log_sd = data.summary.log_sd;
        if (!(log_sd >= lvlim::min_sigma && log_sd <= lvlim::max_sigma)) {
            return fail(source + ": the standard deviation of the logarithms is " +
                        lvlim::number_text::shortest(log_sd) + "; the supported range is " +
                        lvlim::number_text::shortest(lvlim::min_sigma) + " to " +
                        lvlim::number_text::shortest(lvlim::max_sigma));
        }
        for (const double level : levels) {
            results.rows.push_back(lvlim::lognormal_mean(data.summary, kind, level));
        }
    } catch (const lvlim::data::DataError& error) {
        return fail(error.what());
    } catch (const std::invalid_argument& error) {
        return fail(source + ": " + error.what());
    }

    bool failed = false;
    for (const lvlim::LognormalMean& row : results.rows) {
        failed = failed || row.limits.status != lvlim::Status::ok;
        if (format == lvlim::data::Format::text) {
            for (const std::string& message : row.limits.messages) {
                std::cerr << program_name << ": confidence "
                          << lvlim::number_text::shortest(row.limits.confidence) << ": " << message
                          << '\n';
            }
        }
    }
    return emit(
        [&](std::ostream& out) {
            switch (format) {
            case lvlim::data::Format::text:
                lvlim::data::write_text(out, results);
                break;
            case lvlim::data::Format::csv:
                lvlim::data::write_csv(out, results);
                break;
            case lvlim::data::Format::json:
                lvlim::data::write_json(out, results);
                break;
            }
        },
        failed ? exit_search_failed : exit_ok);
}

} // namespace

int main(int argc, char** argv) {
    try {
        return run(argc, argv);
    } catch (const std::exception& error) { // memory exhausted, say
        std::cerr << program_name << ": " << error.what() << '\n';
        return exit_error;
    }
}
