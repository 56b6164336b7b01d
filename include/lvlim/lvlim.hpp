// lvlim: exact (uniformly most accurate unbiased) confidence limits for mu + lambda*sigma^2 of a
// normal distribution from sample estimates, and for the mean of a lognormal population from
// its measurements.
//
// Value types in, value types out. Every function may be called from many threads at once;
// nothing is printed: what the searches report comes back in Limits::messages. Inputs outside
// the supported range raise std::invalid_argument with a message that names the value and its
// range; a search that does not converge is reported through Limits::status, not an exception.
#pragma once

// One header per subject; this one includes them all.
#include "lvlim/common.hpp"    // the supported range, kinds, settings, controls, status, names
#include "lvlim/limits.hpp"    // the limits of one setting
#include "lvlim/lognormal.hpp" // the mean of a lognormal population
#include "lvlim/assessment.hpp" // the one-sample assessment against a limit value
#include "lvlim/planning.hpp"   // planning a study: power and sample size
