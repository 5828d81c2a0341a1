#!/usr/bin/env bash
# The programs import only libraries that Windows loads from its own list of known DLLs, never
# from the program's folder: a library planted beside the service's program would otherwise run
# as SYSTEM before a line of ours. Everything else is bound at run time from the system folder.
# Usage: imports_test.sh OBJDUMP BIN...
set -u
objdump=$1
shift
known=" advapi32.dll comdlg32.dll gdi32.dll imm32.dll kernel32.dll msvcrt.dll ole32.dll oleaut32.dll psapi.dll rpcrt4.dll setupapi.dll shell32.dll shlwapi.dll user32.dll ws2_32.dll "
# comctl32 version 6, which the manifests ask for, is loaded side by side from the system's own
# store, whatever lies in the program's folder.
known+="comctl32.dll "
passed=0 failed=0
for bin in "$@"; do
  for program in NimbelloService NimbelloTray NimbelloDefrag Nimbello NimbelloUpdate; do
    exe="$bin/$program.exe"
    [ -f "$exe" ] || continue
    others=$("$objdump" -p "$exe" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' |
      while read -r dll; do [[ "$known" == *" $dll "* ]] || echo "$dll"; done)
    if [ -z "$others" ]; then
      passed=$((passed + 1))
    else
      failed=$((failed + 1))
      echo "FAIL $exe imports $others"
    fi
  done
done
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ] && [ "$passed" -gt 0 ]
