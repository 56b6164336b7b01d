#include "apps/lvlim-plan/options.hpp"

#include <charconv>
#include <cmath>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <vector>

#include <CLI/CLI.hpp>

namespace lvlim::plan {

namespace {

constexpr std::string_view usage_text =
    R"(Usage: lvlim-plan --gsd=G|--log-sd=S [--ratio=R] [OPTION]...
The number of measurements a study needs: the smallest n whose exact one-sided
upper limit of a lognormal mean (or percentile) comes out below a limit value
with the target probability (the power), or whose upper limit of the mean is
expected to exceed the true mean by at most a given factor.

  --gsd=G                 the geometric standard deviation expected, above 1
  --log-sd=S              or the standard deviation of the logs, ln(GSD)
  --ratio=R               the true mean (or percentile) over the limit value,
                          above 0; needed for the power
  --statistic=STAT        mean (the default) or percentile
  --percentile=P          the percentile's probability (default 0.95), with
                          --statistic=percentile
  --confidence=C          the confidence level of the upper limit (default 0.95)
  --power=T               the target power, strictly between 0 and 1
                          (default 0.8)
  --expected-ratio=Q      or the target expected ratio of the mean's upper
                          limit to the true mean, above 1
  --n=FROM:TO             the sample sizes searched (default 3:1000);
                          --n=N:N computes the one row for N
  --format=FORMAT         text (a report, 6 significant digits, the default),
                          csv (the rows) or json (one object), full precision
  --help                  show this help and exit
  --version               show the version and exit

The search evaluates a grid of n over the range (every n of a range of up to 16
values, otherwise 16 values spaced evenly on the log scale) and bisects between
the last grid value short of the target and the first that reaches it. The rows
are every n evaluated, with the quantity searched; --n=N:N gives both. The
curve is checked monotone on these n: a value out of order beyond the error
bounds is reported.

Text and CSV rows are written as they are computed, each flushed at once, in
the order computed (the grid, then the bisection): sort by n for the curve in
order. The text report ends with the sample size. JSON is one object written
when the search is done, its rows in increasing n. On a terminal, a progress
line on standard error shows the n computed.

Supported range: a log sd from 0.001 to 10 (a GSD from exp(0.001), about
1.0010005, to exp(10), about 22026), n from 3 to 100001.

CSV columns and JSON row fields: n, power, expected_ratio, status. JSON:
{"sample_size": N or null, "achieved": value or null, "rows": [...]}.

Exit status: 0 success; 1 output that cannot be written; 2 a usage error or a
value out of its range; 3 written, but a value not computed reliably (marked
'search failed').
)";

// FROM:TO, both whole numbers.
std::optional<std::pair<std::size_t, std::size_t>> parse_range(const std::string& text) {
    const std::size_t colon = text.find(':');
    if (colon == std::string::npos) {
        return std::nullopt;
    }
    const auto whole = [](std::string_view item) -> std::optional<std::size_t> {
        std::size_t value = 0;
        const auto [ptr, ec] = std::from_chars(item.data(), item.data() + item.size(), value);
        if (item.empty() || ec != std::errc{} || ptr != item.data() + item.size()) {
            return std::nullopt;
        }
        return value;
    };
    const std::string_view all(text);
    const auto from = whole(all.substr(0, colon));
    const auto to = whole(all.substr(colon + 1));
    if (!from || !to) {
        return std::nullopt;
    }
    return std::pair{*from, *to};
}

} // namespace

Parsed parse_command_line(int argc, const char* const* argv) {
    CLI::App app("lvlim-plan", "lvlim-plan");
    app.set_help_flag("--help");
    bool version = false;
    double gsd = 0.0;
    double log_sd = 0.0;
    double ratio = 0.0;
    std::string statistic = "mean";
    Options options;
    std::string range = "3:1000";
    std::string format = "text";
    double power_target = 0.8;
    double ratio_target = 0.0;
    app.add_flag("--version", version);
    CLI::Option* gsd_option = app.add_option("--gsd", gsd);
    CLI::Option* log_sd_option = app.add_option("--log-sd", log_sd);
    gsd_option->excludes(log_sd_option);
    CLI::Option* ratio_option = app.add_option("--ratio", ratio);
    app.add_option("--statistic", statistic)->check(CLI::IsMember({"mean", "percentile"}));
    CLI::Option* percentile_option = app.add_option("--percentile", options.setting.percentile);
    app.add_option("--confidence", options.setting.confidence);
    CLI::Option* power_option = app.add_option("--power", power_target);
    CLI::Option* expected_option = app.add_option("--expected-ratio", ratio_target);
    power_option->excludes(expected_option);
    app.add_option("--n", range);
    app.add_option("--format", format)->check(CLI::IsMember({"text", "csv", "json"}));
    for (CLI::Option* option : app.get_options()) {
        option->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        return Help{std::string(usage_text)};
    } catch (const CLI::ParseError& error) {
        return UsageError{error.what()};
    }
    if (version) {
        return Help{std::string("lvlim-plan ") + LVLIM_VERSION + "\n"};
    }
    try {
        if (*gsd_option) {
            options.setting.log_sd = log_sd_from_gsd(gsd);
        } else if (*log_sd_option) {
            options.setting.log_sd = log_sd;
        } else {
            return UsageError{"--gsd or --log-sd is required"};
        }
        if (*ratio_option) {
            options.setting.ratio = ratio;
        }
        options.setting.statistic = statistic_from_string(statistic);
        // Left unused, a percentile would plan for the mean while the user asked of a percentile.
        if (*percentile_option && options.setting.statistic != Statistic::percentile) {
            return UsageError{"--percentile is the percentile's probability with "
                              "--statistic=percentile; the mean has none"};
        }
        options.target = *expected_option ? Target{Goal::expected_ratio, ratio_target}
                                          : Target{Goal::power, power_target};
        if (options.target.goal == Goal::power && !options.setting.ratio) {
            return UsageError{"--ratio is required for a target power (or give --expected-ratio)"};
        }
        const auto n = parse_range(range);
        if (!n) {
            return UsageError{"--n must be FROM:TO, two whole numbers, not '" + range + "'"};
        }
        options.n_from = n->first;
        options.n_to = n->second;
        options.format = format == "csv" ? Format::csv : format == "json" ? Format::json : Format::text;
        // Every range the search checks, before anything is computed.
        check_search(options.setting, options.target, options.n_from, options.n_to);
    } catch (const std::invalid_argument& error) {
        return UsageError{error.what()};
    }
    return options;
}

} // namespace lvlim::plan
