; Nimbello's installer and uninstaller. CPack's NSIS template hosts this file: it is included through
; CPACK_NSIS_DEFINES, and its three step macros run from the template's hooks:
;   NimbelloBeforeCopy   before the program files are copied (CPACK_NSIS_EXTRA_PREINSTALL_COMMANDS)
;   NimbelloAfterCopy    after the copy, the uninstaller and the uninstall entry (..._INSTALL_COMMANDS)
;   NimbelloUninstall    before the uninstaller removes the files (..._UNINSTALL_COMMANDS)
; The build defines NIMBELLO_TARGET (x86-unicode for the shipped installer) and NIMBELLO_SETUP_VIEW,
; the registry view of the installer's own entries (32 in the shipped one).
;
; Exit codes: 0 done; 2 cancelled, or a file could not be written; 3 not run as an administrator;
; 4 the program folder cannot be made or protected; 5 a running program or the old service could
; not be stopped, or the old programs could not be set aside; 6 the service was not registered; 7
; the service did not start; 8 the settings key's rights could not be set; 9 the folder, or one
; above it, is a junction or link, or it or an entry in it belongs to another user; 10 the product is
; installed by its Windows Installer package (nothing is touched). An exit before the files are
; copied leaves no folder that the installer made. An upgrade that fails from 5
; on puts the old programs and the old service back and starts them. The uninstaller exits with 5
; when the service or a program could not be stopped, and never for something already gone.

Target ${NIMBELLO_TARGET}
; A locked file must fail the install, not be skipped with exit code 0.
AllowSkipFiles off

!include LogicLib.nsh
!include WinMessages.nsh

!define NIMBELLO_SERVICE Nimbello
!define NIMBELLO_SERVICE_EXE NimbelloService.exe
!define NIMBELLO_TRAY_EXE NimbelloTray.exe
; Every build of the programs opens it in the 32-bit registry view.
!define NIMBELLO_SETTINGS_KEY "Software\VELTRA\Nimbello"
!define NIMBELLO_RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define NIMBELLO_RUN_VALUE Nimbello
!define NIMBELLO_UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\NimbelloSetup"
!define NIMBELLO_SETUP_KEY "Software\VELTRA\NimbelloSetup"
!define NIMBELLO_SERVICE_KEY "SYSTEM\CurrentControlSet\Services\${NIMBELLO_SERVICE}"
; The service registers it at /install; deleting the service through the manager leaves it.
!define NIMBELLO_EVENT_SOURCE_KEY "SYSTEM\CurrentControlSet\Services\EventLog\Application\${NIMBELLO_SERVICE}"
; Inside the old program folder: where an upgrade keeps the old files until it has succeeded.
!define NIMBELLO_PREVIOUS Previous
; The privileged release workers' lock file, which they make in the program folder.
!define NIMBELLO_TURN_FILE NimbelloDefrag.turn

; An upgrade goes into the folder of the existing install; /D= still names another.
InstallDirRegKey HKLM "${NIMBELLO_UNINSTALL_KEY}" "InstallLocation"

; What an upgrade notes of the old install, to put it back when a later step fails.
Var NimbelloOldDir          ; its folder, "" for a fresh install
Var NimbelloOldVersion      ; DisplayVersion of its uninstall entry
Var NimbelloOldRun          ; its Run value, "" when there was none
Var NimbelloOldStartMenu    ; its Start-menu folder under $SMPROGRAMS
Var NimbelloSetAside        ; 1 once its files were moved to $NimbelloOldDir\Previous
Var NimbelloOldService      ; 1 when its service's registration was noted
Var NimbelloOldImage
Var NimbelloOldDisplay
Var NimbelloOldStart
Var NimbelloOldErrorControl
Var NimbelloOldDescription
Var NimbelloOldEventFile
Var NimbelloServiceGone     ; 1 once the old service was deleted
Var NimbelloApplets         ; primary tokens of the applets that were ended, each followed by a blank
Var NimbelloRolledBack
Var NimbelloWhy             ; why the folder cannot be used

!include "${__FILEDIR__}/Services.nsh"
!include "${__FILEDIR__}/Programs.nsh"
!include "${__FILEDIR__}/Security.nsh"
!include "${__FILEDIR__}/Folder.nsh"
!include "${__FILEDIR__}/MsiGuard.nsh"

; Ends the install with an exit code and a message; silent runs take the message's default.
!macro NimbelloFail LEVEL TEXT
  DetailPrint "${TEXT}"
  SetErrorLevel ${LEVEL}
  Call NimbelloRollBack
  MessageBox MB_OK|MB_ICONSTOP "${TEXT}" /SD IDOK
  Abort
!macroend

!macro NimbelloSetAsideFile FILE
  ${If} ${FileExists} "$NimbelloOldDir\${FILE}"
    Rename "$NimbelloOldDir\${FILE}" "$NimbelloOldDir\${NIMBELLO_PREVIOUS}\${FILE}"
  ${EndIf}
!macroend

; Removes the file of this install's folder (copied by the failed upgrade) and puts the old one back.
!macro NimbelloPutBackFile FILE
  ${If} $NimbelloOldDir != $INSTDIR
    Delete "$INSTDIR\${FILE}"
  ${EndIf}
  ${If} ${FileExists} "$NimbelloOldDir\${NIMBELLO_PREVIOUS}\${FILE}"
    Delete "$NimbelloOldDir\${FILE}"
    Rename "$NimbelloOldDir\${NIMBELLO_PREVIOUS}\${FILE}" "$NimbelloOldDir\${FILE}"
  ${EndIf}
!macroend

; Puts back what the upgrade changed, once, from the first failed step on: the new service goes,
; the old programs return to their folder, and the old service, its Run value and uninstall entry
; are registered as they were; then the service and the applets that were ended start again. A
; fresh install that fails keeps what it registered, its files and its uninstaller.
Function NimbelloRollBack
  ${IfThen} $NimbelloRolledBack == 1 ${|} Return ${|}
  StrCpy $NimbelloRolledBack 1
  Call NimbelloRemoveMadeFolders
  ${If} $NimbelloServiceGone == 1
  ${AndIf} "$NimbelloOldService$NimbelloSetAside" != ""
    ; An upgrade: what is registered now is the new service.
    Call NimbelloRemoveService
  ${EndIf}
  ${If} $NimbelloSetAside == 1
    DetailPrint "Putting back the programs in $NimbelloOldDir"
    Call NimbelloClosePrograms
    Push $INSTDIR
    Call NimbelloWaitUnlocked
    !insertmacro NimbelloForEachFile NimbelloPutBackFile
    ${If} ${FileExists} "$NimbelloOldDir\${NIMBELLO_PREVIOUS}\Start Menu\*.lnk"
      Delete "$SMPROGRAMS\$NimbelloOldStartMenu\*.lnk"
      CopyFiles /SILENT "$NimbelloOldDir\${NIMBELLO_PREVIOUS}\Start Menu\*.lnk" \
          "$SMPROGRAMS\$NimbelloOldStartMenu"
    ${EndIf}
    RMDir /r "$NimbelloOldDir\${NIMBELLO_PREVIOUS}\Start Menu"
    RMDir "$NimbelloOldDir\${NIMBELLO_PREVIOUS}"
    ${If} $NimbelloOldDir != $INSTDIR
      ; A folder that is some process's working folder cannot be removed: the installer's own, and
      ; for a moment that of a service program just ended.
      SetOutPath $TEMP
      Delete "$INSTDIR\${NIMBELLO_TURN_FILE}"
      Push $0
      StrCpy $0 0
      ${Do}
        RMDir "$INSTDIR"
        ${IfNot} ${FileExists} "$INSTDIR\*.*"
        ${OrIf} $0 > 50
          ${ExitDo}
        ${EndIf}
        IntOp $0 $0 + 1
        Sleep 100
      ${Loop}
      Pop $0
    ${EndIf}
    WriteRegStr HKLM "${NIMBELLO_SETUP_KEY}" "" "$NimbelloOldDir"
    WriteRegStr HKLM "${NIMBELLO_UNINSTALL_KEY}" "DisplayVersion" "$NimbelloOldVersion"
    WriteRegStr HKLM "${NIMBELLO_UNINSTALL_KEY}" "InstallLocation" "$NimbelloOldDir"
    WriteRegStr HKLM "${NIMBELLO_UNINSTALL_KEY}" "UninstallString" '"$NimbelloOldDir\Uninstall.exe"'
    WriteRegStr HKLM "${NIMBELLO_UNINSTALL_KEY}" "QuietUninstallString" '"$NimbelloOldDir\Uninstall.exe" /S'
    WriteRegStr HKLM "${NIMBELLO_UNINSTALL_KEY}" "DisplayIcon" "$NimbelloOldDir\${NIMBELLO_TRAY_EXE}"
  ${EndIf}
  ${If} $NimbelloOldRun != ""
    WriteRegStr HKLM "${NIMBELLO_RUN_KEY}" "${NIMBELLO_RUN_VALUE}" "$NimbelloOldRun"
  ${EndIf}
  ${If} $NimbelloServiceGone == 1
  ${AndIf} $NimbelloOldService == 1
    DetailPrint "Registering the old service again: $NimbelloOldImage"
    Call NimbelloRestoreService
  ${EndIf}
  ${If} $NimbelloOldService == 1
    Call NimbelloStartService
    ${IfThen} $R0 != 1 ${|} DetailPrint "The old service ${NIMBELLO_SERVICE} did not start." ${|}
  ${EndIf}
  ${If} $NimbelloOldDir != ""
    Push $NimbelloOldDir
  ${Else}
    Push $INSTDIR
  ${EndIf}
  Call NimbelloRestartApplets
FunctionEnd

; A step of the template that failed (a file that could not be written) ends here too.
Function .onInstFailed
  Call NimbelloRollBack
FunctionEnd

; The first section, before the template's, whose first step (SetOutPath $INSTDIR) would make the
; folder with its parent's entries: nothing is written in the folder before it is the
; administrators' alone. The administrator and package checks come first, so those exits make no
; folder at all; a later exit before the copy removes the folders this install made.
Section "-Nimbello folder"
  SetRegView ${NIMBELLO_SETUP_VIEW}
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 != "Admin"
    !insertmacro NimbelloFail 3 "Nimbello is installed for all users: run the installer as an administrator."
  ${EndIf}
  !insertmacro NimbelloRefuseOverMsi
  Call NimbelloLearnOwners
  Call NimbelloPrepareFolder
  ${If} $R0 != 1
    StrCpy $NimbelloWhy $R7
    !insertmacro NimbelloFail $R0 "The folder cannot be used: $NimbelloWhy Remove it or choose another folder, then install again."
  ${EndIf}
  Call NimbelloProtectFolder
  ${If} $R0 != 1
    !insertmacro NimbelloFail 4 "The folder $INSTDIR could not be made writable by administrators only."
  ${EndIf}
  ; What a user put in the folder before it was protected stays theirs to change: refused.
  StrCpy $R1 $INSTDIR
  Call NimbelloCheckTree
  ${If} $R0 != 1
    StrCpy $NimbelloWhy $R7
    !insertmacro NimbelloFail 9 "The folder cannot be used: $NimbelloWhy Remove it or choose another folder, then install again."
  ${EndIf}
SectionEnd

; Runs inside the template's section, after SetOutPath $INSTDIR, in the folder made safe above.
!macro NimbelloBeforeCopy
  SetRegView ${NIMBELLO_SETUP_VIEW}
  ; What to put back if a later step fails.
  ReadRegStr $NimbelloOldDir HKLM "${NIMBELLO_UNINSTALL_KEY}" "InstallLocation"
  ReadRegStr $NimbelloOldVersion HKLM "${NIMBELLO_UNINSTALL_KEY}" "DisplayVersion"
  ReadRegStr $NimbelloOldRun HKLM "${NIMBELLO_RUN_KEY}" "${NIMBELLO_RUN_VALUE}"
  ReadRegStr $NimbelloOldStartMenu HKLM "${NIMBELLO_UNINSTALL_KEY}" "StartMenu"
  ${IfNot} ${FileExists} "$NimbelloOldDir\${NIMBELLO_SERVICE_EXE}"
    StrCpy $NimbelloOldDir ""
  ${EndIf}
  Call NimbelloSaveService
  ; 1. The old service stops first, wherever it was registered from, so that it starts no more
  ; release workers; 2. the applet in every session (noted to start it again), the main window
  ; program and the workers end; 3. the old service is deleted; then nothing of the product may
  ; hold a file of the old folder or of this one.
  Call NimbelloStopService
  Call NimbelloNoteApplets
  Call NimbelloClosePrograms
  Call NimbelloRemoveService
  ${If} $R0 != 1
    !insertmacro NimbelloFail 5 "The service ${NIMBELLO_SERVICE} could not be stopped and removed."
  ${EndIf}
  StrCpy $NimbelloServiceGone 1
  Push $INSTDIR
  Call NimbelloWaitUnlocked
  ${If} $R0 == 1
  ${AndIf} $NimbelloOldDir != ""
    Push $NimbelloOldDir
    Call NimbelloWaitUnlocked
  ${EndIf}
  ${If} $R0 != 1
    !insertmacro NimbelloFail 5 "A running program of Nimbello could not be ended."
  ${EndIf}
  ; 4. The old files go aside, where a failure finds them.
  ${If} $NimbelloOldDir != ""
    RMDir /r "$NimbelloOldDir\${NIMBELLO_PREVIOUS}"
    CreateDirectory "$NimbelloOldDir\${NIMBELLO_PREVIOUS}"
    StrCpy $NimbelloSetAside 1
    ClearErrors
    !insertmacro NimbelloForEachFile NimbelloSetAsideFile
    ${If} ${Errors}
      !insertmacro NimbelloFail 5 "The programs in $NimbelloOldDir could not be set aside."
    ${EndIf}
    ; An install that moves gets new shortcuts; a failed move needs the old ones back.
    ${If} $NimbelloOldDir != $INSTDIR
    ${AndIf} $NimbelloOldStartMenu != ""
      CreateDirectory "$NimbelloOldDir\${NIMBELLO_PREVIOUS}\Start Menu"
      CopyFiles /SILENT "$SMPROGRAMS\$NimbelloOldStartMenu\*.lnk" \
          "$NimbelloOldDir\${NIMBELLO_PREVIOUS}\Start Menu"
    ${EndIf}
  ${EndIf}
  ; 3. The template copies the programs next.
  StrCpy $NimbelloCopying 1
!macroend

!macro NimbelloAfterCopy
  !insertmacro NimbelloSecureCopiedFiles
  ; 4. Register the service and check that the manager knows it; 5. start it.
  Call NimbelloRegisterService
  ${If} $R0 != 1
    !insertmacro NimbelloFail 6 "The service ${NIMBELLO_SERVICE} could not be registered."
  ${EndIf}
  Call NimbelloStartService
  ${If} $R0 != 1
    !insertmacro NimbelloFail 7 "The service ${NIMBELLO_SERVICE} did not start."
  ${EndIf}
  ; 6. The applet starts at every user's logon.
  WriteRegStr HKLM "${NIMBELLO_RUN_KEY}" "${NIMBELLO_RUN_VALUE}" '"$INSTDIR\${NIMBELLO_TRAY_EXE}" /start'
  ; 7. The applet's writes reach the service.
  Call NimbelloGrantSettings
  ${If} $R0 != 1
    !insertmacro NimbelloFail 8 "Users could not be allowed to set values of HKLM\${NIMBELLO_SETTINGS_KEY}."
  ${EndIf}
  ; 8. The uninstall entry (the template wrote its name, version, publisher and uninstall command).
  WriteRegStr HKLM "${NIMBELLO_UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegStr HKLM "${NIMBELLO_UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  ; 9. The old files are not needed any more; an install moved to another folder leaves nothing in
  ; the old one (its settings are kept).
  ${If} $NimbelloSetAside == 1
    RMDir /r "$NimbelloOldDir\${NIMBELLO_PREVIOUS}"
    ${If} $NimbelloOldDir != $INSTDIR
      Delete "$NimbelloOldDir\${NIMBELLO_TURN_FILE}"
      RMDir "$NimbelloOldDir"
    ${EndIf}
  ${EndIf}
  ; 10. Each applet that was ended starts again, as its own user in its own session. Run
  ; interactively, the installer also starts it for the user now: it runs elevated and so would the
  ; applet, so the shell starts it with the user's own token, as at every logon (a second applet on
  ; the same desktop ends at once).
  Push $INSTDIR
  Call NimbelloRestartApplets
  ${IfNot} ${Silent}
    Exec '"$WINDIR\explorer.exe" "$INSTDIR\${NIMBELLO_TRAY_EXE}"'
  ${EndIf}
!macroend

; Runs first in the uninstall section; the template then removes the files, the uninstall entry,
; the Start-menu folder and its own key.
!macro NimbelloUninstall
  SetRegView ${NIMBELLO_SETUP_VIEW}
  ; The service first, so that it starts no more workers; its own clean-up does not run when the
  ; manager deletes it, so its event source goes here.
  Call un.NimbelloRemoveService
  ${If} $R0 != 1
    DetailPrint "The service ${NIMBELLO_SERVICE} could not be removed."
    SetErrorLevel 5
  ${EndIf}
  DeleteRegKey HKLM "${NIMBELLO_EVENT_SOURCE_KEY}"
  ; The applet in every session: WM_CLOSE on this desktop, then taskkill.
  Call un.NimbelloClosePrograms
  Push $INSTDIR
  Call un.NimbelloWaitUnlocked
  ${If} $R0 != 1
    DetailPrint "A running program of Nimbello could not be ended."
    SetErrorLevel 5
  ${EndIf}
  RMDir /r "$INSTDIR\${NIMBELLO_PREVIOUS}"
  Delete "$INSTDIR\${NIMBELLO_TURN_FILE}"
  ; In both registry views: the programs use the 32-bit one, 64-bit tools write the other.
  !insertmacro NimbelloRemoveKeys 32
  !insertmacro NimbelloRemoveKeys 64
  SetRegView ${NIMBELLO_SETUP_VIEW}
!macroend

; The Run value and the settings key with all its values and its LastRelease record, in one view.
!macro NimbelloRemoveKeys VIEW
  SetRegView ${VIEW}
  DeleteRegValue HKLM "${NIMBELLO_RUN_KEY}" "${NIMBELLO_RUN_VALUE}"
  DeleteRegKey HKLM "${NIMBELLO_SETTINGS_KEY}"
  DeleteRegKey /ifempty HKLM "Software\VELTRA"
!macroend

; The template deletes its own key under Software\VELTRA last; the vendor key goes with it when
; nothing else of the vendor is left.
Function un.onUninstSuccess
  SetRegView ${NIMBELLO_SETUP_VIEW}
  DeleteRegKey /ifempty HKLM "Software\VELTRA"
FunctionEnd
