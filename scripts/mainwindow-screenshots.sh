#!/usr/bin/env bash
# Screenshots of the main window in English and French under Wine, for the README:
#   bash scripts/mainwindow-screenshots.sh [TREE]   (TREE defaults to build/mingw-x64)
# Uses the tree's Wine session (started here if needed) and the tree's own build, or the build in
# NIMBELLO_SHIPPED_BIN when it is set (32-bit programs need a kernel that runs them).
# Leaves docs/mainwindow.png (English) and docs/mainwindow-french.png.
set -eu
cd "$(dirname "$0")/.."
tree="${1:-build/mingw-x64}"
run="$tree/wine-run.sh"
eval "$("$run" --env)"
"$run" --session-start >/dev/null
bin="${NIMBELLO_SHIPPED_BIN:-$tree/bin}"
key='HKLM\Software\VELTRA\Nimbello'
for language in english french; do
  wine reg add "$key" /v Language /t REG_SZ /d "$language" /f /reg:32 </dev/null >/dev/null 2>&1
  wine "$(realpath "$bin")/Nimbello.exe" </dev/null >/dev/null 2>&1 &
  pid=$!
  sleep 10  # the window, its figures and some columns of the graph
  out="docs/mainwindow.png"
  [ "$language" = english ] || out="docs/mainwindow-$language.png"
  # The desktop without its taskbar, trimmed to the window.
  import -window root png:- | convert png:- -crop 1024x720+0+0 +repage -trim +repage "$out"
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
done
wine reg delete "$key" /v Language /f /reg:32 </dev/null >/dev/null 2>&1 || true
echo "docs/mainwindow.png docs/mainwindow-french.png"
