# The Table Bench stand-in (tb.exe), which decodes the profile the hub passes
# with -#.
set(STANDIN_NAME "Table Bench")
set(STANDIN_VERSION "4,2,0,0")
set(STANDIN_FILEVERSION "9,9,9,9")
configure_file(${CMAKE_CURRENT_LIST_DIR}/standin.rc.in ${CMAKE_CURRENT_BINARY_DIR}/tablebench.rc @ONLY)
add_executable(tablebench WIN32 ${CMAKE_CURRENT_LIST_DIR}/TableBench.cpp ${CMAKE_CURRENT_BINARY_DIR}/tablebench.rc)
target_link_options(tablebench PRIVATE -municode)
target_link_libraries(tablebench PRIVATE quaylet_win)
set_target_properties(tablebench PROPERTIES OUTPUT_NAME tb RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/demo)
add_dependencies(demo_programs tablebench)
