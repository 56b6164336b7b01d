// Two-sided 95% limits for mu + sigma^2/2 of the shipped lognormal example
// (21 measurements whose logs have mean 3.1 and standard deviation 1.2).
#include <cstdio>

#include <lvlim/lvlim.hpp>

int main() {
    const lvlim::Setting setting = lvlim::lognormal_setting(3.1, 1.2, 21);
    const lvlim::Limits limits = lvlim::limits(setting, lvlim::Kind::two_sided, 0.95);
    std::printf("%.9g %.9g %s\n", limits.lower, limits.upper, lvlim::to_string(limits.status));
    return limits.status == lvlim::Status::ok ? 0 : 1;
}
