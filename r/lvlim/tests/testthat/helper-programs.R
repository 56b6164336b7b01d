# The programs of the build, run as processes: the package must give their numbers. ctest names
# them in LVLIM_PROGRAM and LVLIM_DATA_PROGRAM; without them these comparisons are skipped.
program <- function(variable) {
    path <- Sys.getenv(variable)
    if (!nzchar(path)) {
        skip(paste(variable, "names no program: run the tests through ctest"))
    }
    path
}

printed_number <- function(text) {
    switch(text, "NaN" = NaN, "Infinity" = Inf, "-Infinity" = -Inf, as.numeric(text))
}

# lvlim's result record for one input record, as numbers named by their keys.
run_lvlim <- function(record) {
    out <- system2(program("LVLIM_PROGRAM"), stdout = TRUE, stderr = FALSE, input = record)
    fields <- regmatches(out, regexec("^ ([A-Za-z]+) ?= *(.*)\\+$", out))
    fields <- fields[lengths(fields) == 3L]
    values <- vapply(fields, function(f) suppressWarnings(printed_number(f[3])), 0)
    stats::setNames(values, vapply(fields, `[`, "", 2))
}

# lvlim-data's result for one kind and level, as a list named as in its JSON output (n,
# log_mean, log_sd, mvue, log_lower, log_upper, mean_lower, mean_upper, status, ...).
# full_precision tells whether the numbers are the program's doubles (--format=json) or its
# text output, where the log limits have nine significant digits.
run_lvlim_data <- function(file, type, level) {
    exe <- program("LVLIM_DATA_PROGRAM")
    args <- c(paste0("--", type), paste0("--confidence=", level), file)
    if (any(grepl("--format", system2(exe, "--help", stdout = TRUE), fixed = TRUE))) {
        out <- system2(exe, c("--format=json", args), stdout = TRUE)
        result <- jsonlite::fromJSON(paste(out, collapse = "\n"),
                                     simplifyVector = FALSE)$results[[1]]
        return(c(result, full_precision = TRUE))
    }
    out <- system2(exe, args, stdout = TRUE)
    fields <- regmatches(out, regexec("^([a-z-]+): (.*)$", out))
    fields <- fields[lengths(fields) == 3L]
    values <- stats::setNames(lapply(fields, `[`, 3), vapply(fields, `[`, "", 2))
    names(values) <- sub("mu-hat", "log_mean", sub("sigma-hat", "log_sd", names(values)))
    names(values) <- gsub("-", "_", names(values))
    numbers <- c("n", "log_mean", "log_sd", "log_lower", "log_upper", "mean_lower", "mean_upper")
    values[intersect(numbers, names(values))] <-
        lapply(values[intersect(numbers, names(values))], as.numeric)
    c(values, full_precision = FALSE)
}

# The value rounds to the nine significant digits that the programs print.
expect_printed <- function(value, printed, what) {
    if (is.nan(printed)) {
        expect(is.na(value), sprintf("%s: %s where the program printed NaN", what, value))
    } else {
        expect_identical(sprintf("%.8e", value), sprintf("%.8e", printed), label = what)
    }
}
