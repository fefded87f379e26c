# Sources of pages/library: portable ones in QUAYLET_CORE_SOURCES, Windows-only ones in QUAYLET_WIN_SOURCES.
list(APPEND QUAYLET_WIN_SOURCES ${CMAKE_CURRENT_LIST_DIR}/PageLibrary.cpp ${CMAKE_CURRENT_LIST_DIR}/PageLibrarySearch.cpp
     ${CMAKE_CURRENT_LIST_DIR}/LibrarySearch.cpp)
