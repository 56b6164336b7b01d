// lvlim-data: exact confidence limits for the mean of a lognormal population, straight from the
// measurements.
//
// It follows the lognormal recipe of lvlim: the natural logarithms of the n measurements give
// mu-hat and sigma-hat (divisor n - 1); the engine runs with lambda 0.5, nu = n - 1 and
// gammasquared = n, exactly as lvlim would run on the record
// "WhichLimit alpha 0.5 sigma-hat nu mu-hat gammasquared /"; the limits for mu + sigma^2/2 it
// returns are printed as lvlim prints them, and their exponentials are the limits of the mean.
//
// Exit status: 0 success, 1 an error in the data or the confidence (nothing is computed),
// 2 a usage error.
#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "Guts/mainguts.hpp"
#include "Guts/messages.hpp"
#include "apps/lvlim-data/data_summary.hpp"
#include "driver/list_output.hpp"

#ifndef LVLIM_VERSION
#error "LVLIM_VERSION must give the program's version"
#endif

namespace {

constexpr std::string_view program_name = "lvlim-data";

constexpr int exit_ok = 0;
constexpr int exit_error = 1;
constexpr int exit_usage = 2;

// The measurements the engine accepts: nu = n - 1 in [2, 1000].
constexpr std::size_t min_measurements = 3;
constexpr std::size_t max_measurements = 1001;
// The range of sigma the engine accepts.
constexpr double min_log_sd = 0.1;
constexpr double max_log_sd = 10.0;
// The coefficient of sigma^2 in the mean of a lognormal population, exp(mu + sigma^2/2).
constexpr double lognormal_lambda = 0.5;

constexpr std::string_view usage_text =
    R"(Usage: lvlim-data [OPTION]... [FILE]
Exact confidence limits for the mean of a lognormal population from its
measurements. Reads positive values from FILE, or from standard input when
FILE is absent or -, and works with their natural logarithms.

  -c, --confidence=P   confidence level, strictly between 0 and 1 (default 0.95)
      --upper          a one-sided upper limit
      --lower          a one-sided lower limit
      --two-sided      a pair of two-sided limits (the default)
      --help           show this help and exit
      --version        show the version and exit

Values are separated by blanks, tabs or commas, any number to a line; '#'
starts a comment. From 3 to 1001 values are needed, and the standard deviation
of their logarithms must lie in [0.1, 10].

Exit status: 0 on success, 1 on an error in the data or the confidence,
2 on a usage error.
)";

// The engine's WhichLimit of each kind, and the kind's name in the output.
struct Kind {
    int WhichLimit;
    std::string_view name;
};
constexpr Kind upper_kind{1, "upper"};
constexpr Kind lower_kind{2, "lower"};
constexpr Kind two_sided_kind{3, "two-sided"};

struct Options {
    Kind kind = two_sided_kind;
    double confidence = 0.95;
    std::string file = "-";
};

enum class Action { run, help, version };

// The command line read: what to do, or the text of a usage error.
struct Command {
    Action action = Action::run;
    Options options;
    std::string error;
};

// The parts joined into one string.
std::string cat(std::initializer_list<std::string_view> parts) {
    std::string text;
    for (const std::string_view part : parts) {
        text += part;
    }
    return text;
}

// A confidence: the whole text a finite number (its range is checked later).
std::optional<double> parse_confidence(std::string_view text) {
    double value = 0.0;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc{} || ptr != text.data() + text.size() ||
        !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

// GNU-style options: long options with "=value" or the value in the next argument, "-c P" or
// "-cP", "--" ending the options, "-" a file name. --help and --version act when they are met;
// a later kind option overrides an earlier one.
Command parse_command_line(const std::vector<std::string_view>& args) {
    Command command;
    bool have_file = false;
    bool options_ended = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        std::optional<std::string_view> confidence_text;
        bool wants_confidence = false;
        if (options_ended || arg == "-" || arg.empty() || arg[0] != '-') {
            if (have_file) {
                command.error = cat({"only one FILE may be given, '", arg, "' is a second"});
                return command;
            }
            command.options.file = std::string(arg);
            have_file = true;
            continue;
        }
        if (arg == "--") {
            options_ended = true;
            continue;
        }
        if (arg.starts_with("--")) {
            const std::size_t equals = arg.find('=');
            const std::string_view name = arg.substr(0, equals);
            const bool has_value = equals != std::string_view::npos;
            if (name == "--confidence") {
                wants_confidence = true;
                if (has_value) {
                    confidence_text = arg.substr(equals + 1);
                }
            } else if (name == "--upper" || name == "--lower" || name == "--two-sided" ||
                       name == "--help" || name == "--version") {
                if (has_value) {
                    command.error = cat({"option '", name, "' takes no value"});
                    return command;
                }
                if (name == "--help") {
                    command.action = Action::help;
                    return command;
                }
                if (name == "--version") {
                    command.action = Action::version;
                    return command;
                }
                command.options.kind = name == "--upper"   ? upper_kind
                                       : name == "--lower" ? lower_kind
                                                           : two_sided_kind;
            } else {
                command.error = cat({"unknown option '", name, "'"});
                return command;
            }
        } else if (arg[1] == 'c') {
            wants_confidence = true;
            if (arg.size() > 2) {
                confidence_text = arg.substr(2);
            }
        } else {
            command.error = cat({"unknown option '", arg.substr(0, 2), "'"});
            return command;
        }
        if (wants_confidence) {
            if (!confidence_text) {
                if (i + 1 == args.size()) {
                    command.error = cat({"option '", arg, "' needs a value"});
                    return command;
                }
                confidence_text = args[++i];
            }
            const std::optional<double> value = parse_confidence(*confidence_text);
            if (!value) {
                command.error = cat({"invalid confidence '", *confidence_text, "'"});
                return command;
            }
            command.options.confidence = *value;
        }
    }
    return command;
}

// The whole of a file, or of standard input for "-"; on failure nullopt and the system's
// reason in `reason`.
std::optional<std::string> read_input(const std::string& file, std::string& reason) {
    const bool standard_input = file == "-";
    std::FILE* stream = standard_input ? stdin : std::fopen(file.c_str(), "rb");
    if (stream == nullptr) {
        reason = std::strerror(errno);
        return std::nullopt;
    }
    std::string text;
    std::array<char, 65536> buffer{};
    std::size_t got = 0;
    while ((got = std::fread(buffer.data(), 1, buffer.size(), stream)) > 0) {
        text.append(buffer.data(), got);
    }
    const bool failed = std::ferror(stream) != 0;
    if (failed) {
        reason = std::strerror(errno);
    }
    if (!standard_input) {
        std::fclose(stream);
    }
    return failed ? std::nullopt : std::optional<std::string>(std::move(text));
}

// A double in its shortest form that reads back as the same double (0.95 -> "0.95").
std::string shortest(double value) {
    std::array<char, 32> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    return {buffer.data(), result.ptr};
}

// A double to 17 significant digits, as "%.17g" writes it (independent of the locale): enough
// for lvlim to read back the very same double.
std::string full_precision(double value) {
    std::array<char, 32> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                      std::chars_format::general, 17);
    return {buffer.data(), result.ptr};
}

// A limit for mu + sigma^2/2 in lvlim's own layout, without the leading blanks ("3.22587637").
std::string log_scale_text(double limit) {
    const std::string text = lvlim::format_list_real(limit);
    return text.substr(text.find_first_not_of(' '));
}

// The limit of the mean: the exponential of the log-scale limit as printed, so that the two
// lines agree exactly. The searches are accurate to about 1e-8, which 9 digits keep.
double mean_limit(std::string_view log_text) {
    double value = 0.0;
    std::from_chars(log_text.data(), log_text.data() + log_text.size(), value);
    return std::exp(value);
}

int fail(std::string_view message) {
    std::cerr << program_name << ": " << message << '\n';
    return exit_error;
}

// Sends the engine's messages to a buffer while a search runs.
class MessagesTo {
  public:
    explicit MessagesTo(std::ostream& out) : saved_(lvlim::engine_messages) {
        lvlim::engine_messages = &out;
    }
    MessagesTo(const MessagesTo&) = delete;
    MessagesTo& operator=(const MessagesTo&) = delete;
    ~MessagesTo() { lvlim::engine_messages = saved_; }

  private:
    std::ostream* saved_;
};

// The engine's messages, one line each, on standard error with the program's name.
void forward_messages(const std::string& messages) {
    std::istringstream lines(messages);
    for (std::string line; std::getline(lines, line);) {
        const std::size_t start = line.find_first_not_of(' ');
        if (start != std::string::npos) {
            std::cerr << program_name << ": " << std::string_view(line).substr(start) << '\n';
        }
    }
}

// The engine inputs of one run, named as the engine names them.
struct EngineInputs {
    int WhichLimit = 3;
    double alpha = 0.95;
    double lambda = lognormal_lambda;
    double sigma = 0.0;
    double nu = 0.0;
    double mu = 0.0;
    double gammasquared = 0.0;
};

// The limits for mu + lambda sigma^2, from the entry lvlim calls for the kind, with the control
// parameters at their defaults. A one-sided run fills only its own side.
struct Limits {
    std::optional<double> lower;
    std::optional<double> upper;
};
Limits engine_limits(const EngineInputs& v, std::string& messages) {
    std::ostringstream captured;
    Limits limits;
    {
        const MessagesTo to(captured);
        double Time = 0.0;
        const lvlim::ControlParms& c = lvlim::controlparms;
        if (v.WhichLimit == 1 || v.WhichLimit == 2) {
            double StandardConfidenceLimit = 0.0;
            double ConfidenceLimit = 0.0;
            int NumberIterations = 0;
            lvlim::onetail(v.WhichLimit, v.mu, v.sigma, v.nu, v.alpha, v.lambda, v.gammasquared,
                           c.BesselArgTop, c.Tolerance, c.ResultTol, c.MaximumIterations,
                           StandardConfidenceLimit, ConfidenceLimit, Time, NumberIterations);
            (v.WhichLimit == 1 ? limits.upper : limits.lower) = ConfidenceLimit;
        } else {
            double Lower = 0.0;
            double StandardLower = 0.0;
            double Upper = 0.0;
            double StandardUpper = 0.0;
            int IterationsLower = 0;
            int IterationsUpper = 0;
            lvlim::twotail(v.mu, v.sigma, v.nu, v.alpha, v.lambda, v.gammasquared, c.BesselArgTop,
                           c.Tolerance, c.ResultTol, c.MaximumIterations, Lower, StandardLower,
                           Upper, StandardUpper, Time, IterationsLower, IterationsUpper);
            limits.lower = Lower;
            limits.upper = Upper;
        }
    }
    messages = captured.str();
    return limits;
}

// The validator's message without its blank filling: the failed checks' texts.
std::string squeeze(const std::string& message) {
    std::string text;
    for (std::size_t at = 0; at < message.size(); at += lvlim::arguments_segment_length) {
        const std::string segment = message.substr(at, lvlim::arguments_segment_length);
        const std::size_t last = segment.find_last_not_of(' ');
        if (last != std::string::npos) {
            text += text.empty() ? "" : " ";
            text += segment.substr(0, last + 1);
        }
    }
    return text;
}

int run(const Options& options) {
    if (!(options.confidence > 0.0 && options.confidence < 1.0)) {
        return fail(cat({"the confidence must lie strictly between 0 and 1, not ",
                         shortest(options.confidence)}));
    }
    std::string reason;
    const std::optional<std::string> text = read_input(options.file, reason);
    const std::string source = options.file == "-" ? "(standard input)" : options.file;
    if (!text) {
        return fail(cat({"cannot read '", source, "': ", reason}));
    }
    const lvlim::data::Measurements data = lvlim::data::read_measurements(*text);
    if (data.bad) {
        return fail(cat({source, ":", std::to_string(data.bad->line), ": '", data.bad->text, "' ",
                         lvlim::data::describe(data.bad->error)}));
    }
    const std::size_t n = data.values.size();
    if (n < min_measurements) {
        return fail(cat({source, ": ", std::to_string(n), " measurements; at least ",
                         std::to_string(min_measurements), " are needed"}));
    }
    if (n > max_measurements) {
        return fail(cat({source, ": ", std::to_string(n), " measurements; at most ",
                         std::to_string(max_measurements), " can be used"}));
    }
    const lvlim::data::LogSummary logs = lvlim::data::summarize_logs(data.values);
    if (!(logs.sd >= min_log_sd && logs.sd <= max_log_sd)) {
        return fail(cat({source, ": the standard deviation of the logarithms is ",
                         shortest(logs.sd), "; it must lie in [0.1, 10]"}));
    }

    EngineInputs v;
    v.WhichLimit = options.kind.WhichLimit;
    v.alpha = options.confidence;
    v.sigma = logs.sd;
    v.nu = static_cast<double>(n - 1);
    v.mu = logs.mean;
    v.gammasquared = static_cast<double>(n);

    // The engine's own validation of exactly what it is given, as lvlim makes it.
    lvlim::set_control_defaults();
    const lvlim::ControlParms& c = lvlim::controlparms;
    bool ArgumentsOk = false;
    std::string ArgumentsMessage(lvlim::arguments_message_length, ' ');
    lvlim::checkarguments(v.WhichLimit, v.alpha, v.lambda, v.sigma, v.nu, v.mu, v.gammasquared,
                          c.MaximumIterations, c.BesselArgTop, c.Tolerance, c.ResultTol,
                          ArgumentsOk, ArgumentsMessage);
    if (!ArgumentsOk) {
        return fail(cat({"the inputs fail validation: ", squeeze(ArgumentsMessage)}));
    }

    std::string messages;
    const Limits limits = engine_limits(v, messages);
    forward_messages(messages);

    std::ostream& out = std::cout;
    out << "n: " << n << '\n';
    out << "mu-hat: " << full_precision(v.mu) << '\n';
    out << "sigma-hat: " << full_precision(v.sigma) << '\n';
    out << "nu: " << full_precision(v.nu) << '\n';
    out << "gammasquared: " << full_precision(v.gammasquared) << '\n';
    out << "lambda: " << shortest(v.lambda) << '\n';
    out << "estimate: " << full_precision(std::exp(v.mu + v.lambda * v.sigma * v.sigma)) << '\n';
    out << "confidence: " << shortest(v.alpha) << '\n';
    out << "kind: " << options.kind.name << '\n';
    std::string log_lower;
    std::string log_upper;
    if (limits.lower) {
        log_lower = log_scale_text(*limits.lower);
        out << "log-lower: " << log_lower << '\n';
    }
    if (limits.upper) {
        log_upper = log_scale_text(*limits.upper);
        out << "log-upper: " << log_upper << '\n';
    }
    if (limits.lower) {
        out << "mean-lower: " << full_precision(mean_limit(log_lower)) << '\n';
    }
    if (limits.upper) {
        out << "mean-upper: " << full_precision(mean_limit(log_upper)) << '\n';
    }
    out.flush();
    return out ? exit_ok : fail("cannot write the results");
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string_view> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    const Command command = parse_command_line(args);
    if (!command.error.empty()) {
        std::cerr << program_name << ": " << command.error << '\n'
                  << "Try '" << program_name << " --help' for more information.\n";
        return exit_usage;
    }
    switch (command.action) {
    case Action::help:
        std::cout << usage_text;
        return exit_ok;
    case Action::version:
        std::cout << program_name << ' ' << LVLIM_VERSION << '\n';
        return exit_ok;
    case Action::run:
        break;
    }
    return run(command.options);
}
