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

# lvlim-data's result for one kind and level, its JSON row (n, log_mean, log_sd, mvue,
# log_lower, log_upper, mean_lower, mean_upper, status, ...): the program's doubles.
run_lvlim_data <- function(file, type, level) {
    exe <- program("LVLIM_DATA_PROGRAM")
    args <- c("--format=json", paste0("--", type), paste0("--confidence=", level), file)
    out <- system2(exe, args, stdout = TRUE)
    jsonlite::fromJSON(paste(out, collapse = "\n"), simplifyVector = FALSE)$results[[1]]
}

# The value rounds to the nine significant digits that the programs print.
expect_printed <- function(value, printed, what) {
    if (is.nan(printed)) {
        expect(is.na(value), sprintf("%s: %s where the program printed NaN", what, value))
    } else {
        expect_identical(sprintf("%.8e", value), sprintf("%.8e", printed), label = what)
    }
}
