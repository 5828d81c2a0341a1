# Builds Nimbello's Windows Installer package from packaging/Nimbello.wxs with wixl, then adds what
# wixl cannot write: the MsiLockPermissionsEx table (packaging/MsiLockPermissionsEx.idt) with its
# _Validation rows (packaging/_Validation.idt), the expandable type of the event source's message file, the service's vital
# flag, the upgrade of the same version and the code page. Writes the package's product code
# beside it (<package>.ProductCode.txt), for detection rules. Used by cmake/FleetPostBuild.cmake
# from cpack, and as a script by the end-to-end test, which builds a second package to upgrade with:
#   cmake -DSTAGE=<files> -DVERSION=6.0.0.0 -DHOST=<vendor's server> -DOUTPUT=<x.msi>
#         -P cmake/BuildMsi.cmake
# STAGE holds the files to install, the NSIS installer's own (CPack's staging folder): a file there
# that the package does not install fails the build, so a companion added to the install rules
# cannot be forgotten in the .wxs.

cmake_policy(VERSION 3.19)

function(nimbello_build_msi stage version host output)
  get_filename_component(_packaging ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/../packaging ABSOLUTE)
  find_program(_wixl wixl REQUIRED)
  find_program(_msibuild msibuild REQUIRED)
  find_program(_msiinfo msiinfo REQUIRED)
  file(REMOVE ${output})
  # wixl finds the sources relative to its working folder only.
  # wixl takes source paths relative to its working folder only.
  get_filename_component(_icon ${_packaging}/../resources/NimbelloTray.ico ABSOLUTE)
  file(RELATIVE_PATH _icon ${stage} ${_icon})
  execute_process(COMMAND ${_wixl} -D Version=${version} -D Host=${host} -D Icon=${_icon}
    -o ${output} ${_packaging}/Nimbello.wxs
    WORKING_DIRECTORY ${stage} RESULT_VARIABLE _rc ERROR_VARIABLE _err)
  if(NOT _rc EQUAL 0 OR NOT EXISTS ${output})
    message(FATAL_ERROR "wixl failed (${_rc}): ${_err}")
  endif()
  execute_process(COMMAND ${_msibuild} ${output} -i ${_packaging}/MsiLockPermissionsEx.idt
    COMMAND_ERROR_IS_FATAL ANY)
  # The lock file the service's release workers make in the folder goes on uninstall (wixl writes
  # no RemoveFile rows).
  execute_process(COMMAND ${_msibuild} ${output} -i ${_packaging}/MsiRemoveTurnFile.idt
    COMMAND_ERROR_IS_FATAL ANY)
  # wixl writes no _Validation table; the one imported describes the tables this build adds, so
  # that validation (ICEs, Orca) can check its rows.
  execute_process(COMMAND ${_msibuild} ${output} -i ${_packaging}/_Validation.idt
    COMMAND_ERROR_IS_FATAL ANY)
  # Vital (0x8000): a service that cannot be registered fails the install. wixl drops the flag.
  execute_process(COMMAND ${_msibuild} ${output} -q
    "UPDATE `ServiceInstall` SET `ErrorControl` = 32769 WHERE `ServiceInstall` = 'NimbelloService'"
    COMMAND_ERROR_IS_FATAL ANY)
  # "#%" marks REG_EXPAND_SZ; wixl escapes a leading "#". The service registers it that way too.
  execute_process(COMMAND ${_msibuild} ${output} -q
    "UPDATE `Registry` SET `Value` = '#%[#NimbelloService.exe]' WHERE `Name` = 'EventMessageFile'"
    COMMAND_ERROR_IS_FATAL ANY)
  # The native release worker on 64-bit Windows, the 32-bit one elsewhere.
  foreach(_worker "NimbelloDefrag64.exe=VersionNT64" "NimbelloDefrag.exe=NOT VersionNT64")
    string(REPLACE "=" ";" _worker "${_worker}")
    list(GET _worker 0 _component)
    list(GET _worker 1 _condition)
    execute_process(COMMAND ${_msibuild} ${output} -q
      "UPDATE `Component` SET `Condition` = '${_condition}' WHERE `Component` = '${_component}'"
      COMMAND_ERROR_IS_FATAL ANY)
  endforeach()
  # wixl drops IncludeMaximum: the installed version itself (a rebuilt package of it) is to be
  # replaced too. 769 = 0x301: features migrated, minimum and maximum included. The attributes are
  # part of the table's key, so the table is imported again.
  execute_process(COMMAND ${_msiinfo} export ${output} Upgrade OUTPUT_VARIABLE _upgrade
    COMMAND_ERROR_IS_FATAL ANY)
  string(REGEX REPLACE "\t256\t\tNIMBELLO_OLDER_FOUND" "\t769\t\tNIMBELLO_OLDER_FOUND" _fixed
    "${_upgrade}")
  if(_fixed STREQUAL _upgrade)
    message(FATAL_ERROR "no upgrade row NIMBELLO_OLDER_FOUND to include the maximum in")
  endif()
  get_filename_component(_work ${output} DIRECTORY)
  file(WRITE ${_work}/Upgrade.idt "${_fixed}")
  execute_process(COMMAND ${_msibuild} ${output} -i ${_work}/Upgrade.idt COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE ${_work}/Upgrade.idt)

  # wixl writes the French texts in Windows-1252 but leaves the database's code page neutral,
  # which Windows would read in the machine's own ANSI code page.
  file(WRITE ${_work}/_ForceCodepage.idt "\n\n1252\t_ForceCodepage\n")
  execute_process(COMMAND ${_msibuild} ${output} -i ${_work}/_ForceCodepage.idt
    COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE ${_work}/_ForceCodepage.idt)

  # A new product code with every build: detection of one build goes by it.
  execute_process(COMMAND ${_msiinfo} export ${output} Property OUTPUT_VARIABLE _properties
    COMMAND_ERROR_IS_FATAL ANY)
  if(NOT _properties MATCHES "\nProductCode\t({[0-9A-F-]+})")
    message(FATAL_ERROR "no product code in ${output}")
  endif()
  file(WRITE ${output}.ProductCode.txt "${CMAKE_MATCH_1}\n")

  execute_process(COMMAND ${_msiinfo} export ${output} File OUTPUT_VARIABLE _table
    COMMAND_ERROR_IS_FATAL ANY)
  string(REPLACE "\n" ";" _rows "${_table}")
  set(_packaged)
  foreach(_row ${_rows})
    string(REPLACE "\t" ";" _columns "${_row}")
    list(LENGTH _columns _count)
    if(_count GREATER 2)
      list(GET _columns 2 _name)
      # "SHORT~1.EXE|LongName.exe" where the long name is no short one.
      string(REGEX REPLACE "^[^|]*\\|" "" _name "${_name}")
      list(APPEND _packaged ${_name})
    endif()
  endforeach()
  file(GLOB_RECURSE _staged RELATIVE ${stage} ${stage}/*)
  foreach(_file ${_staged})
    # x64/NimbelloDefrag.exe is installed under the plain name on 64-bit Windows.
    get_filename_component(_name ${_file} NAME)
    if(NOT _name IN_LIST _packaged)
      message(FATAL_ERROR "${_file} is installed by the NSIS installer but not by "
        "packaging/Nimbello.wxs: add a component for it there")
    endif()
  endforeach()
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  nimbello_build_msi(${STAGE} ${VERSION} ${HOST} ${OUTPUT})
endif()
