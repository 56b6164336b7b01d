// The calculator's rows computed natively, for the browser tests to compare with the WebAssembly
// build: `lvlim_web_reference FILE KIND CONFIDENCES` prints `field value` lines of the first row
// (values in their shortest round-trip form), or `error field message` lines.
#include <fstream>
#include <iostream>
#include <sstream>

#include "web/calculator.hpp"

int main(int argc, char** argv) {
    if (argc != 4) {
        std::cerr << "usage: lvlim_web_reference FILE KIND CONFIDENCES\n";
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    const auto outcome = lvlim::web::from_measurements(text.str(), argv[2], argv[3]);
    for (const auto& e : outcome.errors) {
        std::cout << "error " << e.field << ' ' << e.message << '\n';
    }
    if (outcome.rows.empty()) {
        return 1;
    }
    using lvlim::web::shortest;
    const auto& r = outcome.rows.front().result;
    std::cout << "n " << r.summary.n << '\n'
              << "log_mean " << shortest(r.summary.log_mean) << '\n'
              << "log_sd " << shortest(r.summary.log_sd) << '\n'
              << "mvue " << shortest(r.summary.mvue) << '\n'
              << "sample_mean " << shortest(r.summary.sample_mean) << '\n'
              << "plug_in " << shortest(r.summary.plug_in) << '\n'
              << "mean_lower " << shortest(r.mean_lower) << '\n'
              << "mean_upper " << shortest(r.mean_upper) << '\n'
              << "status " << lvlim::to_string(r.limits.status) << '\n';
    return 0;
}
