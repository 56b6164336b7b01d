# lvlim_assess(): the one-sample assessment of lognormal measurements against a limit value.
# The numbers come from the C++ API through src/assessment.cpp; this file checks the arguments
# and prints the result.

lvlim_assess <- function(x, limit = NULL, percentile = 0.95, conf.level = 0.95,
                         ci.type = c("two-sided", "upper", "lower")) {
    call <- sys.call()
    data.name <- deparse1(substitute(x))
    ci.type <- match.arg(ci.type)
    if (is.character(x) || is.factor(x)) {
        refuse_non_detects(as.character(x))
    }
    if (!is.numeric(x)) {
        stop("'x' must be numeric", call. = FALSE)
    }
    if (is.null(limit)) {
        limit <- NA_real_
    } else {
        limit <- single_number(limit, "limit")
    }
    percentile <- single_number(percentile, "percentile")
    conf.level <- single_number(conf.level, "conf.level")
    missing <- sum(is.na(x))
    if (missing > 0L) {
        warning(simpleWarning(sprintf("%d missing value%s (NA or NaN) removed from 'x'", missing,
                                      if (missing > 1L) "s" else ""), call))
    }
    x <- x[!is.na(x)]
    a <- with_engine(.assess(as.double(x), limit, percentile, conf.level, ci.type), call)
    if (a$assessment_status != "ok") {
        warning(simpleWarning(paste0(
            "a part of the assessment failed: its values are NA or not to be trusted ",
            "(assessment_status \"", a$assessment_status, "\"): ",
            paste(a$messages, collapse = "; ")), call))
    }
    for (side in c("lower", "upper")) {
        warn_beyond_doubles(side, a$mean[[paste0("log_", side)]],
                            a$mean[[paste0("mean_", side)]], call)
    }
    for (field in c("percentile_estimate", "percentile_lower", "percentile_upper")) {
        value <- a[[field]]
        if (!is.na(value) && (value == 0 || is.infinite(value))) {
            warning(simpleWarning(sprintf("%s %s the doubles and is reported as %s", field,
                                          if (value == 0) "underflows" else "overflows",
                                          format(value)), call))
        }
    }
    a$confidence <- conf.level
    a$kind <- ci.type
    a$data.name <- data.name
    structure(a, class = "lvlim_assessment")
}

# A value that records a non-detect, as lvlim-data recognises one: "<0.05", "< LOD", "ND",
# "n.d.", "n/d", "BDL", "LOQ", "not detected", "ND(0.05)"...
non_detect_pattern <- paste0(
    "^\\s*(<|\u2264|(nd|n\\.d\\.|n\\.d|n/d|bdl|bld|lod|loq)(?![a-z])|not detected|",
    "non-detect|nondetect|below (the )?detection|below lod|below loq)")

# An error naming the first non-detect among measurements given as text.
refuse_non_detects <- function(x) {
    found <- which(grepl(non_detect_pattern, x, ignore.case = TRUE, perl = TRUE))
    if (length(found) > 0L) {
        stop(sprintf(paste0("'%s' is a non-detect, a value below a detection or quantitation ",
                            "limit; censored data need other methods: the limits here assume ",
                            "that every measurement is a quantified value"), x[found[1L]]),
             call. = FALSE)
    }
}

# "95th", "99.9th", "1st", "22nd": a probability as the ordinal of its percentile.
percentile_ordinal <- function(p) {
    number <- format(100 * p, digits = 10)
    if (grepl("[.e]", number)) {
        return(paste0(number, "th"))
    }
    whole <- as.integer(number)
    suffix <- if (whole %% 100L %in% 11:13) "th"
              else switch(as.character(whole %% 10L), "1" = "st", "2" = "nd", "3" = "rd", "th")
    paste0(number, suffix)
}

print.lvlim_assessment <- function(x, digits = 6, ...) {
    num <- function(v) format(signif(v, digits), digits = digits)
    pct <- function(v) if (is.na(v)) "NA" else paste0(num(100 * v), "%")
    level <- paste0(format(100 * x$confidence, digits = 10), "%")
    # The mean's two-sided limits are the unbiased pair; the others are equal-tailed.
    ends <- function(lower, upper, show = num, tails = " (equal-tailed)") {
        switch(x$kind,
               "upper" = paste0(level, " upper limit ", show(upper)),
               "lower" = paste0(level, " lower limit ", show(lower)),
               paste0(level, " two-sided limits ", show(lower), " to ", show(upper), tails))
    }
    ordinal <- percentile_ordinal(x$percentile)
    cat("\n\tAssessment of lognormal measurements",
        if (!is.na(x$limit)) paste("against the limit", num(x$limit)), "\n\n")
    cat("data:  ", x$data.name, ", n = ", x$n, "\n", sep = "")
    if (is.na(x$shapiro_wilk_w)) {
        cat("fit:   W test", if (nzchar(x$fit_message)) x$fit_message else "not computed", "\n")
    } else {
        cat("fit:   Shapiro-Wilk W = ", num(x$shapiro_wilk_w), ", p-value = ",
            num(x$shapiro_wilk_p), ": ",
            if (x$fit_doubtful) "the lognormal model is doubtful: every limit rests on it"
            else "no evidence against the lognormal model", "\n", sep = "")
    }
    cat("       (the test is weak for small n)\n")
    cat("geometric mean ", num(x$gm), ", geometric standard deviation ", num(x$gsd), "\n",
        sep = "")
    cat("mean: MVUE ", num(x$mean$mvue), ", ",
        ends(x$mean$mean_lower, x$mean$mean_upper, tails = ""), "\n", sep = "")
    cat(ordinal, " percentile: estimate ", num(x$percentile_estimate), ", ",
        ends(x$percentile_lower, x$percentile_upper), "\n", sep = "")
    if (!is.na(x$limit)) {
        cat("exceedance of ", num(x$limit), ": ", pct(x$exceedance), ", ",
            ends(x$exceedance_lower, x$exceedance_upper, pct), "\n", sep = "")
        verdict <- function(v) {
            if (is.na(v)) "no verdict" else if (v == "undecided") v else paste(v, "the limit")
        }
        cat("mean: p-value ", num(x$mean_p_value),
            if (x$mean_p_value_bounded) " (a bound of the search)",
            "; at ", level, " confidence: ", verdict(x$mean_verdict), "\n", sep = "")
        cat(ordinal, " percentile: p-value ", num(x$percentile_p_value), "; at ", level,
            " confidence: ", verdict(x$percentile_verdict), "\n", sep = "")
    }
    if (x$assessment_status != "ok") {
        cat("status: ", x$assessment_status, "\n", sep = "")
    }
    cat("\n")
    invisible(x)
}
