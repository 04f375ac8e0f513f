add_executable(settings_tests
  ${CMAKE_CURRENT_LIST_DIR}/settings_take_field.cpp
  ${CMAKE_CURRENT_LIST_DIR}/settings_read_ini.cpp
)
target_link_libraries(settings_tests PRIVATE kestrin_settings GTest::gtest_main)
# Index names: several lines hold tabs, quotes and control characters.
gtest_discover_tests(settings_tests NO_PRETTY_VALUES)
