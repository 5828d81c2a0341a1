# Each folder's sources are found by globbing, so adding a unit never touches a CMakeLists.txt.
# A file whose name ends in "Program.cpp" holds a program entry and is kept out of libraries.
function(nimbello_sources out dir)
  file(GLOB _found CONFIGURE_DEPENDS ${dir}/*.cpp)
  list(FILTER _found EXCLUDE REGEX "Program\\.cpp$")
  set(${out} ${_found} PARENT_SCOPE)
endfunction()

# A static library of a folder's sources; an empty folder gives an interface library.
function(nimbello_library name dir)
  nimbello_sources(_src ${dir})
  if(_src)
    add_library(${name} STATIC ${_src})
    target_link_libraries(${name} PUBLIC ${ARGN})
  else()
    add_library(${name} INTERFACE)
    target_link_libraries(${name} INTERFACE ${ARGN})
  endif()
endfunction()
