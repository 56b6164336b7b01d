# Planning a study: the power of the exact upper limit against a limit value, the expected ratio
# of the mean's upper limit to the mean, and the sample size. The numbers come from the C++ API
# through src/planning.cpp; this file checks types, recycles and shapes the results.

plan_log_sd <- function(gsd, log.sd, call) {
    if (is.null(gsd) == is.null(log.sd)) {
        stop(simpleError("give exactly one of 'gsd' and 'log.sd'", call))
    }
    if (!is.null(log.sd)) {
        return(as_numeric_arg(log.sd, "log.sd"))
    }
    gsd <- as_numeric_arg(gsd, "gsd")
    out <- rep(NA_real_, length(gsd))
    known <- !is.na(gsd)
    out[known] <- with_engine(.lvlim_log_sd_from_gsd(gsd[known]), call)
    out
}

plan_values <- function(quantity, n, log_sd, ratio, statistic, percentile, conf.level, call) {
    n <- as_numeric_arg(n, "n")
    size <- max(length(n), length(log_sd), length(ratio))
    if (min(length(n), length(log_sd), length(ratio)) == 0L) {
        size <- 0L
    }
    n <- rep_len(n, size)
    log_sd <- rep_len(log_sd, size)
    ratio <- rep_len(ratio, size)
    bad <- !is.na(n) & (!is.finite(n) | n != round(n) | n < 0)
    if (any(bad)) {
        stop(simpleError(sprintf("n = %s is not a whole number of measurements",
                                 format(n[which(bad)[1L]])), call))
    }
    # The engine takes n as a count: a double beyond one (1e30) has no value as one.
    huge <- !is.na(n) & n > 1e15
    if (any(huge)) {
        stop(simpleError(sprintf("n = %s is outside the supported range of measurements",
                                 format(n[which(huge)[1L]])), call))
    }
    known <- !is.na(n) & !is.na(log_sd) & (quantity != "power" | !is.na(ratio))
    value <- rep(NA_real_, size)
    error <- rep(NA_real_, size)
    status <- rep(NA_character_, size)
    messages <- vector("list", size)
    if (any(known)) {
        got <- with_engine(.lvlim_plan_values(n[known], log_sd[known],
                                              if (quantity == "power") ratio[known]
                                              else rep(NA_real_, sum(known)),
                                              statistic, percentile, conf.level, quantity),
                           call)
        value[known] <- got$value
        error[known] <- got$error
        status[known] <- got$status
        messages[known] <- got$messages
    }
    warn_failed(status, messages, call)
    structure(value, error = error, status = status)
}

lvlim_power <- function(n, gsd = NULL, ratio, statistic = c("mean", "percentile"),
                        percentile = 0.95, conf.level = 0.95, log.sd = NULL) {
    call <- sys.call()
    statistic <- match.arg(statistic)
    log_sd <- plan_log_sd(gsd, log.sd, call)
    plan_values("power", n, log_sd, as_numeric_arg(ratio, "ratio"), statistic,
                single_number(percentile, "percentile"), single_number(conf.level, "conf.level"),
                call)
}

lvlim_expected_ratio <- function(n, gsd = NULL, conf.level = 0.95, log.sd = NULL) {
    call <- sys.call()
    log_sd <- plan_log_sd(gsd, log.sd, call)
    plan_values("expected_ratio", n, log_sd, NA_real_, "mean", 0.95,
                single_number(conf.level, "conf.level"), call)
}

lvlim_sample_size <- function(gsd = NULL, ratio = NULL, statistic = c("mean", "percentile"),
                              percentile = 0.95, conf.level = 0.95, power = NULL,
                              expected.ratio = NULL, n = c(3, 1000), log.sd = NULL) {
    call <- sys.call()
    statistic <- match.arg(statistic)
    log_sd <- plan_log_sd(gsd, log.sd, call)
    if (length(log_sd) != 1L || is.na(log_sd)) {
        stop(simpleError("'gsd' (or 'log.sd') must be a single number", call))
    }
    if (!is.null(power) && !is.null(expected.ratio)) {
        stop(simpleError("give a target 'power' or a target 'expected.ratio', not both", call))
    }
    goal <- if (is.null(expected.ratio)) "power" else "expected_ratio"
    target <- if (goal == "power") (if (is.null(power)) 0.8 else power) else expected.ratio
    target <- single_number(target, goal)
    n <- as_numeric_arg(n, "n")
    if (length(n) != 2L || anyNA(n) || any(n != round(n)) || any(n < 0)) {
        stop(simpleError("'n' must be two whole numbers: c(from, to)", call))
    }
    got <- with_engine(.lvlim_sample_size(log_sd,
                                          if (is.null(ratio)) NA_real_
                                          else single_number(ratio, "ratio"),
                                          statistic, single_number(percentile, "percentile"),
                                          single_number(conf.level, "conf.level"), goal, target,
                                          n[1L], n[2L]),
                       call)
    got$goal <- goal
    got$target <- target
    class(got) <- "lvlim_sample_size"
    got
}

print.lvlim_sample_size <- function(x, ...) {
    what <- if (x$goal == "power") "power at least" else "expected ratio at most"
    cat("Sample size for", what, format(x$target), ": ")
    if (is.na(x$n)) {
        cat("none in the range\n")
    } else {
        cat(x$n, " (", if (x$goal == "power") "power " else "expected ratio ",
            format(x$achieved, digits = 6), ")\n", sep = "")
    }
    if (!x$monotone || x$status != "ok") {
        cat(paste0("Note: ", x$messages, "\n"), sep = "")
    }
    print(x$curve, digits = 6, row.names = FALSE)
    invisible(x)
}
