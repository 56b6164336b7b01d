// Whole-program fuzz target: arbitrary bytes as standard input through the reader, the
// validator and the engine, with a check that the output is well formed.
//
// Well formed means exactly one of:
//  - a read-error report: the status line and the echo of the eleven items;
//  - a validation report: " Error in inputs" and the 321-character message line;
//  - a result record of 15 (one-sided) or 18 (two-sided) lines with their keys in order,
//    preceded only by the engine's known messages.
// and the matching stop text (or nothing) on standard error, and exit status 0.
//
// Cost bound: a record whose MaximumIterations exceeds `max_fuzz_iterations` is not run, so
// that the fuzzer keeps moving; every search is bounded by that limit.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "Guts/control.hpp"
#include "driver/free_form_input.hpp"
#include "driver/run.hpp"

namespace {

constexpr int max_fuzz_iterations = 400;

[[noreturn]] void fail() { std::abort(); }

void expect(bool condition) {
    if (!condition) {
        fail();
    }
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const auto end = text.find('\n', start);
        expect(end != std::string::npos); // every line is ended
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

bool starts_with(std::string_view line, std::string_view prefix) {
    return line.substr(0, prefix.size()) == prefix;
}

bool is_engine_message(std::string_view line) {
    return line == " Guess is out of interval.  Using bisection" ||
           line == " q1-q0=machine 0 in SecantBis..." ||
           line == " Method (Only Bisection) failed..." || line == " Failed with v=2..." ||
           starts_with(line, " v,s ") || line == " Set Factor to 0 ";
}

void check_result_record(const std::vector<std::string>& lines) {
    std::size_t first = 0;
    while (first < lines.size() && is_engine_message(lines[first])) {
        ++first;
    }
    expect(first < lines.size());
    const bool two_sided = starts_with(lines[first], " WhichLimit=a pair");
    static const std::vector<std::string_view> one_sided_keys = {
        " WhichLimit= one-sided ", " alpha = ", " lambda = ", " sigma= ", " nu= ", " mu= ",
        " gammasquared= ", " StandardConfidenceLimit= ", " ConfidenceLimit= ",
        " NumberIterations=", " Time=  0.+", " MaximumIterations=", " BesselArgTop=",
        " Tolerance=", " ResultTol="};
    static const std::vector<std::string_view> two_sided_keys = {
        " WhichLimit=a pair of two-sided limits+", " alpha = ", " lambda = ", " sigma= ",
        " nu= ", " mu= ", " gammasquared= ", " StandardLowerLimit= ", " StandardUpperLimit= ",
        " LowerConfidenceLimit= ", " UpperConfidenceLimit= ", " NumberIterationsLower=",
        " NumberIterationsUpper=", " Time=  0.+", " MaximumIterations=", " BesselArgTop=",
        " Tolerance=", " ResultTol="};
    const auto& keys = two_sided ? two_sided_keys : one_sided_keys;
    expect(lines.size() - first == keys.size());
    for (std::size_t i = 0; i < keys.size(); ++i) {
        const std::string& line = lines[first + i];
        expect(starts_with(line, keys[i]));
        expect(!line.empty() && line.back() == '+');
        expect(line.size() < 80);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);

    // The cost bound: look at the record as the program will read it.
    {
        int which = 0;
        double values[6] = {};
        lvlim::ControlParms control;
        const lvlim::InputItem items[] = {&which,      &values[0], &values[1],
                                          &values[2],  &values[3], &values[4],
                                          &values[5],  &control.MaximumIterations,
                                          &control.BesselArgTop, &control.Tolerance,
                                          &control.ResultTol};
        std::istringstream probe(input);
        if (lvlim::read_free_form(probe, items) == lvlim::ReadStatus::ok &&
            control.MaximumIterations > max_fuzz_iterations) {
            return -1; // not worth the time: reject from the corpus
        }
    }

    std::istringstream in(input);
    std::ostringstream out;
    std::ostringstream err;
    expect(lvlim::run(in, out, err) == 0);

    const auto lines = lines_of(out.str());
    expect(!lines.empty());
    if (starts_with(lines[0], " Error reading inputs, error number ")) {
        // The echo of eleven items takes one line, or more when long items pass column 80.
        expect(lines.size() >= 2 && lines.size() <= 4);
        for (std::size_t i = 1; i < lines.size(); ++i) {
            expect(lines[i].size() < 80);
        }
        expect(err.str() == "STOP Error Reading Inputs statement executed\n");
    } else if (lines[0] == " Error in inputs") {
        expect(lines.size() == 2);
        expect(lines[1].size() == 321);
        expect(err.str() == "STOP Error in Inputs statement executed\n");
    } else {
        check_result_record(lines);
        expect(err.str().empty());
    }
    return 0;
}
