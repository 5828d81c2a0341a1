# Release packages of the programs, made by cpack in a Windows tree:
#   mingw-x86 (shipped): the installer Nimbello-<version>-win32.exe, an x86-unicode NSIS installer
#     of the 32-bit programs with both workers; and, made by the build, the ZIPs
#     Nimbello-<version>-win64.zip and Nimbello-<version>-win32.zip, the 32-bit programs with the
#     worker of their Windows' bitness as NimbelloDefrag.exe;
#   mingw-x64 (tests only): Nimbello-<version>-win64-test.exe, the same installer script built as an
#     amd64-unicode installer of the x86_64 programs, so that it runs under a 64-bit-only Wine.
# All install logic is in packaging/*.nsh; CPack's template only hosts it.
if(NOT WIN32)
  return()
endif()
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(_flavour win32)
  set(_nsis_target x86-unicode)
  # A 32-bit installer sees the 32-bit registry view by default: its uninstall entry and Run value
  # land where 32-bit installers keep theirs.
  set(_setup_view 32)
  set(CPACK_GENERATOR NSIS)
else()
  set(_flavour win64-test)
  set(_nsis_target amd64-unicode)
  set(_setup_view 64)
  set(CPACK_GENERATOR NSIS)
endif()

# Whatever programs of the product this tree builds; the release worker and the main window program
# are built by their own targets when present.
set(_programs)
foreach(_program NimbelloService NimbelloTray NimbelloDefrag Nimbello NimbelloUpdate)
  if(TARGET ${_program})
    install(TARGETS ${_program} RUNTIME DESTINATION .)
    list(APPEND _programs ${_program})
  endif()
endforeach()
install(FILES ${NIMBELLO_HELP_FILE} DESTINATION .)
if(_flavour STREQUAL "win32")
  install(FILES ${CMAKE_SOURCE_DIR}/packaging/README.txt DESTINATION .)
  # The x86_64 release worker, from a tree of its own: the installer puts it in place of the 32-bit
  # one on 64-bit Windows (packaging/Worker.nsh), the -win64 ZIP holds it under the plain name.
  if(TARGET NimbelloDefrag)
    include(ExternalProject)
    ExternalProject_Add(worker64_tree
      SOURCE_DIR ${CMAKE_SOURCE_DIR}
      BINARY_DIR ${CMAKE_BINARY_DIR}/worker64
      CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/mingw-x86_64.cmake
        -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
      BUILD_COMMAND $(MAKE) NimbelloDefrag
      BUILD_ALWAYS ON
      INSTALL_COMMAND "")
    install(PROGRAMS ${CMAKE_BINARY_DIR}/worker64/bin/NimbelloDefrag.exe DESTINATION x64)
    # One ZIP per bitness of Windows, each with the worker that runs natively there: a 32-bit
    # worker under WOW64 trims nothing, and a user unpacking a ZIP copies nothing by hand.
    set(_zip_files README.txt=${CMAKE_SOURCE_DIR}/packaging/README.txt
      Nimbello.chm=${NIMBELLO_HELP_FILE})
    foreach(_program ${_programs})
      if(NOT _program STREQUAL "NimbelloDefrag")
        list(APPEND _zip_files ${_program}.exe=$<TARGET_FILE:${_program}>)
      endif()
    endforeach()
    set(_zips)
    foreach(_bits 64 32)
      if(_bits EQUAL 64)
        set(_worker ${CMAKE_BINARY_DIR}/worker64/bin/NimbelloDefrag.exe)
      else()
        set(_worker $<TARGET_FILE:NimbelloDefrag>)
      endif()
      set(_zip ${CMAKE_BINARY_DIR}/package/Nimbello-${PROJECT_VERSION}-win${_bits}.zip)
      add_custom_command(OUTPUT ${_zip}
        COMMAND ${CMAKE_COMMAND} -DZIP=${_zip} -DSTAGE=${CMAKE_BINARY_DIR}/zip${_bits}
          "-DFILES=${_zip_files};NimbelloDefrag.exe=${_worker}"
          -P ${CMAKE_SOURCE_DIR}/cmake/BuildZip.cmake
        DEPENDS ${_programs} nimbello_help worker64_tree ${CMAKE_SOURCE_DIR}/packaging/README.txt
          ${CMAKE_SOURCE_DIR}/cmake/BuildZip.cmake
        COMMENT "ZIP for ${_bits}-bit Windows: ${_zip}"
        VERBATIM)
      list(APPEND _zips ${_zip})
    endforeach()
    add_custom_target(nimbello_zips ALL DEPENDS ${_zips})
  endif()
endif()

set(CPACK_VERBATIM_VARIABLES ON)
set(CPACK_PACKAGE_NAME Nimbello)
set(CPACK_PACKAGE_VENDOR VELTRA)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME Nimbello-${PROJECT_VERSION}-${_flavour})
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR}/package)
set(_installer ${CPACK_OUTPUT_FILE_PREFIX}/${CPACK_PACKAGE_FILE_NAME}.exe)

# The installer. CPack keeps its own key at HKLM\Software\<vendor>\<install registry key> and
# deletes it on uninstall: "Nimbello" there would be the settings key itself. One fixed name, without
# the version, so that every later installer finds the installation.
set(CPACK_PACKAGE_INSTALL_DIRECTORY Nimbello)
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY NimbelloSetup)
set(CPACK_NSIS_PACKAGE_NAME Nimbello)
set(CPACK_NSIS_DISPLAY_NAME Nimbello)
set(CPACK_NSIS_UNINSTALL_NAME Uninstall)
set(CPACK_NSIS_INSTALLED_ICON_NAME NimbelloTray.exe)
# Uninstalling first would delete the settings that an upgrade keeps: an upgrade installs over.
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL OFF)
set(CPACK_NSIS_EXECUTABLES_DIRECTORY .)
if("Nimbello" IN_LIST _programs)
  set(CPACK_PACKAGE_EXECUTABLES Nimbello Nimbello)
endif()
# The template adds the link at install and deletes it at uninstall.
set(CPACK_NSIS_MENU_LINKS Nimbello.chm "Nimbello Help")
set(CPACK_NSIS_DEFINES
  "!define NIMBELLO_TARGET ${_nsis_target}
!define NIMBELLO_SETUP_VIEW ${_setup_view}
!include \"${CMAKE_SOURCE_DIR}/packaging/nimbello.nsh\"
!include \"${CMAKE_SOURCE_DIR}/packaging/Worker.nsh\"")
set(CPACK_NSIS_EXTRA_PREINSTALL_COMMANDS "!insertmacro NimbelloBeforeCopy")
set(CPACK_NSIS_EXTRA_INSTALL_COMMANDS "!insertmacro NimbelloPickWorker
!insertmacro NimbelloAfterCopy")
set(CPACK_NSIS_EXTRA_UNINSTALL_COMMANDS "!insertmacro NimbelloUninstall")
# The MSI, the policy template and the winget manifest.
include(${CMAKE_SOURCE_DIR}/cmake/FleetPackages.cmake)
include(CPack)

# The test installer is part of the x86_64 tree's build, made again when a program or the install
# script changes. cpack builds the tree's "preinstall" target first, which would be the whole tree
# and this target again: here it builds nothing, and the programs are this target's dependencies.
if(_flavour STREQUAL "win64-test")
  set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
  file(GLOB _nsh CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/packaging/*.nsh)
  set(_program_files)
  foreach(_program ${_programs})
    list(APPEND _program_files $<TARGET_FILE:${_program}>)
  endforeach()
  list(APPEND _programs nimbello_help)
  list(APPEND _program_files ${NIMBELLO_HELP_FILE})
  add_custom_command(OUTPUT ${_installer}
    COMMAND ${CMAKE_CPACK_COMMAND} -G NSIS --config ${CMAKE_BINARY_DIR}/CPackConfig.cmake
    DEPENDS ${_programs} ${_program_files} ${_nsh} ${CMAKE_BINARY_DIR}/CPackConfig.cmake
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
    COMMENT "Test installer ${_installer} (amd64, for Wine)"
    VERBATIM)
  add_custom_target(nimbello_test_installer ALL DEPENDS ${_installer})
endif()
