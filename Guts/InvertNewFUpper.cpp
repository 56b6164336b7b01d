// invertnewfupper: the upper end x of [lo, x] over which the kernel newf has the mass target,
// by a sweep upward from lo (kernel_inversion.hpp).
#include <cstddef>

#include "Guts/kernel_exponent.hpp"
#include "Guts/kernel_inversion.hpp"
#include "Guts/mainguts.hpp"

namespace lvlim {

namespace {
// Pending intervals of one call.
constexpr std::size_t invertnewfupper_stack_capacity = 200;
} // namespace

double invertnewfupper(const double& lo, const double& hi, const double& target, const double& f,
                       const double& w, const double& m, const double& lg, const double& sc,
                       const double& L, int& failed) {
    // The terms of the exponent that do not depend on t are formed once for the whole call.
    const detail::Kernel y(f, w, m, lg, sc, L);
    return detail::invert_cumulative<invertnewfupper_stack_capacity,
                                     detail::Sweep::upward_from_lo>(y, lo, hi, target, failed);
}

} // namespace lvlim
