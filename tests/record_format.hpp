// What a run may print: exactly one of
//  - a read-error report: the status line and the echo of the eleven items (on one line, or
//    more when long items pass column 80), with "STOP Error Reading Inputs statement executed"
//    on standard error;
//  - a validation report: " Error in inputs" and the 321-character message line, with
//    "STOP Error in Inputs statement executed" on standard error;
//  - a result record of 15 (one-sided) or 18 (two-sided) lines with their keys in order,
//    preceded only by the engine's known messages, and nothing on standard error.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace lvlim::test {

// Empty when the output is well formed, otherwise what is wrong with it.
inline std::string output_fault(const std::string& out, const std::string& err) {
    std::vector<std::string_view> lines;
    for (std::size_t start = 0; start < out.size();) {
        const auto end = out.find('\n', start);
        if (end == std::string::npos) {
            return "a line without a line end";
        }
        lines.push_back(std::string_view(out).substr(start, end - start));
        start = end + 1;
    }
    if (lines.empty()) {
        return "no output";
    }
    const auto starts_with = [](std::string_view line, std::string_view prefix) {
        return line.substr(0, prefix.size()) == prefix;
    };

    if (starts_with(lines[0], " Error reading inputs, error number ")) {
        if (lines.size() < 2 || lines.size() > 4) {
            return "a read-error report of " + std::to_string(lines.size()) + " lines";
        }
        // Texts and doubles are moved to a new line before they would reach column 80; an
        // integer only when its digits would, so its blank and sign can make a line of 81.
        for (std::size_t i = 1; i < lines.size(); ++i) {
            if (lines[i].size() > 81) {
                return "an echo line of more than 81 columns";
            }
        }
        return err == "STOP Error Reading Inputs statement executed\n" ? "" : "read-error stop text";
    }
    if (lines[0] == " Error in inputs") {
        if (lines.size() != 2 || lines[1].size() != 321) {
            return "a malformed validation report";
        }
        return err == "STOP Error in Inputs statement executed\n" ? "" : "validation stop text";
    }
    if (!err.empty()) {
        return "standard error after a result record";
    }

    const auto is_engine_message = [&](std::string_view line) {
        return line == " Guess is out of interval.  Using bisection" ||
               line == " q1-q0=machine 0 in SecantBis..." ||
               line == " Method (Only Bisection) failed..." || line == " Failed with v=2..." ||
               starts_with(line, " v,s ") || line == " Set Factor to 0 ";
    };
    std::size_t first = 0;
    while (first < lines.size() && is_engine_message(lines[first])) {
        ++first;
    }
    if (first == lines.size()) {
        return "engine messages without a result record";
    }
    static const std::vector<std::string_view> one_sided = {
        " WhichLimit= one-sided ", " alpha = ", " lambda = ", " sigma= ", " nu= ", " mu= ",
        " gammasquared= ", " StandardConfidenceLimit= ", " ConfidenceLimit= ",
        " NumberIterations=", " Time=  0.+", " MaximumIterations=", " BesselArgTop=",
        " Tolerance=", " ResultTol="};
    static const std::vector<std::string_view> two_sided = {
        " WhichLimit=a pair of two-sided limits+", " alpha = ", " lambda = ", " sigma= ",
        " nu= ", " mu= ", " gammasquared= ", " StandardLowerLimit= ", " StandardUpperLimit= ",
        " LowerConfidenceLimit= ", " UpperConfidenceLimit= ", " NumberIterationsLower=",
        " NumberIterationsUpper=", " Time=  0.+", " MaximumIterations=", " BesselArgTop=",
        " Tolerance=", " ResultTol="};
    const auto& keys = starts_with(lines[first], " WhichLimit=a pair") ? two_sided : one_sided;
    if (lines.size() - first != keys.size()) {
        return "a result record of " + std::to_string(lines.size() - first) + " lines";
    }
    for (std::size_t i = 0; i < keys.size(); ++i) {
        const std::string_view line = lines[first + i];
        if (!starts_with(line, keys[i]) || line.back() != '+' || line.size() >= 80) {
            return "result line " + std::to_string(i + 1) + ": " + std::string(line);
        }
    }
    return "";
}

} // namespace lvlim::test
