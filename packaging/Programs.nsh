; The product's running programs: closing them so that their files can be replaced or removed, and
; starting the applet again for the users who had it running.

!include x64.nsh

!define PROCESS_QUERY_INFORMATION 0x0400
!define PROCESS_QUERY_LIMITED_INFORMATION 0x1000
!define TOKEN_DUPLICATE 0x0002
!define TOKEN_QUERY 0x0008
; What starting the applet with its user's token uses: CreateProcessAsUserW and
; CreateProcessWithTokenW want query, duplicate and assign-primary, CreateEnvironmentBlock query and
; duplicate; adjust-default and adjust-session-id let Windows fit the primary token to its session.
; 0x0001 TOKEN_ASSIGN_PRIMARY | 0x0002 TOKEN_DUPLICATE | 0x0008 TOKEN_QUERY |
; 0x0080 TOKEN_ADJUST_DEFAULT | 0x0100 TOKEN_ADJUST_SESSIONID
!define NIMBELLO_APPLET_TOKEN_RIGHTS 0x018B
!define SecurityImpersonation 2
!define TokenPrimary 1
!define TokenSessionId 12
!define CREATE_UNICODE_ENVIRONMENT 0x400
!define STARTF_USESTDHANDLES 0x100
; STARTUPINFOW: its size, and where lpDesktop and dwFlags lie, for this installer's bitness.
!if ${NSIS_PTR_SIZE} > 4
  !define NIMBELLO_STARTUPINFO_SIZE 104
!else
  !define NIMBELLO_STARTUPINFO_SIZE 68
!endif
!define /math NIMBELLO_STARTUPINFO_DESKTOP ${NSIS_PTR_SIZE} * 2
!define /math NIMBELLO_STARTUPINFO_FLAGS_BASE ${NSIS_PTR_SIZE} * 4
!define /math NIMBELLO_STARTUPINFO_FLAGS ${NIMBELLO_STARTUPINFO_FLAGS_BASE} + 28

; The program files that a running process of the product can hold; one line per program.
!macro NimbelloForEachProgram DO
  !insertmacro ${DO} ${NIMBELLO_TRAY_EXE}
  !insertmacro ${DO} Nimbello.exe
  !insertmacro ${DO} NimbelloDefrag.exe
  !insertmacro ${DO} NimbelloUpdate.exe
  !insertmacro ${DO} ${NIMBELLO_SERVICE_EXE}
!macroend

; Every file that the install puts in the program folder: an upgrade sets these aside, and puts
; them back when it fails.
!macro NimbelloForEachFile DO
  !insertmacro NimbelloForEachProgram ${DO}
  !insertmacro ${DO} Nimbello.chm
  !insertmacro ${DO} README.txt
  !insertmacro ${DO} Uninstall.exe
!macroend

; $R0 = 0 when the program file in the folder $1 exists and cannot be opened for writing.
!macro NimbelloCheckUnlocked FILE
  ${If} ${FileExists} "$1\${FILE}"
    ClearErrors
    FileOpen $0 "$1\${FILE}" a
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
  ; The 64-bit taskkill where there is one: it sees the x86_64 release worker, which measures its
  ; release for a minute after its work.
  ${If} ${IsWow64}
    nsExec::Exec /TIMEOUT=15000 '"$WINDIR\sysnative\taskkill.exe" /F /IM $1'
  ${Else}
    nsExec::Exec /TIMEOUT=15000 '"$SYSDIR\taskkill.exe" /F /IM $1'
  ${EndIf}
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

; Waits until every program file in the folder on the stack can be opened for writing (or is
; absent): a process that was just ended may hold its file for a moment. $R0 = 1 when all can.
Function ${UN}NimbelloWaitUnlocked
  Exch $1
  Push $0
  Push $2
  StrCpy $2 0
  ${Do}
    StrCpy $R0 1
    !insertmacro NimbelloForEachProgram NimbelloCheckUnlocked
    ${IfThen} $R0 == 1 ${|} ${ExitDo} ${|}
    IntOp $2 $2 + 1
    ${IfThen} $2 > 100 ${|} ${ExitDo} ${|}
    Sleep 100
  ${Loop}
  Pop $2
  Pop $0
  Pop $1
FunctionEnd
!macroend
!insertmacro NimbelloProgramFunctions ""
!insertmacro NimbelloProgramFunctions "un."

; Notes, in $NimbelloApplets, a primary token of every running applet, whatever its session: the
; applet runs with its user's own unelevated token, so that token starts the new applet as the same
; user, in the same session, never elevated. Tokens that cannot be had (another user's, for an
; administrator who is not SYSTEM) are left out: that user gets the applet at the next logon.
Function NimbelloNoteApplets
  Push $0
  Push $1
  Push $2
  Push $3
  Push $4
  Push $5
  Push $6
  Push $7
  ; Room for 4096 process ids.
  System::Alloc 16384
  Pop $0
  System::Call 'psapi::EnumProcesses(p r0, i 16384, *i .r1) i .r2'
  ${If} $2 != 0
    StrCpy $3 0
    ${DoWhile} $3 < $1
      IntPtrOp $4 $0 + $3
      System::Call '*$4(i .r5)'
      ; The limited right (Vista and later) opens other users' processes too; XP has only the full one.
      System::Call 'kernel32::OpenProcess(i ${PROCESS_QUERY_LIMITED_INFORMATION}, i 0, i r5) p .r6'
      ${If} $6 == 0
        System::Call 'kernel32::OpenProcess(i ${PROCESS_QUERY_INFORMATION}, i 0, i r5) p .r6'
      ${EndIf}
      ${If} $6 != 0
        System::Call 'psapi::GetProcessImageFileNameW(p r6, w .r7, i ${NSIS_MAX_STRLEN}) i'
        StrCpy $7 $7 "" -17
        ${If} $7 == "\${NIMBELLO_TRAY_EXE}"
          System::Call 'advapi32::OpenProcessToken(p r6, i ${TOKEN_DUPLICATE}|${TOKEN_QUERY}, \
              *p .r7) i .r2'
          ${If} $2 != 0
            System::Call 'advapi32::DuplicateTokenEx(p r7, i ${NIMBELLO_APPLET_TOKEN_RIGHTS}, p 0, \
                i ${SecurityImpersonation}, i ${TokenPrimary}, *p .r5) i .r2'
            ${If} $2 != 0
              DetailPrint "Noted the applet of process $5 to start it again"
              StrCpy $NimbelloApplets "$NimbelloApplets$5 "
            ${EndIf}
            System::Call 'kernel32::CloseHandle(p r7)'
          ${EndIf}
        ${EndIf}
        System::Call 'kernel32::CloseHandle(p r6)'
      ${EndIf}
      IntOp $3 $3 + 4
    ${Loop}
  ${EndIf}
  System::Free $0
  Pop $7
  Pop $6
  Pop $5
  Pop $4
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd

; Starts the applet of the folder $0 with the primary token $1, with the user's own environment and
; none of the installer's standard handles. A SYSTEM installer (deployment tools) may assign the
; token, which keeps the applet's session; it names that session's interactive desktop, where the
; installer's own would be a service desktop. An administrator's installer may not assign it, and
; then the secondary logon service starts it, which serves the installer's own session only.
Function NimbelloStartApplet
  Push $2
  Push $3
  Push $4
  Push $5
  Push $6
  Push $7
  System::Call 'advapi32::GetTokenInformation(p r1, i ${TokenSessionId}, *i .r7, i 4, *i) i'
  System::Call 'kernel32::GetCurrentProcessId() i .r5'
  System::Call 'kernel32::ProcessIdToSessionId(i r5, *i .r5) i'
  ; $7: 1 when the applet's session is the installer's.
  ${If} $7 == $5
    StrCpy $7 1
  ${Else}
    StrCpy $7 0
  ${EndIf}
  System::Call 'userenv::CreateEnvironmentBlock(*p .r4, p r1, i 0) i .r5'
  ${IfThen} $5 == 0 ${|} StrCpy $4 0 ${|}
  System::Alloc ${NIMBELLO_STARTUPINFO_SIZE}
  Pop $6
  System::Call '*$6(i ${NIMBELLO_STARTUPINFO_SIZE})'
  IntPtrOp $2 $6 + ${NIMBELLO_STARTUPINFO_FLAGS}
  System::Call '*$2(i ${STARTF_USESTDHANDLES})'
  System::Call '*(&w16 "winsta0\default") p .r5'
  ${If} $7 != 1
    IntPtrOp $2 $6 + ${NIMBELLO_STARTUPINFO_DESKTOP}
    System::Call '*$2(p r5)'
  ${EndIf}
  System::Call '*(p, p, i, i) p .r3' ; PROCESS_INFORMATION
  ; The command line goes through a register: System's own quotes cannot hold quotes.
  StrCpy $2 '"$0\${NIMBELLO_TRAY_EXE}"'
  System::Call 'advapi32::CreateProcessAsUserW(p r1, p 0, w r2, p 0, p 0, i 0, \
      i ${CREATE_UNICODE_ENVIRONMENT}, p r4, w "$0", p r6, p r3) i .r2'
  ${If} $2 == 0
  ${AndIf} $7 == 1
    StrCpy $2 '"$0\${NIMBELLO_TRAY_EXE}"'
    System::Call 'advapi32::CreateProcessWithTokenW(p r1, i 0, p 0, w r2, \
        i ${CREATE_UNICODE_ENVIRONMENT}, p r4, w "$0", p r6, p r3) i .r2'
  ${EndIf}
  System::Free $5
  ${If} $2 != 0
  ${AndIf} $2 != ""
    DetailPrint "Started the applet again for the user of token $1"
    System::Call '*$3(p .r5, p .r2)'
    System::Call 'kernel32::CloseHandle(p r5)'
    System::Call 'kernel32::CloseHandle(p r2)'
  ${Else}
    DetailPrint "The applet of token $1 could not be started again; it starts at the next logon"
  ${EndIf}
  System::Free $3
  System::Free $6
  ${If} $4 != 0
    System::Call 'userenv::DestroyEnvironmentBlock(p r4)'
  ${EndIf}
  Pop $7
  Pop $6
  Pop $5
  Pop $4
  Pop $3
  Pop $2
FunctionEnd

; Starts the applet of the folder on the stack once with each token that NimbelloNoteApplets
; noted, and closes the tokens.
Function NimbelloRestartApplets
  Exch $0
  Push $1
  Push $2
  Push $3
  ${Do}
    ${IfThen} $NimbelloApplets == "" ${|} ${ExitDo} ${|}
    StrCpy $2 0
    ${Do}
      StrCpy $3 $NimbelloApplets 1 $2
      ${IfThen} $3 == " " ${|} ${ExitDo} ${|}
      ${IfThen} $3 == "" ${|} ${ExitDo} ${|}
      IntOp $2 $2 + 1
    ${Loop}
    StrCpy $1 $NimbelloApplets $2
    IntOp $2 $2 + 1
    StrCpy $NimbelloApplets $NimbelloApplets "" $2
    Call NimbelloStartApplet
    System::Call 'kernel32::CloseHandle(p r1)'
  ${Loop}
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd
