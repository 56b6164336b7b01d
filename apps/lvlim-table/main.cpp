// lvlim-table: writes a table of standardized confidence limits over ranges of sigma and nu.
// Exit status: 0 on success, 2 for a usage error or values out of range.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "apps/lvlim-table/table.hpp"

namespace {

// A progress bar on standard error, once the table has taken more than a second.
const auto started = std::chrono::steady_clock::now();
bool bar_shown = false;

void show_progress(std::size_t done, std::size_t total) {
    if (std::chrono::steady_clock::now() - started < std::chrono::seconds(1) && !bar_shown) {
        return;
    }
    if (done == total && !bar_shown) {
        return;
    }
    bar_shown = true;
    constexpr std::size_t width = 40;
    const std::size_t filled = total == 0 ? width : done * width / total;
    std::string bar(filled, '#');
    bar.resize(width, '.');
    std::cerr << "\rlvlim-table: [" << bar << "] " << done << '/' << total << " cells";
    if (done == total) {
        std::cerr << "\r" << std::string(width + 40, ' ') << "\r";
    }
    std::cerr.flush();
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    lvlim::table::Options options;
    if (const auto error = lvlim::table::parse_options(arguments, options)) {
        std::cerr << "lvlim-table: " << *error << "\nTry 'lvlim-table --help' for more.\n";
        return 2;
    }
    if (options.help) {
        std::cout << lvlim::table::usage_text();
        return 0;
    }
    if (options.version) {
        std::cout << "lvlim-table 0.1.0\n";
        return 0;
    }
    if (const auto error = lvlim::table::validate(options)) {
        std::cerr << "lvlim-table: values out of range: " << *error << '\n';
        return 2;
    }
    const unsigned threads =
        options.threads != 0 ? options.threads : std::max(1U, std::thread::hardware_concurrency());
    const bool terminal = isatty(STDERR_FILENO) != 0;
    const auto cells = lvlim::table::compute(options, threads, terminal ? show_progress : nullptr);

    // The searches' messages, each with the cell it belongs to, in the order of the table.
    for (const auto& cell : cells) {
        std::size_t start = 0;
        while (start < cell.messages.size()) {
            const auto end = cell.messages.find('\n', start);
            std::cerr << "lvlim-table: alpha=" << cell.alpha << " sigma=" << cell.sigma
                      << " nu=" << cell.nu << ":" << cell.messages.substr(start, end - start)
                      << '\n';
            start = end == std::string::npos ? cell.messages.size() : end + 1;
        }
    }
    if (options.format == lvlim::table::Format::csv) {
        lvlim::table::write_csv(std::cout, options, cells);
    } else {
        lvlim::table::write_text(std::cout, options, cells);
    }
    std::cout.flush();
    return std::cout ? 0 : 1;
}
