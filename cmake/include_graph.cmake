# The check that keeps the build's dependencies one way.
#
# Each target of this project lists its sources and headers, and links only the targets
# it uses: those links are the one record of the layer order. The check
# (cmake/check_include_graph.py, run as the test IncludeGraph.RunsOneWay) reads every
# #include "..." of every target and fails when one reaches a header of a target that the
# including target does not link, when the utility's targets link each other in a circle,
# or when the utility's files include each other in a circle. The build thus refuses the
# next dependency that runs back up, instead of the static libraries' link order hiding
# it. The test prints the order the links make, bottom first.

# All targets defined in dir and below it.
function(tqupd_targets_below dir out)
  get_property(found DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(sub IN LISTS subdirs)
    tqupd_targets_below(${sub} more)
    list(APPEND found ${more})
  endforeach()
  set(${out} ${found} PARENT_SCOPE)
endfunction()

# Writes the manifest that the check reads: for each target of this project the folder
# that defines it, its files, the targets it links and its include folders.
function(tqupd_write_include_manifest file)
  tqupd_targets_below(${PROJECT_SOURCE_DIR} targets)
  set(content "root ${PROJECT_SOURCE_DIR}\nbuild ${PROJECT_BINARY_DIR}\n")
  foreach(t IN LISTS targets)
    get_target_property(type ${t} TYPE)
    get_target_property(dir ${t} SOURCE_DIR)
    cmake_path(IS_PREFIX PROJECT_SOURCE_DIR "${dir}" inside)
    if(NOT inside OR NOT type MATCHES "^(STATIC_LIBRARY|OBJECT_LIBRARY|INTERFACE_LIBRARY|EXECUTABLE)$")
      continue()
    endif()
    string(APPEND content "target ${t}\nfolder ${dir}\n")
    get_target_property(sources ${t} SOURCES)
    if(NOT sources)
      set(sources "")
    endif()
    get_target_property(sets ${t} HEADER_SETS)
    get_target_property(interface_sets ${t} INTERFACE_HEADER_SETS)
    list(APPEND sets ${interface_sets})
    list(REMOVE_ITEM sets sets-NOTFOUND interface_sets-NOTFOUND)
    list(REMOVE_DUPLICATES sets)
    foreach(set IN LISTS sets)
      if(set STREQUAL "HEADERS")
        get_target_property(headers ${t} HEADER_SET)
      else()
        get_target_property(headers ${t} HEADER_SET_${set})
      endif()
      list(APPEND sources ${headers})
    endforeach()
    foreach(source IN LISTS sources)
      if(source MATCHES "^\\$<")
        continue()
      endif()
      cmake_path(ABSOLUTE_PATH source BASE_DIRECTORY ${dir} NORMALIZE)
      string(APPEND content "file ${source}\n")
    endforeach()
    if(type STREQUAL "INTERFACE_LIBRARY")
      # Header-only: nothing is compiled, so only what it hands on counts.
      get_target_property(links ${t} INTERFACE_LINK_LIBRARIES)
    else()
      get_target_property(links ${t} LINK_LIBRARIES)
    endif()
    foreach(link IN LISTS links)
      string(REGEX REPLACE "^\\$<LINK_ONLY:(.*)>$" "\\1" link "${link}")
      if(TARGET ${link})
        get_target_property(aliased ${link} ALIASED_TARGET)
        if(aliased)
          set(link ${aliased})
        endif()
        string(APPEND content "link ${link}\n")
      endif()
    endforeach()
    if(type STREQUAL "INTERFACE_LIBRARY")
      set(property INTERFACE_INCLUDE_DIRECTORIES)
    else()
      set(property INCLUDE_DIRECTORIES)
    endif()
    string(APPEND content
           "include $<JOIN:$<TARGET_PROPERTY:${t},${property}>,\ninclude >\n")
  endforeach()
  file(GENERATE OUTPUT ${file} CONTENT "${content}")
endfunction()

find_package(Python3 REQUIRED COMPONENTS Interpreter)
tqupd_write_include_manifest(${PROJECT_BINARY_DIR}/include-graph.txt)
# The interpreter by its path, not its imported target: CTest would start a target of a
# cross build through the cross-compiling emulator, and so run the host's Python under Wine.
add_test(NAME IncludeGraph.RunsOneWay
         COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/cmake/check_include_graph.py
                 ${PROJECT_BINARY_DIR}/include-graph.txt)
