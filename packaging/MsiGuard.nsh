; The NSIS installer beside Nimbello's Windows Installer package (packaging/Nimbello.wxs): both own
; one service, one folder and one settings key, so neither installs over the other. The package
; refuses over an NSIS install by a launch condition; this macro makes the NSIS installer refuse
; over the package, before anything is touched (NimbelloBeforeCopy, after the administrator check).

; The package's upgrade code: every version of it shares this one.
!define NIMBELLO_MSI_UPGRADE_CODE "{6E87613E-0159-4C91-8469-0EC259D9E08F}"

; Exit code 10 with a message that says how to remove the package; the settings stay with it.
!macro NimbelloRefuseOverMsi
  System::Call 'msi::MsiEnumRelatedProductsW(w "${NIMBELLO_MSI_UPGRADE_CODE}", i 0, i 0, \
      w .r0) i .r1'
  ${If} $1 == 0
    !insertmacro NimbelloFail 10 "Nimbello is installed by its Windows Installer package $0. Remove it first: msiexec /x $0 /qn"
  ${EndIf}
!macroend
