# Sources of platform/connection: portable ones in QUAYLET_CORE_SOURCES, Windows-only ones in QUAYLET_WIN_SOURCES.
list(APPEND QUAYLET_CORE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/ConnText.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CONN_INFO.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ProfileFile.cpp)
