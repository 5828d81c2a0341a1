; The program folder before anything is written in it. The LocalSystem service runs the release
; worker from this folder, so whoever could change it, or re-point it, could run a program as
; SYSTEM. Every check opens the path itself (FILE_FLAG_OPEN_REPARSE_POINT) and reads from that
; handle: a junction is judged as the junction, never as what it points at.
;   - an existing folder, or any folder above it up to the volume root, that is a reparse point
;     (junction, symbolic link, mount point) is refused with exit code 9, and so is an existing
;     folder that an account other than SYSTEM, the Administrators or TrustedInstaller owns;
;   - a missing folder, and every missing folder above it, is made with owner Administrators and
;     the protected DACL in the same call, so there is no moment in which a user may write there;
;   - after protecting, every entry already in the folder tree must be a plain file or folder owned
;     by one of those three, or the install ends with exit code 9 and names the entry.
; Where the platform keeps no owner but its own account's (Wine), the installing account counts
; as an owner too: found out by making a folder with owner Administrators and reading it back.

!include FileFunc.nsh

!define NIMBELLO_ADMINISTRATORS "S-1-5-32-544"
!define NIMBELLO_SYSTEM "S-1-5-18"
!define FILE_READ_ATTRIBUTES 0x80
!define FILE_ATTRIBUTE_DIRECTORY 0x10
!define FILE_ATTRIBUTE_REPARSE_POINT 0x400
; SECURITY_ATTRIBUTES of this installer's bitness: length, descriptor, no inheritance.
!if ${NSIS_PTR_SIZE} > 4
  !define NIMBELLO_SECURITY_ATTRIBUTES "(i 24, i 0, p r1, i 0, i 0)"
!else
  !define NIMBELLO_SECURITY_ATTRIBUTES "(i 12, p r1, i 0)"
!endif

Var NimbelloAccount     ; the installing account's SID
Var NimbelloOwnersKept  ; 1 where an owner given at creation sticks
Var NimbelloMadeFolder  ; the topmost folder this install made, "" when it made none
Var NimbelloCopying     ; 1 once the files are being copied

; Facts of path $R1, opened as itself: $R5 = "missing", "unreadable", "reparse", "folder" or
; "file"; $R6 = its owner's SID ("" when none).
Function NimbelloPathFacts
  Push $0
  Push $1
  Push $2
  Push $3
  Push $4
  StrCpy $R5 unreadable
  StrCpy $R6 ""
  System::Call 'kernel32::CreateFileW(w R1, i ${READ_CONTROL}|${FILE_READ_ATTRIBUTES}, \
      i ${NIMBELLO_SHARE_ALL}, p 0, i ${OPEN_EXISTING}, i ${NIMBELLO_OPEN_ITSELF}, p 0) p .r0 ?e'
  Pop $1
  ${If} $0 == -1
  ${OrIf} $0 == 4294967295
  ${OrIf} $0 == 0
    ${IfThen} $1 == 2 ${|} StrCpy $R5 missing ${|}
    ${IfThen} $1 == 3 ${|} StrCpy $R5 missing ${|}
  ${Else}
    ; BY_HANDLE_FILE_INFORMATION: 52 bytes, the attributes first.
    System::Alloc 52
    Pop $2
    System::Call 'kernel32::GetFileInformationByHandle(p r0, p r2) i .r3'
    System::Call '*$2(i .r4)'
    System::Free $2
    ${If} $3 != 0
      IntOp $3 $4 & ${FILE_ATTRIBUTE_REPARSE_POINT}
      IntOp $4 $4 & ${FILE_ATTRIBUTE_DIRECTORY}
      ${If} $3 != 0
        StrCpy $R5 reparse
      ${ElseIf} $4 != 0
        StrCpy $R5 folder
      ${Else}
        StrCpy $R5 file
      ${EndIf}
      System::Call 'advapi32::GetSecurityInfo(p r0, i ${SE_FILE_OBJECT}, \
          i ${OWNER_SECURITY_INFORMATION}, *p .r2, p 0, p 0, p 0, *p .r3) i .r1'
      ${If} $1 == 0
        System::Call 'advapi32::ConvertSidToStringSidW(p r2, *p .r4) i .r1'
        ${If} $1 != 0
          System::Call 'kernel32::lstrcpynW(w .R6, p r4, i 200)'
          System::Call 'kernel32::LocalFree(p r4)'
        ${EndIf}
        System::Call 'kernel32::LocalFree(p r3)'
      ${Else}
        StrCpy $R5 unreadable
      ${EndIf}
    ${EndIf}
    System::Call 'kernel32::CloseHandle(p r0)'
  ${EndIf}
  Pop $4
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd

; $R0 = 1 when owner $R6 is one that only administrators can give.
Function NimbelloOwnerAccepted
  StrCpy $R0 0
  ${If} $R6 == "${NIMBELLO_ADMINISTRATORS}"
  ${OrIf} $R6 == "${NIMBELLO_SYSTEM}"
  ${OrIf} $R6 == "${NIMBELLO_TRUSTED_INSTALLER}"
    StrCpy $R0 1
  ${ElseIf} $NimbelloOwnersKept != 1
  ${AndIf} $R6 != ""
  ${AndIf} $R6 == $NimbelloAccount
    StrCpy $R0 1
  ${EndIf}
FunctionEnd

; Makes folder $R1 with owner Administrators and the protected DACL in one call. $R0 = 1 when made.
Function NimbelloMakeFolder
  Push $0
  Push $1
  Push $2
  StrCpy $R0 0
  System::Call 'advapi32::ConvertStringSecurityDescriptorToSecurityDescriptorW( \
      w "O:BA${NIMBELLO_FOLDER_SDDL}", i ${SDDL_REVISION_1}, *p .r1, p 0) i .r0'
  ${If} $0 != 0
    System::Call '*${NIMBELLO_SECURITY_ATTRIBUTES} p .r2'
    System::Call 'kernel32::CreateDirectoryW(w R1, p r2) i .r0'
    ${IfThen} $0 != 0 ${|} StrCpy $R0 1 ${|}
    System::Free $2
    System::Call 'kernel32::LocalFree(p r1)'
  ${EndIf}
  Pop $2
  Pop $1
  Pop $0
FunctionEnd

; The installing account, and whether this platform keeps an owner given at creation.
Function NimbelloLearnOwners
  Push $0
  Push $1
  Push $2
  Push $R0
  Push $R1
  StrCpy $NimbelloAccount ""
  System::Call 'advapi32::OpenProcessToken(p -1, i 8, *p .r1) i .r0'
  ${If} $0 != 0
    System::Alloc 256
    Pop $2
    System::Call 'advapi32::GetTokenInformation(p r1, i 1, p r2, i 256, *i .r0) i .r0'
    ${If} $0 != 0
      System::Call '*$2(p .r0)'
      System::Call 'advapi32::ConvertSidToStringSidW(p r0, *p .r2) i .r0'
      ${If} $0 != 0
        System::Call 'kernel32::lstrcpynW(w .s, p r2, i 200)'
        Pop $NimbelloAccount
        System::Call 'kernel32::LocalFree(p r2)'
      ${EndIf}
    ${EndIf}
    System::Free $2
    System::Call 'kernel32::CloseHandle(p r1)'
  ${EndIf}
  StrCpy $NimbelloOwnersKept 0
  InitPluginsDir
  StrCpy $R1 "$PLUGINSDIR\owner"
  Call NimbelloMakeFolder
  ${If} $R0 == 1
    Push $R5
    Push $R6
    Call NimbelloPathFacts
    ${IfThen} $R6 == "${NIMBELLO_ADMINISTRATORS}" ${|} StrCpy $NimbelloOwnersKept 1 ${|}
    Pop $R6
    Pop $R5
    RMDir "$PLUGINSDIR\owner"
  ${EndIf}
  DetailPrint "Installing as $NimbelloAccount; owners kept: $NimbelloOwnersKept"
  Pop $R1
  Pop $R0
  Pop $2
  Pop $1
  Pop $0
FunctionEnd

; Judges $INSTDIR and every folder above it, and makes what is missing. $R0 = 1 when the folder
; may be used; else $R0 = 9 or 4 and $R7 says why.
Function NimbelloPrepareFolder
  Push $R1
  Push $R5
  Push $R6
  Push $0
  Push $1
  StrCpy $R0 1
  StrCpy $NimbelloMadeFolder ""
  ; The folder itself, then each one above it: a missing one is made later, top down.
  StrCpy $R1 $INSTDIR
  StrCpy $0 0  ; how many are missing, on the stack deepest first
  ${Do}
    Call NimbelloPathFacts
    ${If} $R5 == reparse
      StrCpy $R0 9
      StrCpy $R7 "$R1 is a junction or a link."
    ${ElseIf} $R5 == unreadable
      StrCpy $R0 9
      StrCpy $R7 "$R1 cannot be examined."
    ${ElseIf} $R5 == file
      StrCpy $R0 4
      StrCpy $R7 "$R1 is a file."
    ${ElseIf} $R5 == missing
      Push $R1
      IntOp $0 $0 + 1
    ${ElseIf} $R1 == $INSTDIR
      ; An existing program folder: its owner may rewrite any DACL given to it.
      Call NimbelloOwnerAccepted
      ${If} $R0 != 1
        StrCpy $R0 9
        StrCpy $R7 "$R1 belongs to another user ($R6)."
      ${EndIf}
    ${EndIf}
    ${IfThen} $R0 != 1 ${|} ${ExitDo} ${|}
    StrLen $1 $R1
    ${IfThen} $1 <= 3 ${|} ${ExitDo} ${|}
    ${GetParent} $R1 $R1
    StrLen $1 $R1
    ${IfThen} $1 == 2 ${|} StrCpy $R1 "$R1\" ${|}
    ${IfThen} $1 == 0 ${|} ${ExitDo} ${|}
  ${Loop}
  ; The missing ones, from the top: each owned by the Administrators and protected as it is made.
  ${DoWhile} $0 > 0
    Pop $R1
    IntOp $0 $0 - 1
    ${If} $R0 == 1
      Push $R0
      Call NimbelloMakeFolder
      ${If} $R0 == 1
        ${IfThen} $NimbelloMadeFolder == "" ${|} StrCpy $NimbelloMadeFolder $R1 ${|}
        Pop $R0
      ${Else}
        Pop $R0
        StrCpy $R0 4
        StrCpy $R7 "$R1 cannot be made."
      ${EndIf}
    ${EndIf}
  ${Loop}
  Pop $1
  Pop $0
  Pop $R6
  Pop $R5
  Pop $R1
FunctionEnd

; Every entry under folder $R1, recursively: a plain file or folder owned by SYSTEM, the
; Administrators or TrustedInstaller. $R0 = 1 when all are; else $R7 names the first that is not.
Function NimbelloCheckTree
  Push $0
  Push $1
  Push $R1
  Push $R5
  Push $R6
  StrCpy $R0 1
  FindFirst $0 $1 "$R1\*.*"
  ${DoWhile} $1 != ""
    ${If} $1 != "."
    ${AndIf} $1 != ".."
      Push $R1
      StrCpy $R1 "$R1\$1"
      Call NimbelloPathFacts
      ${If} $R5 == reparse
        StrCpy $R0 0
        StrCpy $R7 "$R1 is a junction or a link."
      ${ElseIf} $R5 == missing
        ; gone since the listing: nothing to judge
      ${ElseIf} $R5 == unreadable
        StrCpy $R0 0
        StrCpy $R7 "$R1 cannot be examined."
      ${Else}
        Call NimbelloOwnerAccepted
        ${If} $R0 != 1
          StrCpy $R0 0
          StrCpy $R7 "$R1 belongs to another user ($R6)."
        ${ElseIf} $R5 == folder
          Call NimbelloCheckTree
        ${EndIf}
      ${EndIf}
      Pop $R1
    ${EndIf}
    ${IfThen} $R0 != 1 ${|} ${ExitDo} ${|}
    FindNext $0 $1
  ${Loop}
  FindClose $0
  Pop $R6
  Pop $R5
  Pop $R1
  Pop $1
  Pop $0
FunctionEnd

; Removes the folders this install made, while nothing was copied into them: an install that ends
; before copying leaves no folder behind. Only empty folders go.
Function NimbelloRemoveMadeFolders
  ${If} $NimbelloMadeFolder != ""
  ${AndIf} $NimbelloCopying != 1
    Push $0
    Push $1
    ; A folder that is the installer's working folder cannot be removed.
    SetOutPath $TEMP
    StrCpy $0 $INSTDIR
    ${Do}
      RMDir $0
      ${IfThen} $0 == $NimbelloMadeFolder ${|} ${ExitDo} ${|}
      StrLen $1 $0
      ${IfThen} $1 <= 3 ${|} ${ExitDo} ${|}
      ${GetParent} $0 $0
    ${Loop}
    StrCpy $NimbelloMadeFolder ""
    Pop $1
    Pop $0
  ${EndIf}
FunctionEnd
