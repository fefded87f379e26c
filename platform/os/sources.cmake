# Sources of platform/os: portable ones in QUAYLET_CORE_SOURCES, Windows-only ones in QUAYLET_WIN_SOURCES,
# and in QUAYLET_NATIVE_SOURCES what stands in for Windows where there is none.
list(APPEND QUAYLET_CORE_SOURCES ${CMAKE_CURRENT_LIST_DIR}/RegText.cpp ${CMAKE_CURRENT_LIST_DIR}/DeviceName.cpp
     ${CMAKE_CURRENT_LIST_DIR}/BackgroundReads.cpp ${CMAKE_CURRENT_LIST_DIR}/ProfileText.cpp
     ${CMAKE_CURRENT_LIST_DIR}/VersionResource.cpp)
list(APPEND QUAYLET_WIN_SOURCES ${CMAKE_CURRENT_LIST_DIR}/Win32Os.cpp)
list(APPEND QUAYLET_WIN_SOURCES ${CMAKE_CURRENT_LIST_DIR}/RegKey.cpp)
list(APPEND QUAYLET_WIN_SOURCES ${CMAKE_CURRENT_LIST_DIR}/SystemError.cpp)
list(APPEND QUAYLET_NATIVE_SOURCES ${CMAKE_CURRENT_LIST_DIR}/NativeText.cpp)
