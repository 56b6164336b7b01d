// twotailedg: the two-sided tail function, as the root finders call it.
#include "Guts/mainguts.hpp"

namespace lvlim {

double twotailedg(const double& theta, const double& a, const int& which, const double& f,
                  const double& S, const double& BesselArgTop, const double& lg,
                  int& evalFailed) {
    return twotailedgbesselalways(theta, a, which, f, S, BesselArgTop, lg, evalFailed);
}

} // namespace lvlim
