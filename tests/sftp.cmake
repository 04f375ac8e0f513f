# The SFTP side of the internet layer against OpenSSH's sshd (started by
# each test, as root).
add_executable(sftp_tests
  ${CMAKE_CURRENT_LIST_DIR}/sftp_session_tests.cpp
  ${CMAKE_CURRENT_LIST_DIR}/support/sshd_server.cpp
)
target_link_libraries(sftp_tests PRIVATE kestrin_sftp kestrin_test_support GTest::gtest_main)
target_compile_definitions(sftp_tests PRIVATE KESTRIN_SOURCE_DIR="${kestrin_source_dir}")
gtest_discover_tests(sftp_tests PROPERTIES TIMEOUT 180)

# Whole jobs over SFTP against sshd.
add_executable(job_sftp_tests
  ${CMAKE_CURRENT_LIST_DIR}/job_sftp_tests.cpp
  ${CMAKE_CURRENT_LIST_DIR}/support/sshd_server.cpp
)
target_link_libraries(job_sftp_tests PRIVATE kestrin_job_fixture GTest::gtest_main)
target_compile_definitions(job_sftp_tests PRIVATE KESTRIN_SOURCE_DIR="${kestrin_source_dir}")
gtest_discover_tests(job_sftp_tests PROPERTIES TIMEOUT 180)
