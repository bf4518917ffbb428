# The code is layered, and a layer may include only the headers of the layers it links:
#   platform interface <- common <- portable cores (watchdog, shell, manager) <- the programs' mains
#   platform interface <- platform/win                                        <- the programs' mains
# common holds what the programs share, the configuration model among it (the product's names,
# Gandry.ini's sections and items, the delays), so that no core needs another: the manager learns
# what the watchdog reads from common, and the watchdog's internals are not there to be found.
# Headers are included by their path from the source root ("platform/clock.h"), but no target
# sees the source root itself. Each layer publishes a tree of links to its own headers as its
# include directory instead, so a header that a layer has no business with is not there to be
# found, and including it fails to compile.

# The layers each portable layer may link; a link outside its list stops the configuration, so
# that an arrow the drawing above does not have cannot come in by way of a library.
set(GANDRY_LAYER_MAY_LINK_gandry_common gandry_platform)
foreach(core gandry_watchdog_core gandry_shell_core gandry_manager_core)
  set(GANDRY_LAYER_MAY_LINK_${core} gandry_common gandry_platform)
endforeach()

# gandry_layer(<target> STATIC|INTERFACE [SOURCES file...] [HEADERS file...] [LINKS lib...]
#              [BASE dir])
# Headers are published under their path from BASE (the source root unless given).
function(gandry_layer target kind)
  cmake_parse_arguments(ARG "" "BASE" "SOURCES;HEADERS;LINKS" ${ARGN})
  if(NOT ARG_BASE)
    set(ARG_BASE ${CMAKE_SOURCE_DIR})
  endif()
  set(root ${CMAKE_BINARY_DIR}/include/${target})
  file(REMOVE_RECURSE ${root})
  foreach(header ${ARG_HEADERS})
    set(source ${CMAKE_CURRENT_SOURCE_DIR}/${header})
    file(RELATIVE_PATH path ${ARG_BASE} ${source})
    get_filename_component(folder ${root}/${path} DIRECTORY)
    file(MAKE_DIRECTORY ${folder})
    file(CREATE_LINK ${source} ${root}/${path} SYMBOLIC)
  endforeach()
  if(kind STREQUAL "INTERFACE")
    add_library(${target} INTERFACE ${ARG_HEADERS})
    set(scope INTERFACE)
  else()
    add_library(${target} ${kind} ${ARG_SOURCES} ${ARG_HEADERS})
    set(scope PUBLIC)
  endif()
  target_include_directories(${target} ${scope} ${root})
  if(DEFINED GANDRY_LAYER_MAY_LINK_${target})
    foreach(link ${ARG_LINKS})
      if(NOT link IN_LIST GANDRY_LAYER_MAY_LINK_${target})
        message(FATAL_ERROR "${target} may not link ${link}: it may link only "
                            "${GANDRY_LAYER_MAY_LINK_${target}}")
      endif()
    endforeach()
  endif()
  if(ARG_LINKS)
    target_link_libraries(${target} ${scope} ${ARG_LINKS})
  endif()
endfunction()
