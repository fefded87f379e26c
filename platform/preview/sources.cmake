# Sources of platform/preview: portable ones in QUAYLET_CORE_SOURCES, Windows-only ones in QUAYLET_WIN_SOURCES.
list(APPEND QUAYLET_WIN_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/ColorEditWnd.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ColorEditLoad.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ColorEditPaint.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ColorEditSelection.cpp)
