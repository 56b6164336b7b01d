# lvlim_limits() of the R package on 10,000 one-sided cells in one call: one-sided upper 95%
# limits over sigma from 0.1 to 10 and nu from 2 to 1000, 100 values each spaced evenly in the
# logarithm, lambda 0.5 and gammasquared nu + 1. Prints the wall and CPU times of five calls and
# their medians. Run with the package installed by a build with LVLIM_BUILD_R, e.g.
#   R_LIBS=build/test/r/library Rscript bench/r_limits.R
library(lvlim)

# The ends exactly: exp(log(10)) lies above 10, outside the supported range.
spaced <- function(from, to, n) pmax(from, pmin(to, exp(seq(log(from), log(to), length.out = n))))
grid <- expand.grid(sigma = spaced(0.1, 10, 100), nu = spaced(2, 1000, 100))
kind <- if (length(commandArgs(TRUE))) commandArgs(TRUE)[1] else "upper"

# Some searches of this grid run out of iterations; their warning is expected here.
timings <- lapply(1:5, function(i) {
    system.time(cells <<- suppressWarnings(lvlim_limits(grid$sigma, grid$nu, ci.type = kind)))
})
wall <- vapply(timings, `[[`, 0, "elapsed")
cpu <- vapply(timings, function(t) t[["user.self"]] + t[["sys.self"]], 0)
cat(sprintf(paste0("%d %s cells in one call, five calls: wall %s s, CPU %s s;\n",
                   "median wall %.2f s (%.0f us a cell), median CPU %.2f s; %d searches failed\n"),
            nrow(grid), kind, paste(sprintf("%.2f", wall), collapse = " "),
            paste(sprintf("%.2f", cpu), collapse = " "), median(wall),
            1e6 * median(wall) / nrow(grid), median(cpu), sum(cells$status != "ok")))
