# lvlim_limits() of the R package on 10,000 one-sided cells in one call: one-sided upper 95%
# limits over sigma from 0.1 to 10 and nu from 2 to 1000, 100 values each spaced evenly in the
# logarithm, lambda 0.5 and gammasquared nu + 1. Prints the wall time of each of five calls and
# their median. Run with the package installed by a build with LVLIM_BUILD_R, e.g.
#   R_LIBS=build/test/r/library Rscript bench/r_limits.R
library(lvlim)

# The ends exactly: exp(log(10)) lies above 10, outside the supported range.
spaced <- function(from, to, n) pmax(from, pmin(to, exp(seq(log(from), log(to), length.out = n))))
grid <- expand.grid(sigma = spaced(0.1, 10, 100), nu = spaced(2, 1000, 100))
kind <- if (length(commandArgs(TRUE))) commandArgs(TRUE)[1] else "upper"

# Some searches of this grid run out of iterations; their warning is expected here.
times <- vapply(1:5, function(i) {
    system.time(cells <<- suppressWarnings(lvlim_limits(grid$sigma, grid$nu,
                                                         ci.type = kind)))[["elapsed"]]
}, 0)
cat(sprintf("%d %s cells in one call: %s s; median %.2f s, %.0f us a cell; %d searches failed\n",
            nrow(grid), kind, paste(sprintf("%.2f", times), collapse = " "), median(times),
            1e6 * median(times) / nrow(grid), sum(cells$status != "ok")))
