// newfadaptive: adaptive Simpson quadrature of the kernel newf over [a, b].
#include <cstddef>

#include "Guts/adaptive_simpson.hpp"
#include "Guts/kernel_exponent.hpp"
#include "Guts/mainguts.hpp"

namespace lvlim {

namespace {
// Pending intervals of one call. Each level halves the width, so finite integrands stay far
// below this depth; a full stack ends the refinement (see adaptive_simpson.hpp).
constexpr std::size_t newf_stack_capacity = 200;
} // namespace

void newfadaptive(const double& a, const double& b, const double& f, const double& w,
                  const double& m, const double& lg, const double& sc, const double& L,
                  double& result) {
    // The terms of the exponent that do not depend on t are formed once for the whole call.
    const detail::Kernel y(f, w, m, lg, sc, L);
    result = detail::adaptive_simpson<newf_stack_capacity>(y, a, b);
}

} // namespace lvlim
