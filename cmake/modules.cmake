# One library target per folder of the layout. A module sees only the headers
# of the modules it declares, so an include that points up the layering does
# not compile: each module's include directory is a view holding just its own
# folder, and a module gets another's view only by linking it.
#
# quaylet_modules() creates the targets; in the portable builds (host, fuzz)
# a module keeps only its portable sources and its native stand-ins for
# Windows services, and one without any is a header view (INTERFACE) so that
# the declared dependencies read the same everywhere.

set(QUAYLET_VIEW_ROOT ${CMAKE_BINARY_DIR}/views)

# quaylet_view(<target> <folder>): <target>'s include directory shows <folder> only.
function(quaylet_view target folder)
  set(view ${QUAYLET_VIEW_ROOT}/${target})
  get_filename_component(parent ${view}/${folder} DIRECTORY)
  file(MAKE_DIRECTORY ${parent})
  if(NOT EXISTS ${view}/${folder})
    file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${folder} ${view}/${folder} RESULT linked SYMBOLIC)
    if(NOT linked EQUAL 0)
      # No symbolic links (Windows without the privilege): build without the check.
      set(view ${CMAKE_SOURCE_DIR})
    endif()
  endif()
  get_target_property(kind ${target} TYPE)
  if(kind STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${target} INTERFACE ${view})
  else()
    target_include_directories(${target} PUBLIC ${view})
  endif()
endfunction()

# quaylet_module(<folder> [PUBLIC deps...] [PRIVATE deps...]): deps are folders.
# PUBLIC: the module's headers include the dependency's headers.
function(quaylet_module folder)
  cmake_parse_arguments(arg "" "" "PUBLIC;PRIVATE" ${ARGN})
  string(REPLACE "/" "_" target ${folder})
  set(QUAYLET_CORE_SOURCES)
  set(QUAYLET_WIN_SOURCES)
  set(QUAYLET_NATIVE_SOURCES)
  include(${CMAKE_SOURCE_DIR}/${folder}/sources.cmake)
  set(sources ${QUAYLET_CORE_SOURCES})
  if(WIN32 AND NOT QUAYLET_FUZZ)
    list(APPEND sources ${QUAYLET_WIN_SOURCES})
  else()
    list(APPEND sources ${QUAYLET_NATIVE_SOURCES})
  endif()
  string(REPLACE "/" "_" public "${arg_PUBLIC}")
  string(REPLACE "/" "_" private "${arg_PRIVATE}")
  if(sources)
    add_library(${target} STATIC ${sources})
    target_link_libraries(${target} PUBLIC ${public} PRIVATE ${private})
  else()
    add_library(${target} INTERFACE)
    target_link_libraries(${target} INTERFACE ${public})
  endif()
  quaylet_view(${target} ${folder})
  set_property(GLOBAL APPEND PROPERTY QUAYLET_MODULE_TARGETS ${target})
endfunction()

function(quaylet_modules)
  add_library(resources INTERFACE)
  quaylet_view(resources resources)

  quaylet_module(catalogue)
  quaylet_module(platform/os)
  # The portable text core: decoding, reading, the line index, colouring and
  # the colour rules. Host tests and fuzzers link it without any window code.
  quaylet_module(platform/text)
  quaylet_module(platform/ui PUBLIC platform/os platform/text)
  quaylet_module(platform/services PUBLIC catalogue PRIVATE platform/os platform/ui)
  quaylet_module(platform/connection PRIVATE platform/os platform/text)
  # The suite's controls, the script preview, the update check and the
  # connection list: one job each.
  quaylet_module(platform/controls PUBLIC platform/ui PRIVATE platform/os)
  quaylet_module(platform/preview PUBLIC platform/text platform/ui platform/os PRIVATE platform/services)
  quaylet_module(platform/updates PUBLIC catalogue PRIVATE platform/text platform/connection platform/os
                 platform/services platform/ui)
  quaylet_module(platform/connlist PUBLIC platform/connection platform/ui
                 PRIVATE platform/os platform/services resources)
  # The dialog framework: application, dialogs, layout, the About box.
  quaylet_module(platform/framework PUBLIC catalogue platform/ui platform/controls
                 PRIVATE platform/os platform/services resources)
  quaylet_module(pages/products PUBLIC catalogue platform/os platform/framework platform/controls
                 PRIVATE platform/updates resources)
  quaylet_module(pages/connections PUBLIC platform/framework platform/connlist PRIVATE platform/services resources)
  quaylet_module(pages/projects PUBLIC catalogue platform/os platform/framework platform/controls
                 PRIVATE platform/services resources)
  quaylet_module(pages/library PUBLIC platform/framework platform/controls platform/preview platform/text
                 PRIVATE platform/os platform/services resources)
  quaylet_module(app PUBLIC platform/framework platform/services platform/text
                 PRIVATE platform/updates pages/products pages/connections pages/projects pages/library resources)

  # Everything, for programs outside the layering (tests, demo tools, benchmarks).
  get_property(modules GLOBAL PROPERTY QUAYLET_MODULE_TARGETS)
  add_library(quaylet_all INTERFACE)
  target_link_libraries(quaylet_all INTERFACE ${modules} resources)
endfunction()
