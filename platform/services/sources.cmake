# Sources of platform/services: portable ones in QUAYLET_CORE_SOURCES, Windows-only ones in QUAYLET_WIN_SOURCES.
list(APPEND QUAYLET_CORE_SOURCES ${CMAKE_CURRENT_LIST_DIR}/SqlKeywords.cpp ${CMAKE_CURRENT_LIST_DIR}/ColumnWidth.cpp)
list(APPEND QUAYLET_WIN_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/CLimit.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CLog.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CSysReg.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ColumnWidthStore.cpp
  ${CMAKE_CURRENT_LIST_DIR}/_Settings.cpp)
