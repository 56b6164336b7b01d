// Sets the control block for one test and puts the previous values back afterwards.
#pragma once

#include "Guts/control.hpp"

namespace lvlim::test {

class ControlGuard {
  public:
    ControlGuard() : saved_(controlparms) {}
    explicit ControlGuard(const ControlParms& values) : saved_(controlparms) {
        controlparms = values;
    }
    ControlGuard(const ControlGuard&) = delete;
    ControlGuard& operator=(const ControlGuard&) = delete;
    ~ControlGuard() { controlparms = saved_; }

  private:
    ControlParms saved_;
};

} // namespace lvlim::test

#include <sstream>

#include "Guts/messages.hpp"

namespace lvlim::test {

// Captures the engine's console messages for one test.
class MessageCapture {
  public:
    MessageCapture() : saved_(engine_messages) { engine_messages = &captured_; }
    MessageCapture(const MessageCapture&) = delete;
    MessageCapture& operator=(const MessageCapture&) = delete;
    ~MessageCapture() { engine_messages = saved_; }

    [[nodiscard]] std::string text() const { return captured_.str(); }

  private:
    std::ostream* saved_;
    std::ostringstream captured_;
};

} // namespace lvlim::test
