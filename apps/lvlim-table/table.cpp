// lvlim-table: the options, the ranges, the cells computed in parallel and streamed in table
// order, and the two layouts.
//
// Every cell is one call of the public API (lvlim::limits) with the table's values and control
// values, so a cell is what lvlim computes for a record with the same values; the API captures
// the messages of the cell's searches and says whether they converged. The cells are handed out
// to the workers one at a time but never more than a window ahead of the first cell not yet
// written, so memory stays bounded and the table's bytes do not depend on the number of threads.
#include "apps/lvlim-table/table.hpp"

#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <limits>
#include <mutex>
#include <stdexcept>
#include <string_view>
#include <thread>

#include "common/list_output.hpp"
#include "lvlim/lvlim.hpp"

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

template <typename Int> std::optional<Int> parse_int(std::string_view text) {
    Int value = 0;
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

// ---- Evenly spaced decimal ranges ------------------------------------------------------------

__extension__ using int128 = __int128;

// A decimal mantissa * 10^exponent, read exactly from its text.
struct Decimal {
    int128 mantissa = 0;
    int exponent = 0;
};

// The limits below keep every product of the range arithmetic far inside 128 bits.
constexpr int max_decimal_digits = 30;
constexpr int max_decimal_exponent = 40;

std::optional<Decimal> parse_decimal(std::string_view text) {
    Decimal d;
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    int digits = 0;
    bool any = false;
    bool point = false;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '.' && !point) {
            point = true;
        } else if (c >= '0' && c <= '9') {
            any = true;
            if (d.mantissa == 0 && c == '0') {
                d.exponent -= point ? 1 : 0;
                continue;
            }
            if (++digits > max_decimal_digits) {
                return std::nullopt;
            }
            d.mantissa = d.mantissa * 10 + (c - '0');
            d.exponent -= point ? 1 : 0;
        } else {
            break;
        }
    }
    if (!any) {
        return std::nullopt;
    }
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        std::string_view power_text = text.substr(i + 1);
        if (!power_text.empty() && power_text.front() == '+') {
            power_text.remove_prefix(1);
        }
        const auto power = parse_int<int>(power_text);
        if (!power || std::abs(*power) > max_decimal_exponent) {
            return std::nullopt;
        }
        d.exponent += *power;
    } else if (i != text.size()) {
        return std::nullopt;
    }
    if (std::abs(d.exponent) > max_decimal_exponent) {
        return std::nullopt;
    }
    d.mantissa = negative ? -d.mantissa : d.mantissa;
    return d;
}

int128 power_of_ten(int n) {
    int128 p = 1;
    for (int i = 0; i < n; ++i) {
        p *= 10;
    }
    return p;
}

// The double nearest to numerator / denominator * 10^exponent (denominator > 0): the quotient
// is written out in decimal far beyond double precision, with a last digit 1 standing for any
// remainder so that the rounding of the text is the rounding of the exact value.
double nearest_double(int128 numerator, int128 denominator, int exponent) {
    // Sign, at most 39 digits of the quotient, the point, 40 digits, the sticky 1, the exponent.
    char text[128];
    std::size_t size = 0;
    if (numerator < 0) {
        text[size++] = '-';
    }
    const int128 n = numerator < 0 ? -numerator : numerator;
    int128 quotient = n / denominator;
    int128 remainder = n % denominator;
    char whole[48];
    std::size_t digits = 0;
    do {
        whole[digits++] = static_cast<char>('0' + static_cast<int>(quotient % 10));
        quotient /= 10;
    } while (quotient != 0);
    while (digits != 0) {
        text[size++] = whole[--digits];
    }
    text[size++] = '.';
    for (int digit = 0; digit < 40 && remainder != 0; ++digit) {
        remainder *= 10;
        text[size++] = static_cast<char>('0' + static_cast<int>(remainder / denominator));
        remainder %= denominator;
    }
    if (remainder != 0) {
        text[size++] = '1';
    }
    text[size++] = 'e';
    size = static_cast<std::size_t>(std::to_chars(text + size, text + sizeof text, exponent).ptr - text);
    double value = 0.0;
    std::from_chars(text, text + size, value);
    return value;
}

// FROM + i (TO - FROM) / (COUNT - 1) for i = 0 .. COUNT-1, each the double nearest to the exact
// value, when FROM and TO are decimals of moderate length; empty otherwise.
std::optional<std::vector<double>> decimal_range(std::string_view from_text,
                                                 std::string_view to_text, int count) {
    const auto from = parse_decimal(from_text);
    const auto to = parse_decimal(to_text);
    if (!from || !to) {
        return std::nullopt;
    }
    const int exponent = std::min(from->exponent, to->exponent);
    // Both ends as whole multiples of 10^exponent, each below 10^max_decimal_digits.
    const auto scaled = [&](const Decimal& d) -> std::optional<int128> {
        const int shift = d.exponent - exponent;
        const int128 magnitude = d.mantissa < 0 ? -d.mantissa : d.mantissa;
        if (shift > max_decimal_digits ||
            magnitude >= power_of_ten(max_decimal_digits - shift)) {
            return std::nullopt;
        }
        return d.mantissa * power_of_ten(shift);
    };
    const auto scaled_from = scaled(*from);
    const auto scaled_to = scaled(*to);
    if (!scaled_from || !scaled_to) {
        return std::nullopt;
    }
    const int128 f = *scaled_from;
    const int128 t = *scaled_to;
    const int128 steps = count - 1;
    std::vector<double> values;
    values.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        values.push_back(nearest_double(f * steps + i * (t - f), steps, exponent));
    }
    return values;
}

// The value itself, or the shortest decimal of at most 12 significant digits when that decimal
// lies within 4 ulps of it: a value computed in floating point that stands for a round decimal
// (10^-1 from a logarithmic range, 4.1 - 1) comes out as that decimal. Anything with more
// digits than 12 is left as computed.
double snapped(double value) {
    if (value == 0.0 || !std::isfinite(value)) {
        return value;
    }
    const double tolerance = 4.0 * (std::nextafter(std::fabs(value), HUGE_VAL) - std::fabs(value));
    char text[40];
    for (int digits = 1; digits <= 12; ++digits) {
        const char* const end = std::to_chars(text, text + sizeof text, value,
                                       std::chars_format::scientific, digits - 1).ptr;
        double decimal = 0.0;
        std::from_chars(text, end, decimal);
        if (std::fabs(decimal - value) <= tolerance) {
            return decimal;
        }
    }
    return value;
}

// FROM .. TO in COUNT (at least 2) steps even in the logarithm: 10^(log10 FROM + i/(COUNT-1)
// (log10 TO - log10 FROM)), snapped to a round decimal it stands for, the ends exactly FROM and
// TO.
std::vector<double> log_range(double from, double to, int count) {
    std::vector<double> values;
    const double low = std::log10(from);
    const double high = std::log10(to);
    for (int i = 0; i < count; ++i) {
        const double share = static_cast<double>(i) / (count - 1);
        values.push_back(snapped(std::pow(10.0, low + share * (high - low))));
    }
    values.front() = from;
    values.back() = to;
    return values;
}

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

} // namespace

std::string shortest(double value) {
    char buffer[64];
    // Plain decimals for the magnitudes people type (100000, not 1e+05; 0.0001, not 1e-04).
    const double magnitude = std::fabs(value);
    const bool plain = magnitude >= 1e-5 && magnitude < 1e16;
    const char* const end =
        plain ? std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed).ptr
              : std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
    return {static_cast<const char*>(buffer), end};
}

std::optional<std::vector<double>> parse_values(const std::string& text) {
    if (text.find(':') != std::string::npos) {
        const auto parts = split(text, ':');
        if (parts.size() != 3 && parts.size() != 4) {
            return std::nullopt;
        }
        const auto from = parse_double(parts[0]);
        const auto to = parse_double(parts[1]);
        const auto count = parse_int<int>(parts[2]);
        const bool log = parts.size() == 4;
        if (!from || !to || !count || *count < 1 || *count > max_range_count ||
            (log && (parts[3] != "log" || *from <= 0.0 || *to <= 0.0))) {
            return std::nullopt;
        }
        if (*count == 1) {
            return std::vector<double>{*from};
        }
        if (log) {
            return log_range(*from, *to, *count);
        }
        if (auto values = decimal_range(parts[0], parts[1], *count)) {
            return values;
        }
        std::vector<double> values;
        for (int i = 0; i < *count; ++i) {
            const double share = static_cast<double>(i) / (*count - 1);
            values.push_back(*from + share * (*to - *from));
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
    bool nu_given = false;
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
        const auto is = [&](const char* long_name, const char* short_name) {
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
            return !has_value && is(long_name, short_name);
        };

        if (flag("--help", nullptr)) {
            options.help = true;
        } else if (flag("--version", nullptr)) {
            options.version = true;
        } else if (flag("--data-scale", "-d")) {
            options.data_scale = true;
        } else if (is("--kind", "-k") || is("--alpha", "-a") || is("--sigma", "-s") ||
                   is("--nu", "-n") || is("--n", nullptr) || is("--lambda", nullptr) ||
                   is("--gammasquared", nullptr) || is("--mu", nullptr) ||
                   is("--format", "-f") || is("--threads", "-j") ||
                   is("--max-cells", nullptr) || is("--max-iterations", nullptr) ||
                   is("--bessel-arg-top", nullptr) || is("--tolerance", nullptr) ||
                   is("--result-tol", nullptr)) {
            const auto text = next_value();
            if (!text) {
                return "option " + name + " needs a value";
            }
            const auto bad = [&](const char* expected) {
                return "invalid value for " + name + ": '" + *text + "' (expected " + expected +
                       ")";
            };
            if (is("--kind", "-k")) {
                if (*text == "upper") {
                    options.kind = Kind::upper;
                } else if (*text == "lower") {
                    options.kind = Kind::lower;
                } else if (*text == "two-sided") {
                    options.kind = Kind::two_sided;
                } else {
                    return bad("upper, lower or two-sided");
                }
            } else if (is("--alpha", "-a") || is("--sigma", "-s") || is("--nu", "-n") ||
                       is("--n", nullptr)) {
                auto values = parse_values(*text);
                if (!values) {
                    return bad("a list a,b,c or a range FROM:TO:COUNT or FROM:TO:COUNT:log "
                               "with COUNT from 1 to 100000 and, for log, positive ends");
                }
                if (is("--alpha", "-a")) {
                    options.alphas = std::move(*values);
                } else if (is("--sigma", "-s")) {
                    options.sigmas = std::move(*values);
                } else {
                    if (nu_given) {
                        return std::string("give the nu axis once, with --nu or --n");
                    }
                    nu_given = true;
                    if (is("--n", nullptr)) {
                        options.nus.clear();
                        // nu = n - 1 as the decimal a person expects: 3.1 for n 4.1.
                        for (const double n : *values) {
                            options.nus.push_back(snapped(n - 1.0));
                        }
                        options.ns = std::move(*values);
                    } else {
                        options.nus = std::move(*values);
                    }
                }
            } else if (is("--format", "-f")) {
                if (*text == "csv") {
                    options.format = Format::csv;
                } else if (*text == "text") {
                    options.format = Format::text;
                } else {
                    return bad("csv or text");
                }
            } else if (is("--gammasquared", nullptr)) {
                if (text->rfind("nu+", 0) == 0) {
                    const auto offset = parse_double(std::string_view(*text).substr(3));
                    if (!offset) {
                        return bad("nu+C or a number");
                    }
                    options.gamma_offset = *offset;
                } else if (const auto fixed = parse_double(*text)) {
                    options.gamma_offset.reset();
                    options.gammasquared = *fixed;
                } else {
                    return bad("nu+C or a number");
                }
            } else if (is("--threads", "-j")) {
                const auto threads = parse_int<unsigned>(*text);
                if (!threads || *threads > max_threads) {
                    return bad("a whole number from 0, every core, to 1024");
                }
                options.threads = *threads;
            } else if (is("--max-cells", nullptr)) {
                const auto cells = parse_int<std::uint64_t>(*text);
                if (!cells || *cells < 1) {
                    return bad("a whole number of at least 1");
                }
                options.max_cells = *cells;
            } else if (is("--max-iterations", nullptr)) {
                const auto iterations = parse_int<int>(*text);
                if (!iterations) {
                    return bad("a whole number");
                }
                options.control.MaximumIterations = *iterations;
            } else {
                const auto number = parse_double(*text);
                if (!number) {
                    return bad("a finite number");
                }
                if (is("--lambda", nullptr)) {
                    options.lambda = *number;
                } else if (is("--mu", nullptr)) {
                    options.mu = *number;
                    options.data_scale = true;
                } else if (is("--bessel-arg-top", nullptr)) {
                    options.control.BesselArgTop = *number;
                } else if (is("--tolerance", nullptr)) {
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
    const auto outside = [&](const std::string& name, double value, const std::string& range) {
        problems.push_back(name + " = " + shortest(value) + " is outside " + range);
    };
    const auto supported = [](auto low, auto high) {
        return "the supported range [" + shortest(static_cast<double>(low)) + ", " +
               shortest(static_cast<double>(high)) + "]";
    };
    for (const double alpha : options.alphas) {
        if (!(alpha > 0.0 && alpha < 1.0)) {
            outside("alpha", alpha, "(0, 1): it must lie strictly between 0 and 1");
            break;
        }
    }
    for (const double sigma : options.sigmas) {
        if (!(sigma >= min_sigma && sigma <= max_sigma)) {
            outside("sigma", sigma, supported(min_sigma, max_sigma));
            break;
        }
    }
    if (options.ns) {
        for (const double n : *options.ns) {
            if (!(n >= static_cast<double>(min_measurements) &&
                  n <= static_cast<double>(max_measurements))) {
                outside("n", n, supported(min_measurements, max_measurements));
                break;
            }
        }
    } else {
        for (const double nu : options.nus) {
            if (!(nu >= min_nu && nu <= max_nu)) {
                outside("nu", nu, supported(min_nu, max_nu));
                break;
            }
        }
    }
    for (const double nu : options.nus) {
        const double g2 = gammasquared_for(options, nu);
        if (!(std::isfinite(g2) && g2 > 0.0)) {
            outside("gammasquared", g2, "the finite positive numbers");
            break;
        }
    }
    if (!(std::isfinite(options.lambda) && options.lambda != 0.0)) {
        outside("lambda", options.lambda, "the finite non-zero numbers");
    }
    if (!(options.control.BesselArgTop <= max_bessel_arg_top)) {
        outside("bessel-arg-top", options.control.BesselArgTop, "its range: it can be at most 800");
    }
    if (problems.empty()) {
        return std::nullopt;
    }
    std::string text;
    for (const auto& p : problems) {
        text += (text.empty() ? "" : "; ") + p;
    }
    return text;
}

Cell compute_cell(const Options& options, std::uint64_t index) {
    const std::uint64_t per_sigma = options.nus.size();
    const std::uint64_t per_alpha = per_sigma * options.sigmas.size();
    Cell cell;
    cell.alpha = options.alphas[index / per_alpha];
    cell.sigma = options.sigmas[index % per_alpha / per_sigma];
    cell.nu = options.nus[index % per_sigma];
    const Setting setting{options.mu, cell.sigma, cell.nu, gammasquared_for(options, cell.nu),
                          options.lambda};
    const ControlParms& c = options.control;
    const Controls controls{c.MaximumIterations, c.BesselArgTop, c.Tolerance, c.ResultTol};
    const lvlim::Kind kind = options.kind == Kind::upper   ? lvlim::Kind::upper
                             : options.kind == Kind::lower ? lvlim::Kind::lower
                                                           : lvlim::Kind::two_sided;
    Limits got = limits(setting, kind, cell.alpha, controls);
    switch (options.kind) {
    case Kind::upper:
        cell.k = got.k_upper;
        cell.limit = got.upper;
        cell.iterations = got.iterations_upper;
        break;
    case Kind::lower:
        cell.k = got.k_lower;
        cell.limit = got.lower;
        cell.iterations = got.iterations_lower;
        break;
    case Kind::two_sided: {
        cell.k = got.k_lower;
        cell.k_upper = got.k_upper;
        cell.iterations = got.iterations_lower;
        cell.iterations_upper = got.iterations_upper;
        // The table gives the pair as the engine labels it: the limit from k_lower first. The
        // API orders the pair; the engine's limit is mu-hat + lambda sigma^2 + sgn k c with
        // c > 0, and rounding keeps that order, so the pair was swapped exactly when
        // sgn k_lower > sgn k_upper (an equal pair reads the same either way).
        const double sgn = options.lambda < 0.0 ? -1.0 : 1.0;
        const bool swapped = !std::isnan(got.lower) && !std::isnan(got.upper) &&
                             sgn * got.k_lower > sgn * got.k_upper;
        cell.limit = swapped ? got.upper : got.lower;
        cell.limit_upper = swapped ? got.lower : got.upper;
        break;
    }
    }
    cell.failed = got.status == Status::search_failed;
    cell.messages = std::move(got.messages);
    return cell;
}

double measure_rate(const Options& options, unsigned threads, std::size_t samples,
                    const std::atomic<bool>& stop) {
    const std::uint64_t total = cell_count(options);
    samples = static_cast<std::size_t>(std::min<std::uint64_t>(samples, total));
    std::atomic<std::size_t> next{0};
    const auto work = [&] {
        for (std::size_t i = next++; i < samples && !stop; i = next++) {
            // Cells spread evenly over the table, whose cost varies along every axis.
            const auto index = static_cast<std::uint64_t>(
                static_cast<double>(i) * static_cast<double>(total) / static_cast<double>(samples));
            (void)compute_cell(options, std::min(index, total - 1));
        }
    };
    const auto started = std::chrono::steady_clock::now();
    std::vector<std::thread> workers;
    for (unsigned t = 0; t < std::max(1U, threads); ++t) {
        workers.emplace_back(work);
    }
    for (auto& worker : workers) {
        worker.join();
    }
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - started;
    return static_cast<double>(samples) / std::max(took.count(), 1e-9);
}

RunResult run(const Options& options, unsigned threads, const std::atomic<bool>& stop,
              const std::function<bool(const Cell&)>& on_cell,
              const std::function<void(std::uint64_t done, std::uint64_t total)>& on_tick) {
    const std::uint64_t total = cell_count(options);
    threads = std::max(1U, threads);
    // Enough cells in flight that a slow cell does not idle the other workers for long.
    const std::uint64_t window = std::min<std::uint64_t>(total, std::max(256U, 64U * threads));
    std::vector<Cell> slots(static_cast<std::size_t>(window));
    std::vector<char> ready(static_cast<std::size_t>(window), 0);
    std::mutex mutex;
    std::condition_variable cell_ready;
    std::condition_variable room;
    std::uint64_t next = 0;  // the next cell to hand to a worker
    std::uint64_t first = 0; // the first cell not yet written
    bool stopping = false;
    std::atomic<std::uint64_t> done{0};
    std::string error; // what a worker threw, if anything

    const auto work = [&] {
        std::unique_lock lock(mutex);
        while (true) {
            room.wait(lock, [&] { return stopping || next >= total || next < first + window; });
            if (stopping || next >= total) {
                return;
            }
            const std::uint64_t index = next++;
            lock.unlock();
            Cell cell;
            std::string failure;
            try {
                cell = compute_cell(options, index);
            } catch (const std::exception& e) {
                failure = e.what();
            }
            lock.lock();
            if (!failure.empty()) {
                error = failure;
                stopping = true;
                room.notify_all();
                cell_ready.notify_all();
                return;
            }
            slots[static_cast<std::size_t>(index % window)] = std::move(cell);
            ready[static_cast<std::size_t>(index % window)] = 1;
            ++done;
            if (index == first) {
                cell_ready.notify_one();
            }
        }
    };
    std::vector<std::thread> workers;
    workers.reserve(threads);
    for (unsigned t = 0; t < threads; ++t) {
        workers.emplace_back(work);
    }

    RunResult result;
    auto last_tick = std::chrono::steady_clock::now();
    const auto tick = [&](bool force) {
        const auto now = std::chrono::steady_clock::now();
        if (force || now - last_tick >= std::chrono::milliseconds(100)) {
            last_tick = now;
            on_tick(done.load(), total);
        }
    };
    // Hands over the cells complete in order; false once the consumer wants no more.
    const auto drain = [&](std::unique_lock<std::mutex>& lock) {
        while (first < total && ready[static_cast<std::size_t>(first % window)] != 0) {
            const auto slot = static_cast<std::size_t>(first % window);
            Cell cell = std::move(slots[slot]);
            slots[slot] = Cell{};
            ready[slot] = 0;
            ++first;
            room.notify_all();
            lock.unlock();
            ++result.written;
            result.failed += cell.failed ? 1 : 0;
            bool more = false;
            std::string failure;
            try {
                more = on_cell(cell);
            } catch (const std::exception& e) {
                failure = e.what();
            }
            tick(false);
            lock.lock();
            if (!failure.empty() && error.empty()) {
                error = failure;
            }
            if (!more) {
                return false;
            }
        }
        return true;
    };
    {
        std::unique_lock lock(mutex);
        while (first < total && !stopping) {
            if (stop.load()) {
                stopping = true;
                break;
            }
            cell_ready.wait_for(lock, std::chrono::milliseconds(100), [&] {
                return stopping || ready[static_cast<std::size_t>(first % window)] != 0;
            });
            if (!drain(lock)) {
                stopping = true;
                result.stopped = true;
                break;
            }
            lock.unlock();
            tick(false);
            lock.lock();
        }
        stopping = true;
        room.notify_all();
    }
    for (auto& worker : workers) {
        worker.join();
    }
    if (!error.empty()) {
        throw std::runtime_error(error);
    }
    if (first < total) {
        // Stopped: the cells complete in order are still written.
        std::unique_lock lock(mutex);
        if (!result.stopped) {
            drain(lock);
        }
        result.stopped = true;
    }
    tick(true);
    return result;
}

// ---- The layouts --------------------------------------------------------------------------

std::string value_text(double value) {
    std::string text = format_list_real(value);
    text.erase(0, text.find_first_not_of(' '));
    return text;
}

namespace {

constexpr const char* csv_status_ok = "ok";
constexpr const char* csv_status_failed = "search failed";
constexpr const char* legend = "* search failed: a search did not converge, the value is not to be "
                               "trusted";

// The widest text value_text gives for any double ("-2.22507386E-308"). The first block of a
// level is written before its later values are known, so every column has room for this, the
// mark before it and a blank: a value of any size keeps the columns aligned.
std::size_t widest_value() {
    std::size_t widest = 0;
    for (const double v : {-std::numeric_limits<double>::max(), -std::numeric_limits<double>::min(),
                           -std::numeric_limits<double>::denorm_min(),
                           -std::numeric_limits<double>::infinity()}) {
        widest = std::max(widest, value_text(v).size());
    }
    return widest;
}

} // namespace

Writer::Writer(std::ostream& out, const Options& options) : out_(out), options_(options) {
    const bool pair = options.kind == Kind::two_sided;
    if (options.format == Format::csv) {
        out << "alpha,sigma,nu,lambda,gammasquared,";
        out << (pair ? "k_lower,k_upper,iterations_lower,iterations_upper" : "k,iterations");
        if (options.data_scale) {
            out << (pair ? ",mu,lower_limit,upper_limit" : ",mu,limit");
        }
        out << ",status\n";
        return;
    }
    const auto add = [&](const char* title, double Cell::*value) {
        blocks_.push_back({title, value, nullptr, {}});
    };
    if (pair) {
        add("k, lower of a pair of two-sided limits", &Cell::k);
        add("k, upper of a pair of two-sided limits", &Cell::k_upper);
        if (options.data_scale) {
            add("lower limit for mu + lambda*sigma^2", &Cell::limit);
            add("upper limit for mu + lambda*sigma^2", &Cell::limit_upper);
        }
    } else {
        add(options.kind == Kind::upper ? "k, one-sided upper limit" : "k, one-sided lower limit",
            &Cell::k);
        if (options.data_scale) {
            add("limit for mu + lambda*sigma^2", &Cell::limit);
        }
    }
    for (std::size_t b = 1; b < blocks_.size(); ++b) {
        blocks_[b].held = std::tmpfile();
        if (blocks_[b].held == nullptr) {
            throw std::runtime_error("cannot create a temporary file for the text layout");
        }
    }
    for (const auto* axis : {&options.sigmas, &options.nus}) {
        for (const double v : *axis) {
            width_ = std::max(width_, shortest(v).size() + 2);
        }
    }
    width_ = std::max(width_, widest_value() + 2);
}

Writer::~Writer() {
    for (Block& block : blocks_) {
        if (block.held != nullptr) {
            std::fclose(block.held);
        }
    }
}

void Writer::put(Block& block, const std::string& text) {
    if (block.held == nullptr) {
        out_ << text;
    } else if (std::fwrite(text.data(), 1, text.size(), block.held) != text.size()) {
        throw std::runtime_error("cannot write a temporary file of the text layout");
    }
}

void Writer::begin_level(std::size_t alpha_index) {
    const std::string gamma_rule = options_.gamma_offset
                                       ? "nu + " + shortest(*options_.gamma_offset)
                                       : shortest(options_.gammasquared);
    level_failed_ = false;
    for (Block& block : blocks_) {
        std::string head = first_block_ ? "" : "\n";
        first_block_ = false;
        head += block.title + ", alpha = " + shortest(options_.alphas[alpha_index]) +
                ", lambda = " + shortest(options_.lambda) + ", gammasquared = " + gamma_rule;
        if (options_.data_scale) {
            head += ", mu = " + shortest(options_.mu);
        }
        head += '\n';
        std::string labels = "sigma \\ nu";
        head += std::string(width_ - labels.size(), ' ') + labels;
        for (const double nu : options_.nus) {
            const std::string label = shortest(nu);
            head += std::string(width_ - label.size(), ' ') + label;
        }
        head += '\n';
        put(block, head);
    }
}

void Writer::end_level() {
    const std::string tail = level_failed_ ? std::string(legend) + "\n" : "";
    for (Block& block : blocks_) {
        if (block.held == nullptr) {
            out_ << tail;
            continue;
        }
        std::fflush(block.held);
        std::rewind(block.held);
        char buffer[1 << 14];
        for (std::size_t got = 0; (got = std::fread(buffer, 1, sizeof buffer, block.held)) > 0;) {
            out_.write(buffer, static_cast<std::streamsize>(got));
        }
        out_ << tail;
        std::rewind(block.held);
        if (ftruncate(fileno(block.held), 0) != 0) {
            throw std::runtime_error("cannot reuse a temporary file of the text layout");
        }
    }
}

void Writer::cell(const Cell& c) {
    const std::uint64_t index = index_++;
    if (options_.format == Format::csv) {
        const bool pair = options_.kind == Kind::two_sided;
        out_ << shortest(c.alpha) << ',' << shortest(c.sigma) << ',' << shortest(c.nu) << ','
             << shortest(options_.lambda) << ',' << shortest(gammasquared_for(options_, c.nu))
             << ',' << value_text(c.k) << ',';
        if (pair) {
            out_ << value_text(c.k_upper) << ',' << c.iterations << ',' << c.iterations_upper;
        } else {
            out_ << c.iterations;
        }
        if (options_.data_scale) {
            out_ << ',' << shortest(options_.mu) << ',' << value_text(c.limit);
            if (pair) {
                out_ << ',' << value_text(c.limit_upper);
            }
        }
        out_ << ',' << (c.failed ? csv_status_failed : csv_status_ok) << '\n';
        return;
    }
    const std::uint64_t per_sigma = options_.nus.size();
    const std::uint64_t per_alpha = per_sigma * options_.sigmas.size();
    if (index % per_alpha == 0) {
        begin_level(static_cast<std::size_t>(index / per_alpha));
    }
    const auto column = [&](std::string& line, const std::string& text) {
        line.append(width_ - text.size(), ' ');
        line += text;
    };
    row_failed_ = (index % per_sigma != 0 && row_failed_) || c.failed;
    if (index % per_sigma == per_sigma - 1) {
        level_failed_ = level_failed_ || row_failed_; // the row with its marks is written now
    }
    for (Block& block : blocks_) {
        if (index % per_sigma == 0) {
            block.line.clear();
            column(block.line, shortest(c.sigma));
        }
        const std::string text = value_text(c.*(block.value));
        column(block.line, c.failed ? Writer::failed_mark + text : text);
        if (index % per_sigma == per_sigma - 1) {
            block.line += '\n';
            put(block, block.line);
        }
    }
    if (index % per_alpha == per_alpha - 1) {
        end_level();
    }
}

void Writer::finish() {
    const std::uint64_t per_alpha = options_.nus.size() * options_.sigmas.size();
    if (options_.format == Format::text && index_ % per_alpha != 0 && level_failed_) {
        // A level cut short: its written rows carry marks, so they get the legend.
        out_ << legend << '\n';
    }
}

} // namespace lvlim::table
