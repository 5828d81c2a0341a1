#!/usr/bin/env bash
# Builds the programs and runs them under Wine on a virtual desktop with a taskbar (on Xvfb),
# as scripts/demo.py describes: the service installed and started, the applet, memory freed three
# ways into the release worker, what was set and what happened printed, screenshots and an
# animated picture of the live icon in build/mingw-x64/demo/. Where 32-bit Wine runs, these are the
# shipped 32-bit programs; elsewhere their x86_64 build. NIMBELLO_X86_TREE and NIMBELLO_X64_TREE
# choose other build trees (a second checkout's, say).
set -euo pipefail
cd "$(dirname "$0")/.."
jobs="${NIMBELLO_JOBS:-2}"
x86="${NIMBELLO_X86_TREE:-build/mingw-x86}"
x64="${NIMBELLO_X64_TREE:-build/mingw-x64}"
step() { printf '\n=== %s ===\n' "$*"; }

step "packages"
bash scripts/install-deps.sh

step "build: the shipped 32-bit programs ($x86/bin)"
cmake --preset mingw-x86 -B "$x86" >/dev/null
cmake --build "$x86" -j"$jobs"

step "build: the same programs for 64-bit Wine, and the helpers"
cmake --preset mingw-x64 -B "$x64" >/dev/null
targets=$(cmake --build "$x64" --target help | sed -n 's/^\.\.\. //p')
wanted=()
for t in NimbelloService NimbelloTray NimbelloDefrag Nimbello StandInWorker TrayProbe ServiceControl; do
  grep -qx "$t" <<<"$targets" && wanted+=("$t")
done
cmake --build "$x64" -j"$jobs" --target "${wanted[@]}"

tree="$(cd "$x64" && pwd)"
"$tree/wine-run.sh" --session-start
trap '"$tree/wine-run.sh" --session-stop' EXIT
NIMBELLO_BUILD="$tree" NIMBELLO_WINE_RUN="$tree/wine-run.sh" NIMBELLO_BIN="$tree/bin" \
  python3 scripts/demo.py
