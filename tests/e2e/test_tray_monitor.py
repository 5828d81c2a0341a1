#!/usr/bin/env python3
"""The monitor tick of the real NimbelloTray.exe under Wine, on the Xvfb desktop with a taskbar.

Full-screen report to the settings, DefragMemory raised, the icon removed and brought back by
LoadTrayIcon, and the usage graph in the notification area: the default colours for the Windows
version Wine reports (and for Vista, set for the applet alone), and colours from the settings."""
import os
import time

import winharness as w

settings = w.Registry()
app_defaults = w.Registry(r"HKCU\Software\Wine\AppDefaults\NimbelloTray.exe", view=64)
folder = w.stage("monitor", ["NimbelloTray"], ["ForegroundWindow"], worker=None)
probe = w.probe

# The notification area: the right end of the 1024 x 768 desktop's taskbar.
AREA = (200, 24, 824, 744)
SMALL_CLASS = "NimbelloSmallTest"
FULL_CLASS = "NimbelloFullScreenTest"
# Two ticks of 1000 ms, and a little for the registry tool's own start.
TWO_TICKS = 2.5

def notification_area():
    """The notification area as rows of (r, g, b) pixels."""
    width, height = AREA[0], AREA[1]
    raw = w.crop_rgb(w.screenshot(), *AREA)
    if len(raw) != width * height * 3:
        return None
    return [[tuple(raw[(r * width + c) * 3:(r * width + c) * 3 + 3]) for c in range(width)]
            for r in range(height)]


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
    found = []
    w.wait_until(lambda: predicate(found.append(notification_area()) or found[-1]), seconds, 0.25)
    return found[-1]


def start_tray():
    process = w.start(os.path.join(folder, "NimbelloTray.exe"))
    probe.wait_found("TNBTrayForm", 30000)
    return process


def end_tray(process):
    if probe.found("TNBTrayForm"):
        probe.close("TNBTrayForm")
    w.check(w.wait_exit(process, 20) == 0, "the applet ends on WM_CLOSE")
    w.stop(process)


def foreground_window(window_class, *placement):
    process = w.start(os.path.join(folder, "ForegroundWindow.exe"), window_class, *placement)
    probe.wait_found(window_class, 10000)
    return process


def close_window(window_class, process):
    probe.close(window_class)
    w.wait_exit(process, 20)
    w.stop(process)


def wait_dword(name, value, seconds):
    w.wait_until(lambda: settings.dword(name) == value, seconds, 0.2)
    return settings.dword(name)


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
    w.check(got == wanted, f"{what}: the graph shows frame, background, grid and bars "
          f"{sorted(wanted)} (got {sorted(got) if got else None})")


def full_screen_report():
    # A stored 1 that the tick has to correct.
    settings.set("FullScreen", "REG_DWORD", 1)
    small = foreground_window(SMALL_CLASS, "100", "100", "300", "200")
    value = wait_dword("FullScreen", 0, 2 * TWO_TICKS)
    w.check(value == 0, f"a small window in front: FullScreen 0 (got {value})")
    full = foreground_window(FULL_CLASS, "full")
    w.check(wait_dword("FullScreen", 1, TWO_TICKS) == 1,
          "a borderless window covering the screen: FullScreen 1 within two ticks")
    close_window(FULL_CLASS, full)
    w.check(wait_dword("FullScreen", 0, TWO_TICKS) == 0, "closing it: FullScreen 0 within two ticks")
    settings.set("FullScreenCheck", "REG_DWORD", 0)
    full = foreground_window(FULL_CLASS, "full")
    time.sleep(TWO_TICKS)
    w.check(settings.dword("FullScreen") == 0, "FullScreenCheck 0: FullScreen left as it was")
    close_window(FULL_CLASS, full)
    settings.delete("FullScreenCheck")
    close_window(SMALL_CLASS, small)


def defrag_memory():
    settings.set("LoadNimbello", "REG_DWORD", 0)
    settings.set("DefragMemory", "REG_DWORD", 0)
    w.check(wait_dword("DefragMemory", 1, TWO_TICKS) == 1,
          "LoadNimbello 0 and DefragMemory 0: DefragMemory 1 within two ticks")
    settings.set("LoadNimbello", "REG_DWORD", 1)
    settings.set("DefragMemory", "REG_DWORD", 0)
    time.sleep(TWO_TICKS)
    w.check(settings.dword("DefragMemory") == 0, "LoadNimbello 1: DefragMemory left at 0")
    settings.delete("LoadNimbello")
    settings.delete("DefragMemory")


def icon_presence():
    settings.set("LoadTrayIcon", "REG_DWORD", 0)
    area = wait_area(lambda a: a is not None and icon_colours(a) is None, TWO_TICKS + 1)
    w.check(area is not None and icon_colours(area) is None,
          "LoadTrayIcon 0: the icon leaves the notification area")
    settings.set("LoadTrayIcon", "REG_DWORD", 1)
    # The tick that finds the taskbar waits 1000 ms before showing the icon.
    area = wait_area(lambda a: icon_colours(a) is not None, TWO_TICKS + 2)
    w.check(icon_colours(area) is not None, "LoadTrayIcon 1: the icon comes back")
    settings.delete("LoadTrayIcon")


MONITOR_VALUES = ("FullScreen", "FullScreenCheck", "LoadNimbello", "DefragMemory", "LoadTrayIcon",
                  "BackgroundColor", "GridColor", "BarColor", "UpdatedDate", "Language")
trays = []


def main():
    settings.delete(*MONITOR_VALUES)
    app_defaults.delete("Version")
    w.check(icon_colours(notification_area()) is None, "no usage graph before the start")
    trays.append(start_tray())
    # Wine reports Windows 7 (version code 5): the light set.
    graph_in(LIGHT, "default colours for version code 5")
    full_screen_report()
    defrag_memory()
    icon_presence()
    settings.set("BackgroundColor", "REG_SZ", "clNavy")
    settings.set("GridColor", "REG_SZ", "clYellow")
    settings.set("BarColor", "REG_SZ", "$0000FF")
    graph_in(SET, "colours from the settings")
    settings.delete("BackgroundColor", "GridColor", "BarColor")
    end_tray(trays.pop())
    # Vista for the applet alone (version code 3): the dark set.
    app_defaults.set("Version", "REG_SZ", "vista")
    trays.append(start_tray())
    graph_in(DARK, "default colours for version code 3")
    end_tray(trays.pop())


def cleanup():
    for tray in trays:
        end_tray(tray)
    app_defaults.delete("Version")
    settings.delete(*MONITOR_VALUES)


w.finish(main, cleanup)
