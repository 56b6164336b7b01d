// lvlim-table: the options, the cells computed in parallel, and the two layouts.
//
// Every cell is computed exactly as lvlim computes a record with the same values: the control
// block of the worker's thread is set to the table's control values, and the engine entry is
// called with the block's members. The engine's messages for a cell are caught on the worker's
// own stream, so cells never mix, and the table's bytes do not depend on the number of threads.
#include "apps/lvlim-table/table.hpp"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <sstream>
#include <string_view>
#include <thread>

#include "Guts/mainguts.hpp"
#include "Guts/messages.hpp"
#include "driver/list_output.hpp"

namespace lvlim::table {

namespace {

std::optional<double> parse_double(std::string_view text) {
    double value = 0.0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

std::optional<int> parse_int(std::string_view text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

std::vector<std::string_view> split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    while (true) {
        const auto end = text.find(separator, start);
        parts.push_back(text.substr(start, end - start));
        if (end == std::string_view::npos) {
            return parts;
        }
        start = end + 1;
    }
}

// The shortest text that reads back as the value ("0.1", "20").
std::string shortest(double value) {
    char buffer[32];
    const char* const end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
    return {static_cast<const char*>(buffer), end};
}

constexpr const char* usage =
    "Usage: lvlim-table [OPTION]...\n"
    "Write a table of standardized confidence limits k for mu + lambda*sigma^2 over ranges of\n"
    "sigma and nu, computed as lvlim computes them.\n"
    "\n"
    "  -k, --kind=KIND          upper (default), lower or two-sided\n"
    "  -a, --alpha=LIST         confidence levels (default 0.95)\n"
    "  -s, --sigma=VALUES       values of sigma in [0.1, 10]\n"
    "  -n, --nu=VALUES          degrees of freedom in [2, 1000]\n"
    "      --lambda=X           coefficient of sigma^2 (default 0.5)\n"
    "      --gammasquared=RULE  nu+C (default nu+1) or a fixed number\n"
    "      --mu=X               sample mean for the limits on the data scale (default 0)\n"
    "  -d, --data-scale         also write the limits for mu + lambda*sigma^2\n"
    "  -f, --format=FORMAT      csv (default) or text (sigma down the side, nu across)\n"
    "  -j, --threads=N          worker threads (default: every core)\n"
    "      --max-iterations=N   MaximumIterations (default 200)\n"
    "      --bessel-arg-top=X   BesselArgTop (default 800)\n"
    "      --tolerance=X        Tolerance (default 9.99999993922529e-09)\n"
    "      --result-tol=X       ResultTol (default -1)\n"
    "      --help               show this help and exit\n"
    "      --version            show the version and exit\n"
    "\n"
    "VALUES is a list a,b,c or a range FROM:TO:COUNT, evenly spaced, or FROM:TO:COUNT:log,\n"
    "spaced evenly in the logarithm. The defaults give the lognormal setting: lambda 0.5 and\n"
    "gammasquared nu + 1. Messages of a cell's searches go to standard error with the cell.\n";

} // namespace

std::optional<std::vector<double>> parse_values(const std::string& text) {
    if (text.find(':') != std::string::npos) {
        const auto parts = split(text, ':');
        if (parts.size() != 3 && parts.size() != 4) {
            return std::nullopt;
        }
        const auto from = parse_double(parts[0]);
        const auto to = parse_double(parts[1]);
        const auto count = parse_int(parts[2]);
        const bool log = parts.size() == 4;
        if (!from || !to || !count || *count < 1 || *count > 100000 ||
            (log && (parts[3] != "log" || *from <= 0.0 || *to <= 0.0))) {
            return std::nullopt;
        }
        std::vector<double> values;
        for (int i = 0; i < *count; ++i) {
            const double share = *count == 1 ? 0.0 : static_cast<double>(i) / (*count - 1);
            values.push_back(log ? std::exp(std::log(*from) + share * (std::log(*to) - std::log(*from)))
                                 : *from + share * (*to - *from));
        }
        // The ends exactly as given.
        values.front() = *from;
        values.back() = *to;
        return values;
    }
    std::vector<double> values;
    for (const auto part : split(text, ',')) {
        const auto value = parse_double(part);
        if (!value) {
            return std::nullopt;
        }
        values.push_back(*value);
    }
    return values;
}

std::optional<std::string> parse_options(const std::vector<std::string>& arguments,
                                         Options& options) {
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string name = arguments[i];
        std::string value;
        bool has_value = false;
        if (name.rfind("--", 0) == 0) {
            const auto equals = name.find('=');
            if (equals != std::string::npos) {
                value = name.substr(equals + 1);
                name.resize(equals);
                has_value = true;
            }
        } else if (name.size() > 2 && name[0] == '-') {
            value = name.substr(2); // -a0.9
            name.resize(2);
            has_value = true;
        }
        const auto takes_value = [&](const char* long_name, const char* short_name) {
            return name == long_name || (short_name != nullptr && name == short_name);
        };
        const auto next_value = [&]() -> std::optional<std::string> {
            if (has_value) {
                return value;
            }
            if (i + 1 < arguments.size()) {
                return arguments[++i];
            }
            return std::nullopt;
        };
        const auto flag = [&](const char* long_name, const char* short_name) {
            return !has_value && takes_value(long_name, short_name);
        };

        if (flag("--help", nullptr)) {
            options.help = true;
        } else if (flag("--version", nullptr)) {
            options.version = true;
        } else if (flag("--data-scale", "-d")) {
            options.data_scale = true;
        } else if (takes_value("--kind", "-k") || takes_value("--alpha", "-a") ||
                   takes_value("--sigma", "-s") || takes_value("--nu", "-n") ||
                   takes_value("--lambda", nullptr) || takes_value("--gammasquared", nullptr) ||
                   takes_value("--mu", nullptr) || takes_value("--format", "-f") ||
                   takes_value("--threads", "-j") || takes_value("--max-iterations", nullptr) ||
                   takes_value("--bessel-arg-top", nullptr) ||
                   takes_value("--tolerance", nullptr) || takes_value("--result-tol", nullptr)) {
            const auto text = next_value();
            if (!text) {
                return "option " + name + " needs a value";
            }
            const std::string bad = "invalid value for " + name + ": '" + *text + "'";
            if (takes_value("--kind", "-k")) {
                if (*text == "upper") {
                    options.kind = Kind::upper;
                } else if (*text == "lower") {
                    options.kind = Kind::lower;
                } else if (*text == "two-sided") {
                    options.kind = Kind::two_sided;
                } else {
                    return bad;
                }
            } else if (takes_value("--alpha", "-a") || takes_value("--sigma", "-s") ||
                       takes_value("--nu", "-n")) {
                auto values = parse_values(*text);
                if (!values) {
                    return bad;
                }
                auto& target = takes_value("--alpha", "-a") ? options.alphas
                               : takes_value("--sigma", "-s") ? options.sigmas
                                                              : options.nus;
                target = std::move(*values);
            } else if (takes_value("--format", "-f")) {
                if (*text == "csv") {
                    options.format = Format::csv;
                } else if (*text == "text") {
                    options.format = Format::text;
                } else {
                    return bad;
                }
            } else if (takes_value("--gammasquared", nullptr)) {
                if (text->rfind("nu+", 0) == 0) {
                    const auto offset = parse_double(std::string_view(*text).substr(3));
                    if (!offset) {
                        return bad;
                    }
                    options.gamma_offset = *offset;
                } else if (const auto fixed = parse_double(*text)) {
                    options.gamma_offset.reset();
                    options.gammasquared = *fixed;
                } else {
                    return bad;
                }
            } else if (takes_value("--threads", "-j")) {
                const auto threads = parse_int(*text);
                if (!threads || *threads < 1 || *threads > 1024) {
                    return bad;
                }
                options.threads = static_cast<unsigned>(*threads);
            } else if (takes_value("--max-iterations", nullptr)) {
                const auto iterations = parse_int(*text);
                if (!iterations) {
                    return bad;
                }
                options.control.MaximumIterations = *iterations;
            } else {
                const auto number = parse_double(*text);
                if (!number) {
                    return bad;
                }
                if (takes_value("--lambda", nullptr)) {
                    options.lambda = *number;
                } else if (takes_value("--mu", nullptr)) {
                    options.mu = *number;
                } else if (takes_value("--bessel-arg-top", nullptr)) {
                    options.control.BesselArgTop = *number;
                } else if (takes_value("--tolerance", nullptr)) {
                    options.control.Tolerance = *number;
                } else {
                    options.control.ResultTol = *number;
                }
            }
        } else {
            return "unrecognized argument '" + arguments[i] + "'";
        }
    }
    if (options.alphas.empty() || options.sigmas.empty() || options.nus.empty()) {
        return std::string("empty list of values");
    }
    return std::nullopt;
}

const char* usage_text() { return usage; }

double gammasquared_for(const Options& options, double nu) {
    return options.gamma_offset ? nu + *options.gamma_offset : options.gammasquared;
}

std::optional<std::string> validate(const Options& options) {
    const int which = static_cast<int>(options.kind);
    for (const double alpha : options.alphas) {
        for (const double sigma : options.sigmas) {
            for (const double nu : options.nus) {
                bool ok = false;
                std::string message(arguments_message_length, ' ');
                const ControlParms& c = options.control;
                const double g2 = gammasquared_for(options, nu);
                checkarguments(which, alpha, options.lambda, sigma, nu, options.mu, g2,
                               c.MaximumIterations, c.BesselArgTop, c.Tolerance, c.ResultTol, ok,
                               message);
                if (!ok) {
                    // The segments of the failed tests, without their fill.
                    std::string reasons;
                    for (std::size_t s = 0; s < message.size(); s += arguments_segment_length) {
                        std::string segment = message.substr(s, arguments_segment_length);
                        segment.erase(segment.find_last_not_of(' ') + 1);
                        if (!segment.empty()) {
                            reasons += (reasons.empty() ? "" : " ") + segment;
                        }
                    }
                    return reasons;
                }
            }
        }
    }
    return std::nullopt;
}

namespace {

// One cell, as lvlim computes the record with these values.
Cell compute_cell(const Options& options, double alpha, double sigma, double nu) {
    Cell cell;
    cell.alpha = alpha;
    cell.sigma = sigma;
    cell.nu = nu;
    std::ostringstream messages;
    engine_messages = &messages;
    controlparms = options.control;
    const double g2 = gammasquared_for(options, nu);
    double time = 0.0;
    if (options.kind == Kind::two_sided) {
        twotail(options.mu, sigma, nu, alpha, options.lambda, g2, controlparms.BesselArgTop,
                controlparms.Tolerance, controlparms.ResultTol, controlparms.MaximumIterations,
                cell.limit, cell.k, cell.limit_upper, cell.k_upper, time, cell.iterations,
                cell.iterations_upper);
    } else {
        const int which = static_cast<int>(options.kind);
        onetail(which, options.mu, sigma, nu, alpha, options.lambda, g2,
                controlparms.BesselArgTop, controlparms.Tolerance, controlparms.ResultTol,
                controlparms.MaximumIterations, cell.k, cell.limit, time, cell.iterations);
    }
    engine_messages = &std::cout;
    cell.messages = messages.str();
    return cell;
}

} // namespace

std::vector<Cell> compute(const Options& options, unsigned threads,
                          void (*progress)(std::size_t done, std::size_t total)) {
    struct Point {
        double alpha;
        double sigma;
        double nu;
    };
    std::vector<Point> points;
    for (const double alpha : options.alphas) {
        for (const double sigma : options.sigmas) {
            for (const double nu : options.nus) {
                points.push_back({alpha, sigma, nu});
            }
        }
    }
    std::vector<Cell> cells(points.size());
    std::atomic<std::size_t> next{0};
    std::atomic<std::size_t> done{0};
    const auto work = [&] {
        for (std::size_t i = next++; i < points.size(); i = next++) {
            cells[i] = compute_cell(options, points[i].alpha, points[i].sigma, points[i].nu);
            ++done;
        }
    };
    const unsigned count = std::max(1U, std::min<unsigned>(threads, static_cast<unsigned>(points.size())));
    std::vector<std::thread> workers;
    for (unsigned t = 1; t < count; ++t) {
        workers.emplace_back(work);
    }
    if (progress == nullptr) {
        work();
    } else {
        // The calling thread reports progress while the workers compute.
        std::thread last(work);
        while (done.load() < points.size()) {
            progress(done.load(), points.size());
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        last.join();
        progress(points.size(), points.size());
    }
    for (auto& worker : workers) {
        worker.join();
    }
    return cells;
}

std::string value_text(double value) {
    std::string text = format_list_real(value);
    text.erase(0, text.find_first_not_of(' '));
    return text;
}

void write_csv(std::ostream& out, const Options& options, const std::vector<Cell>& cells) {
    const bool pair = options.kind == Kind::two_sided;
    out << "alpha,sigma,nu,lambda,gammasquared,";
    out << (pair ? "k_lower,k_upper,iterations_lower,iterations_upper" : "k,iterations");
    if (options.data_scale) {
        out << (pair ? ",mu,lower_limit,upper_limit" : ",mu,limit");
    }
    out << '\n';
    for (const Cell& c : cells) {
        out << shortest(c.alpha) << ',' << shortest(c.sigma) << ',' << shortest(c.nu) << ','
            << shortest(options.lambda) << ',' << shortest(gammasquared_for(options, c.nu)) << ','
            << value_text(c.k) << ',';
        if (pair) {
            out << value_text(c.k_upper) << ',' << c.iterations << ',' << c.iterations_upper;
        } else {
            out << c.iterations;
        }
        if (options.data_scale) {
            out << ',' << shortest(options.mu) << ',' << value_text(c.limit);
            if (pair) {
                out << ',' << value_text(c.limit_upper);
            }
        }
        out << '\n';
    }
}

void write_text(std::ostream& out, const Options& options, const std::vector<Cell>& cells) {
    constexpr int width = 14;
    const auto column = [&](const std::string& text) {
        out << std::string(text.size() < width ? width - text.size() : 1, ' ') << text;
    };
    const bool pair = options.kind == Kind::two_sided;
    const std::size_t per_alpha = options.sigmas.size() * options.nus.size();
    const std::string gamma_rule = options.gamma_offset
                                       ? "nu + " + shortest(*options.gamma_offset)
                                       : shortest(options.gammasquared);
    struct Block {
        const char* title;
        double Cell::*value;
    };
    std::vector<Block> blocks;
    if (pair) {
        blocks.push_back({"k, lower of a pair of two-sided limits", &Cell::k});
        blocks.push_back({"k, upper of a pair of two-sided limits", &Cell::k_upper});
        if (options.data_scale) {
            blocks.push_back({"lower limit for mu + lambda*sigma^2", &Cell::limit});
            blocks.push_back({"upper limit for mu + lambda*sigma^2", &Cell::limit_upper});
        }
    } else {
        blocks.push_back({options.kind == Kind::upper ? "k, one-sided upper limit"
                                                      : "k, one-sided lower limit",
                          &Cell::k});
        if (options.data_scale) {
            blocks.push_back({"limit for mu + lambda*sigma^2", &Cell::limit});
        }
    }
    bool first = true;
    for (std::size_t a = 0; a < options.alphas.size(); ++a) {
        for (const Block& block : blocks) {
            if (!first) {
                out << '\n';
            }
            first = false;
            out << block.title << ", alpha = " << shortest(options.alphas[a])
                << ", lambda = " << shortest(options.lambda) << ", gammasquared = " << gamma_rule;
            if (options.data_scale) {
                out << ", mu = " << shortest(options.mu);
            }
            out << '\n';
            column("sigma \\ nu");
            for (const double nu : options.nus) {
                column(shortest(nu));
            }
            out << '\n';
            for (std::size_t s = 0; s < options.sigmas.size(); ++s) {
                column(shortest(options.sigmas[s]));
                for (std::size_t n = 0; n < options.nus.size(); ++n) {
                    const Cell& cell = cells[a * per_alpha + s * options.nus.size() + n];
                    column(value_text(cell.*(block.value)));
                }
                out << '\n';
            }
        }
    }
}

} // namespace lvlim::table
