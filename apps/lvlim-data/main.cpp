// lvlim-data: exact confidence limits for the mean of a lognormal population, straight from the
// measurements, beside the usual estimates of that mean; and the assessment of the sample
// against a limit value: the fit of the lognormal model, the geometric statistics, a percentile
// and the fraction above the limit with their exact limits, the p-values and the verdicts.
//
// The measurements are read line by line (a double each is kept, for the W test); everything
// comes from the public API, lvlim::assess, at each confidence level asked for.
//
// Exit status: 0 success; 1 an error in the data, the file, the supported range or the
// confidence, or standard output that cannot be written; 2 a usage error; 3 the results are
// written but at least one search did not converge (marked in the output).
#include <algorithm>
#include <cerrno>
#include <charconv>
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
#include "lvlim/assessment.hpp"
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
estimates of that mean; the W test of the lognormal model, the geometric mean
and standard deviation, and exact limits of a percentile. With a limit value:
the fraction above it, the p-values of the tests that the mean and the
percentile are at least that value, and a verdict at each confidence level.
Reads FILE, or standard input when FILE is absent or -.

  -c, --confidence=P[,P...]  confidence levels, each strictly between 0 and 1
                             (default 0.95); one result per level
      --percentile=P         the percentile assessed, strictly between 0 and 1
                             (default 0.95, the 95th percentile)
      --limit=L              a limit value above 0, in the units of the data:
                             adds the exceedance, the p-values and the verdicts
      --upper                one-sided upper limits
      --lower                one-sided lower limits
      --two-sided            two-sided limits (the default); those of the
                             percentile and the exceedance are equal-tailed,
                             each end the one-sided limit at (1 + level) / 2;
                             p-values and verdicts are one-sided at the level
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

Non-detects ("<0.05", "ND", "n.d.", "<LOD", "BDL") are refused, since
censored data need other methods. The method assumes a lognormal population
and independent measurements. The W test is computed for 3 to 5000
measurements.

Supported range: 3 to 100001 measurements, a standard deviation of the logs
from 0.001 to 10.

CSV and JSON fields: n, log_mean, log_sd, nu, gammasquared, confidence, kind,
mvue, sample_mean, plug_in, k_lower, k_upper, log_lower, log_upper,
mean_lower, mean_upper, status, messages, gm, gsd, shapiro_wilk_w,
shapiro_wilk_p, percentile, percentile_estimate, percentile_lower,
percentile_upper, limit, exceedance, exceedance_lower, exceedance_upper,
mean_p_value, percentile_p_value, mean_verdict, percentile_verdict
(below, above or undecided), assessment_status, assessment_messages (what
failed in the assessment, joined by ' | ' in CSV), mean_p_value_bounded (true
when mean_p_value is only the bound 1e-6 or 1 - 1e-6 of its search). A field
that does not apply is empty in CSV and null in JSON.

Exit status: 0 success; 1 an error in the data (a non-detect among them), the
file, the range or the confidence, or output that cannot be written; 2 a usage
error (a percentile or limit value that is not a number in its range among
them); 3 results written, but a search did not converge (marked 'search
failed').
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

// A number of an option: the whole text a finite double; nullopt otherwise.
std::optional<double> parse_number(const std::string& text) {
    double value = 0.0;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc{} || ptr != text.data() + text.size() ||
        !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

int usage_error(const std::string& message) {
    std::cerr << program_name << ": " << message << '\n'
              << "Try '" << program_name << " --help' for more information.\n";
    return exit_usage;
}

int run(int argc, char** argv) {
    CLI::App app("lvlim-data", std::string(program_name));
    app.set_help_flag("--help");
    bool version = false;
    std::string confidence_text = "0.95";
    std::string format_name = "text";
    std::string column;
    std::string separator_name;
    std::string percentile_text = "0.95";
    std::string limit_text;
    std::string file = "-";
    app.add_flag("--version", version);
    app.add_option("-c,--confidence", confidence_text)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app.add_option("--percentile", percentile_text)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    CLI::Option* limit_option = app.add_option("--limit", limit_text)
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
    // The percentile and the limit value are checked before anything is read or written.
    lvlim::AssessmentOptions assessment;
    assessment.kind = kind;
    const std::optional<double> percentile = parse_number(percentile_text);
    if (!percentile || !(*percentile > 0.0 && *percentile < 1.0)) {
        return usage_error("invalid percentile '" + percentile_text +
                           "': the percentile is a probability strictly between 0 and 1, such "
                           "as 0.95 for the 95th percentile");
    }
    assessment.percentile = *percentile;
    if (*limit_option) {
        const std::optional<double> limit = parse_number(limit_text);
        if (!limit || !(*limit > 0.0)) {
            return usage_error("invalid limit value '" + limit_text +
                               "': the limit value is a number above 0, in the units of the "
                               "data");
        }
        assessment.limit = *limit;
    }
    const lvlim::data::Format format = format_name == "csv"    ? lvlim::data::Format::csv
                                       : format_name == "json" ? lvlim::data::Format::json
                                                               : lvlim::data::Format::text;
    lvlim::data::ReadOptions read_options;
    std::vector<double> values;
    read_options.values = &values;
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
    lvlim::data::Results results{source, "", {}, {}};
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
            assessment.confidence = level;
            results.rows.push_back(lvlim::assess(values, assessment));
            // The report names the one-sided limits at the level beside each verdict.
            if (format == lvlim::data::Format::text && assessment.limit) {
                lvlim::data::OneSided sides;
                for (const lvlim::Kind side : {lvlim::Kind::upper, lvlim::Kind::lower}) {
                    lvlim::AssessmentOptions one = assessment;
                    one.kind = side;
                    const lvlim::Assessment a =
                        side == kind ? results.rows.back() : lvlim::assess(values, one);
                    if (side == lvlim::Kind::upper) {
                        sides.mean_upper = a.mean.mean_upper;
                        sides.percentile_upper = a.percentile_upper;
                    } else {
                        sides.mean_lower = a.mean.mean_lower;
                        sides.percentile_lower = a.percentile_lower;
                    }
                }
                results.one_sided.push_back(sides);
            }
        }
    } catch (const lvlim::data::DataError& error) {
        return fail(error.what());
    } catch (const std::invalid_argument& error) {
        return fail(source + ": " + error.what());
    }

    bool failed = false;
    for (const lvlim::Assessment& row : results.rows) {
        failed = failed || row.status != lvlim::Status::ok;
        if (format != lvlim::data::Format::text) {
            continue;
        }
        // What the searches of the mean reported, then what else failed (the report itself
        // says why the W test was not computed). The assessment's own line on the mean is
        // left out when the mean's searches said why.
        std::vector<std::string> messages = row.mean.limits.messages;
        if (row.status != lvlim::Status::ok) {
            for (const std::string& message : row.messages) {
                const bool of_the_mean = !messages.empty() && message.starts_with("mean: ");
                if (message != row.fit_message && !of_the_mean) {
                    messages.push_back(message);
                }
            }
        }
        for (const std::string& message : messages) {
            std::cerr << program_name << ": confidence "
                      << lvlim::number_text::shortest(row.mean.limits.confidence) << ": " << message
                      << '\n';
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
