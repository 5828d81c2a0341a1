#!/usr/bin/env bash
# Installs what is missing, builds every preset and runs every test:
#   native unit tests (sanitizers on), the 32-bit build, the Win32 and end-to-end tests under Wine,
#   a bounded fuzzing run and the static checks.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs="${NIMBELLO_JOBS:-2}"

step() { printf '\n=== %s ===\n' "$*"; }

step "packages"
bash scripts/install-deps.sh

step "native: portable core and unit tests"
cmake --preset native >/dev/null
cmake --build build/native -j"$jobs"
ctest --test-dir build/native -j"$jobs" --output-on-failure

step "mingw-x86: the shipped 32-bit programs"
cmake --preset mingw-x86 >/dev/null
cmake --build build/mingw-x86 -j"$jobs"
# The release packages of those programs: the build leaves build/mingw-x86/package/
# Nimbello-6.0.0.0-win64.zip and -win32.zip, cpack the installer Nimbello-6.0.0.0-win32.exe and
# for administrators the MSI, the policy template and the winget manifest.
(cd build/mingw-x86 && cpack >/dev/null)
python3 -m zipfile -l build/mingw-x86/package/Nimbello-6.0.0.0-win64.zip
python3 -m zipfile -l build/mingw-x86/package/Nimbello-6.0.0.0-win32.zip
ls -l build/mingw-x86/package/Nimbello-6.0.0.0-win32.exe build/mingw-x86/package/Nimbello-6.0.0.0.msi
find build/mingw-x86/package/PolicyDefinitions build/mingw-x86/package/winget -type f

step "mingw-x64: Win32 and end-to-end tests under Wine (the shipped 32-bit programs where 32-bit Wine runs)"
cmake --preset mingw-x64 >/dev/null
cmake --build build/mingw-x64 -j"$jobs"
# One at a time: the tests share one Wine prefix and its registry.
ctest --test-dir build/mingw-x64 --output-on-failure

if [ -x scripts/fuzz.sh ] || [ -f scripts/fuzz.sh ]; then
  step "fuzzing (bounded)"
  bash scripts/fuzz.sh "${NIMBELLO_FUZZ_SECONDS:-5}"
fi

if [ -f scripts/static-checks.sh ]; then
  step "static checks"
  bash scripts/static-checks.sh
fi

step "all tests passed"
