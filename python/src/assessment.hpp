// The assessment's part of the module lvlim._lvlim (assessment.cpp).
#pragma once

#include <pybind11/pybind11.h>

// Adds lvlim._lvlim.assess to the module.
void bind_assessment(pybind11::module_& m);
