add_executable(job_support_tests ${CMAKE_CURRENT_LIST_DIR}/job_support_tests.cpp)
target_link_libraries(job_support_tests PRIVATE kestrin_job GTest::gtest_main)
# Lets the test compare the helper's answer with where the build put the binary.
target_compile_definitions(job_support_tests PRIVATE
  JOB_SUPPORT_TESTS_DIR="$<TARGET_FILE_DIR:job_support_tests>")
gtest_discover_tests(job_support_tests)
