#!/usr/bin/env python3
"""The monitor tick of the real NimbelloTray.exe under Wine, on the Xvfb desktop with a taskbar.

Full-screen report to the settings, DefragMemory raised, the icon removed and brought back by
LoadTrayIcon, and the usage graph in the notification area: the default colours for the Windows
version Wine reports (and for Vista, set for the applet alone), and colours from the settings."""
import os
import shutil
import subprocess
import sys
import tempfile
import time

RUN = os.environ["NIMBELLO_WINE_RUN"]
BIN = os.environ["NIMBELLO_BIN"]
BUILD = os.environ.get("NIMBELLO_BUILD", os.path.dirname(BIN))
KEY = r"HKLM\Software\VELTRA\Nimbello"
APP_DEFAULTS = r"HKCU\Software\Wine\AppDefaults\NimbelloTray.exe"
ENV = dict(os.environ)
for line in subprocess.run([RUN, "--env"], capture_output=True, text=True).stdout.split("export ", 1)[1].split("' "):
    name, _, value = line.partition("=")
    ENV[name.strip()] = value.strip().strip("'")

# The notification area: the right end of the 1024 x 768 desktop's taskbar.
AREA = (200, 24, 824, 744)
SMALL_CLASS = "NimbelloSmallTest"
FULL_CLASS = "NimbelloFullScreenTest"
# Two ticks of 1000 ms, and a little for the registry tool's own start.
TWO_TICKS = 2.5

failures = []


def check(condition, what):
    print(("ok   " if condition else "FAIL ") + what, flush=True)
    if not condition:
        failures.append(what)
    return condition


def wine(*args, timeout=60):
    try:
        return subprocess.run([RUN, *args], capture_output=True, text=True, timeout=timeout, env=ENV)
    except subprocess.TimeoutExpired:
        return None


def probe(*args, timeout=30):
    r = wine(os.path.join(STAGE, "TrayProbe.exe"), *args, timeout=timeout)
    return -1 if r is None else r.returncode


def reg_set(name, kind, data, key=KEY):
    wine("reg", "add", key, "/v", name, "/t", kind, "/d", str(data), "/f")


def reg_delete(name, key=KEY):
    wine("reg", "delete", key, "/v", name, "/f")


def reg_dword(name):
    r = wine("reg", "query", KEY, "/v", name)
    if r is None or r.returncode != 0:
        return None
    for line in r.stdout.splitlines():
        parts = line.split()
        if len(parts) == 3 and parts[0] == name and parts[1] == "REG_DWORD":
            return int(parts[2], 16)
    return None


def wait_dword(name, value, seconds):
    end = time.time() + seconds
    while True:
        current = reg_dword(name)
        if current == value or time.time() >= end:
            return current
        time.sleep(0.2)


def notification_area():
    """The notification area as rows of (r, g, b) pixels."""
    shot = subprocess.run(["import", "-window", "root", "png:-"], capture_output=True, env=ENV).stdout
    w, h, x, y = AREA
    raw = subprocess.run(["convert", "png:-", "-crop", f"{w}x{h}+{x}+{y}", "rgb:-"],
                         input=shot, capture_output=True).stdout
    if len(raw) != w * h * 3:
        return None
    return [[tuple(raw[(r * w + c) * 3:(r * w + c) * 3 + 3]) for c in range(w)] for r in range(h)]


def icon_colours(area):
    """The colours of the usage graph icon: everything inside the smallest rectangle around the
    pixels of its two-tone frame. Nothing when no frame is to be seen."""
    if area is None:
        return None
    frame = [(r, c) for r in range(len(area)) for c in range(len(area[r])) if area[r][c] in FRAME]
    if not frame:
        return None
    rows = [r for r, _ in frame]
    cols = [c for _, c in frame]
    return {area[r][c] for r in range(min(rows), max(rows) + 1)
            for c in range(min(cols), max(cols) + 1)}


def wait_area(predicate, seconds):
    end = time.time() + seconds
    while True:
        area = notification_area()
        if predicate(area) or time.time() >= end:
            return area
        time.sleep(0.25)


def start_tray():
    process = subprocess.Popen([RUN, os.path.join(STAGE, "NimbelloTray.exe")],
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=ENV)
    check(probe("wait-found", "TNBTrayForm", "30000") == 0, "the tray window appears")
    return process


def end_tray(process):
    if probe("find", "TNBTrayForm") == 0:
        probe("close", "TNBTrayForm")
    try:
        process.wait(timeout=20)
    except subprocess.TimeoutExpired:
        process.kill()


def foreground_window(window_class, *placement):
    process = subprocess.Popen([RUN, os.path.join(STAGE, "ForegroundWindow.exe"), window_class, *placement],
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=ENV)
    check(probe("wait-found", window_class, "10000") == 0, f"window {window_class} appears")
    return process


def close_window(window_class, process):
    probe("close", window_class)
    try:
        process.wait(timeout=20)
    except subprocess.TimeoutExpired:
        process.kill()


def rgb(colour):
    """A 0x00BBGGRR colour value as the screen's (r, g, b)."""
    return (colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF)


FRAME = {rgb(0x3A3837), rgb(0x2C2B29)}
LIGHT = {"background": rgb(0xFFFFFF), "grid": rgb(0x808080), "bar": rgb(0x008000)}
DARK = {"background": rgb(0x000000), "grid": rgb(0x008000), "bar": rgb(0x00FF00)}
SET = {"background": rgb(0x800000), "grid": rgb(0x00FFFF), "bar": rgb(0x0000FF)}  # navy, yellow, red


def graph_in(expected, what):
    """Waits until the icon shows exactly the frame and the expected colours."""
    wanted = FRAME | set(expected.values())
    area = wait_area(lambda a: icon_colours(a) == wanted, 8)
    got = icon_colours(area)
    check(got == wanted, f"{what}: the graph shows frame, background, grid and bars "
          f"{sorted(wanted)} (got {sorted(got) if got else None})")


def full_screen_report():
    # A stored 1 that the tick has to correct.
    reg_set("FullScreen", "REG_DWORD", 1)
    small = foreground_window(SMALL_CLASS, "100", "100", "300", "200")
    value = wait_dword("FullScreen", 0, 2 * TWO_TICKS)
    check(value == 0, f"a small window in front: FullScreen 0 (got {value})")
    full = foreground_window(FULL_CLASS, "full")
    check(wait_dword("FullScreen", 1, TWO_TICKS) == 1,
          "a borderless window covering the screen: FullScreen 1 within two ticks")
    close_window(FULL_CLASS, full)
    check(wait_dword("FullScreen", 0, TWO_TICKS) == 0, "closing it: FullScreen 0 within two ticks")
    reg_set("FullScreenCheck", "REG_DWORD", 0)
    full = foreground_window(FULL_CLASS, "full")
    time.sleep(TWO_TICKS)
    check(reg_dword("FullScreen") == 0, "FullScreenCheck 0: FullScreen left as it was")
    close_window(FULL_CLASS, full)
    reg_delete("FullScreenCheck")
    close_window(SMALL_CLASS, small)


def defrag_memory():
    reg_set("LoadNimbello", "REG_DWORD", 0)
    reg_set("DefragMemory", "REG_DWORD", 0)
    check(wait_dword("DefragMemory", 1, TWO_TICKS) == 1,
          "LoadNimbello 0 and DefragMemory 0: DefragMemory 1 within two ticks")
    reg_set("LoadNimbello", "REG_DWORD", 1)
    reg_set("DefragMemory", "REG_DWORD", 0)
    time.sleep(TWO_TICKS)
    check(reg_dword("DefragMemory") == 0, "LoadNimbello 1: DefragMemory left at 0")
    reg_delete("LoadNimbello")
    reg_delete("DefragMemory")


def icon_presence():
    reg_set("LoadTrayIcon", "REG_DWORD", 0)
    area = wait_area(lambda a: a is not None and icon_colours(a) is None, TWO_TICKS + 1)
    check(area is not None and icon_colours(area) is None,
          "LoadTrayIcon 0: the icon leaves the notification area")
    reg_set("LoadTrayIcon", "REG_DWORD", 1)
    # The tick that finds the taskbar waits 1000 ms before showing the icon.
    area = wait_area(lambda a: icon_colours(a) is not None, TWO_TICKS + 2)
    check(icon_colours(area) is not None, "LoadTrayIcon 1: the icon comes back")
    reg_delete("LoadTrayIcon")


def main():
    global STAGE
    STAGE = tempfile.mkdtemp(prefix="e2e-monitor-", dir=BUILD)
    for exe in ("NimbelloTray.exe", "TrayProbe.exe", "ForegroundWindow.exe"):
        shutil.copy(os.path.join(BIN, exe), STAGE)
    for name in ("FullScreen", "FullScreenCheck", "LoadNimbello", "DefragMemory", "LoadTrayIcon",
                 "BackgroundColor", "GridColor", "BarColor", "UpdatedDate", "Language"):
        reg_delete(name)
    reg_delete("Version", key=APP_DEFAULTS)
    # A stamp of now keeps the update check away.
    try:
        check(icon_colours(notification_area()) is None, "no usage graph before the start")
        tray = start_tray()
        try:
            # Wine reports Windows 7 (version code 5): the light set.
            graph_in(LIGHT, "default colours for version code 5")
            full_screen_report()
            defrag_memory()
            icon_presence()
            reg_set("BackgroundColor", "REG_SZ", "clNavy")
            reg_set("GridColor", "REG_SZ", "clYellow")
            reg_set("BarColor", "REG_SZ", "$0000FF")
            graph_in(SET, "colours from the settings")
            for name in ("BackgroundColor", "GridColor", "BarColor"):
                reg_delete(name)
        finally:
            end_tray(tray)
        # Vista for the applet alone (version code 3): the dark set.
        reg_set("Version", "REG_SZ", "vista", key=APP_DEFAULTS)
        tray = start_tray()
        try:
            graph_in(DARK, "default colours for version code 3")
        finally:
            end_tray(tray)
    finally:
        reg_delete("Version", key=APP_DEFAULTS)
        for name in ("FullScreen", "FullScreenCheck", "LoadNimbello", "DefragMemory",
                     "LoadTrayIcon", "BackgroundColor", "GridColor", "BarColor"):
            reg_delete(name)
        shutil.rmtree(STAGE, ignore_errors=True)
    print(f"{len(failures)} failure(s)")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
