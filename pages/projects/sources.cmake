# Sources of pages/projects: portable ones in QUAYLET_CORE_SOURCES, Windows-only ones in QUAYLET_WIN_SOURCES.
list(APPEND QUAYLET_CORE_SOURCES ${CMAKE_CURRENT_LIST_DIR}/RecentDiscovery.cpp ${CMAKE_CURRENT_LIST_DIR}/ProjectReads.cpp)
list(APPEND QUAYLET_WIN_SOURCES ${CMAKE_CURRENT_LIST_DIR}/PageProjects.cpp ${CMAKE_CURRENT_LIST_DIR}/Win32RegistryKeys.cpp)
