; The release worker of the machine's own bitness. The shipped package carries the 32-bit worker
; beside the other programs and the x86_64 one in x64\; on 64-bit Windows the x86_64 one takes the
; 32-bit one's place, since a 32-bit worker under WOW64 cannot read the sizes of the largest
; processes. The x64 folder is gone afterwards either way. Exit code 2 when the worker cannot be
; put in place, as for any file that cannot be written.
!include LogicLib.nsh
!include x64.nsh

!macro NimbelloPickWorker
  ${If} ${FileExists} "$INSTDIR\x64\NimbelloDefrag.exe"
    ${If} ${RunningX64}
      ClearErrors
      Delete "$INSTDIR\NimbelloDefrag.exe"
      Rename "$INSTDIR\x64\NimbelloDefrag.exe" "$INSTDIR\NimbelloDefrag.exe"
      ${If} ${Errors}
        !insertmacro NimbelloFail 2 "The 64-bit release worker could not be put in $INSTDIR."
      ${EndIf}
    ${EndIf}
    Delete "$INSTDIR\x64\NimbelloDefrag.exe"
    RMDir "$INSTDIR\x64"
  ${EndIf}
!macroend
