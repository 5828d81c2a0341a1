# Runs in cpack after each generator (CPACK_POST_BUILD_SCRIPTS); acts after the NSIS installer,
# whose staged files and hash it needs. See cmake/FleetPackages.cmake.
if(NOT CPACK_GENERATOR STREQUAL "NSIS")
  return()
endif()
include(${CPACK_NIMBELLO_SOURCE_DIR}/cmake/BuildMsi.cmake)
file(MAKE_DIRECTORY ${CPACK_OUTPUT_FILE_PREFIX})
nimbello_build_msi(${CPACK_TEMPORARY_DIRECTORY} ${CPACK_PACKAGE_VERSION}
  ${CPACK_OUTPUT_FILE_PREFIX}/${CPACK_PACKAGE_NAME}-${CPACK_PACKAGE_VERSION}.msi)
