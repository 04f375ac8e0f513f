add_executable(window_tests
  ${CMAKE_CURRENT_LIST_DIR}/window_tests.cpp
  ${CMAKE_CURRENT_LIST_DIR}/progress_display_tests.cpp
  ${CMAKE_CURRENT_LIST_DIR}/window_job_tests.cpp
)
target_link_libraries(window_tests PRIVATE kestrin_app kestrin_test_support GTest::gtest)
gtest_discover_tests(window_tests)

# The progress texts on their own, without a window or an application.
add_executable(progress_texts_tests ${CMAKE_CURRENT_LIST_DIR}/progress_texts_tests.cpp)
target_link_libraries(progress_texts_tests PRIVATE kestrin_app GTest::gtest_main)
gtest_discover_tests(progress_texts_tests)
