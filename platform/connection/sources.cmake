# Sources of platform/connection: portable ones in QUAYLET_CORE_SOURCES, Windows-only ones in QUAYLET_WIN_SOURCES.
list(APPEND QUAYLET_CORE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/Secret.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Pbkdf2.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ConnText.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CONN_INFO.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ProfileFile.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ProfileNames.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ProfileExport.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ProfileMerge.cpp)
list(APPEND QUAYLET_WIN_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/Win32ConnCrypto.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ProfileStore.cpp)
