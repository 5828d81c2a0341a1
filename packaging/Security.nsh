; Who may write what: the program folder and the settings key.

; SYSTEM and Administrators full control, Users read and run, nothing inherited from the parent.
!define NIMBELLO_FOLDER_SDDL "D:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)"
; The same for each file: no entry of its own survives.
!define NIMBELLO_FILE_SDDL "D:PAI(A;;FA;;;SY)(A;;FA;;;BA)(A;;0x1200a9;;;BU)"
!define NIMBELLO_TRUSTED_INSTALLER "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464"
; The local Users group may set values (KEY_SET_VALUE), nothing more. Windows reads that bit back
; under its directory-service name "DC".
!define NIMBELLO_USERS_SET_VALUE "(A;;0x2;;;BU)"
!define NIMBELLO_USERS_SET_VALUE_READ "(A;;DC;;;BU)"
; HKEY_LOCAL_MACHINE as a handle, sign-extended as a 64-bit program passes it.
!define NIMBELLO_HKLM -2147483646
!define SE_FILE_OBJECT 1
!define SDDL_REVISION_1 1
!define OWNER_SECURITY_INFORMATION 1
!define DACL_SECURITY_INFORMATION 4
!define PROTECTED_DACL_SECURITY_INFORMATION 0x80000000
; KEY_WOW64_32KEY | READ_CONTROL | WRITE_DAC
!define NIMBELLO_KEY_DACL_ACCESS 0x60200
!define READ_CONTROL 0x20000
!define WRITE_DAC 0x40000
!define WRITE_OWNER 0x80000
; FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE
!define NIMBELLO_SHARE_ALL 7
!define OPEN_EXISTING 3
; FILE_FLAG_BACKUP_SEMANTICS (folders open too) | FILE_FLAG_OPEN_REPARSE_POINT: the path itself,
; never what a reparse point there points at.
!define NIMBELLO_OPEN_ITSELF 0x02200000

; Gives $INSTDIR owner Administrators and its own DACL, protected from its parent's. The LocalSystem
; service starts the release worker from this folder, so a folder that users can write (one chosen
; with /D= under C:\, whose root lets users create folders) would let any of them run a program as
; SYSTEM; so would a folder they own, since an owner may always rewrite the DACL. $R0 = 1 when set.
Function NimbelloProtectFolder
  StrCpy $R1 "$INSTDIR"
  StrCpy $R2 "O:BA${NIMBELLO_FOLDER_SDDL}"
  Call NimbelloSecurePath
FunctionEnd

; Sets owner and protected DACL of path $R1 from the SDDL $R2 (which names both), on a handle of
; the path itself. $R0 = 1 when set.
Function NimbelloSecurePath
  Push $0
  Push $1
  Push $2
  Push $3
  Push $4
  Push $5
  Push $6
  StrCpy $R0 0
  System::Call 'kernel32::CreateFileW(w R1, i ${READ_CONTROL}|${WRITE_DAC}|${WRITE_OWNER}, \
      i ${NIMBELLO_SHARE_ALL}, p 0, i ${OPEN_EXISTING}, i ${NIMBELLO_OPEN_ITSELF}, p 0) p .r6'
  ${If} $6 != -1
  ${AndIf} $6 != 4294967295
  ${AndIf} $6 != 0
    System::Call 'advapi32::ConvertStringSecurityDescriptorToSecurityDescriptorW( \
        w "$R2", i ${SDDL_REVISION_1}, *p .r1, p 0) i .r0'
    ${If} $0 != 0
      System::Call 'advapi32::GetSecurityDescriptorDacl(p r1, *i .r2, *p .r3, *i .r4) i .r0'
      ${If} $0 != 0
        System::Call 'advapi32::GetSecurityDescriptorOwner(p r1, *p .r5, *i .r4) i .r0'
      ${EndIf}
      ${If} $0 != 0
        System::Call 'advapi32::SetSecurityInfo(p r6, i ${SE_FILE_OBJECT}, \
            i ${OWNER_SECURITY_INFORMATION}|${DACL_SECURITY_INFORMATION}|${PROTECTED_DACL_SECURITY_INFORMATION}, \
            p r5, p 0, p r3, p 0) i .r0'
        ${IfThen} $0 == 0 ${|} StrCpy $R0 1 ${|}
      ${EndIf}
      System::Call 'kernel32::LocalFree(p r1)'
    ${EndIf}
    System::Call 'kernel32::CloseHandle(p r6)'
  ${EndIf}
  Pop $6
  Pop $5
  Pop $4
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd

; Every file the copy left in $INSTDIR gets the same owner and a protected DACL of its own: a file
; planted there before the install keeps its own entries when it is overwritten. $R0 = 1 when all
; were set.
Function NimbelloProtectFiles
  Push $0
  Push $1
  Push $2
  StrCpy $2 1
  FindFirst $0 $1 "$INSTDIR\*.*"
  ${DoWhile} $1 != ""
    ${IfNot} ${FileExists} "$INSTDIR\$1\*.*"
      StrCpy $R1 "$INSTDIR\$1"
      StrCpy $R2 "O:BA${NIMBELLO_FILE_SDDL}"
      Call NimbelloSecurePath
      ${IfThen} $R0 != 1 ${|} StrCpy $2 0 ${|}
    ${EndIf}
    FindNext $0 $1
  ${Loop}
  FindClose $0
  StrCpy $R0 $2
  Pop $2
  Pop $1
  Pop $0
FunctionEnd

!macro NimbelloSecureCopiedFiles
  Call NimbelloProtectFiles
  ${If} $R0 != 1
    !insertmacro NimbelloFail 4 "The files in $INSTDIR could not be made writable by administrators only."
  ${EndIf}
!macroend

; Lets the local Users group set values of the settings key, so that the applet, which runs as the
; logged-on user, can pass FullScreen and DefragMemory to the service, and of its LastRelease
; subkey, so that a release worker the user started can record its release. Users may create no
; key: the installer creates both. $R0 = 1 on success.
Function NimbelloGrantSettings
  Push $R1
  StrCpy $R1 "${NIMBELLO_SETTINGS_KEY}"
  Call NimbelloGrantUsersSetValue
  ${If} $R0 == 1
    StrCpy $R1 "${NIMBELLO_SETTINGS_KEY}\LastRelease"
    Call NimbelloGrantUsersSetValue
  ${EndIf}
  Pop $R1
FunctionEnd

; Creates the key $R1 if missing (in the 32-bit view, where every build of the programs opens it)
; and adds an ACE that lets the local Users group set its values. The ACE goes before the inherited
; ones, as Windows orders explicit ACEs, and is not added twice. $R0 = 1 on success.
Function NimbelloGrantUsersSetValue
  Push $0
  Push $1
  Push $2
  Push $3
  Push $4
  Push $5
  Push $6
  StrCpy $R0 0
  System::Call 'advapi32::RegCreateKeyExW(p ${NIMBELLO_HKLM}, w R1, i 0, \
      p 0, i 0, i ${NIMBELLO_KEY_DACL_ACCESS}, p 0, *p .r1, p 0) i .r0'
  ${If} $0 == 0
    System::Call 'advapi32::RegGetKeySecurity(p r1, i ${DACL_SECURITY_INFORMATION}, p 0, \
        *i 0 r2) i .r0'
    System::Alloc $2
    Pop $3
    System::Call 'advapi32::RegGetKeySecurity(p r1, i ${DACL_SECURITY_INFORMATION}, p r3, \
        *i r2) i .r0'
    ${If} $0 == 0
      System::Call 'advapi32::ConvertSecurityDescriptorToStringSecurityDescriptorW(p r3, \
          i ${SDDL_REVISION_1}, i ${DACL_SECURITY_INFORMATION}, *p .r4, p 0) i .r0'
      ${If} $0 != 0
        System::Call 'kernel32::lstrlenW(p r4) i .r0'
        ${If} $0 < ${NSIS_MAX_STRLEN}
          System::Call 'kernel32::lstrcpynW(w .r5, p r4, i ${NSIS_MAX_STRLEN})'
          StrCpy $R0 2
        ${EndIf}
        System::Call 'kernel32::LocalFree(p r4)'
      ${EndIf}
    ${EndIf}
    System::Free $3
    ${If} $R0 == 2
      ; $R0 = 1 once the ACE is found in the DACL; else $2 = where the first ACE begins.
      StrCpy $R0 0
      StrLen $6 "${NIMBELLO_USERS_SET_VALUE_READ}"
      StrCpy $2 ""
      StrCpy $3 0
      ${Do}
        StrCpy $4 $5 $6 $3
        ${If} $4 == "${NIMBELLO_USERS_SET_VALUE_READ}"
          StrCpy $R0 1
        ${EndIf}
        StrCpy $4 $5 1 $3
        ${IfThen} $4 == "" ${|} ${ExitDo} ${|}
        ${If} $4 == "("
        ${AndIf} $2 == ""
          StrCpy $2 $3
        ${EndIf}
        IntOp $3 $3 + 1
      ${Loop}
      ${If} $R0 != 1
        ${IfThen} $2 == "" ${|} StrCpy $2 $3 ${|}
        StrCpy $4 $5 $2
        StrCpy $6 $5 "" $2
        StrCpy $5 "$4${NIMBELLO_USERS_SET_VALUE}$6"
        DetailPrint "Settings key DACL: $5"
        System::Call 'advapi32::ConvertStringSecurityDescriptorToSecurityDescriptorW(w r5, \
            i ${SDDL_REVISION_1}, *p .r3, p 0) i .r0'
        ${If} $0 != 0
          System::Call 'advapi32::RegSetKeySecurity(p r1, i ${DACL_SECURITY_INFORMATION}, p r3) i .r0'
          ${IfThen} $0 == 0 ${|} StrCpy $R0 1 ${|}
          System::Call 'kernel32::LocalFree(p r3)'
        ${EndIf}
      ${EndIf}
    ${EndIf}
    System::Call 'advapi32::RegCloseKey(p r1)'
  ${EndIf}
  Pop $6
  Pop $5
  Pop $4
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd
