# The job's small platform helpers: plain C++ and POSIX, no Qt, so that they
# build and test on their own while the window is written.
add_library(kestrin_jobkit STATIC
  ${CMAKE_CURRENT_LIST_DIR}/present_value.cpp
  ${CMAKE_CURRENT_LIST_DIR}/program_dir.cpp
  ${CMAKE_CURRENT_LIST_DIR}/local_files.cpp
  ${CMAKE_CURRENT_LIST_DIR}/transfer_log.cpp
  ${CMAKE_CURRENT_LIST_DIR}/follow_up.cpp
  ${CMAKE_CURRENT_LIST_DIR}/exit_status.h
)
# This directory turns AUTOMOC on for the window; nothing here needs it.
set_target_properties(kestrin_jobkit PROPERTIES AUTOMOC OFF)
target_include_directories(kestrin_jobkit PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(kestrin_jobkit PUBLIC kestrin_ftp)
target_link_libraries(kestrin_app PUBLIC kestrin_jobkit)
