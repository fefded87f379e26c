# Sources of platform/updates: portable ones in QUAYLET_CORE_SOURCES, Windows-only ones in QUAYLET_WIN_SOURCES.
list(APPEND QUAYLET_CORE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/UpdateList.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FileUrl.cpp)
list(APPEND QUAYLET_WIN_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/CViewUpdates.cpp)
