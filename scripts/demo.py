#!/usr/bin/env python3
"""Runs the programs under Wine on a virtual desktop with a taskbar and says what happens.

Installs and starts the service, starts the applet, frees memory three ways ("/freemem", the hot
key's message, the menu's "Free memory now"), each after the 30 s cool-down so that each has its
own record, and once more at once to show the cool-down's answer. Prints the settings it wrote,
the service's state, every release worker start with its argument, each path's LastRelease record
and the balloon the applet showed for it. Writes
screenshots and an animated picture of the live icon to <x64 tree>/demo/, then ends everything
it started and removes the service again. scripts/demo.sh builds the trees first."""
import os
import re
import subprocess
import sys
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
import winharness as w  # noqa: E402

OUT = os.path.join(w.BUILD, "demo")
AREA = (240, 40, 784, 728)  # the notification area with a margin, on the 1024 x 768 desktop
settings = w.Registry()
record = w.Registry(w.SETTINGS + r"\LastRelease")
started = []


def step(text):
    print("\n=== %s ===" % text, flush=True)


def worker_starts(seconds):
    """The release worker processes seen while polling for seconds: (pid, command line)."""
    seen = {}
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        out = subprocess.run(["ps", "-eo", "pid,args"], capture_output=True, text=True).stdout
        for line in out.splitlines():
            if "NimbelloDefrag.exe" in line:
                pid, args = line.strip().split(None, 1)
                seen.setdefault(pid, args[args.find("NimbelloDefrag.exe"):])
        time.sleep(0.02)
    return list(seen.values())


def record_time():
    """LastRelease's Time (FILETIME), read through an export: reg query cannot show a QWORD."""
    path = os.path.join(OUT, "last-release.reg")
    w.wine("reg", "export", record.key, w.win_path(path), "/reg:32", "/y", timeout=60)
    try:
        with open(path, "rb") as f:
            text = f.read().decode("utf-16", errors="replace")
    except FileNotFoundError:
        return None
    m = re.search(r'"Time"=hex\(b\):([0-9a-f,\s\\]+)', text)
    if not m:
        return None
    data = bytes(int(b, 16) for b in re.findall(r"[0-9a-f]{2}", m.group(1)))
    return int.from_bytes(data[:8], "little")


def balloons():
    rc, out = w.probe.run("balloon")
    return [line.strip() for line in out.splitlines()] if rc == 0 else []


def show_release(what, action, cooled=True):
    """Runs one release path and prints its worker starts, its own record (waited for up to the
    applet's 40 s) and the balloon. With cooled, it first waits out the last record's cool-down, as
    a user trying each path would."""
    before = record_time()
    if cooled and before:
        left = 31 - (time.time() + 11644473600 - before / 10**7)
        if left > 0:
            print("(waiting %.0f s for the cool-down of the last release)" % left)
            time.sleep(left)
    # The processes are watched while the action runs: "/freemem" waits for its workers.
    result = []
    watcher = threading.Thread(target=lambda: result.extend(worker_starts(6)))
    watcher.start()
    action()
    watcher.join()
    starts = result
    print("%s: %d worker start(s): %s" % (what, len(starts), ", ".join(starts) or "none seen"))
    if cooled:
        if not w.wait_until(lambda: record_time() not in (None, before), 34, 1):
            print("  LastRelease: no record of its own within 40 s")
            return
        values = {n: record.dword(n) for n in ("Requested", "Freed", "Milliseconds", "Trimmed",
                                                "Refused")}
        print("  LastRelease (its own): requested %s MB, freed %s MB, in %s ms, %s trimmed, "
              "%s refused" % tuple(values[n] for n in values))
    shown = w.wait_until(balloons, 8, 0.3)
    print("  balloon: %s" % (" | ".join(shown) if shown else "none seen"))


def icon_animation(frames=20):
    """One picture of the notification area per tick, as an animated GIF."""
    names = []
    for i in range(frames):
        name = os.path.join(OUT, "tick-%02d.png" % i)
        subprocess.run(["/usr/bin/convert", "png:-", "-crop", "%dx%d+%d+%d" % AREA, "+repage",
                        "-scale", "400%", name], input=w.screenshot(), check=True, timeout=30)
        names.append(name)
        time.sleep(1)
    gif = os.path.join(OUT, "icon.gif")
    subprocess.run(["/usr/bin/convert", "-delay", "100", "-loop", "0", *names, gif], check=True,
                   timeout=120)
    for name in names:
        os.remove(name)
    return gif


def main():
    os.makedirs(OUT, exist_ok=True)
    has_worker = os.path.exists(w.shipped("NimbelloDefrag"))
    folder = w.stage("demo", [p for p in ("NimbelloService", "NimbelloTray", "Nimbello")
                              if os.path.exists(w.shipped(p))],
                     worker="real" if has_worker else "standin")
    service_exe = os.path.join(folder, "NimbelloService.exe")
    tray_exe = os.path.join(folder, "NimbelloTray.exe")

    step("settings (HKLM\\Software\\VELTRA\\Nimbello, 32-bit view)")
    for name, kind, value in [("MemoryFree", "REG_DWORD", 10), ("LoadTrayIcon", "REG_DWORD", 1),
                              ("MemoryMaintain", "REG_DWORD", 30)]:
        settings.set(name, kind, value)
        print("%s = %s (%s)" % (name, value, kind))
    print("release worker: %s" % ("the real NimbelloDefrag.exe" if has_worker
                                  else "a stand-in (the worker is not built)"))
    # Something on the desktop for the screenshots; it also keeps Wine's desktop up.
    started.append(w.probe.window("TNBDemoWindow"))
    w.probe.wait_found("Shell_TrayWnd", 15000)

    step("service: install and start")
    w.remove_service(service_exe)
    w.wine(service_exe, "/install", "/silent", check_rc=True)
    w.wine("sc", "start", w.SERVICE_NAME, timeout=60)
    rc, out = w.service_control("wait", "running", "15000", "query")
    print("service state: " + out.strip().splitlines()[-1] if out.strip() else "unknown")

    step("tray: start")
    t0 = time.monotonic()
    started.append(w.start(tray_exe, "/start"))
    w.probe.wait_found("TNBTrayForm")
    print("tray window up after %.2f s; the icon follows with the first tick" %
          (time.monotonic() - t0))
    time.sleep(3)
    print("applet working set: %s bytes" % w.probe.run("working-set", "TNBTrayForm")[1])

    main_window = os.path.join(folder, "Nimbello.exe")
    if os.path.exists(main_window):
        step("main window: settings, memory now, the last release")
        started.append(w.start(main_window))
        w.probe.wait_found("TNBMainForm")
        time.sleep(2)
        w.screenshot(os.path.join(OUT, "main-window.png"))
        print("screenshot: " + os.path.join(OUT, "main-window.png"))
        w.probe.close("TNBMainForm")

    step("free memory: /freemem, the hot key, the menu (MemoryFree 10 %)")
    show_release("/freemem", lambda: w.wine(tray_exe, "/freemem", timeout=60))
    show_release("hot key", lambda: w.probe.run("hotkey", "1"))

    def menu():
        # The icon sits at the right end of the taskbar: the right button opens its menu, and
        # "Free memory now" is chosen by its access key, given to the menu as a message.
        subprocess.run(["xdotool", "mousemove", "1012", "756", "sleep", "0.3", "click", "3"],
                       env=w.ENV, timeout=20)
        time.sleep(1)
        w.screenshot(os.path.join(OUT, "menu.png"))
        if w.probe.run("menu-key", "f")[0] != 0:
            print("(the menu did not open)")
    show_release("menu", menu)
    show_release("hot key again at once", lambda: w.probe.run("hotkey", "1"), cooled=False)

    step("pictures")
    shot = w.screenshot(os.path.join(OUT, "desktop.png"))
    subprocess.run(["/usr/bin/convert", "png:-", "-crop", "%dx%d+%d+%d" % AREA, "+repage",
                    "-scale", "400%", os.path.join(OUT, "notification-area.png")], input=shot,
                   check=True, timeout=30)
    print("live icon over 20 ticks: " + icon_animation())
    print("screenshots: " + ", ".join(os.path.join(OUT, n) for n in
                                      ("desktop.png", "menu.png", "notification-area.png")))

    step("service: state after the demo")
    print(w.service_control("query")[1].strip())


def cleanup():
    step("clean-up: applet, service, session")
    if w.probe.found("TNBTrayForm"):
        print("tray closed" if w.probe.close("TNBTrayForm") else "tray did not close")
    w.remove_service(os.path.join(w.BUILD, "e2e", "demo", "NimbelloService.exe"))
    print("service removed: %s" % (not w.service_exists()))
    for process in started:
        w.stop(process)
    settings.delete("MemoryFree", "LoadTrayIcon", "MemoryMaintain")


w.finish(main, cleanup)
