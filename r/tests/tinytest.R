# The tests of inst/tinytest, run by tinytest where it is installed.
if (requireNamespace("tinytest", quietly = TRUE)) tinytest::test_package("lociweaver")
