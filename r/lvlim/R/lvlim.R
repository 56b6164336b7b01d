# The R functions of lvlim. The numbers all come from the C++ API through src/bindings.cpp;
# this file checks types, recycles, and shapes the results as R users expect them.

ci_types <- c("two-sided", "lower", "upper")

# Raises an error from the engine again, as an error of the user's call.
with_engine <- function(expr, call) {
    tryCatch(expr, error = function(e) stop(simpleError(conditionMessage(e), call)))
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
        if (length(reported)) paste0("; the engine reported: ", reported[length(reported)])
        else ""
    ), call))
}

lvlim_control <- function(max.iterations = 200, bessel.arg.top = 800,
                          tolerance = 9.99999993922529e-09, result.tol = -1) {
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
                   result.tol = single_number(result.tol, "result.tol")),
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
    warn_failed(cols$status, cols$messages, call)
    cols$messages <- NULL
    data.frame(args, ci.type = rep_len(ci.type, n), cols, stringsAsFactors = FALSE)
}

elnorm_exact_ci <- function(x, conf.level = 0.95, ci.type = "two-sided") {
    call <- sys.call()
    data.name <- deparse1(substitute(x))
    ci.type <- match.arg(ci.type, ci_types)
    if (!is.numeric(x)) {
        stop("'x' must be numeric", call. = FALSE)
    }
    conf.level <- single_number(conf.level, "conf.level")
    x <- x[!is.na(x)]
    m <- with_engine(.lognormal_mean(as.double(x), conf.level, ci.type, lvlim_control()), call)
    warn_failed(m$status, list(m$messages), call)

    conf.int <- switch(ci.type,
                       "two-sided" = c(m$mean.lower, m$mean.upper),
                       "lower" = c(m$mean.lower, Inf),
                       "upper" = c(0, m$mean.upper))
    attr(conf.int, "conf.level") <- conf.level
    side <- switch(ci.type,
                   "two-sided" = "two-sided confidence interval",
                   "lower" = "one-sided lower confidence limit",
                   "upper" = "one-sided upper confidence limit")
    structure(list(
        parameter = c(n = m$n),
        conf.int = conf.int,
        estimate = c("mean (MVUE)" = m$mvue),
        method = paste0("Exact uniformly most accurate unbiased ", side,
                        " for a lognormal mean"),
        data.name = data.name,
        log.mean = m$log.mean,
        log.sd = m$log.sd,
        log.limits = c(lower = m$log.lower, upper = m$log.upper),
        status = m$status
    ), class = "htest")
}
