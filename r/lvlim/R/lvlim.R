# The R functions of lvlim. The numbers all come from the C++ API through src/bindings.cpp;
# this file checks types, recycles, and shapes the results as R users expect them.

ci_types <- c("two-sided", "lower", "upper")

# A message of the C++ API in R's spellings: the arguments as the R functions name them, and
# Inf and NaN as R prints them.
r_spelling <- function(message) {
    names <- c(confidence = "conf.level", gammasquared = "gammasq",
               bessel_arg_top = "bessel.arg.top", result_tol = "result.tol",
               max_iterations = "max.iterations", log_sd = "sd(log(x))")
    for (from in names(names)) {
        message <- gsub(paste0("\\b", from, "\\b"), names[[from]], message, perl = TRUE)
    }
    message <- gsub("\\binf\\b", "Inf", message, perl = TRUE)
    gsub("\\bnan\\b", "NaN", message, perl = TRUE)
}

# Raises an error from the engine again, as an error of the user's call, in R's spellings.
with_engine <- function(expr, call) {
    tryCatch(expr, error = function(e) stop(simpleError(r_spelling(conditionMessage(e)), call)))
}

# One warning for the rows with a value out of range, each with the API's message.
warn_invalid <- function(status, messages, call) {
    bad <- which(status == "invalid")
    if (length(bad) == 0L) {
        return(invisible())
    }
    shown <- head(bad, 3L)
    reasons <- vapply(shown, function(i) sprintf("row %d: %s", i, r_spelling(messages[[i]][1])),
                      "")
    warning(simpleWarning(paste0(
        length(bad), " of ", length(status), " rows have a value outside the supported range ",
        "and give NA (status \"invalid\"): ", paste(reasons, collapse = "; "),
        if (length(bad) > 3L) "; ..." else ""), call))
}

# A numeric argument, or a vector of NAs given as logical (NA itself is logical in R).
as_numeric_arg <- function(value, name) {
    if (is.numeric(value) || (is.logical(value) && all(is.na(value)))) {
        return(as.double(value))
    }
    stop(sprintf("'%s' must be numeric", name), call. = FALSE)
}

single_number <- function(value, name) {
    if (!is.numeric(value) || length(value) != 1L || is.na(value)) {
        stop(sprintf("'%s' must be a single number", name), call. = FALSE)
    }
    as.double(value)
}

# One warning for the searches that did not converge, with what the engine reported.
warn_failed <- function(status, messages, call) {
    failed <- which(status == "search failed")
    if (length(failed) == 0L) {
        return(invisible())
    }
    reported <- unlist(messages[failed])
    shown <- if (length(failed) > 10L) c(failed[1:10], "...") else failed
    warning(simpleWarning(paste0(
        "the search did not converge for ", length(failed), " of ", length(status),
        if (length(status) > 1L) paste0(" rows (rows ", paste(shown, collapse = ", "), ")")
        else " row",
        ": their limits are not to be trusted (status \"search failed\")",
        if (length(reported)) paste0("; the engine reported: ",
                                     r_spelling(reported[length(reported)]))
        else ""
    ), call))
}

lvlim_control <- function(max.iterations = 200, bessel.arg.top = 800,
                          tolerance = 9.99999993922529e-09, result.tol = -1, refine = TRUE) {
    if (!is.logical(refine) || length(refine) != 1L || is.na(refine)) {
        stop("'refine' must be TRUE or FALSE", call. = FALSE)
    }
    max.iterations <- single_number(max.iterations, "max.iterations")
    if (max.iterations != round(max.iterations) || abs(max.iterations) > .Machine$integer.max) {
        stop("'max.iterations' must be a whole number that fits an integer", call. = FALSE)
    }
    bessel.arg.top <- single_number(bessel.arg.top, "bessel.arg.top")
    top <- .api_controls()$max.bessel.arg.top
    if (bessel.arg.top > top) {
        stop(sprintf("'bessel.arg.top' = %s is outside its range: it can be at most %s",
                     format(bessel.arg.top), format(top)), call. = FALSE)
    }
    structure(list(max.iterations = as.integer(max.iterations),
                   bessel.arg.top = bessel.arg.top,
                   tolerance = single_number(tolerance, "tolerance"),
                   result.tol = single_number(result.tol, "result.tol"),
                   refine = refine),
              class = "lvlim_control")
}

print.lvlim_control <- function(x, ...) {
    values <- vapply(unclass(x), format, "", digits = 15)
    cat("lvlim control values:\n", sprintf("  %-15s %s\n", names(values), values), sep = "")
    invisible(x)
}

check_control <- function(control) {
    if (!inherits(control, "lvlim_control")) {
        stop("'control' must come from lvlim_control()", call. = FALSE)
    }
}

lvlim_limits <- function(sigma, nu, mu = 0, lambda = 0.5, gammasq = nu + 1,
                         conf.level = 0.95, ci.type = c("two-sided", "lower", "upper"),
                         control = lvlim_control()) {
    call <- sys.call()
    ci.type <- match.arg(ci.type)
    check_control(control)
    # Before the default gammasq = nu + 1 is evaluated: R's own error for a character nu there
    # would not say which argument is wrong.
    nu <- as_numeric_arg(nu, "nu")
    args <- list(sigma = sigma, nu = nu, mu = mu, lambda = lambda, gammasq = gammasq,
                 conf.level = conf.level)
    for (name in names(args)) {
        args[[name]] <- as_numeric_arg(args[[name]], name)
    }
    sizes <- lengths(args)
    n <- if (any(sizes == 0L)) 0L else max(sizes)
    if (n > 0L && any(n %% sizes != 0L)) {
        warning("longer argument not a multiple of length of shorter", call. = FALSE)
    }
    args <- lapply(args, rep_len, length.out = n)
    cols <- with_engine(.limits_columns(args$sigma, args$nu, args$mu, args$lambda,
                                        args$gammasq, args$conf.level, ci.type, control),
                        call)
    warn_invalid(cols$status, cols$messages, call)
    warn_failed(cols$status, cols$messages, call)
    cols$messages <- NULL
    data.frame(args, ci.type = rep_len(ci.type, n), cols, stringsAsFactors = FALSE)
}

# The limits of the mean from the engine, and a warning where exp() of a finite log-scale limit
# leaves the doubles (Inf above, 0 below).
mean_limits <- function(x, conf.level, ci.type, call) {
    m <- with_engine(.lognormal_mean(x, conf.level, ci.type, lvlim_control()), call)
    warn_failed(m$status, list(m$messages), call)
    for (side in c("lower", "upper")) {
        warn_beyond_doubles(side, m[[paste0("log.", side)]], m[[paste0("mean.", side)]], call)
    }
    m
}

# A warning when a limit of the mean, exp of a finite log-scale limit, is beyond the doubles.
warn_beyond_doubles <- function(side, log_limit, mean_limit, call) {
    if (!is.na(log_limit) && is.finite(log_limit) && (mean_limit == 0 || is.infinite(mean_limit))) {
        warning(simpleWarning(sprintf(
            "the %s limit of the mean, exp(%s), %s the doubles and is reported as %s",
            side, format(log_limit, digits = 7),
            if (mean_limit == 0) "underflows" else "overflows", format(mean_limit)), call))
    }
}

elnorm_exact_ci <- function(x, conf.level = 0.95, ci.type = "two-sided",
                            interval = c("umau", "equal-tailed")) {
    call <- sys.call()
    data.name <- deparse1(substitute(x))
    ci.type <- match.arg(ci.type, ci_types)
    interval <- match.arg(interval)
    if (!is.numeric(x)) {
        stop("'x' must be numeric", call. = FALSE)
    }
    conf.level <- single_number(conf.level, "conf.level")
    missing <- sum(is.na(x))
    if (missing > 0L) {
        warning(simpleWarning(sprintf("%d missing value%s (NA or NaN) removed from 'x'", missing,
                                      if (missing > 1L) "s" else ""), call))
    }
    x <- as.double(x[!is.na(x)])
    if (interval == "equal-tailed" && ci.type == "two-sided") {
        # Two one-sided limits, each of level (1 + conf.level) / 2.
        tail <- (1 + conf.level) / 2
        low <- mean_limits(x, tail, "lower", call)
        high <- mean_limits(x, tail, "upper", call)
        m <- low
        m$log.upper <- high$log.upper
        m$mean.upper <- high$mean.upper
        m$status <- if (low$status == "ok" && high$status == "ok") "ok" else "search failed"
    } else {
        m <- mean_limits(x, conf.level, ci.type, call)
    }

    conf.int <- switch(ci.type,
                       "two-sided" = c(m$mean.lower, m$mean.upper),
                       "lower" = c(m$mean.lower, Inf),
                       "upper" = c(0, m$mean.upper))
    attr(conf.int, "conf.level") <- conf.level
    side <- switch(ci.type,
                   "two-sided" = "two-sided confidence interval",
                   "lower" = "one-sided lower confidence limit",
                   "upper" = "one-sided upper confidence limit")
    method <- if (interval == "equal-tailed" && ci.type == "two-sided") {
        "Exact equal-tailed two-sided confidence interval for a lognormal mean"
    } else {
        paste0("Exact uniformly most accurate unbiased ", side, " for a lognormal mean")
    }
    structure(list(
        parameter = c(n = m$n),
        conf.int = conf.int,
        estimate = c("mean (MVUE)" = m$mvue),
        null.value = c(mean = NA_real_),
        alternative = switch(ci.type, "two-sided" = "two.sided", "lower" = "greater",
                             "upper" = "less"),
        method = method,
        data.name = data.name,
        interval = interval,
        log.mean = m$log.mean,
        log.sd = m$log.sd,
        log.limits = c(lower = m$log.lower, upper = m$log.upper),
        status = m$status
    ), class = "htest")
}
