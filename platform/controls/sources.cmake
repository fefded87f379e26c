# Sources of platform/controls: portable ones in QUAYLET_CORE_SOURCES, Windows-only ones in QUAYLET_WIN_SOURCES.
list(APPEND QUAYLET_WIN_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/CUrlStatic.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CDBListCtrl.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CSQLTree.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CSQLTreeFound.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CSQLTreeRefresh.cpp)
