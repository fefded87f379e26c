# Sources of pages/products: portable ones in QUAYLET_CORE_SOURCES, Windows-only ones in QUAYLET_WIN_SOURCES.
list(APPEND QUAYLET_CORE_SOURCES ${CMAKE_CURRENT_LIST_DIR}/ProductEntry.cpp)
list(APPEND QUAYLET_WIN_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/PageProducts.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PageProductsReads.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CLabel.cpp)
