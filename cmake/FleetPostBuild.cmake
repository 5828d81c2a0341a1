# Runs in cpack after each generator (CPACK_POST_BUILD_SCRIPTS); acts after the NSIS installer,
# whose staged files and hash it needs. See cmake/FleetPackages.cmake.
if(NOT CPACK_GENERATOR STREQUAL "NSIS")
  return()
endif()
include(${CPACK_NIMBELLO_SOURCE_DIR}/cmake/BuildMsi.cmake)
file(MAKE_DIRECTORY ${CPACK_OUTPUT_FILE_PREFIX})
nimbello_build_msi(${CPACK_TEMPORARY_DIRECTORY} ${CPACK_PACKAGE_VERSION} ${CPACK_NIMBELLO_HOST}
  ${CPACK_OUTPUT_FILE_PREFIX}/${CPACK_PACKAGE_NAME}-${CPACK_PACKAGE_VERSION}.msi)

# The policy template, laid out as a policy store: PolicyDefinitions\Nimbello.admx and one folder
# per language.
set(_policies ${CPACK_OUTPUT_FILE_PREFIX}/PolicyDefinitions)
file(REMOVE_RECURSE ${_policies})
file(COPY ${CPACK_NIMBELLO_SOURCE_DIR}/packaging/Nimbello.admx DESTINATION ${_policies})
foreach(_language en-US fr-FR)
  file(COPY ${CPACK_NIMBELLO_SOURCE_DIR}/packaging/${_language}/Nimbello.adml
    DESTINATION ${_policies}/${_language})
endforeach()

# The winget manifest of the NSIS installer just made, with its hash.
list(FILTER CPACK_PACKAGE_FILES INCLUDE REGEX "\\.exe$")
list(LENGTH CPACK_PACKAGE_FILES _count)
if(NOT _count EQUAL 1)
  message(FATAL_ERROR "expected one NSIS installer, got: ${CPACK_PACKAGE_FILES}")
endif()
file(SHA256 ${CPACK_PACKAGE_FILES} SHA256)
string(TOUPPER ${SHA256} SHA256)
set(WINGET_ID ${CPACK_PACKAGE_VENDOR}.${CPACK_PACKAGE_NAME})
set(VERSION ${CPACK_PACKAGE_VERSION})
set(NAME ${CPACK_NSIS_DISPLAY_NAME})
set(PUBLISHER ${CPACK_PACKAGE_VENDOR})
# The uninstall entry's key name: winget finds the installed product by it.
set(PRODUCT_CODE ${CPACK_PACKAGE_INSTALL_REGISTRY_KEY})
get_filename_component(_installer_name ${CPACK_PACKAGE_FILES} NAME)
set(INSTALLER_URL ${CPACK_NIMBELLO_DOWNLOAD_URL}/${_installer_name})
# Every exit code the README explains for the installer, with the answer winget gives for it.
file(READ ${CPACK_NIMBELLO_SOURCE_DIR}/docs/help/facts.json _facts)
string(JSON _count LENGTH "${_facts}" installer_exit_codes)
math(EXPR _last "${_count} - 1")
set(RETURN_CODES "")
foreach(_i RANGE ${_last})
  string(JSON _code GET "${_facts}" installer_exit_codes ${_i} code)
  string(JSON _response ERROR_VARIABLE _none GET "${_facts}" installer_exit_codes ${_i} winget)
  if(NOT _code EQUAL 0)
    if(_none)
      set(_response contactSupport)
    endif()
    string(APPEND RETURN_CODES
      "  - InstallerReturnCode: ${_code}\n    ReturnResponse: ${_response}\n")
  endif()
endforeach()
set(HOST ${CPACK_NIMBELLO_HOST})
set(_winget ${CPACK_OUTPUT_FILE_PREFIX}/winget)
file(REMOVE_RECURSE ${_winget})
file(GLOB _templates ${CPACK_NIMBELLO_SOURCE_DIR}/packaging/winget/*.yaml.in)
foreach(_template ${_templates})
  get_filename_component(_name ${_template} NAME_WLE)
  configure_file(${_template} ${_winget}/${_name} @ONLY NEWLINE_STYLE LF)
endforeach()
