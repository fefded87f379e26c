# Sources of platform/framework: the dialog framework (Windows only).
list(APPEND QUAYLET_WIN_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/CAboutDlg.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CSmApp.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CSmDialog.cpp
  ${CMAKE_CURRENT_LIST_DIR}/_ControlContainer.cpp)
