// invertnewflower: the lower end x of [x, hi] over which the kernel newf has the mass target,
// by a sweep downward from hi (kernel_inversion.hpp).
#include <cstddef>

#include "Guts/kernel_exponent.hpp"
#include "Guts/kernel_inversion.hpp"
#include "Guts/mainguts.hpp"

namespace lvlim {

namespace {
// Pending intervals of one call.
constexpr std::size_t invertnewflower_stack_capacity = 100;
} // namespace

double invertnewflower(const double& lo, const double& hi, const double& target, const double& f,
                       const double& w, const double& m, const double& lg, const double& sc,
                       const double& L, int& failed) {
    // The terms of the exponent that do not depend on t are formed once for the whole call.
    const detail::Kernel y(f, w, m, lg, sc, L);
    return detail::invert_cumulative<invertnewflower_stack_capacity,
                                     detail::Sweep::downward_from_hi>(y, lo, hi, target, failed);
}

} // namespace lvlim
