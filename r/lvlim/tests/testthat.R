library(testthat)
library(lvlim)

test_check("lvlim")
