# Sources of platform/connlist: portable ones in QUAYLET_CORE_SOURCES, Windows-only ones in QUAYLET_WIN_SOURCES.
list(APPEND QUAYLET_WIN_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/CAdvConnectList.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PassphraseDialog.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ProfileWaits.cpp)
