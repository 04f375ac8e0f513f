# The whole job through the built program, against the real test server.
# Every run lasts seconds (the program's own pauses are real), hence the
# generous per-test limit.
add_executable(job_tests
  ${CMAKE_CURRENT_LIST_DIR}/job_fixture.cpp
  ${CMAKE_CURRENT_LIST_DIR}/job_tests.cpp
  ${CMAKE_CURRENT_LIST_DIR}/job_command_line_tests.cpp
  ${CMAKE_CURRENT_LIST_DIR}/job_transfer_line_tests.cpp
  ${CMAKE_CURRENT_LIST_DIR}/job_retry_tests.cpp
  ${CMAKE_CURRENT_LIST_DIR}/job_connection_tests.cpp
  ${CMAKE_CURRENT_LIST_DIR}/job_outcome_tests.cpp
)
target_link_libraries(job_tests PRIVATE kestrin_test_support GTest::gtest_main)
target_compile_definitions(job_tests PRIVATE KESTRIN_EXE="$<TARGET_FILE:kestrin>")
add_dependencies(job_tests kestrin)
gtest_discover_tests(job_tests PROPERTIES TIMEOUT 180)
