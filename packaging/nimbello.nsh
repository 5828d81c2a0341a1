; Nimbello's installer and uninstaller. CPack's NSIS template hosts this file: it is included through
; CPACK_NSIS_DEFINES, and its three step macros run from the template's hooks:
;   NimbelloBeforeCopy   before the program files are copied (CPACK_NSIS_EXTRA_PREINSTALL_COMMANDS)
;   NimbelloAfterCopy    after the copy, the uninstaller and the uninstall entry (..._INSTALL_COMMANDS)
;   NimbelloUninstall    before the uninstaller removes the files (..._UNINSTALL_COMMANDS)
; The build defines NIMBELLO_TARGET (x86-unicode for the shipped installer) and NIMBELLO_SETUP_VIEW,
; the registry view of the installer's own entries (32 in the shipped one).
;
; Exit codes: 0 done; 2 cancelled, or a file could not be written; 3 not run as an administrator;
; 4 the program folder cannot be written; 5 a running program or the old service could not be
; stopped; 6 the service was not registered; 7 the service did not start; 8 the settings key's
; rights could not be set. The uninstaller exits with 5 when the service or a program could not be
; stopped, and never for something already gone.

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

!include "${__FILEDIR__}/Services.nsh"
!include "${__FILEDIR__}/Programs.nsh"
!include "${__FILEDIR__}/Security.nsh"

; Ends the install with an exit code and a message; silent runs take the message's default.
!macro NimbelloFail LEVEL TEXT
  DetailPrint "${TEXT}"
  SetErrorLevel ${LEVEL}
  MessageBox MB_OK|MB_ICONSTOP "${TEXT}" /SD IDOK
  Abort
!macroend

; Runs inside the install section, after SetOutPath $INSTDIR created the folder.
!macro NimbelloBeforeCopy
  SetRegView ${NIMBELLO_SETUP_VIEW}
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 != "Admin"
    !insertmacro NimbelloFail 3 "Nimbello is installed for all users: run the installer as an administrator."
  ${EndIf}
  ; Nothing is touched before the folder is known to take files.
  ClearErrors
  FileOpen $0 "$INSTDIR\Nimbello.install" w
  ${If} ${Errors}
    !insertmacro NimbelloFail 4 "The folder $INSTDIR cannot be written."
  ${EndIf}
  FileClose $0
  Delete "$INSTDIR\Nimbello.install"
  !insertmacro NimbelloRefuseForeignFolder
  Call NimbelloProtectFolder
  ${If} $R0 != 1
    !insertmacro NimbelloFail 4 "The folder $INSTDIR could not be made writable by administrators only."
  ${EndIf}
  ; 1. The applet (and the main window program) close; 2. the old service goes, wherever it was
  ; registered from; then nothing of the product may hold a file of this folder.
  Call NimbelloClosePrograms
  Call NimbelloRemoveService
  ${If} $R0 != 1
    !insertmacro NimbelloFail 5 "The service ${NIMBELLO_SERVICE} could not be stopped and removed."
  ${EndIf}
  Call NimbelloWaitUnlocked
  ${If} $R0 != 1
    !insertmacro NimbelloFail 5 "A running program of Nimbello in $INSTDIR could not be ended."
  ${EndIf}
  ; 3. The template copies the programs next.
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
  ; 9. The applet starts for the user now. The installer runs elevated and so would the applet;
  ; the shell starts it with the user's own token, as at every logon.
  ${IfNot} ${Silent}
    Exec '"$WINDIR\explorer.exe" "$INSTDIR\${NIMBELLO_TRAY_EXE}"'
  ${EndIf}
!macroend

; Runs first in the uninstall section; the template then removes the files, the uninstall entry,
; the Start-menu folder and its own key.
!macro NimbelloUninstall
  SetRegView ${NIMBELLO_SETUP_VIEW}
  Call un.NimbelloRemoveService
  ${If} $R0 != 1
    DetailPrint "The service ${NIMBELLO_SERVICE} could not be removed."
    SetErrorLevel 5
  ${EndIf}
  ; The applet in every session: WM_CLOSE on this desktop, then taskkill.
  Call un.NimbelloClosePrograms
  Call un.NimbelloWaitUnlocked
  ${If} $R0 != 1
    DetailPrint "A running program of Nimbello could not be ended."
    SetErrorLevel 5
  ${EndIf}
  DeleteRegValue HKLM "${NIMBELLO_RUN_KEY}" "${NIMBELLO_RUN_VALUE}"
  SetRegView 32
  DeleteRegKey HKLM "${NIMBELLO_SETTINGS_KEY}"
  DeleteRegKey /ifempty HKLM "Software\VELTRA"
  SetRegView ${NIMBELLO_SETUP_VIEW}
!macroend

; The template deletes its own key under Software\VELTRA last; the vendor key goes with it when
; nothing else of the vendor is left.
Function un.onUninstSuccess
  SetRegView ${NIMBELLO_SETUP_VIEW}
  DeleteRegKey /ifempty HKLM "Software\VELTRA"
FunctionEnd
