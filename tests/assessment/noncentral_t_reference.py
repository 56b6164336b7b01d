#!/usr/bin/python3
"""Independent reference values for the percentile and exceedance limits of the assessment.

The noncentral t distribution function is computed here as a one-dimensional integral over the
chi distribution, in mpmath at 20 significant digits, with 48-point Gauss-Legendre rules
on panels between break points placed by the spread of S and of the normal's argument, without any library's noncentral t:

    T = (Z + delta) / S,  S = sqrt(chi2_nu / nu),  Z standard normal independent of S,
    F(t; nu, delta) = P(T <= t) = E[ Phi(t S - delta) ]
                    = int_0^inf f_S(s) Phi(t s - delta) ds,
    f_S(s) = 2 (nu/2)^(nu/2) / Gamma(nu/2) s^(nu-1) exp(-nu s^2 / 2).

Its derivatives in t and delta are integrals of the same kind (E[S phi(tS - delta)] and
-E[phi(tS - delta)]), so the roots are found by Newton steps safeguarded by a bracket.

For each case (n, P, gamma, u), with nu = n - 1, delta = z_P sqrt(n) and t = u sqrt(n):
    k_upper      = t'_gamma(nu, delta) / sqrt(n)         (the upper limit of X_P is exp(ybar + k s))
    k_lower      = t'_(1-gamma)(nu, delta) / sqrt(n)
    exc_upper    = Phi(-d / sqrt n),  F(t; nu, d) = gamma
    exc_lower    = Phi(-d / sqrt n),  F(t; nu, d) = 1 - gamma
    pct_p_value  = 1 - F(t; nu, delta)
u is the standardized log of the limit value, (ln L - ybar) / s.

Usage: noncentral_t_reference.py [FIRST] > noncentral_t_reference.txt   (some 15 minutes on two
cores). With FIRST, the header and the cases before case FIRST (0-based) are left out, so that an
interrupted run can be resumed and the pieces joined.
"""
import multiprocessing
import sys

import mpmath as mp

mp.mp.dps = 20

NS = [3, 4, 5, 7, 10, 20, 50, 100, 1000, 10000, 100001]
PS = ["0.9", "0.95", "0.99", "0.999"]
GAMMAS = ["0.5", "0.9", "0.95", "0.99", "0.999"]
# Offsets of u from z_P in units of the spread of the estimate of z_P, cycled over the cases.
OFFSETS = [-2.0, -0.5, 0.0, 1.0, 2.5]


# Gauss-Legendre nodes and weights on [-1, 1], used on each panel between the break points.
NODES = None


def gauss_legendre():
    global NODES
    if NODES is None:
        # 3 * 2^(5 - 1) = 48 points on [-1, 1]
        NODES = mp.calculus.quadrature.GaussLegendre(mp.mp).calc_nodes(5, mp.mp.prec)
    return NODES


class Chi:
    """The distribution of S = sqrt(chi2_nu / nu)."""

    def __init__(self, nu):
        self.nu = mp.mpf(nu)
        h = self.nu / 2
        self.log_c = mp.log(2) + h * mp.log(h) - mp.loggamma(h)
        self.mode = mp.sqrt((self.nu - 1) / self.nu)
        self.sd = mp.sqrt(1 / (2 * self.nu))

    def density(self, s):
        if s <= 0:
            return mp.mpf(0)
        return mp.exp(self.log_c + (self.nu - 1) * mp.log(s) - self.nu * s * s / 2)

    def points(self, t, delta):
        pts = {mp.mpf(0)}
        for k in (-20, -10, -5, -2.5, 0, 2.5, 5, 10, 20):
            pts.add(self.mode + k * self.sd)
        top = self.mode + 20 * self.sd
        if t != 0:
            s0 = delta / t
            w = 1 / abs(t)
            for j in (-12, -4, -1.5, 0, 1.5, 4, 12):
                pts.add(s0 + j * w)
        return sorted(p for p in pts if 0 <= p <= top)

    def integrals(self, t, delta):
        """E[Phi(tS - delta)], E[S phi(tS - delta)] and E[phi(tS - delta)] in one pass."""
        pts = self.points(t, delta)
        f = g = h = mp.mpf(0)
        for a, b in zip(pts, pts[1:]):
            half = (b - a) / 2
            mid = (a + b) / 2
            for x, w in gauss_legendre():
                s = mid + half * x
                weight = w * half * self.density(s)
                if weight == 0:
                    continue
                z = t * s - delta
                phi = mp.npdf(z)
                f += weight * mp.ncdf(z)
                g += weight * s * phi
                h += weight * phi
        return f, g, h


def cdf(chi, t, delta):
    return chi.integrals(t, delta)[0]


def solve(f, x0, step, rising):
    """The root of the monotone f, where f(x) returns (value, derivative): a bracket by widening
    steps, then Newton steps kept inside it."""
    lo, hi = x0 - step, x0 + step
    flo, fhi = f(lo)[0], f(hi)[0]
    while (flo > 0) == (fhi > 0):
        step *= 2
        if (flo > 0) == rising:  # the root lies below lo
            hi, fhi = lo, flo
            lo = lo - step
            flo = f(lo)[0]
        else:
            lo, flo = hi, fhi
            hi = hi + step
            fhi = f(hi)[0]
    x = (lo + hi) / 2
    for _ in range(200):
        fx, d = f(x)
        if fx == 0:
            return x
        if (fx > 0) == (flo > 0):
            lo, flo = x, fx
        else:
            hi, fhi = x, fx
        nx = x - fx / d if d != 0 else (lo + hi) / 2
        if not (min(lo, hi) < nx < max(lo, hi)):
            nx = (lo + hi) / 2
        if abs(nx - x) <= mp.mpf(10) ** -17 * max(1, abs(x)):
            return nx
        x = nx
    raise RuntimeError("no convergence")


def quantile(chi, q, delta):
    spread = mp.sqrt(1 + delta * delta / (2 * chi.nu))
    x0 = delta + mp.sqrt(2) * mp.erfinv(2 * q - 1) * spread

    def f(t):
        v, dt, _ = chi.integrals(t, delta)
        return v - q, dt
    return solve(f, x0, spread / 2, True)


def noncentrality(chi, t, q):
    spread = mp.sqrt(1 + t * t / (2 * chi.nu))
    x0 = t - mp.sqrt(2) * mp.erfinv(2 * q - 1) * spread

    def f(d):
        v, _, dd = chi.integrals(t, d)
        return v - q, -dd
    return solve(f, x0, spread / 2, False)


def one_case(case):
    index, n, p, g = case
    chi = Chi(n - 1)
    rn = mp.sqrt(n)
    zp = mp.sqrt(2) * mp.erfinv(2 * mp.mpf(p) - 1)
    delta = zp * rn
    gamma = mp.mpf(g)
    offset = OFFSETS[index % len(OFFSETS)]
    # u rounded to 17 digits: the test reads exactly the u that is computed with here.
    u = mp.mpf(mp.nstr(zp + offset * mp.sqrt((1 + zp * zp / 2) / n), 17))
    t = u * rn
    k_up = quantile(chi, gamma, delta) / rn
    k_lo = quantile(chi, 1 - gamma, delta) / rn
    e_up = mp.ncdf(-noncentrality(chi, t, gamma) / rn)
    e_lo = mp.ncdf(-noncentrality(chi, t, 1 - gamma) / rn)
    pp = 1 - cdf(chi, t, delta)
    return " ".join([str(n), p, g, mp.nstr(u, 17)] +
                    [mp.nstr(v, 20) for v in (k_up, k_lo, e_up, e_lo, pp)])


def main():
    cases = []
    for n in NS:
        for p in PS:
            for g in GAMMAS:
                cases.append((len(cases), n, p, g))
    first = int(sys.argv[1]) if len(sys.argv) > 1 else 0
    if first == 0:
        print("# n P gamma u k_upper k_lower exc_upper exc_lower pct_p_value")
        print("# made by noncentral_t_reference.py (mpmath, 20 digits); see its header")
    with multiprocessing.Pool(2) as pool:
        for line in pool.imap(one_case, cases[first:]):
            print(line, flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
