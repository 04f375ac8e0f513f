# The window, its progress display and the small pieces they are drawn with.
target_sources(kestrin_app PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/frm_update.h
  ${CMAKE_CURRENT_LIST_DIR}/frm_update_layout.cpp
  ${CMAKE_CURRENT_LIST_DIR}/progress_display.cpp
  ${CMAKE_CURRENT_LIST_DIR}/progress_bar.h
  ${CMAKE_CURRENT_LIST_DIR}/progress_bar.cpp
  ${CMAKE_CURRENT_LIST_DIR}/window_icon.h
  ${CMAKE_CURRENT_LIST_DIR}/window_icon.cpp
  ${CMAKE_CURRENT_LIST_DIR}/timer.h
  ${CMAKE_CURRENT_LIST_DIR}/timer.cpp
)
