; The product's running programs: closing them so that their files can be replaced or removed.

; $R0 = 0 when the program file in $INSTDIR exists and cannot be opened for writing.
!macro NimbelloCheckUnlocked FILE
  ${If} ${FileExists} "$INSTDIR\${FILE}"
    ClearErrors
    FileOpen $0 "$INSTDIR\${FILE}" a
    ${If} ${Errors}
      StrCpy $R0 0
    ${Else}
      FileClose $0
    ${EndIf}
  ${EndIf}
!macroend

!macro NimbelloProgramFunctions UN
; Sends WM_CLOSE to each window of the class on the stack on this desktop until none is left;
; 20 rounds at most, each message bounded, so a hung window cannot hold the installer.
Function ${UN}NimbelloCloseWindows
  Exch $1
  Push $0
  Push $2
  StrCpy $2 0
  ${Do}
    FindWindow $0 $1
    ${IfThen} $0 == 0 ${|} ${ExitDo} ${|}
    IntOp $2 $2 + 1
    ${IfThen} $2 > 20 ${|} ${ExitDo} ${|}
    DetailPrint "Closing the window $1"
    SendMessage $0 ${WM_CLOSE} 0 0 /TIMEOUT=1000
    Sleep 200
  ${Loop}
  Pop $2
  Pop $0
  Pop $1
FunctionEnd

; Ends the program file named on the stack in every session, where a window message cannot reach.
; A program that is not running is fine.
Function ${UN}NimbelloEndProgram
  Exch $1
  Push $0
  nsExec::Exec /TIMEOUT=15000 '"$SYSDIR\taskkill.exe" /F /IM $1'
  Pop $0
  Pop $0
  Pop $1
FunctionEnd

; Closes the applet and the main window program (they save nothing; the applet removes its icon on
; WM_CLOSE), then ends what still runs of them and of the release worker, in every session.
Function ${UN}NimbelloClosePrograms
  Push TNBMainForm
  Call ${UN}NimbelloCloseWindows
  Push TNBTrayForm
  Call ${UN}NimbelloCloseWindows
  Push NimbelloTray.exe
  Call ${UN}NimbelloEndProgram
  Push Nimbello.exe
  Call ${UN}NimbelloEndProgram
  Push NimbelloDefrag.exe
  Call ${UN}NimbelloEndProgram
FunctionEnd

; Waits until every program file in $INSTDIR can be opened for writing (or is absent): a process
; that was just ended may hold its file for a moment. $R0 = 1 when all can.
Function ${UN}NimbelloWaitUnlocked
  Push $0
  Push $1
  StrCpy $1 0
  ${Do}
    StrCpy $R0 1
    !insertmacro NimbelloCheckUnlocked NimbelloTray.exe
    !insertmacro NimbelloCheckUnlocked Nimbello.exe
    !insertmacro NimbelloCheckUnlocked NimbelloDefrag.exe
    !insertmacro NimbelloCheckUnlocked ${NIMBELLO_SERVICE_EXE}
    ${IfThen} $R0 == 1 ${|} ${ExitDo} ${|}
    IntOp $1 $1 + 1
    ${IfThen} $1 > 100 ${|} ${ExitDo} ${|}
    Sleep 100
  ${Loop}
  Pop $1
  Pop $0
FunctionEnd
!macroend
!insertmacro NimbelloProgramFunctions ""
!insertmacro NimbelloProgramFunctions "un."
