// lvlim-table: writes a table of standardized confidence limits over ranges of sigma and nu.
// Exit status: 0 success; 1 output could not be written; 2 usage error, values out of
// range or too many cells; 3 complete, but a cell's search failed; 128 + the signal (130 for
// SIGINT, 143 for SIGTERM) when stopped, after writing the rows already complete.
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "apps/lvlim-table/options.hpp"
#include "apps/lvlim-table/runner.hpp"
#include "apps/lvlim-table/writer.hpp"
#include "common/number_text.hpp"
#include "common/standard_output.hpp"

#ifndef LVLIM_VERSION
#error "LVLIM_VERSION must give the program's version"
#endif

namespace {

namespace table = lvlim::table;

constexpr int exit_write_error = 1;
constexpr int exit_usage = 2;
constexpr int exit_search_failed = 3;

std::atomic<bool> stop_requested{false};
volatile std::sig_atomic_t stop_signal = 0;
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void on_stop_signal(int signal) {
    stop_signal = signal;
    stop_requested.store(true);
}

// The handler only raises the flag; with SA_RESTART a write blocked on a full pipe (standard
// error's too) goes on once the reader catches up, and the run stops after the row.
void catch_stop_signals() {
    struct sigaction action {};
    action.sa_handler = on_stop_signal;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

// Standard output through a buffer that finishes a write interrupted by a signal (EINTR, or a
// short write) instead of failing it, as stdio would, and keeps the error of a write that failed.
lvlim::FileOutput output_buffer(STDOUT_FILENO);
std::ostream out(&output_buffer);

// Flushes standard output; on failure says so on standard error.
bool flushed() {
    out.flush();
    if (output_buffer.error() == 0 && out.good()) {
        return true;
    }
    std::cerr << "lvlim-table: cannot write standard output";
    if (output_buffer.error() != 0) {
        std::cerr << ": " << std::strerror(output_buffer.error());
    }
    std::cerr << '\n';
    return false;
}

// "40 s", "12 min", "3.5 h", "9 days".
std::string duration_text(double seconds) {
    const auto rounded = [](double v) { return std::to_string(std::llround(v)); };
    if (seconds < 120.0) {
        return rounded(seconds) + " s";
    }
    if (seconds < 7200.0) {
        return rounded(seconds / 60.0) + " min";
    }
    if (seconds < 172800.0) {
        return rounded(seconds / 3600.0) + " h";
    }
    return rounded(seconds / 86400.0) + " days";
}

// The progress line on standard error (a terminal), once the table has taken a second: cells
// done, the rate, and the time left.
class ProgressLine {
  public:
    explicit ProgressLine(bool enabled) : enabled_(enabled) {}

    void show(std::uint64_t done, std::uint64_t total) {
        const auto now = std::chrono::steady_clock::now();
        const std::chrono::duration<double> elapsed = now - started_;
        if (!enabled_ || elapsed.count() < 1.0 || done >= total) {
            return;
        }
        constexpr std::uint64_t width = 30;
        std::string bar(static_cast<std::size_t>(done * width / total), '#');
        bar.resize(width, '.');
        const double rate = static_cast<double>(done) / elapsed.count();
        std::string line = "lvlim-table: [" + bar + "] " + std::to_string(done) + "/" +
                           std::to_string(total) + " cells, " +
                           std::to_string(static_cast<long long>(rate)) + " cells/s";
        if (rate > 0.0) {
            line += ", " + duration_text(static_cast<double>(total - done) / rate) + " left";
        }
        clear();
        std::cerr << '\r' << line << std::flush;
        shown_ = line.size();
    }
    // Takes the line off the screen.
    void clear() {
        if (shown_ != 0) {
            std::cerr << '\r' << std::string(shown_, ' ') << '\r' << std::flush;
            shown_ = 0;
        }
    }

  private:
    bool enabled_;
    std::size_t shown_ = 0;
    std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
};

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    table::Options options;
    if (const auto error = table::parse_options(arguments, options)) {
        std::cerr << "lvlim-table: " << *error << "\nTry 'lvlim-table --help' for more.\n";
        return exit_usage;
    }
    if (options.help || options.version) {
        out << (options.help ? table::usage_text() : "lvlim-table " LVLIM_VERSION "\n");
        return flushed() ? 0 : exit_write_error;
    }
    if (const auto error = table::validate(options)) {
        std::cerr << "lvlim-table: values out of range: " << *error << '\n';
        return exit_usage;
    }
    const std::uint64_t cells = table::cell_count(options);
    if (cells > options.max_cells) {
        std::cerr << "lvlim-table: the table has "
                  << lvlim::number_text::shortest_round_trip(static_cast<double>(cells))
                  << " cells, more than --max-cells=" << options.max_cells
                  << " allows; narrow the ranges or raise --max-cells\n";
        return exit_usage;
    }
    catch_stop_signals();
    const unsigned threads =
        options.threads != 0 ? options.threads : std::max(1U, std::thread::hardware_concurrency());
    if (cells > table::announce_cells) {
        const double rate =
            table::measure_rate(options, threads, std::size_t{32} * threads, stop_requested);
        if (!stop_requested) {
            std::cerr << "lvlim-table: " << cells << " cells; at about "
                      << static_cast<long long>(rate) << " cells per second on " << threads
                      << (threads == 1 ? " thread" : " threads") << " the table takes about "
                      << duration_text(static_cast<double>(cells) / rate) << '\n';
        }
    }

    ProgressLine progress(isatty(STDERR_FILENO) != 0);
    const bool rows_on_terminal = isatty(STDOUT_FILENO) != 0;
    bool write_failed = false;
    table::RunResult result;
    try {
        table::Writer writer(out, options);
        auto last_flush = std::chrono::steady_clock::now();
        const auto on_cell = [&](const table::Cell& cell) {
            if (!cell.messages.empty()) {
                // The searches' messages, each with the cell, exactly as the table gives it.
                progress.clear();
                for (const std::string& line : cell.messages) {
                    std::cerr << "lvlim-table: alpha="
                              << lvlim::number_text::shortest_round_trip(cell.alpha)
                              << " sigma=" << lvlim::number_text::shortest_round_trip(cell.sigma)
                              << " nu=" << lvlim::number_text::shortest_round_trip(cell.nu) << ": " << line
                              << '\n';
                }
            }
            if (rows_on_terminal) {
                progress.clear(); // the row must not land on the progress line
            }
            writer.cell(cell);
            // Rows reach a pipe or a file at least once a second.
            const auto now = std::chrono::steady_clock::now();
            if (now - last_flush >= std::chrono::seconds(1)) {
                last_flush = now;
                if (!flushed()) {
                    write_failed = true;
                    return false;
                }
            }
            return true;
        };
        result = table::run(
            options, threads, stop_requested, on_cell,
            [&](std::uint64_t done, std::uint64_t total) { progress.show(done, total); });
        if (result.stopped && !write_failed) {
            writer.finish();
        }
        progress.clear();
    } catch (const std::exception& e) {
        // Only output can fail here: the values were checked before.
        progress.clear();
        std::cerr << "lvlim-table: " << e.what() << '\n';
        out.flush();
        return exit_write_error;
    }
    if (write_failed || !flushed()) {
        return exit_write_error;
    }
    if (stop_signal != 0) {
        return 128 + static_cast<int>(stop_signal);
    }
    return result.failed != 0 ? exit_search_failed : 0;
}
