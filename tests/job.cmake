# Whole jobs against the real test server: in the test's own process, with
# the job's pauses counted instead of waited, or through the built program,
# whose pauses are real. Neither links Qt.
add_library(kestrin_job_fixture STATIC ${CMAKE_CURRENT_LIST_DIR}/job_fixture.cpp)
target_link_libraries(kestrin_job_fixture PUBLIC kestrin_job kestrin_test_support GTest::gtest)
target_compile_definitions(kestrin_job_fixture PRIVATE KESTRIN_EXE="$<TARGET_FILE:kestrin>")
add_dependencies(kestrin_job_fixture kestrin)

add_executable(job_tests
  ${CMAKE_CURRENT_LIST_DIR}/job_tests.cpp
  ${CMAKE_CURRENT_LIST_DIR}/job_command_line_tests.cpp
  ${CMAKE_CURRENT_LIST_DIR}/job_transfer_line_tests.cpp
  ${CMAKE_CURRENT_LIST_DIR}/job_retry_tests.cpp
  ${CMAKE_CURRENT_LIST_DIR}/job_connection_tests.cpp
  ${CMAKE_CURRENT_LIST_DIR}/job_outcome_tests.cpp
)
target_link_libraries(job_tests PRIVATE kestrin_job_fixture GTest::gtest_main)
gtest_discover_tests(job_tests PROPERTIES TIMEOUT 180)
