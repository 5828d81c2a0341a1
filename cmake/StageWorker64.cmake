# Runs in cpack before and after each generator (CPACK_PRE_BUILD_SCRIPTS, first of
# CPACK_POST_BUILD_SCRIPTS). For the NSIS installer only, the staged x64\NimbelloDefrag.exe becomes
# NimbelloDefrag.x64 beside the other programs before the installer is made, and goes back after
# it, for the MSI that is made from the same staged files.
if(NOT CPACK_GENERATOR STREQUAL "NSIS")
  return()
endif()
set(_staged ${CPACK_TEMPORARY_DIRECTORY}/x64/NimbelloDefrag.exe)
set(_named ${CPACK_TEMPORARY_DIRECTORY}/NimbelloDefrag.x64)
if(EXISTS ${_staged})
  file(RENAME ${_staged} ${_named})
  file(REMOVE_RECURSE ${CPACK_TEMPORARY_DIRECTORY}/x64)
elseif(EXISTS ${_named})
  file(MAKE_DIRECTORY ${CPACK_TEMPORARY_DIRECTORY}/x64)
  file(RENAME ${_named} ${_staged})
endif()
