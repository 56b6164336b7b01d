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

# lvlim-data's "key: value" lines for the arguments given.
run_lvlim_data <- function(args) {
    out <- system2(program("LVLIM_DATA_PROGRAM"), args, stdout = TRUE, stderr = FALSE)
    fields <- regmatches(out, regexec("^([a-z-]+): (.*)$", out))
    fields <- fields[lengths(fields) == 3L]
    stats::setNames(vapply(fields, `[`, "", 3), vapply(fields, `[`, "", 2))
}

# The value rounds to the nine significant digits that the programs print.
expect_printed <- function(value, printed, what) {
    if (is.nan(printed)) {
        expect(is.na(value), sprintf("%s: %s where the program printed NaN", what, value))
    } else {
        expect_identical(sprintf("%.8e", value), sprintf("%.8e", printed), label = what)
    }
}
