# The one-sample assessment: the API against R's shapiro.test, the mpmath reference of the
# noncentral t limits and the limits of the mean (lvlim_assessment_tests), and the coverage of
# its limits measured by simulation (label "coverage", like lvlim_coverage).
find_program(LVLIM_RSCRIPT Rscript REQUIRED)
add_executable(lvlim_assessment_tests assessment_test.cpp)
target_include_directories(lvlim_assessment_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(lvlim_assessment_tests PRIVATE lvlim::lvlim lvlim_options lvlim_test_options
                                                     Threads::Threads GTest::gtest_main)
target_compile_definitions(lvlim_assessment_tests PRIVATE
    LVLIM_RSCRIPT="${LVLIM_RSCRIPT}"
    LVLIM_NCT_REFERENCE="${CMAKE_CURRENT_SOURCE_DIR}/assessment/noncentral_t_reference.txt")
gtest_discover_tests(lvlim_assessment_tests DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 600)

add_executable(lvlim_assessment_coverage assessment_coverage_test.cpp)
target_include_directories(lvlim_assessment_coverage PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(lvlim_assessment_coverage PRIVATE lvlim::lvlim lvlim_options
                                                        Threads::Threads GTest::gtest_main)
gtest_discover_tests(lvlim_assessment_coverage DISCOVERY_TIMEOUT 60
                     PROPERTIES TIMEOUT 1800 LABELS coverage RUN_SERIAL TRUE)
