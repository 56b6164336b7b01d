// Whole-program fuzz target: arbitrary bytes as standard input through the reader, the
// validator and the engine, with a check that the output is well formed.
//
// Well formed is what tests/record_format.hpp describes, with exit status 0.
//
// Cost bound: a record whose MaximumIterations exceeds `max_fuzz_iterations` is not run, so
// that the fuzzer keeps moving; every search is bounded by that limit.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "Guts/control.hpp"
#include "driver/free_form_input.hpp"
#include "driver/input_record.hpp"
#include "driver/run.hpp"
#include "tests/record_format.hpp"

namespace {

constexpr int max_fuzz_iterations = 400;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);

    // The cost bound: look at the record as the program will read it.
    {
        lvlim::InputRecord record;
        std::istringstream probe(input);
        const auto status = lvlim::read_free_form(probe, record.items());
        if (status == lvlim::ReadStatus::ok && record.MaximumIterations > max_fuzz_iterations) {
            return -1; // not worth the time: reject from the corpus
        }
    }

    std::istringstream in(input);
    std::ostringstream out;
    std::ostringstream err;
    if (lvlim::run(in, out, err) != 0) {
        std::abort();
    }

    if (!lvlim::test::output_fault(out.str(), err.str()).empty()) {
        std::abort();
    }
    return 0;
}
