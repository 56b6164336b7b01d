# lvlim_power, lvlim_expected_ratio and lvlim_sample_size: the same bits as lvlim-plan's JSON,
# recycling, NA, and values out of range.

run_lvlim_plan <- function(args) {
    exe <- Sys.getenv("LVLIM_PLAN_PROGRAM")
    if (!nzchar(exe)) {
        skip("LVLIM_PLAN_PROGRAM names no program: run the tests through ctest")
    }
    out <- suppressWarnings(system2(exe, c(args, "--format=json"), stdout = TRUE))
    jsonlite::fromJSON(paste(out, collapse = "\n"), simplifyVector = FALSE)
}

json_number <- function(x) if (is.null(x)) NA_real_ else x

test_that("the search and the curve agree with lvlim-plan to the last bit", {
    runs <- list(
        list(args = c("--gsd=2.5", "--ratio=0.5", "--n=3:60"),
             r = list(gsd = 2.5, ratio = 0.5, n = c(3, 60))),
        list(args = c("--gsd=2", "--ratio=0.4", "--statistic=percentile", "--power=0.9"),
             r = list(gsd = 2, ratio = 0.4, statistic = "percentile", power = 0.9)),
        list(args = c("--log-sd=1.1", "--expected-ratio=1.8", "--n=10:200"),
             r = list(log.sd = 1.1, expected.ratio = 1.8, n = c(10, 200))))
    for (run in runs) {
        want <- run_lvlim_plan(run$args)
        got <- do.call(lvlim_sample_size, run$r)
        expect_identical(got$n, as.double(want$sample_size))
        expect_identical(got$achieved, json_number(want$achieved))
        rows <- want$rows
        expect_identical(got$curve$n, vapply(rows, function(r) as.double(r$n), 0))
        expect_identical(got$curve$power, vapply(rows, function(r) json_number(r$power), 0))
        expect_identical(got$curve$expected_ratio,
                         vapply(rows, function(r) json_number(r$expected_ratio), 0))
        expect_identical(got$curve$status, vapply(rows, function(r) r$status, ""))
    }
    one <- run_lvlim_plan(c("--gsd=3", "--ratio=0.7", "--n=17:17"))$rows[[1]]
    expect_identical(as.vector(lvlim_power(17, gsd = 3, ratio = 0.7)), one$power)
    expect_identical(as.vector(lvlim_expected_ratio(17, gsd = 3)), one$expected_ratio)
})

test_that("the arguments recycle, NA gives NA, and each value is the one of its own call", {
    p <- lvlim_power(c(5, 12, 30, NA), gsd = c(1.8, 3), ratio = 0.5, statistic = "percentile")
    expect_length(p, 4L)
    expect_identical(p[1], as.vector(lvlim_power(5, gsd = 1.8, ratio = 0.5,
                                                 statistic = "percentile")))
    expect_identical(p[2], as.vector(lvlim_power(12, gsd = 3, ratio = 0.5,
                                                 statistic = "percentile")))
    expect_true(is.na(p[4]))
    expect_identical(attr(p, "status")[1:3], rep("ok", 3))
    by_ratio <- lvlim_power(10, gsd = 2, ratio = c(0.2, 0.5, 1))
    expect_true(all(diff(as.vector(by_ratio)) < 0))
    expect_lt(abs(by_ratio[3] - 0.05), 2e-6)  # the size of the test
    # No bounded expectation with 3 measurements and a GSD of 2.5: NA, said in a warning.
    expect_warning(heavy <- lvlim_expected_ratio(3, gsd = 2.5), "search failed")
    expect_true(is.na(heavy))
})

test_that("values out of their range are errors with the library's message", {
    expect_error(lvlim_power(10, gsd = 1, ratio = 0.5), "must be above 1")
    expect_error(lvlim_power(10, gsd = 2, ratio = 0), "above 0")
    expect_error(lvlim_power(2, gsd = 2, ratio = 0.5), "outside the supported range")
    expect_error(lvlim_power(10.5, gsd = 2, ratio = 0.5), "whole number")
    expect_error(lvlim_power(c(10, Inf), gsd = 2, ratio = 0.5), "n = Inf is not a whole number")
    expect_error(lvlim_expected_ratio(1e30, gsd = 2), "n = 1e\\+30 is outside")
    expect_error(lvlim_sample_size(gsd = 2, ratio = 0.5, power = 1), "strictly between 0 and 1")
    expect_error(lvlim_sample_size(gsd = 2, ratio = 0.5, n = c(10, 5)), "is empty")
    expect_error(lvlim_sample_size(gsd = 2, expected.ratio = 0.9), "above 1")
    expect_error(lvlim_power(10, ratio = 0.5), "exactly one of")
})

test_that("the search prints its sample size and curve", {
    found <- lvlim_sample_size(gsd = 2, ratio = 0.4, statistic = "percentile", n = c(3, 40))
    out <- capture.output(print(found))
    expect_match(out[1], paste0("Sample size for power at least 0.8 : ", found$n))
    expect_true(any(grepl("expected_ratio", out)))
})
