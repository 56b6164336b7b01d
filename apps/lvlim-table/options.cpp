// lvlim-table's command line, read with CLI11: every option stores into Options through a
// callback, after a validator has checked the form of its value; the ranges of the values are
// the public API's to check.
#include "apps/lvlim-table/options.hpp"

#include <functional>
#include <limits>
#include <stdexcept>
#include <utility>

#include <CLI/CLI.hpp>

#include "common/number_text.hpp"
#include "measurements/value_lists.hpp"

namespace lvlim::table {

namespace {

constexpr const char* usage =
    "Usage: lvlim-table [OPTION]...\n"
    "Write a table of standardized confidence limits k for mu + lambda*sigma^2 over ranges of\n"
    "sigma and nu, computed as lvlim computes them.\n"
    "\n"
    "  -k, --kind=KIND          upper (default), lower or two-sided\n"
    "  -a, --alpha=VALUES       confidence levels, strictly between 0 and 1 (default 0.95)\n"
    "  -s, --sigma=VALUES       values of sigma in [0.001, 10]\n"
    "  -n, --nu=VALUES          degrees of freedom in [2, 100000]\n"
    "      --n=VALUES           sample sizes n in [3, 100001] instead of nu: nu = n - 1\n"
    "      --lambda=X           coefficient of sigma^2, not 0 (default 0.5)\n"
    "      --gammasquared=RULE  nu+C (default nu+1) or a fixed number, positive\n"
    "      --mu=X               sample mean for the limits on the data scale (default 0);\n"
    "                           implies --data-scale\n"
    "  -d, --data-scale         also write the limits for mu + lambda*sigma^2\n"
    "  -f, --format=FORMAT      csv (default) or text (sigma down the side, nu across)\n"
    "  -j, --threads=N          worker threads, 1 to 1024; 0 (default) for every core\n"
    "      --max-cells=N        refuse tables of more than N cells (default 100000000)\n"
    "      --max-iterations=N   MaximumIterations (default 200)\n"
    "      --bessel-arg-top=X   BesselArgTop, at most 800 (default 800)\n"
    "      --tolerance=X        Tolerance (default 9.99999993922529e-09)\n"
    "      --result-tol=X       ResultTol (default -1)\n"
    "      --help               show this help and exit\n"
    "      --version            show the version and exit\n"
    "\n"
    "VALUES is a list a,b,c or a range FROM:TO:COUNT, evenly spaced, or FROM:TO:COUNT:log,\n"
    "spaced evenly in the logarithm (positive ends); COUNT is 1 to 100000, and 1 gives FROM.\n"
    "A range's ends are FROM and TO exactly, and its values print as typed: decimal steps are\n"
    "the decimals themselves, and a log value computed as a power of ten (or a nu computed as\n"
    "n - 1) becomes the decimal of at most 12 significant digits within 4 units in the last\n"
    "place of it, when there is one (0.001:10:5:log is 0.001, 0.01, 0.1, 1, 10).\n"
    "The defaults give the lognormal setting: lambda 0.5 and gammasquared nu + 1 = n. There the\n"
    "one-sided k is the factor in limit = ybar + s^2/2 + k*s/sqrt(n - 1), for n measurements\n"
    "whose logarithms have mean ybar and standard deviation s. A fractional nu is allowed: the\n"
    "searches use its whole part floor(nu) as their degrees of freedom, the conversion to the\n"
    "data scale uses nu itself, and so does the spread S = 2|lambda| sigma sqrt(gammasquared)\n"
    "/ sqrt(nu + 1) of a one-sided limit (that of a pair uses floor(nu)).\n"
    "\n"
    "CSV rows end in the cell's status, ok or search failed (a search did not converge and the\n"
    "value is not to be trusted); the text layout marks such a value with '*'. Messages of a\n"
    "cell's searches go to standard error with the cell. Rows are written as they complete.\n"
    "Tables of more than 1000000 cells announce their size and the time they will take.\n"
    "\n"
    "Exit status: 0 success; 1 output could not be written; 2 usage error, values out of\n"
    "range or too many cells; 3 the table is complete but a cell's search failed; 130\n"
    "stopped by SIGINT, 143 by SIGTERM (the rows written are a prefix of the table).\n";

// Accepts the texts `accepts` takes; refuses the others with "'TEXT' (expected FORM)", which
// CLI11 gives as "--NAME: 'TEXT' (expected FORM)".
CLI::Validator expecting(const std::string& form, std::function<bool(const std::string&)> accepts) {
    return CLI::Validator(
        [form, accepts = std::move(accepts)](std::string& text) {
            return accepts(text) ? std::string() : "'" + text + "' (expected " + form + ")";
        },
        "", form);
}

CLI::Validator value_list() {
    return expecting("a list a,b,c or a range FROM:TO:COUNT or FROM:TO:COUNT:log with COUNT from "
                     "1 to 100000 and, for log, positive ends",
                     [](const std::string& text) { return parse_values(text).has_value(); });
}

CLI::Validator finite_number() {
    return expecting("a finite number",
                     [](const std::string& text) { return parse_finite(text).has_value(); });
}

bool is_kind(const std::string& text) {
    try {
        (void)kind_from_string(text);
        return true;
    } catch (const std::invalid_argument&) {
        return false;
    }
}

// "nu+C" or a number.
std::optional<double> gamma_offset(const std::string& text) {
    return text.rfind("nu+", 0) == 0 ? parse_finite(std::string_view(text).substr(3))
                                     : std::nullopt;
}

// The API names a value as its struct does ("confidence = 1 is outside ..."); the message
// names it as the option does ("alpha = 1 is outside ...").
std::string as_option(std::string message) {
    const auto end = message.find(" = ");
    if (end == std::string::npos) {
        return message;
    }
    std::string name = message.substr(0, end);
    if (name == "confidence") {
        name = "alpha";
    }
    for (char& c : name) {
        c = c == '_' ? '-' : c;
    }
    return name + message.substr(end);
}

} // namespace

std::unique_ptr<CLI::App> make_app(Options& options) {
    auto app =
        std::make_unique<CLI::App>("tables of standardized confidence limits", "lvlim-table");
    app->set_help_flag(); // --help is an ordinary flag: main writes usage_text()
    app->allow_extras();  // reported by parse_options in its own words
    app->option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app->add_flag("--help", options.help)->disable_flag_override();
    app->add_flag("--version", options.version)->disable_flag_override();
    app->add_flag("-d,--data-scale", options.data_scale)->disable_flag_override();

    app->add_option_function<std::string>(
           "-k,--kind", [&](const std::string& text) { options.kind = kind_from_string(text); })
        ->check(expecting("upper, lower or two-sided", is_kind));
    app->add_option_function<std::string>("-f,--format",
                                          [&](const std::string& text) {
                                              options.format =
                                                  text == "text" ? Format::text : Format::csv;
                                          })
        ->check(expecting("csv or text",
                          [](const std::string& text) { return text == "csv" || text == "text"; }));

    const auto axis = [&](const char* names, std::vector<double> Options::*values) {
        app->add_option_function<std::string>(names,
                                              [&options, values](const std::string& text) {
                                                  options.*values = *parse_values(text);
                                              })
            ->check(value_list());
    };
    axis("-a,--alpha", &Options::alphas);
    axis("-s,--sigma", &Options::sigmas);
    axis("-n,--nu", &Options::nus);
    app->add_option_function<std::string>("--n",
                                          [&](const std::string& text) {
                                              options.ns = *parse_values(text);
                                              options.nus.clear();
                                              // nu = n - 1 as the decimal a person expects: 3.1 for
                                              // n 4.1.
                                              for (const double n : *options.ns) {
                                                  options.nus.push_back(snapped(n - 1.0));
                                              }
                                          })
        ->check(value_list());

    app->add_option_function<std::string>("--gammasquared",
                                          [&](const std::string& text) {
                                              options.gamma_offset = gamma_offset(text);
                                              if (!options.gamma_offset) {
                                                  options.gammasquared = *parse_finite(text);
                                              }
                                          })
        ->check(expecting("nu+C or a number", [](const std::string& text) {
            return gamma_offset(text).has_value() || parse_finite(text).has_value();
        }));

    const auto number = [&](const char* names, double& value) {
        app->add_option_function<std::string>(
               names, [&value](const std::string& text) { value = *parse_finite(text); })
            ->check(finite_number());
    };
    number("--lambda", options.lambda);
    number("--bessel-arg-top", options.controls.bessel_arg_top);
    number("--tolerance", options.controls.tolerance);
    number("--result-tol", options.controls.result_tol);
    app->add_option_function<std::string>("--mu",
                                          [&](const std::string& text) {
                                              options.mu = *parse_finite(text);
                                              options.data_scale = true;
                                          })
        ->check(finite_number());

    app->add_option_function<std::string>(
           "-j,--threads",
           [&](const std::string& text) { options.threads = *parse_whole<unsigned>(text); })
        ->check(expecting("a whole number from 0, every core, to 1024", [](const std::string& t) {
            const auto threads = parse_whole<unsigned>(t);
            return threads && *threads <= max_threads;
        }));
    app->add_option_function<std::string>(
           "--max-cells",
           [&](const std::string& text) { options.max_cells = *parse_whole<std::uint64_t>(text); })
        ->check(expecting("a whole number of at least 1", [](const std::string& t) {
            const auto cells = parse_whole<std::uint64_t>(t);
            return cells && *cells >= 1;
        }));
    app->add_option_function<std::string>("--max-iterations",
                                          [&](const std::string& text) {
                                              options.controls.max_iterations =
                                                  *parse_whole<int>(text);
                                          })
        ->check(expecting("a whole number",
                          [](const std::string& t) { return parse_whole<int>(t).has_value(); }));
    return app;
}

std::optional<std::string> parse_options(const std::vector<std::string>& arguments,
                                         Options& options) {
    const auto app = make_app(options);
    std::vector<std::string> reversed(arguments.rbegin(), arguments.rend()); // as CLI11 takes them
    try {
        app->parse(reversed);
    } catch (const CLI::ValidationError& error) {
        return "invalid value for " + std::string(error.what());
    } catch (const CLI::ArgumentMismatch& error) {
        // "--alpha: 1 required TEXT missing"
        const std::string what = error.what();
        if (what.find("missing") != std::string::npos) {
            return "option " + what.substr(0, what.find(':')) + " needs a value";
        }
        return what;
    } catch (const CLI::ParseError& error) {
        return std::string(error.what());
    }
    if (!app->remaining().empty()) {
        return "unrecognized argument '" + app->remaining().front() + "'";
    }
    if (app->get_option("--nu")->count() + app->get_option("--n")->count() > 1) {
        return std::string("give the nu axis once, with --nu or --n");
    }
    if (options.alphas.empty() || options.sigmas.empty() || options.nus.empty()) {
        return std::string("empty list of values");
    }
    return std::nullopt;
}

const char* usage_text() {
    return usage;
}

std::uint64_t cell_count(const Options& options) {
    std::uint64_t count = 1;
    for (const std::size_t size :
         {options.alphas.size(), options.sigmas.size(), options.nus.size()}) {
        if (size != 0 && count > std::numeric_limits<std::uint64_t>::max() / size) {
            return std::numeric_limits<std::uint64_t>::max();
        }
        count *= size;
    }
    return count;
}

double gammasquared_for(const Options& options, double nu) {
    return options.gamma_offset ? nu + *options.gamma_offset : options.gammasquared;
}

std::optional<std::string> validate(const Options& options) {
    std::vector<std::string> problems;
    // Each value is checked among inputs the API takes, so that its message is about it.
    const Setting taken{};
    constexpr double taken_alpha = 0.95;
    const auto refused = [&](const Setting& setting, double alpha, const Controls& controls) {
        try {
            check_setting(setting, alpha, controls);
            return false;
        } catch (const std::invalid_argument& error) {
            problems.push_back(as_option(error.what()));
            return true;
        }
    };
    // The first refused value of each axis.
    const auto each = [&](const std::vector<double>& values, auto&& check_one) {
        for (const double value : values) {
            if (check_one(value)) {
                return;
            }
        }
    };
    each(options.alphas, [&](double alpha) { return refused(taken, alpha, {}); });
    each(options.sigmas, [&](double sigma) {
        Setting setting = taken;
        setting.sigma = sigma;
        return refused(setting, taken_alpha, {});
    });
    if (options.ns) {
        // A sample size may be fractional here, which the API's sizes cannot be: it is checked
        // against the API's range of sizes, and its nu = n - 1 then lies in the range of nu.
        each(*options.ns, [&](double n) {
            if (n >= static_cast<double>(min_measurements) &&
                n <= static_cast<double>(max_measurements)) {
                return false;
            }
            problems.push_back(
                "n = " + number_text::shortest_round_trip(n) + " is outside the supported range [" +
                number_text::shortest_round_trip(static_cast<double>(min_measurements)) + ", " +
                number_text::shortest_round_trip(static_cast<double>(max_measurements)) + "]");
            return true;
        });
    } else {
        each(options.nus, [&](double nu) {
            Setting setting = taken;
            setting.nu = nu;
            return refused(setting, taken_alpha, {});
        });
    }
    each(options.nus, [&](double nu) {
        Setting setting = taken;
        setting.gammasquared = gammasquared_for(options, nu);
        return refused(setting, taken_alpha, {});
    });
    Setting lambda = taken;
    lambda.lambda = options.lambda;
    refused(lambda, taken_alpha, {});
    Setting mu = taken;
    mu.mu = options.mu;
    refused(mu, taken_alpha, {});
    refused(taken, taken_alpha, options.controls);
    if (problems.empty()) {
        return std::nullopt;
    }
    std::string text;
    for (const auto& problem : problems) {
        text += (text.empty() ? "" : "; ") + problem;
    }
    return text;
}

} // namespace lvlim::table
