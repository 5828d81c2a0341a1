; Who may write what: the program folder and the settings key.

; SYSTEM and Administrators full control, Users read and run, nothing inherited from the parent.
!define NIMBELLO_FOLDER_SDDL "D:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)"
; The local Users group may set values (KEY_SET_VALUE), nothing more. Windows reads that bit back
; under its directory-service name "DC".
!define NIMBELLO_USERS_SET_VALUE "(A;;0x2;;;BU)"
!define NIMBELLO_USERS_SET_VALUE_READ "(A;;DC;;;BU)"
; HKEY_LOCAL_MACHINE as a handle, sign-extended as a 64-bit program passes it.
!define NIMBELLO_HKLM -2147483646
!define SE_FILE_OBJECT 1
!define SDDL_REVISION_1 1
!define DACL_SECURITY_INFORMATION 4
!define PROTECTED_DACL_SECURITY_INFORMATION 0x80000000
; KEY_WOW64_32KEY | READ_CONTROL | WRITE_DAC
!define NIMBELLO_KEY_DACL_ACCESS 0x60200

; Gives $INSTDIR its own DACL, protected from its parent's. The LocalSystem service starts the
; release worker from this folder, so a folder that users can write (one chosen with /D= under C:\,
; whose root lets users create folders) would let any of them run a program as SYSTEM. The files
; copied afterwards inherit it. $R0 = 1 when it was set.
Function NimbelloProtectFolder
  Push $0
  Push $1
  Push $2
  Push $3
  Push $4
  StrCpy $R0 0
  System::Call 'advapi32::ConvertStringSecurityDescriptorToSecurityDescriptorW( \
      w "${NIMBELLO_FOLDER_SDDL}", i ${SDDL_REVISION_1}, *p .r1, p 0) i .r0'
  ${If} $0 != 0
    System::Call 'advapi32::GetSecurityDescriptorDacl(p r1, *i .r2, *p .r3, *i .r4) i .r0'
    ${If} $0 != 0
      System::Call 'advapi32::SetNamedSecurityInfoW(w "$INSTDIR", i ${SE_FILE_OBJECT}, \
          i ${DACL_SECURITY_INFORMATION}|${PROTECTED_DACL_SECURITY_INFORMATION}, p 0, p 0, p r3, \
          p 0) i .r0'
      ${IfThen} $0 == 0 ${|} StrCpy $R0 1 ${|}
    ${EndIf}
    System::Call 'kernel32::LocalFree(p r1)'
  ${EndIf}
  Pop $4
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd

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
