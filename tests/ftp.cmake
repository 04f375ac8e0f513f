# The FTP client against the real test server.
add_executable(ftp_tests
  ${CMAKE_CURRENT_LIST_DIR}/ftp_session_tests.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ftp_commands_tests.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ftp_listing_tests.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ftp_transfer_tests.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ftp_unit_tests.cpp
)
target_link_libraries(ftp_tests PRIVATE kestrin_ftp kestrin_test_support GTest::gtest_main)
gtest_discover_tests(ftp_tests DISCOVERY_TIMEOUT 30)
