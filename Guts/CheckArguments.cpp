// checkarguments: the range tests a run's inputs pass before any computation starts.
//
// Four values are tested, always all four, and every failure adds its own 80-character segment
// to the message, in the fixed order alpha, sigma, nu, BesselArgTop; a segment whose test
// passed stays blank. Each segment is the test's text, the offending value edited with a
// fixed-point descriptor into a 20-character field, and "). ", blank-filled to 80 characters.
// The routine writes nothing itself; the driver prints the message and stops the run.
#include <string>
#include <string_view>

#include "Guts/mainguts.hpp"
#include "common/list_output.hpp"

namespace lvlim {

namespace {

// Width of the field that holds the edited value inside a segment.
constexpr std::size_t value_text_length = 20;

// The Fw.d edit of each tested value.
struct FixedEdit {
    int w;
    int d;
};
constexpr FixedEdit alpha_edit{8, 5};   // F8.5
constexpr FixedEdit sigma_edit{12, 2};  // F12.2
constexpr FixedEdit nu_edit{12, 0};     // F12.0
constexpr FixedEdit argtop_edit{12, 1}; // F12.1

// "<text><value in a 20-character field>). " filled with blanks to 80 characters.
std::string failure_segment(std::string_view text, double value, FixedEdit edit) {
    std::string value_text = format_fixed(value, edit.w, edit.d);
    value_text.resize(value_text_length, ' ');
    std::string segment(text);
    segment += value_text;
    segment += "). ";
    segment.resize(arguments_segment_length, ' ');
    return segment;
}

} // namespace

void checkarguments(const int& /*WhichLimit*/, const double& alpha, const double& /*lambda*/,
                    const double& sigma, const double& nu, const double& /*mu*/,
                    const double& /*gammasquared*/, const int& /*MaximumIterations*/,
                    const double& BesselArgTop, const double& /*Tolerance*/,
                    const double& /*ResultTol*/, bool& ArgumentsOk,
                    std::string& ArgumentsMessage) {
    ArgumentsOk = true;
    const std::string blank_segment(arguments_segment_length, ' ');
    std::string AlphaMessage = blank_segment;
    std::string SigmaMessage = blank_segment;
    std::string NuMessage = blank_segment;
    std::string ArgtopMessage = blank_segment;

    // Each test is written so that a value that is not a number fails it too.
    // Valid only strictly between 0 and 1.
    if (!(alpha > 0.0 && alpha < 1.0)) {
        ArgumentsOk = false;
        AlphaMessage = failure_segment("Alpha must be between 0 and 1 (value is ", alpha, alpha_edit);
    }
    // The closed range [0.1, 10]; 0.1 is the double 0.1.
    if (!(sigma >= 0.1 && sigma <= 10.0)) {
        ArgumentsOk = false;
        SigmaMessage =
            failure_segment("Sigma must be in the range [0.1,10] (value is ", sigma, sigma_edit);
    }
    // The closed range [2, 1000].
    if (!(nu >= 2.0 && nu <= 1000.0)) {
        ArgumentsOk = false;
        NuMessage = failure_segment("nu must be in the range [2,1000] (value is ", nu, nu_edit);
    }
    // At most 800.0; there is no lower bound.
    if (!(BesselArgTop <= 800.0)) {
        ArgumentsOk = false;
        ArgtopMessage =
            failure_segment("Argtop can be at most 800.0 (value is ", BesselArgTop, argtop_edit);
    }

    if (!ArgumentsOk) {
        // The caller's text keeps its length: the message is cut to it or blank-filled up to it.
        const std::size_t capacity = ArgumentsMessage.size();
        std::string message = AlphaMessage + SigmaMessage + NuMessage + ArgtopMessage;
        message.resize(capacity, ' ');
        ArgumentsMessage = message;
    }
}

} // namespace lvlim
