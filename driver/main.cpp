// lvlim: exact confidence limits for mu + lambda sigma^2 of a normal distribution.
// A batch filter: one input record on standard input, the results on standard output.
// Command-line arguments are ignored. The exit status is 0, unless standard output could not
// be written: then one line on standard error says so and the status is 1.
#include <unistd.h>

#include <iostream>

#include "driver/run.hpp"
#include "common/standard_output.hpp"

int main() {
    // Unsynchronised streams read standard input through their own buffer, which reports a
    // failing input (a directory, say) as an error instead of as the end of the input.
    std::ios::sync_with_stdio(false);
    // Standard output through a buffer that keeps the error of a failed write.
    lvlim::FileOutput buffer(STDOUT_FILENO);
    std::ostream out(&buffer);
    const int status = lvlim::run(std::cin, out, std::cerr);
    const int output = lvlim::output_status(out, buffer, "lvlim", std::cerr);
    return output != 0 ? output : status;
}
