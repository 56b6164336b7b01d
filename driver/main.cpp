// lvlim: exact confidence limits for mu + lambda sigma^2 of a normal distribution.
// A batch filter: one input record on standard input, the results on standard output.
// Command-line arguments are ignored.
#include <iostream>

#include "driver/run.hpp"

int main() {
    // Unsynchronised streams read standard input through their own buffer, which reports a
    // failing input (a directory, say) as an error instead of as the end of the input.
    std::ios::sync_with_stdio(false);
    return lvlim::run(std::cin, std::cout, std::cerr);
}
