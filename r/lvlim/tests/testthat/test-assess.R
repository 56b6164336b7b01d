exposure <- system.file("extdata", "exposure.csv", package = "lvlim")

assessment_fields <- c("gm", "gsd", "shapiro_wilk_w", "shapiro_wilk_p", "percentile",
                       "percentile_estimate", "percentile_lower", "percentile_upper", "limit",
                       "exceedance", "exceedance_lower", "exceedance_upper", "mean_p_value",
                       "percentile_p_value", "mean_verdict", "percentile_verdict",
                       "assessment_status")

twa <- function() utils::read.csv(exposure, comment.char = "#")$twa_mg_m3

# lvlim-data's JSON row for the exposure example with the given options.
assessment_row <- function(options) {
    exe <- program("LVLIM_DATA_PROGRAM")
    out <- system2(exe, c("--format=json", "--column=twa_mg_m3", options, exposure),
                   stdout = TRUE)
    jsonlite::fromJSON(paste(out, collapse = "\n"), simplifyVector = FALSE)$results[[1]]
}

test_that("lvlim_assess gives lvlim-data's fields, the very doubles", {
    cases <- list(
        list(type = "two-sided", limit = 50, percentile = 0.95, level = 0.95),
        list(type = "upper", limit = 50, percentile = 0.9, level = 0.9),
        list(type = "lower", limit = 12.5, percentile = 0.99, level = 0.95),
        list(type = "upper", limit = NULL, percentile = 0.95, level = 0.95))
    for (case in cases) {
        what <- paste(case$type, if (is.null(case$limit)) "no limit" else case$limit)
        options <- c(paste0("--", case$type), sprintf("--percentile=%.17g", case$percentile),
                     sprintf("--confidence=%.17g", case$level),
                     if (!is.null(case$limit)) sprintf("--limit=%.17g", case$limit))
        row <- assessment_row(options)
        a <- lvlim_assess(twa(), limit = case$limit, percentile = case$percentile,
                          conf.level = case$level, ci.type = case$type)
        expect_s3_class(a, "lvlim_assessment")
        expect_identical(a$n, as.numeric(row$n), label = what)
        for (name in assessment_fields) {
            theirs <- row[[name]]
            mine <- a[[name]]
            if (is.null(theirs)) {
                expect_true(is.na(mine), label = paste(what, name))
            } else {
                expect_identical(mine, theirs, label = paste(what, name))
            }
        }
        for (name in c("mvue", "log_mean", "log_sd", "mean_lower", "mean_upper")) {
            theirs <- row[[name]]
            expect_identical(a$mean[[name]], if (is.null(theirs)) NA_real_ else theirs,
                             label = paste(what, name))
        }
        printed <- paste(capture.output(print(a)), collapse = "\n")
        expect_match(printed, format(signif(a$gm, 6), digits = 6), fixed = TRUE)
        if (!is.null(case$limit)) {
            expect_match(printed, paste0("confidence: ", a$percentile_verdict), fixed = TRUE)
        }
    }
})

test_that("lvlim_assess refuses what is out of range with the engine's message", {
    x <- twa()
    expect_error(lvlim_assess(x, limit = 0), "limit")
    expect_error(lvlim_assess(x, limit = -3), "limit")
    expect_error(lvlim_assess(x, limit = "abc"), "'limit' must be a single number")
    expect_error(lvlim_assess(x, limit = c(1, 2)), "'limit' must be a single number")
    expect_error(lvlim_assess(x, percentile = 1), "percentile")
    expect_error(lvlim_assess(x, conf.level = 0), "conf.level")
    expect_error(lvlim_assess(c(0.5, -1, 2)), "not positive")
    expect_error(lvlim_assess(x, ci.type = "both"), "should be one of")
})

test_that("lvlim_assess says how many missing values it removed", {
    x <- twa()
    expect_warning(a <- lvlim_assess(c(x, NA, NaN), limit = 30),
                   "2 missing values (NA or NaN) removed from 'x'", fixed = TRUE)
    expect_identical(a$n, as.numeric(length(x)))
    # The data are named as given, not as what is left of them.
    expect_identical(a$data.name, "c(x, NA, NaN)")
    expect_identical(a$percentile_upper, lvlim_assess(x, limit = 30)$percentile_upper)
    expect_warning(lvlim_assess(c(NA, x)), "1 missing value (NA or NaN) removed", fixed = TRUE)
    expect_no_warning(lvlim_assess(x))
})

test_that("lvlim_assess refuses non-detects as censored data", {
    quantified <- as.character(twa())
    for (nd in c("<0.05", "< LOD", "ND", "n.d.", "BDL", "nd(0.05)", "\u22640.05")) {
        for (x in list(c(quantified, nd), c(nd, quantified), factor(c(quantified, nd)))) {
            expect_error(lvlim_assess(x, limit = 30),
                         paste0("'", nd, "' is a non-detect, a value below a detection or ",
                                "quantitation limit; censored data need other methods"),
                         fixed = TRUE)
        }
    }
    # Text without a non-detect is still no number.
    expect_error(lvlim_assess(quantified), "'x' must be numeric", fixed = TRUE)
    expect_error(lvlim_assess(c(quantified, "Ndola")), "'x' must be numeric", fixed = TRUE)
})

test_that("lvlim_assess reports limits beyond the doubles", {
    warnings <- character()
    a <- withCallingHandlers(lvlim_assess(c(1e308, 1e307, 1e306), ci.type = "upper"),
                             warning = function(w) {
                                 warnings <<- c(warnings, conditionMessage(w))
                                 invokeRestart("muffleWarning")
                             })
    expect_match(warnings[1],
                 "^the upper limit of the mean, exp\\([0-9.]+\\), overflows the doubles")
    expect_identical(warnings[-1], c(
        "percentile_estimate overflows the doubles and is reported as Inf",
        "percentile_upper overflows the doubles and is reported as Inf"))
    expect_true(is.finite(a$mean$log_upper))
})
