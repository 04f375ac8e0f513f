# Protected connections and temporary-name uploads through the built
# program, against vsftpd (started by each test, as root) and the
# fault-injecting server.
add_executable(job_tls_tests
  ${CMAKE_CURRENT_LIST_DIR}/job_tls_tests.cpp
  ${CMAKE_CURRENT_LIST_DIR}/support/vsftpd_server.cpp
)
target_link_libraries(job_tls_tests PRIVATE kestrin_job_fixture GTest::gtest_main)
target_compile_definitions(job_tls_tests PRIVATE KESTRIN_SOURCE_DIR="${kestrin_source_dir}")
gtest_discover_tests(job_tls_tests PROPERTIES TIMEOUT 180)
