# The packages for administrators, left by cpack beside the NSIS installer and the ZIP of the
# shipped 32-bit tree (build/mingw-x86/package):
#   Nimbello-<version>.msi           the Windows Installer package (packaging/Nimbello.wxs)
#   PolicyDefinitions/               the Group Policy template (packaging/policy)
#   winget/                          the winget manifest of the NSIS installer (packaging/winget)
# They are made after the NSIS installer (cmake/FleetPostBuild.cmake), from its staged files and
# its hash. Included by cmake/Packaging.cmake before include(CPack).
if(NOT _flavour STREQUAL "win32")
  return()
endif()
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_SOURCE_DIR}/cmake/FleetPostBuild.cmake)
set(CPACK_NIMBELLO_SOURCE_DIR ${CMAKE_SOURCE_DIR})
# The folder only: the installer's name, which holds the version, is added when the package is
# made, so a version change cannot leave a stale address in the cache.
set(NIMBELLO_DOWNLOAD_URL "https://${NIMBELLO_UPDATE_HOST}/downloads"
  CACHE STRING "The folder the winget manifest says the NSIS installer is downloaded from")
set(CPACK_NIMBELLO_DOWNLOAD_URL ${NIMBELLO_DOWNLOAD_URL})
set(CPACK_NIMBELLO_HOST ${NIMBELLO_UPDATE_HOST})
