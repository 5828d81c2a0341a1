#!/usr/bin/env bash
# Builds the programs and runs them under Wine on a virtual desktop with a taskbar (on Xvfb when
# there is no display), with a stand-in release worker that logs its starts:
#   - installs and starts the service, when the build has NimbelloService.exe;
#   - starts the tray applet and waits for its icon;
#   - frees memory three ways: "NimbelloTray.exe /freemem", Ctrl+Alt+F (as the hot-key message),
#     and the menu's "Free memory now" (opened on the icon with the right mouse button);
#   - writes screenshots of the desktop and of its notification area, and prints the worker's
#     starts; then ends everything it started.
# Output goes to build/mingw-x64/demo/. NIMBELLO_X86_TREE and NIMBELLO_X64_TREE choose other build
# trees (a second checkout's, say).
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

step "build: the same programs for 64-bit Wine, and the stand-ins"
cmake --preset mingw-x64 -B "$x64" >/dev/null
cmake --build "$x64" -j"$jobs" --target NimbelloTray StandInWorker TrayProbe
if cmake --build "$x64" --target help | grep ' NimbelloService$' >/dev/null; then
  cmake --build "$x64" -j"$jobs" --target NimbelloService
fi

tree="$(cd "$x64" && pwd)"
run="$tree/wine-run.sh"
demo="$tree/demo"
rm -rf "$demo"
mkdir -p "$demo"
cp "$tree/bin/NimbelloTray.exe" "$demo/"
cp "$tree/bin/StandInWorker.exe" "$demo/NimbelloDefrag.exe"
cp "$tree/bin/TrayProbe.exe" "$demo/"
[ -f "$tree/bin/NimbelloService.exe" ] && cp "$tree/bin/NimbelloService.exe" "$demo/"
export NIMBELLO_WORKER_LOG="Z:${demo//\//\\}\\worker.log"
key='HKLM\Software\VELTRA\Nimbello'

step "Wine session on a virtual desktop with a taskbar"
"$run" --session-start
eval "$("$run" --env)"
probe() { "$run" "$demo/TrayProbe.exe" "$@"; }
service_installed() { "$run" sc query Nimbello 2>/dev/null | grep -q STATE; }
# An automatic-start service would come back with every new session of this prefix: the demo
# leaves none behind. A failed uninstall shows a dialog that nothing closes, hence the bounds.
remove_service() {
  for _ in 1 2 3; do
    service_installed || return 0
    timeout 60 "$run" net stop Nimbello >/dev/null 2>&1 || true
    timeout 60 "$run" "$demo/NimbelloService.exe" /UNINSTALL /SILENT >/dev/null 2>&1 || true
    sleep 1
  done
}
pids=()
cleanup() {
  probe close TNBTrayForm >/dev/null 2>&1 || true
  if [ -f "$demo/NimbelloService.exe" ]; then
    remove_service
  fi
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  "$run" --session-stop
}
trap cleanup EXIT

"$run" reg add "$key" /v MemoryFree /t REG_DWORD /d 10 /f >/dev/null
"$run" reg add "$key" /v LoadTrayIcon /t REG_DWORD /d 1 /f >/dev/null
# Something on the desktop for the screenshot, and to keep Wine's desktop up.
"$run" "$demo/TrayProbe.exe" window TNBDemoWindow >/dev/null 2>&1 &
pids+=($!)
probe wait-found Shell_TrayWnd 15000 || { echo "no taskbar came up" >&2; exit 1; }

if [ -f "$demo/NimbelloService.exe" ]; then
  step "service: install and start"
  remove_service  # one left by an earlier run would make the install fail
  timeout 60 "$run" "$demo/NimbelloService.exe" /INSTALL /SILENT || true
  timeout 60 "$run" net start Nimbello || true
  "$run" sc query Nimbello | tr -d '\r' | sed -n '/STATE/p' || true
else
  step "service: NimbelloService.exe is not built yet; the tray alone"
fi

step "tray: start"
start=$(date +%s.%N)
"$run" "$demo/NimbelloTray.exe" /start >/dev/null 2>&1 &
pids+=($!)
probe wait-found TNBTrayForm 20000
echo "tray window up after $(awk "BEGIN { printf \"%.2f\", $(date +%s.%N) - $start }") s; the icon follows with the first tick"
sleep 3
echo "applet working set: $(probe working-set TNBTrayForm | tr -d '\r') bytes"

step "free memory: /freemem, the hot key, the menu"
"$run" "$demo/NimbelloTray.exe" /freemem
sleep 1
probe hotkey 1
sleep 1
# The icon sits at the right end of the taskbar; open its menu with the right button and choose
# "Free memory now" by its access key (given to the menu as a message: Wine's menus get no typed
# keys without X focus).
xdotool mousemove 1012 756 sleep 0.3 click 3 sleep 1 || true
import -window root "$demo/menu.png"
probe menu-key f || echo "(the menu did not open)"
sleep 2
import -window root "$demo/desktop.png"
/usr/bin/convert "$demo/desktop.png" -crop 240x40+784+728 -scale 400% "$demo/notification-area.png"
echo "screenshots: $demo/menu.png, $demo/desktop.png, $demo/notification-area.png"

step "release worker starts (MemoryFree 10 %)"
sleep 1
cat "$demo/worker.log" 2>/dev/null || echo "(none)"

step "tray: exit"
probe close TNBTrayForm && echo "tray closed"
