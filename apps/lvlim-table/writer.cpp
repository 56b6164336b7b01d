#include "apps/lvlim-table/writer.hpp"

#include <unistd.h>

#include <algorithm>
#include <limits>
#include <stdexcept>

#include "common/number_text.hpp"
#include "common/list_output.hpp"

namespace lvlim::table {

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
    for (const double v :
         {-std::numeric_limits<double>::max(), -std::numeric_limits<double>::min(),
          -std::numeric_limits<double>::denorm_min(), -std::numeric_limits<double>::infinity()}) {
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
            width_ = std::max(width_, number_text::shortest_round_trip(v).size() + 2);
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
                                       ? "nu + " + number_text::shortest_round_trip(*options_.gamma_offset)
                                       : number_text::shortest_round_trip(options_.gammasquared);
    level_failed_ = false;
    for (Block& block : blocks_) {
        std::string head = first_block_ ? "" : "\n";
        first_block_ = false;
        head += block.title +
                ", alpha = " + number_text::shortest_round_trip(options_.alphas[alpha_index]) +
                ", lambda = " + number_text::shortest_round_trip(options_.lambda) +
                ", gammasquared = " + gamma_rule;
        if (options_.data_scale) {
            head += ", mu = " + number_text::shortest_round_trip(options_.mu);
        }
        head += '\n';
        std::string labels = "sigma \\ nu";
        head += std::string(width_ - labels.size(), ' ') + labels;
        for (const double nu : options_.nus) {
            const std::string label = number_text::shortest_round_trip(nu);
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
        out_ << number_text::shortest_round_trip(c.alpha) << ',' << number_text::shortest_round_trip(c.sigma)
             << ',' << number_text::shortest_round_trip(c.nu) << ','
             << number_text::shortest_round_trip(options_.lambda) << ','
             << number_text::shortest_round_trip(gammasquared_for(options_, c.nu)) << ','
             << value_text(c.k) << ',';
        if (pair) {
            out_ << value_text(c.k_upper) << ',' << c.iterations << ',' << c.iterations_upper;
        } else {
            out_ << c.iterations;
        }
        if (options_.data_scale) {
            out_ << ',' << number_text::shortest_round_trip(options_.mu) << ',' << value_text(c.limit);
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
            column(block.line, number_text::shortest_round_trip(c.sigma));
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
