; The release worker of the machine's own bitness. The shipped package carries the 32-bit worker
; beside the other programs and the x86_64 one under a name of its own, NimbelloDefrag.x64, which
; the copy puts straight into the protected folder (never into a subfolder, which a user could have
; made, or made a junction, before the folder was protected). On 64-bit Windows it then takes the
; 32-bit one's place, since a 32-bit worker under WOW64 cannot read the sizes of the largest
; processes; it is gone afterwards either way. Exit code 2 when the worker cannot be put in place,
; as for any file that cannot be written.
!include LogicLib.nsh
!include x64.nsh

!macro NimbelloPickWorker
  ${If} ${FileExists} "$INSTDIR\NimbelloDefrag.x64"
    ${If} ${RunningX64}
      ClearErrors
      Delete "$INSTDIR\NimbelloDefrag.exe"
      Rename "$INSTDIR\NimbelloDefrag.x64" "$INSTDIR\NimbelloDefrag.exe"
      ${If} ${Errors}
        !insertmacro NimbelloFail 2 "The 64-bit release worker could not be put in $INSTDIR."
      ${EndIf}
    ${EndIf}
    Delete "$INSTDIR\NimbelloDefrag.x64"
  ${EndIf}
  ; What an older installer staged there.
  Delete "$INSTDIR\x64\NimbelloDefrag.exe"
  RMDir "$INSTDIR\x64"
!macroend
