// lvlim-plan: the number of measurements a study needs to show that a lognormal mean or
// percentile lies below a limit value, from the exact power of the upper limits (or the
// expected ratio of the mean's upper limit to the mean), with the curve over n.
//
// Exit status: 0 success; 1 standard output that cannot be written; 2 a usage error or a value
// out of its range; 3 written, but a value not computed reliably (marked in the output).
#include <unistd.h>

#include <iostream>
#include <string>
#include <variant>

#include "apps/lvlim-plan/options.hpp"
#include "apps/lvlim-plan/output.hpp"
#include "common/standard_output.hpp"
#include "lvlim/lvlim.hpp"

namespace {

constexpr const char* program_name = "lvlim-plan";

constexpr int exit_ok = 0;
constexpr int exit_error = 1;
constexpr int exit_usage = 2;
constexpr int exit_unreliable = 3;

// Thrown from the per-row callback to stop the search once standard output is lost.
struct OutputLost {};

template <class Write> int emit(Write write, int status) {
    write(std::cout);
    if (!lvlim::flush_standard_output(
            std::string(program_name) + ": cannot write to standard output", std::cerr)) {
        return exit_error;
    }
    return status;
}

int run(int argc, char** argv) {
    const lvlim::plan::Parsed parsed = lvlim::plan::parse_command_line(argc, argv);
    if (const auto* help = std::get_if<lvlim::plan::Help>(&parsed)) {
        return emit([&](std::ostream& out) { out << help->text; }, exit_ok);
    }
    if (const auto* error = std::get_if<lvlim::plan::UsageError>(&parsed)) {
        std::cerr << program_name << ": " << error->message << '\n'
                  << "Try '" << program_name << " --help' for more information.\n";
        return exit_usage;
    }
    const auto& options = std::get<lvlim::plan::Options>(parsed);

    // Text and CSV go out a row at a time, each flushed as the search completes it; a write
    // that fails stops the search. JSON is one object, written whole at the end.
    const bool streamed = options.format != lvlim::plan::Format::json;
    const std::string write_failure =
        std::string(program_name) + ": cannot write to standard output";
    if (streamed) {
        if (options.format == lvlim::plan::Format::text) {
            lvlim::plan::write_text_head(std::cout, options);
        } else {
            lvlim::plan::write_csv_head(std::cout);
        }
        if (!lvlim::flush_standard_output(write_failure, std::cerr)) {
            return exit_error;
        }
    }

    // The progress line, on a terminal only: overwritten in place, erased before each row is
    // written (standard output may be the same terminal) and at the end.
    const bool terminal = isatty(STDERR_FILENO) == 1;
    const auto on_row = [&](const lvlim::PlanRow& row, std::size_t count) {
        if (terminal) {
            std::cerr << "\r\x1b[K" << std::flush;
        }
        for (const lvlim::PowerResult* value : {&row.power, &row.expected_ratio}) {
            for (const std::string& message : value->messages) {
                std::cerr << program_name << ": n = " << row.n << ": " << message << '\n';
            }
        }
        if (streamed) {
            if (options.format == lvlim::plan::Format::text) {
                lvlim::plan::write_text_row(std::cout, row);
            } else {
                lvlim::plan::write_csv_row(std::cout, row);
            }
            if (!lvlim::flush_standard_output(write_failure, std::cerr)) {
                throw OutputLost{};
            }
        }
        if (terminal) {
            std::cerr << '\r' << program_name << ": n = " << row.n << " computed (" << count
                      << " values)\x1b[K" << std::flush;
        }
    };
    lvlim::SampleSize result;
    try {
        result = lvlim::sample_size(options.setting, options.target, options.n_from, options.n_to,
                                    on_row);
    } catch (const OutputLost&) {
        if (terminal) {
            std::cerr << "\r\x1b[K" << std::flush;
        }
        return exit_error;
    }
    if (terminal) {
        std::cerr << "\r\x1b[K" << std::flush;
    }

    bool unreliable = result.status != lvlim::Status::ok;
    for (const lvlim::PlanRow& row : result.rows) {
        unreliable = unreliable || row.status != lvlim::Status::ok;
    }
    if (options.format != lvlim::plan::Format::text) {
        for (const std::string& message : result.messages) {
            std::cerr << program_name << ": " << message << '\n';
        }
    }
    return emit(
        [&](std::ostream& out) {
            switch (options.format) {
            case lvlim::plan::Format::text:
                lvlim::plan::write_text_tail(out, options, result);
                break;
            case lvlim::plan::Format::csv:
                break;
            case lvlim::plan::Format::json:
                lvlim::plan::write_json(out, result);
                break;
            }
        },
        unreliable ? exit_unreliable : exit_ok);
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
