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
