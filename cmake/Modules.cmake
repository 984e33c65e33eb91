# Helpers shared by the module directories.
#
# Each source directory (util, project, library, scrib, gpi, retag) is one
# static library holding every .cpp file of the directory. Two modules call
# each other in a circle (util <-> library for error logs and paths), so
# executables link all module libraries as one group (the linker rescans the
# group until nothing is left unresolved). The include directories of all modules are
# visible to every module through retag_includes.

set(RETAG_WARNINGS -Wall -Wextra -Werror -Wformat=2 -Wno-format-nonliteral -Wnon-virtual-dtor
                   -Wcast-qual)
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  # -Wrestrict gives false positives inside libstdc++'s std::string at -O3
  # with GCC 12; it checks nothing in our own code that ASan does not.
  list(APPEND RETAG_WARNINGS -Wshadow=local -Wno-restrict)
else()
  list(APPEND RETAG_WARNINGS -Wshadow-uncaptured-local -Wno-format-zero-length)
endif()

add_library(retag_includes INTERFACE)
set_property(GLOBAL PROPERTY RETAG_MODULES "")

function(retag_warnings target)
  target_compile_options(${target} PRIVATE ${RETAG_WARNINGS})
endfunction()

# retag_module(NAME [EXCLUDE file...]): the static library of the current
# directory, from every .cpp file in it except the excluded ones.
function(retag_module name)
  cmake_parse_arguments(ARG "" "" "EXCLUDE" ${ARGN})
  target_include_directories(retag_includes INTERFACE ${CMAKE_CURRENT_SOURCE_DIR})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  foreach(ex ${ARG_EXCLUDE})
    list(REMOVE_ITEM sources ${CMAKE_CURRENT_SOURCE_DIR}/${ex})
  endforeach()
  if(sources)
    add_library(${name} STATIC ${sources})
    # Installed, the headers stand together in include/retag (cmake/Install.cmake).
    target_link_libraries(${name} PUBLIC $<BUILD_INTERFACE:retag_includes>)
    retag_warnings(${name})
    set_property(GLOBAL APPEND PROPERTY RETAG_MODULES ${name})
  endif()
endfunction()

# retag_all: every module library, linked as one group.
function(retag_finish_modules)
  get_property(mods GLOBAL PROPERTY RETAG_MODULES)
  add_library(retag_all INTERFACE)
  list(JOIN mods "," modlist)
  target_link_libraries(retag_all INTERFACE retag_includes "$<LINK_GROUP:RESCAN,${modlist}>")
endfunction()
