; The Nimbello service through the Service Control Manager: its state, stopping and deleting it,
; registering and starting it. Every wait is bounded; each function leaves its verdict in $R0.

!define SC_MANAGER_CONNECT 0x0001
!define SERVICE_QUERY_STATUS 0x0004
!define SERVICE_START 0x0010
!define SERVICE_STOP 0x0020
!define SERVICE_DELETE 0x10000
!define SC_MANAGER_CREATE_SERVICE 0x0002
!define SERVICE_WIN32_OWN_PROCESS 0x10
!define SERVICE_CONTROL_STOP 1
!define SERVICE_STOPPED 1
!define SERVICE_RUNNING 4
; 100 ms polls.
!define NIMBELLO_SERVICE_POLLS 300

!macro NimbelloServiceFunctions UN
; $R0 = the state of the service (1 stopped ... 7 paused), or 0 when there is no such service.
Function ${UN}NimbelloServiceState
  Push $1
  Push $2
  Push $3
  Push $4
  StrCpy $R0 0
  System::Call 'advapi32::OpenSCManagerW(p 0, p 0, i ${SC_MANAGER_CONNECT}) p .r1'
  ${If} $1 != 0
    System::Call 'advapi32::OpenServiceW(p r1, w "${NIMBELLO_SERVICE}", i ${SERVICE_QUERY_STATUS}) p .r2'
    ${If} $2 != 0
      ; It exists; a status that cannot be read counts as stopped.
      StrCpy $R0 ${SERVICE_STOPPED}
      System::Call '*(i, i, i, i, i, i, i) p .r3' ; SERVICE_STATUS
      System::Call 'advapi32::QueryServiceStatus(p r2, p r3) i .r4'
      ${If} $4 != 0
        System::Call '*$3(i, i .r4)'
        StrCpy $R0 $4
      ${EndIf}
      System::Free $3
      System::Call 'advapi32::CloseServiceHandle(p r2)'
    ${EndIf}
    System::Call 'advapi32::CloseServiceHandle(p r1)'
  ${EndIf}
  Pop $4
  Pop $3
  Pop $2
  Pop $1
FunctionEnd

; Waits until the service is in the state on the stack (0: gone); $R0 = 1 when it got there.
Function ${UN}NimbelloWaitService
  Exch $1
  Push $2
  StrCpy $2 0
  ${Do}
    Call ${UN}NimbelloServiceState
    ${IfThen} $R0 == $1 ${|} ${ExitDo} ${|}
    IntOp $2 $2 + 1
    ${IfThen} $2 > ${NIMBELLO_SERVICE_POLLS} ${|} ${ExitDo} ${|}
    Sleep 100
  ${Loop}
  ${If} $R0 == $1
    StrCpy $R0 1
  ${Else}
    StrCpy $R0 0
  ${EndIf}
  Pop $2
  Pop $1
FunctionEnd

; Stops the service and waits, bounded, until it has stopped; a service that does not stop has its
; process ended, since it holds its program open. A missing service is fine.
Function ${UN}NimbelloStopService
  Push $1
  Push $2
  Push $3
  System::Call 'advapi32::OpenSCManagerW(p 0, p 0, i ${SC_MANAGER_CONNECT}) p .r1'
  ${If} $1 != 0
    System::Call 'advapi32::OpenServiceW(p r1, w "${NIMBELLO_SERVICE}", \
        i ${SERVICE_STOP}|${SERVICE_QUERY_STATUS}) p .r2'
    ${If} $2 != 0
      DetailPrint "Stopping the service ${NIMBELLO_SERVICE}"
      System::Call '*(i, i, i, i, i, i, i) p .r3'
      System::Call 'advapi32::ControlService(p r2, i ${SERVICE_CONTROL_STOP}, p r3) i'
      System::Free $3
      System::Call 'advapi32::CloseServiceHandle(p r2)'
      Push ${SERVICE_STOPPED}
      Call ${UN}NimbelloWaitService
      ${If} $R0 != 1
        DetailPrint "The service did not stop: ending its process"
        nsExec::Exec /TIMEOUT=15000 '"$SYSDIR\taskkill.exe" /F /IM ${NIMBELLO_SERVICE_EXE}'
        Pop $3
      ${EndIf}
    ${EndIf}
    System::Call 'advapi32::CloseServiceHandle(p r1)'
  ${EndIf}
  Pop $3
  Pop $2
  Pop $1
FunctionEnd

; Stops and deletes the service, wherever its program lies (also one registered by hand from the
; ZIP package), and waits until the manager no longer knows it. $R0 = 1 when it is gone.
Function ${UN}NimbelloRemoveService
  Push $1
  Push $2
  Call ${UN}NimbelloStopService
  System::Call 'advapi32::OpenSCManagerW(p 0, p 0, i ${SC_MANAGER_CONNECT}) p .r1'
  ${If} $1 != 0
    System::Call 'advapi32::OpenServiceW(p r1, w "${NIMBELLO_SERVICE}", i ${SERVICE_DELETE}) p .r2'
    ${If} $2 != 0
      System::Call 'advapi32::DeleteService(p r2) i'
      System::Call 'advapi32::CloseServiceHandle(p r2)'
    ${EndIf}
    System::Call 'advapi32::CloseServiceHandle(p r1)'
  ${EndIf}
  Push 0
  Call ${UN}NimbelloWaitService
  Pop $2
  Pop $1
FunctionEnd
!macroend
!insertmacro NimbelloServiceFunctions ""
!insertmacro NimbelloServiceFunctions "un."

; Registers the service with the program's own switches. The program shows a dialog when it fails,
; even with /silent, so the run is bounded and the result is checked with the manager itself.
; $R0 = 1 when the service exists afterwards.
Function NimbelloRegisterService
  Push $1
  DetailPrint "Registering the service: ${NIMBELLO_SERVICE_EXE} /install /silent"
  nsExec::Exec /TIMEOUT=30000 '"$INSTDIR\${NIMBELLO_SERVICE_EXE}" /install /silent'
  Pop $1
  DetailPrint "${NIMBELLO_SERVICE_EXE} /install /silent: $1"
  ${If} $1 == "timeout"
    ; Its failure dialog is still waiting for a click; nsExec leaves the program running (Wine
    ; shows that). No other copy runs now: the old service is gone, the new one not started.
    nsExec::Exec /TIMEOUT=15000 '"$SYSDIR\taskkill.exe" /F /IM ${NIMBELLO_SERVICE_EXE}'
    Pop $1
  ${EndIf}
  Call NimbelloServiceState
  ${If} $R0 != 0
    StrCpy $R0 1
  ${EndIf}
  Pop $1
FunctionEnd

; The registration of the service as the manager keeps it, noted before the service is deleted so
; that a failed upgrade can register it again as it was: its program, display name, start type,
; error control, description and event source. $NimbelloOldService = 1 when there was one.
Function NimbelloSaveService
  ClearErrors
  ReadRegStr $NimbelloOldImage HKLM "${NIMBELLO_SERVICE_KEY}" "ImagePath"
  ReadRegStr $NimbelloOldDisplay HKLM "${NIMBELLO_SERVICE_KEY}" "DisplayName"
  ReadRegDWORD $NimbelloOldStart HKLM "${NIMBELLO_SERVICE_KEY}" "Start"
  ReadRegDWORD $NimbelloOldErrorControl HKLM "${NIMBELLO_SERVICE_KEY}" "ErrorControl"
  ${IfNot} ${Errors}
    StrCpy $NimbelloOldService 1
  ${EndIf}
  ReadRegStr $NimbelloOldDescription HKLM "${NIMBELLO_SERVICE_KEY}" "Description"
  ReadRegStr $NimbelloOldEventFile HKLM "${NIMBELLO_EVENT_SOURCE_KEY}" "EventMessageFile"
FunctionEnd

; Registers the service noted by NimbelloSaveService again, as it was. $R0 = 1 when it exists.
Function NimbelloRestoreService
  Push $1
  Push $2
  Push $3
  System::Call 'advapi32::OpenSCManagerW(p 0, p 0, i ${SC_MANAGER_CREATE_SERVICE}) p .r1'
  ${If} $1 != 0
    ; LocalSystem, no load order group, no dependencies: how the service registers itself. The
    ; texts go through registers: System's own quotes cannot hold the quoted program path.
    StrCpy $2 $NimbelloOldImage
    StrCpy $3 $NimbelloOldDisplay
    System::Call 'advapi32::CreateServiceW(p r1, w "${NIMBELLO_SERVICE}", w r3, \
        i ${SERVICE_QUERY_STATUS}, i ${SERVICE_WIN32_OWN_PROCESS}, i $NimbelloOldStart, \
        i $NimbelloOldErrorControl, w r2, p 0, p 0, p 0, p 0, p 0) p .r2'
    ${If} $2 != 0
      System::Call 'advapi32::CloseServiceHandle(p r2)'
    ${EndIf}
    System::Call 'advapi32::CloseServiceHandle(p r1)'
  ${EndIf}
  ${If} $NimbelloOldDescription != ""
    WriteRegStr HKLM "${NIMBELLO_SERVICE_KEY}" "Description" "$NimbelloOldDescription"
  ${EndIf}
  ${If} $NimbelloOldEventFile != ""
    WriteRegExpandStr HKLM "${NIMBELLO_EVENT_SOURCE_KEY}" "EventMessageFile" "$NimbelloOldEventFile"
  ${EndIf}
  Call NimbelloServiceState
  ${IfThen} $R0 != 0 ${|} StrCpy $R0 1 ${|}
  Pop $3
  Pop $2
  Pop $1
FunctionEnd

; Starts the service and waits until it runs. $R0 = 1 when it runs.
Function NimbelloStartService
  Push $1
  Push $2
  System::Call 'advapi32::OpenSCManagerW(p 0, p 0, i ${SC_MANAGER_CONNECT}) p .r1'
  ${If} $1 != 0
    System::Call 'advapi32::OpenServiceW(p r1, w "${NIMBELLO_SERVICE}", \
        i ${SERVICE_START}|${SERVICE_QUERY_STATUS}) p .r2'
    ${If} $2 != 0
      System::Call 'advapi32::StartServiceW(p r2, i 0, p 0) i'
      System::Call 'advapi32::CloseServiceHandle(p r2)'
    ${EndIf}
    System::Call 'advapi32::CloseServiceHandle(p r1)'
  ${EndIf}
  Push ${SERVICE_RUNNING}
  Call NimbelloWaitService
  Pop $2
  Pop $1
FunctionEnd
