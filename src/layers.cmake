# SPDX-License-Identifier: GPL-3.0-or-later
# The layers of src/ as the build enforces them (docs/architecture.md,
# "Layers"). src/CMakeLists.txt declares every layer once, from the bottom
# up, with the layers right below it:
#
#   sondrix_layer(<folder> [DEPENDS <layer>...] [PACKAGES <target>...]
#                 [LIBRARY <name> [IF <variable>]])
#
# A layer sees itself and everything the layers it depends on see, nothing
# else. Each layer is an object library, sondrix_layer_<folder> ("/" made
# "_"), whose only view of src/ is its own include tree,
# <build>/layers/<folder>/: links to the folders it sees, so that a header of
# a layer above or beside it is not found. The objects of every layer
# without a LIBRARY make the one static library sondrix_core; a layer with a
# LIBRARY is that static library of its own over sondrix_core, built only
# when the IF variable is true. A folder the table names may be absent (it
# is then built into nothing); a folder of src/ the table does not name stops
# the configuration.

set(SONDRIX_LAYERS_DIR ${PROJECT_BINARY_DIR}/layers)

function(sondrix_layer folder)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "LIBRARY;IF" "DEPENDS;PACKAGES")
  if(arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "sondrix_layer(${folder}): unknown arguments ${arg_UNPARSED_ARGUMENTS}")
  endif()
  if(folder IN_LIST SONDRIX_LAYERS)
    message(FATAL_ERROR "sondrix_layer(${folder}): the layer is declared twice")
  endif()
  set(sees ${folder})
  set(packages ${arg_PACKAGES})
  foreach(dep IN LISTS arg_DEPENDS)
    # Declared from the bottom up: a layer can only use one declared before
    # it, so that no arrow points up and no two layers use each other.
    if(NOT dep IN_LIST SONDRIX_LAYERS)
      message(FATAL_ERROR "sondrix_layer(${folder}): ${dep} is not a layer declared below it")
    endif()
    list(APPEND sees ${SONDRIX_LAYER_${dep}_SEES})
    list(APPEND packages ${SONDRIX_LAYER_${dep}_PACKAGES})
  endforeach()
  list(REMOVE_DUPLICATES sees)
  list(REMOVE_DUPLICATES packages)
  set(SONDRIX_LAYERS ${SONDRIX_LAYERS} ${folder} PARENT_SCOPE)
  set(SONDRIX_LAYER_${folder}_DEPENDS "${arg_DEPENDS}" PARENT_SCOPE)
  set(SONDRIX_LAYER_${folder}_SEES "${sees}" PARENT_SCOPE)
  set(SONDRIX_LAYER_${folder}_PACKAGES "${packages}" PARENT_SCOPE)
  set(SONDRIX_LAYER_${folder}_LIBRARY "${arg_LIBRARY}" PARENT_SCOPE)
  set(SONDRIX_LAYER_${folder}_IF "${arg_IF}" PARENT_SCOPE)
endfunction()

# The include tree of `folder`: for each top folder of src/ it sees, a link
# to the folder when it sees every layer in it, else a folder of links to
# the entries it sees (src/platform without src/platform/qt).
function(_sondrix_layer_tree folder tree)
  set(sees ${SONDRIX_LAYER_${folder}_SEES})
  file(MAKE_DIRECTORY ${tree})
  set(tops)
  foreach(layer IN LISTS sees)
    string(REGEX REPLACE "/.*" "" top ${layer})
    list(APPEND tops ${top})
  endforeach()
  list(REMOVE_DUPLICATES tops)
  foreach(top IN LISTS tops)
    if(NOT IS_DIRECTORY ${SONDRIX_SRC_DIR}/${top})
      continue()
    endif()
    set(whole TRUE)
    foreach(layer IN LISTS SONDRIX_LAYERS)
      if((layer STREQUAL top OR layer MATCHES "^${top}/") AND NOT layer IN_LIST sees
         AND IS_DIRECTORY ${SONDRIX_SRC_DIR}/${layer})
        set(whole FALSE)
      endif()
    endforeach()
    if(whole)
      file(CREATE_LINK ${SONDRIX_SRC_DIR}/${top} ${tree}/${top} SYMBOLIC)
      continue()
    endif()
    file(MAKE_DIRECTORY ${tree}/${top})
    file(GLOB entries LIST_DIRECTORIES true CONFIGURE_DEPENDS RELATIVE ${SONDRIX_SRC_DIR}/${top}
         ${SONDRIX_SRC_DIR}/${top}/*)
    foreach(entry IN LISTS entries)
      if("${top}/${entry}" IN_LIST SONDRIX_LAYERS)
        set(owner ${top}/${entry})
      else()
        set(owner ${top})
      endif()
      if(owner IN_LIST sees)
        file(CREATE_LINK ${SONDRIX_SRC_DIR}/${top}/${entry} ${tree}/${top}/${entry} SYMBOLIC)
      endif()
    endforeach()
  endforeach()
endfunction()

# Builds the layers declared so far and writes the table as
# <build>/layers/table.txt, top down, as docs/architecture.md shows it.
function(sondrix_build_layers)
  file(GLOB tops LIST_DIRECTORIES true CONFIGURE_DEPENDS RELATIVE ${SONDRIX_SRC_DIR} ${SONDRIX_SRC_DIR}/*)
  foreach(top IN LISTS tops)
    # src/gen: the programs the build runs to write sources (no layer).
    if(IS_DIRECTORY ${SONDRIX_SRC_DIR}/${top} AND NOT top IN_LIST SONDRIX_LAYERS AND NOT top STREQUAL "gen")
      message(FATAL_ERROR "src/${top} is in no layer: declare it in src/CMakeLists.txt (docs/architecture.md, Layers)")
    endif()
  endforeach()

  # Made anew at every configuration (the links only, never what they name).
  file(REMOVE_RECURSE ${SONDRIX_LAYERS_DIR})
  set(core_objects)
  set(core_packages)
  set(table)
  foreach(folder IN LISTS SONDRIX_LAYERS)
    # The table, top down, the names in one column.
    string(LENGTH "${folder}" width)
    math(EXPR pad "13 - ${width}")
    if(pad LESS 1)
      set(pad 1)
    endif()
    string(REPEAT " " ${pad} spaces)
    string(JOIN " " deps ${SONDRIX_LAYER_${folder}_DEPENDS})
    string(STRIP "${folder}${spaces}${deps}" line)
    set(table "${line}\n${table}")

    set(condition ${SONDRIX_LAYER_${folder}_IF})
    if(NOT IS_DIRECTORY ${SONDRIX_SRC_DIR}/${folder} OR (condition AND NOT ${condition}))
      continue()
    endif()
    string(REPLACE "/" "_" id ${folder})
    set(target sondrix_layer_${id})
    set(tree ${SONDRIX_LAYERS_DIR}/${id})
    _sondrix_layer_tree(${folder} ${tree})

    # The layer's sources: its folder and the sub-folders that are no layer.
    file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${SONDRIX_SRC_DIR}/${folder}/*.cpp)
    foreach(other IN LISTS SONDRIX_LAYERS)
      if(other MATCHES "^${folder}/")
        list(FILTER sources EXCLUDE REGEX "^${SONDRIX_SRC_DIR}/${other}/")
      endif()
    endforeach()
    if(sources)
      add_library(${target} OBJECT ${sources})
      target_link_libraries(${target} PRIVATE sondrix_warnings)
      # common/panels.h is written at build time, before any layer is compiled.
      if(TARGET sondrix_panels_h)
        add_dependencies(${target} sondrix_panels_h)
      endif()
      set(scope PUBLIC)
    else()
      # Headers only, so far: their view still stands for the probes.
      add_library(${target} INTERFACE)
      set(scope INTERFACE)
    endif()
    target_include_directories(${target} ${scope} ${tree})
    if(common IN_LIST SONDRIX_LAYER_${folder}_SEES)
      # common/version.h, written at configure time.
      target_include_directories(${target} ${scope} ${PROJECT_BINARY_DIR}/generated)
    endif()
    target_link_libraries(${target} ${scope} ${SONDRIX_LAYER_${folder}_PACKAGES})
    if(NOT sources)
      continue()
    endif()

    set(library ${SONDRIX_LAYER_${folder}_LIBRARY})
    if(library)
      add_library(${library} STATIC $<TARGET_OBJECTS:${target}>)
      target_link_libraries(${library} PUBLIC sondrix_core ${SONDRIX_LAYER_${folder}_PACKAGES})
    else()
      list(APPEND core_objects $<TARGET_OBJECTS:${target}>)
      list(APPEND core_packages ${SONDRIX_LAYER_${folder}_PACKAGES})
      set_property(TARGET sondrix_core APPEND PROPERTY SONDRIX_SOURCES ${sources})
    endif()
  endforeach()
  file(WRITE ${SONDRIX_LAYERS_DIR}/table.txt "${table}")

  list(REMOVE_DUPLICATES core_packages)
  target_sources(sondrix_core PRIVATE ${core_objects})
  target_link_libraries(sondrix_core PRIVATE ${core_packages})
endfunction()
