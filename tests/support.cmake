# The FTP test bed: a local server with fault injection, and helpers shared by tests.
cmake_path(GET CMAKE_CURRENT_LIST_DIR PARENT_PATH kestrin_source_dir)

add_library(kestrin_test_support STATIC
  ${CMAKE_CURRENT_LIST_DIR}/support/child_process.cpp
  ${CMAKE_CURRENT_LIST_DIR}/support/file_bytes.cpp
  ${CMAKE_CURRENT_LIST_DIR}/support/ftp_test_server.cpp
  ${CMAKE_CURRENT_LIST_DIR}/support/json_text.cpp
  ${CMAKE_CURRENT_LIST_DIR}/support/temp_dir.cpp
)
# Tests reach their helpers from the project root too ("tests/support/...").
target_include_directories(kestrin_test_support PUBLIC ${kestrin_source_dir})
target_compile_definitions(kestrin_test_support PRIVATE KESTRIN_SOURCE_DIR="${kestrin_source_dir}")

add_executable(support_tests ${CMAKE_CURRENT_LIST_DIR}/support_tests.cpp)
target_link_libraries(support_tests PRIVATE kestrin_test_support CURL::libcurl GTest::gtest_main)
gtest_discover_tests(support_tests)
