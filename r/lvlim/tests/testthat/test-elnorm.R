concentrations <- system.file("extdata", "concentrations.txt", package = "lvlim")

# The measurements as lvlim-data reads them: blanks, tabs or commas between, '#' comments.
read_measurements <- function(path) {
    text <- sub("#.*", "", readLines(path))
    fields <- unlist(strsplit(text, "[[:space:],]+"))
    as.numeric(fields[nzchar(fields)])
}

test_that("elnorm_exact_ci gives lvlim-data's limits on the shipped example", {
    x <- read_measurements(concentrations)
    cases <- list(list("two-sided", 0.95), list("upper", 0.95), list("lower", 0.9),
                  list("two-sided", 0.99))
    for (case in cases) {
        type <- case[[1]]
        level <- case[[2]]
        what <- paste(type, level)
        r <- elnorm_exact_ci(x, conf.level = level, ci.type = type)
        p <- run_lvlim_data(concentrations, type, level)
        expect_identical(r$parameter[["n"]], as.numeric(p$n))
        for (side in c("lower", "upper")) {
            if (type != "two-sided" && type != side) next
            log_limit <- p[[paste0("log_", side)]]
            mean_limit <- r$conf.int[[match(side, c("lower", "upper"))]]
            expect_identical(r$log.limits[[side]], log_limit, label = paste(what, side))
            expect_identical(mean_limit, p[[paste0("mean_", side)]],
                             label = paste(what, side))
        }
        expect_identical(c(r$log.mean, r$log.sd, r$estimate[[1]]),
                         c(p$log_mean, p$log_sd, p$mvue), label = what)
        expect_identical(r$status, p$status)
        expect_identical(attr(r$conf.int, "conf.level"), level)
    }
})

test_that("elnorm_exact_ci is an htest with the minimum-variance unbiased estimate", {
    x <- read_measurements(concentrations)
    r <- elnorm_exact_ci(x)
    expect_s3_class(r, "htest")
    # exp(mu-hat) psi_n(t) with psi_n(t) = 0F1(; (n-1)/2; (n-1)^2 t / (2n)), t = sigma-hat^2/2,
    # written with the Bessel function I.
    n <- length(x)
    b <- (n - 1) / 2
    z <- (n - 1)^2 * var(log(x)) / 2 / (2 * n)
    mvue <- exp(mean(log(x))) * gamma(b) * z^((1 - b) / 2) * besselI(2 * sqrt(z), b - 1)
    expect_equal(r$estimate[[1]], mvue, tolerance = 1e-12)
    expect_true(r$conf.int[1] < r$estimate && r$estimate < r$conf.int[2])
    expect_identical(elnorm_exact_ci(x, ci.type = "upper")$conf.int[1], 0)
    expect_identical(elnorm_exact_ci(x, ci.type = "lower")$conf.int[2], Inf)
    expect_output(print(r), "uniformly most accurate unbiased two-sided confidence interval")
    expect_output(print(r), "data:  x")
    expect_output(print(r), "95 percent confidence interval:")
})

test_that("elnorm_exact_ci counts the missing values it drops and stops on values it cannot use", {
    x <- read_measurements(concentrations)
    expect_warning(r <- elnorm_exact_ci(c(NA, x, NaN, NA)),
                   "^3 missing values \\(NA or NaN\\) removed from 'x'$")
    expect_identical(r$conf.int, elnorm_exact_ci(x)$conf.int)
    expect_error(elnorm_exact_ci(c(x, -2)), "measurement -2 is not positive")
    expect_error(elnorm_exact_ci(c(x, Inf)), "measurement Inf is not positive")
    expect_error(elnorm_exact_ci(c(1, 2)), "n = 2 is outside")
    expect_error(elnorm_exact_ci(rep(5, 10)), "sd\\(log\\(x\\)\\) = 0 is outside")
    expect_error(elnorm_exact_ci(x, conf.level = 1.5), "conf.level = 1.5 is outside")
    expect_error(elnorm_exact_ci(x, ci.type = "both"), "should be one of")
    expect_error(elnorm_exact_ci(x, interval = "shortest"), "should be one of")
    expect_error(elnorm_exact_ci(letters), "must be numeric")
})

test_that("a limit of the mean beyond the doubles is reported, not passed off as ok", {
    expect_warning(r <- elnorm_exact_ci(exp(c(-9, 0, 9)), ci.type = "upper"),
                   "the upper limit of the mean, exp\\([0-9.e+]+\\), overflows the doubles")
    expect_identical(r$conf.int[2], Inf)
    expect_true(is.finite(r$log.limits[["upper"]]))
})

test_that("the equal-tailed interval is the two one-sided limits at (1 + conf.level) / 2", {
    x <- read_measurements(concentrations)
    for (level in c(0.9, 0.95)) {
        et <- elnorm_exact_ci(x, conf.level = level, interval = "equal-tailed")
        tail <- (1 + level) / 2
        expect_identical(et$conf.int[1],
                         elnorm_exact_ci(x, conf.level = tail, ci.type = "lower")$conf.int[1])
        expect_identical(et$conf.int[2],
                         elnorm_exact_ci(x, conf.level = tail, ci.type = "upper")$conf.int[2])
        expect_identical(attr(et$conf.int, "conf.level"), level)
        # Not the unbiased interval, which is shorter on the log scale's right.
        umau <- elnorm_exact_ci(x, conf.level = level)
        expect_false(identical(et$conf.int[1:2], umau$conf.int[1:2]))
        expect_identical(et$estimate, umau$estimate)
    }
    expect_output(print(et), "equal-tailed two-sided confidence interval")
    # One-sided limits are the same whichever interval is asked for.
    expect_identical(elnorm_exact_ci(x, ci.type = "upper", interval = "equal-tailed")$conf.int,
                     elnorm_exact_ci(x, ci.type = "upper")$conf.int)
})

test_that("the htest carries alternative and null.value, and broom tidies it to one row", {
    x <- read_measurements(concentrations)
    r <- elnorm_exact_ci(x)
    expect_identical(r$alternative, "two.sided")
    expect_identical(r$null.value, c(mean = NA_real_))
    expect_identical(elnorm_exact_ci(x, ci.type = "upper")$alternative, "less")
    expect_identical(elnorm_exact_ci(x, ci.type = "lower")$alternative, "greater")
    skip_if_not_installed("broom")
    tidy <- broom::tidy(r)
    expect_s3_class(tidy, "tbl_df")
    expect_identical(nrow(tidy), 1L)
    expect_identical(unname(c(tidy$estimate, tidy$conf.low, tidy$conf.high)),
                     c(r$estimate[[1]], r$conf.int[1], r$conf.int[2]))
    expect_identical(tidy$alternative, "two.sided")
})

test_that("the citation has a date", {
    cite <- utils::citation("lvlim")
    expect_match(format(cite, style = "text"), "\\(20[0-9]{2}\\)")
})
