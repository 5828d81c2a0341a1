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
set(NIMBELLO_INSTALLER_URL
  "https://${NIMBELLO_UPDATE_HOST}/downloads/${CPACK_PACKAGE_FILE_NAME}.exe"
  CACHE STRING "Where the winget manifest says the NSIS installer is downloaded from")
set(CPACK_NIMBELLO_INSTALLER_URL ${NIMBELLO_INSTALLER_URL})
set(CPACK_NIMBELLO_HOST ${NIMBELLO_UPDATE_HOST})
