# Hostile input: the fuzz targets (a clang project of their own, built and
# run by fuzz/run.sh) and the tests that feed the client and the program
# replies, settings files and file names that no sane peer would produce.

# Under ctest each target replays its corpus and then searches for a few
# seconds only: enough to catch a regression on known inputs without taking
# both cores for minutes. Run fuzz/run.sh by hand with more seconds for a
# real search. Building and running the fuzzers keeps the processors busy,
# so the fault campaign, the other busy test, does not run beside them; their
# COST starts them early, right after the campaign.
set(KESTRIN_FUZZ_SECONDS 5 CACHE STRING "Seconds each fuzz target searches under ctest")
add_test(NAME fuzz_targets
         COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/fuzz/run.sh ${KESTRIN_FUZZ_SECONDS}
                 ${CMAKE_BINARY_DIR}/fuzz)
set_tests_properties(fuzz_targets PROPERTIES TIMEOUT 300 RESOURCE_LOCK all_cores COST 45
                     ENVIRONMENT KESTRIN_WERROR=${KESTRIN_WERROR})

add_executable(bad_input_reply_tests ${CMAKE_CURRENT_LIST_DIR}/bad_input_reply_tests.cpp)
target_link_libraries(bad_input_reply_tests PRIVATE kestrin_ftp kestrin_test_support GTest::gtest_main)
gtest_discover_tests(bad_input_reply_tests DISCOVERY_TIMEOUT 30 PROPERTIES TIMEOUT 120)

add_executable(bad_input_job_tests ${CMAKE_CURRENT_LIST_DIR}/bad_input_job_tests.cpp)
target_link_libraries(bad_input_job_tests PRIVATE kestrin_job_fixture GTest::gtest_main)
gtest_discover_tests(bad_input_job_tests PROPERTIES TIMEOUT 180)
