// The assessment's part of the module lvlim._lvlim (assessment.cpp).
#pragma once

#include <pybind11/pybind11.h>

#include "lvlim/lognormal.hpp"

// The fields of one limit of a lognormal mean, as the module's dicts have them.
pybind11::dict lognormal_mean_fields(const lvlim::LognormalMean& m);

// Adds lvlim._lvlim.assess to the module.
void bind_assessment(pybind11::module_& m);
