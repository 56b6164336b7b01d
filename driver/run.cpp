// One run of lvlim, from the defaults to the result record.
//
//  1. The control parameters take their defaults; the seven run values are 0.
//  2. One free-form record is read. A read error is reported with its status and an echo of
//     the eleven items as they stand, and the run stops.
//  3. The values are validated. A failure is reported with the validator's message, and the run
//     stops; the engine is not called.
//  4. WhichLimit 1 or 2 runs the one-sided entry, every other value the two-sided one. The
//     engine's messages are written while it runs, so they come before the result record.
//  5. The result record: the inputs, the results and the control parameters as they are after
//     the engine returned, one line of key, value and "+" each.
// Every run returns 0; main() turns a failed standard output into exit status 1.
#include "driver/run.hpp"

#include <array>
#include <string>
#include <string_view>

#include "Guts/mainguts.hpp"
#include "Guts/messages.hpp"
#include "common/list_output.hpp"
#include "driver/free_form_input.hpp"
#include "driver/input_record.hpp"

namespace lvlim {

namespace {

// The names of the limit kinds, 26 characters each. Index 1 is the upper limit.
constexpr std::array<std::string_view, 3> LimitKindName = {
    "one-sided upper limit     ",
    "one-sided lower limit     ",
    "a pair of two-sided limits",
};
static_assert(LimitKindName[0].size() == 26 && LimitKindName[1].size() == 26 &&
              LimitKindName[2].size() == 26);

// The name shown for a WhichLimit: kinds outside 1 to 3 run the two-sided computation and are
// named for it.
std::string_view limit_kind_name(int WhichLimit) {
    if (WhichLimit == 1 || WhichLimit == 2) {
        return LimitKindName[static_cast<std::size_t>(WhichLimit - 1)];
    }
    return LimitKindName[2];
}

void write_line(std::ostream& out, std::string_view key, double value) {
    ListRecord(out).text(key).real(value).text("+");
}
void write_line(std::ostream& out, std::string_view key, int value) {
    ListRecord(out).text(key).integer(value).text("+");
}
void write_line(std::ostream& out, std::string_view key, std::string_view value) {
    ListRecord(out).text(key).text(value).text("+");
}

// Lines 2 to 7 of both result records.
void write_inputs(std::ostream& out, const InputRecord& v) {
    write_line(out, "alpha = ", v.alpha);
    write_line(out, "lambda = ", v.lambda);
    write_line(out, "sigma= ", v.sigma);
    write_line(out, "nu= ", v.nu);
    write_line(out, "mu= ", v.mu);
    write_line(out, "gammasquared= ", v.gammasquared);
}

// The last lines of both result records.
void write_time_and_control(std::ostream& out, double Time) {
    write_line(out, "Time=", Time);
    write_line(out, "MaximumIterations=", controlparms.MaximumIterations);
    write_line(out, "BesselArgTop=", controlparms.BesselArgTop);
    write_line(out, "Tolerance=", controlparms.Tolerance);
    write_line(out, "ResultTol=", controlparms.ResultTol);
}

void run_one_sided(std::ostream& out, const InputRecord& v) {
    double StandardConfidenceLimit = 0.0;
    double ConfidenceLimit = 0.0;
    double Time = 0.0;
    int NumberIterations = 0;
    onetail(v.WhichLimit, v.mu, v.sigma, v.nu, v.alpha, v.lambda, v.gammasquared,
            controlparms.BesselArgTop, controlparms.Tolerance, controlparms.ResultTol,
            controlparms.MaximumIterations, StandardConfidenceLimit, ConfidenceLimit, Time,
            NumberIterations);
    write_line(out, "WhichLimit= ", limit_kind_name(v.WhichLimit));
    write_inputs(out, v);
    write_line(out, "StandardConfidenceLimit= ", StandardConfidenceLimit);
    write_line(out, "ConfidenceLimit= ", ConfidenceLimit);
    write_line(out, "NumberIterations=", NumberIterations);
    write_time_and_control(out, Time);
}

void run_two_sided(std::ostream& out, const InputRecord& v) {
    double LowerConfidenceLimit = 0.0;
    double StandardLowerLimit = 0.0;
    double UpperConfidenceLimit = 0.0;
    double StandardUpperLimit = 0.0;
    double Time = 0.0;
    int NumberIterationsLower = 0;
    int NumberIterationsUpper = 0;
    twotail(v.mu, v.sigma, v.nu, v.alpha, v.lambda, v.gammasquared, controlparms.BesselArgTop,
            controlparms.Tolerance, controlparms.ResultTol, controlparms.MaximumIterations,
            LowerConfidenceLimit, StandardLowerLimit, UpperConfidenceLimit, StandardUpperLimit,
            Time, NumberIterationsLower, NumberIterationsUpper);
    write_line(out, "WhichLimit=", limit_kind_name(v.WhichLimit));
    write_inputs(out, v);
    write_line(out, "StandardLowerLimit= ", StandardLowerLimit);
    write_line(out, "StandardUpperLimit= ", StandardUpperLimit);
    write_line(out, "LowerConfidenceLimit= ", LowerConfidenceLimit);
    write_line(out, "UpperConfidenceLimit= ", UpperConfidenceLimit);
    write_line(out, "NumberIterationsLower=", NumberIterationsLower);
    write_line(out, "NumberIterationsUpper=", NumberIterationsUpper);
    write_time_and_control(out, Time);
}

// Sends the engine's messages to the run's output for the length of the run.
class MessagesTo {
  public:
    explicit MessagesTo(std::ostream& out) : saved_(engine_messages) { engine_messages = &out; }
    MessagesTo(const MessagesTo&) = delete;
    MessagesTo& operator=(const MessagesTo&) = delete;
    ~MessagesTo() { engine_messages = saved_; }

  private:
    std::ostream* saved_;
};

} // namespace

int run(std::istream& in, std::ostream& out, std::ostream& err) {
    const MessagesTo messages(out);
    InputRecord v;
    const ReadStatus read_status = read_free_form(in, v.items());
    controlparms = v.control();
    if (read_status != ReadStatus::ok) {
        ListRecord(out)
            .text("Error reading inputs, error number ")
            .integer(static_cast<int>(read_status));
        {
            ListRecord echo(out);
            echo.integer(v.WhichLimit).real(v.alpha).real(v.lambda).real(v.sigma).real(v.nu);
            echo.real(v.mu).real(v.gammasquared).integer(controlparms.MaximumIterations);
            echo.real(controlparms.BesselArgTop).real(controlparms.Tolerance);
            echo.real(controlparms.ResultTol);
        }
        out.flush();
        err << "STOP Error Reading Inputs statement executed\n";
        return 0;
    }

    bool ArgumentsOk = false;
    std::string ArgumentsMessage(arguments_message_length, ' ');
    checkarguments(v.WhichLimit, v.alpha, v.lambda, v.sigma, v.nu, v.mu, v.gammasquared,
                   controlparms.MaximumIterations, controlparms.BesselArgTop,
                   controlparms.Tolerance, controlparms.ResultTol, ArgumentsOk, ArgumentsMessage);
    if (!ArgumentsOk) {
        ListRecord(out).text("Error in inputs");
        ListRecord(out).text(ArgumentsMessage);
        out.flush();
        err << "STOP Error in Inputs statement executed\n";
        return 0;
    }

    if (v.WhichLimit == 1 || v.WhichLimit == 2) {
        run_one_sided(out, v);
    } else {
        run_two_sided(out, v);
    }
    out.flush();
    return 0;
}

} // namespace lvlim
