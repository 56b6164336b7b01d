// twotailedsecant: the entry of the two-sided root search.
#include "Guts/mainguts.hpp"

namespace lvlim {

void twotailedsecant(const int& which, double& root, const double& p0, const double& p1,
                     const double& a, const double& f, const double& S,
                     const int& MaximumIterations, const double& Tolerance,
                     const double& ResultTol, const double& BesselArgTop, int& iterations,
                     const double& lg) {
    twotailedsecantbisection(which, root, p0, p1, a, f, S, MaximumIterations, Tolerance,
                             ResultTol, BesselArgTop, iterations, lg);
}

} // namespace lvlim
