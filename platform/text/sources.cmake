# Sources of platform/text: portable ones in QUAYLET_CORE_SOURCES, Windows-only ones in QUAYLET_WIN_SOURCES.
list(APPEND QUAYLET_CORE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/TextDecode.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TextReader.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CColorizer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ColorScheme.cpp)
