#!/usr/bin/env python3
"""The real NimbelloTray.exe under Wine, on the Xvfb desktop with a taskbar.

Start-up outcomes, the single-instance test, "/freemem", the hot key, the balloon that answers a
release (a record written as a worker writes it; a click opens the main window),
the notification icon, a WM_CLOSE from outside, Help and Exit from the icon's menu (English and French access keys), the settings
key's registry view, with a stand-in release worker that logs its starts and probe windows standing
in for the product's other windows. Prints the start-up time and the applet's working set."""
import os
import re
import shutil
import time

import winharness as w

settings = w.Registry()
settings64 = w.Registry(view=64)
folder = w.stage("tray", ["NimbelloTray"])
# The main window program stands in too: a balloon's click shows in the log as its start.
shutil.copy(os.path.join(folder, "NimbelloDefrag.exe"), os.path.join(folder, "Nimbello.exe"))
shutil.copy(os.path.join(w.SHIPPED_BIN, "Nimbello.chm"), folder)
TRAY = os.path.join(folder, "NimbelloTray.exe")
log = w.WorkerLog(folder)
probe = w.probe
# The notification area: the right end of the 1024 x 768 desktop's taskbar.
AREA = (200, 24, 824, 744)
VALUES = ("LoadNimbello", "Language", "LoadTrayIcon", "FullScreenCheck", "MemoryFree")


def notification_area():
    return w.crop_rgb(w.screenshot(), *AREA)


def icon_centre(before, after):
    """Screen position of the changed pixels between two notification-area pictures."""
    changed = [i // 3 for i in range(0, min(len(before), len(after)), 3)
               if before[i:i + 3] != after[i:i + 3]]
    if not changed:
        return None
    xs = [i % AREA[0] for i in changed]
    ys = [i // AREA[0] for i in changed]
    return AREA[2] + (min(xs) + max(xs)) // 2, AREA[3] + (min(ys) + max(ys)) // 2


def wait_icon(before, seconds=15):
    return w.wait_until(lambda: (lambda now: now if now and now != before else None)(
        notification_area()), seconds, 0.2)


def start_tray(*args):
    return w.start(TRAY, *args, env=log.env)


def run_tray(*args, timeout=30):
    """Runs the applet to its end: a hang fails the test at once, with the hung processes'
    state in the report (see winharness.wine)."""
    return w.wine(TRAY, *args, env=log.env, timeout=timeout)[0]


def end_tray(process):
    if probe.found("TNBTrayForm"):
        probe.close("TNBTrayForm")
    code = w.wait_exit(process, 20)
    w.stop(process)
    return code


def xdotool(*args):
    w.subprocess.run(["xdotool", *args], env=w.ENV, timeout=20, check=True)


def tooltip_at(centre):
    """The text of the tooltip that hovering over the point shows."""
    xdotool("mousemove", "600", "400")
    time.sleep(0.5)
    xdotool("mousemove", str(centre[0]), str(centre[1]))
    text = w.wait_until(lambda: probe.run("tooltip")[1], 5, 0.5)
    return text.splitlines()[0] if text else ""


def released(expected, what):
    lines = log.wait(len(expected))
    w.check(sorted(lines) == sorted(expected), "%s started the worker with %r (got %r)" % (
        what, expected, lines))


def startup_and_commands():
    # "/start" with automatic start off: no window, exit code 0.
    settings.set("LoadNimbello", "REG_DWORD", 0)
    w.check(run_tray("/START") == 0, "/START with LoadNimbello 0 ends with exit code 0")
    w.check(not probe.found("TNBTrayForm"), "/START with LoadNimbello 0 creates no window")
    settings.delete("LoadNimbello")

    before = notification_area()
    started = time.time()
    tray = start_tray("/start")
    probe.wait_found("TNBTrayForm")
    window_seconds = time.time() - started
    shown = wait_icon(before)
    w.check(shown is not None, "the icon appears in the notification area")
    print("figure: start-up to window %.2f s, to icon %.2f s (Wine, incl. wine start)" % (
        window_seconds, time.time() - started))
    print("figure: applet working set %s bytes after start-up" %
          probe.run("working-set", "TNBTrayForm")[1])

    w.check(run_tray() == 0, "a second applet ends at once with exit code 0")
    w.check(tray.poll() is None and probe.found("TNBTrayForm"), "the first applet still runs")
    registry_view()

    # "/freemem" with an applet running: the new process asks that applet, which releases, and ends.
    expected = ["NimbelloDefrag.exe " + c for c in w.release_chunks(10, w.host_memory())]
    log.clear()
    w.check(run_tray("/FreeMem") == 0, "/FreeMem with an applet running ends with exit code 0")
    released(expected, "/FreeMem")
    w.check(tray.poll() is None, "the running applet is untouched by /FreeMem")

    # Any WM_HOTKEY frees memory, whatever its identifier.
    for hotkey in ("1", "7"):
        log.clear()
        w.check(probe.run("hotkey", hotkey)[0] == 0, "WM_HOTKEY %s posted" % hotkey)
        released(expected, "WM_HOTKEY " + hotkey)
    release_balloons(expected)

    # WM_CLOSE from outside: the applet ends, its icon goes, no other window is closed.
    log.clear()
    other = probe.window("TNBMainForm", env=log.env)
    w.check(probe.close("TNBTrayForm"), "WM_CLOSE sent to the applet")
    w.check(w.wait_exit(tray, 20) == 0, "WM_CLOSE from outside ends the applet with exit code 0")
    w.check(w.wait_until(lambda: notification_area() == before, 3, 0.25), "the icon is removed")
    w.check(probe.found("TNBMainForm") and "closed TNBMainForm" not in log.lines(),
            "no other window was closed")
    probe.close("TNBMainForm")
    w.wait_exit(other, 20)


def balloon_matching(pattern):
    """A shown balloon's text that matches (Wine's shell shows one about 2 s after it was asked for,
    and the one before may still show), else what shows."""
    lines = lambda: [l.strip() for l in probe.run("balloon")[1].splitlines()]  # noqa: E731
    return w.wait_until(lambda: next((l for l in lines() if re.fullmatch(pattern, l)), None), 8,
                        0.3) or " | ".join(lines())


def release_balloons(expected):
    """The stand-in writes no record: the test writes one as a worker does, Time last."""
    record = w.Registry(w.SETTINGS + r"\LastRelease")
    record.delete_key()
    log.clear()
    w.check(probe.run("hotkey", "1")[0] == 0, "WM_HOTKEY posted")
    released(expected, "the hot key before its balloon")
    for name, value in (("Requested", 100), ("Freed", 123), ("Milliseconds", 900),
                        ("Trimmed", 3), ("Refused", 0)):
        record.set(name, "REG_DWORD", value)
    record.set("Time", "REG_QWORD", int((time.time() + 11644473600) * 10**7))
    text = balloon_matching(r"Freed 123 MB")
    w.check(text == "Freed 123 MB", "the record's balloon: %r" % text)
    log.clear()
    w.check(probe.run("notify", "TNBTrayIconWindow", "1029")[0] == 0, "balloon click posted")
    w.check(log.wait(1, 10) == ["Nimbello.exe"], "the click opens the main window: %r" %
            log.lines())
    record.delete_key()


def choose_in_menu(centre, access_key, language):
    """Opens the menu on the real icon with the right button and chooses an item by its key."""
    xdotool("mousemove", str(centre[0]), str(centre[1]), "sleep", "0.3", "click", "3")
    w.check(w.wait_until(lambda: probe.found("#32768"), 5, 0.2),
            "%s: the right button opens the menu" % language)
    # Typed keys reach Wine's menu only while its desktop has X focus; the character goes to the
    # open menu as a message instead, which the menu reads as it reads typing.
    w.check(probe.run("menu-key", access_key)[0] == 0, "%s: '%s' given to the menu" % (
        language, access_key))


def help_from_menu():
    """Help in the menu opens the HTML Help viewer on the help file of the program folder, whose
    window type is titled "Nimbello Help"; the applet runs on."""
    settings.set("LoadTrayIcon", "REG_DWORD", 1)
    before = notification_area()
    tray = start_tray()
    shown = wait_icon(before)
    if not w.check(shown is not None, "help: the icon appears"):
        raise w.SetupError("no icon to open the menu on")
    choose_in_menu(icon_centre(before, shown), "h", "english")
    title = w.wait_until(lambda: (lambda r: r[1] if r[0] == 0 else None)(
        probe.run("title", "HH Parent")), 15, 0.3)
    w.check(title == "Nimbello Help", "Help opens the HTML Help window of Nimbello.chm: %r" % (
        title,))
    w.check(tray.poll() is None, "the applet runs on beside the help")
    probe.close("HH Parent")
    end_tray(tray)


def exit_from_menu(access_key, language):
    """Opens the menu on the real icon with the right button and chooses Exit by its key."""
    log.clear()
    settings.set("Language", "REG_SZ", language)
    settings.set("LoadTrayIcon", "REG_DWORD", 1)
    before = notification_area()
    main_form = probe.window("TNBMainForm", env=log.env)
    tray = start_tray()
    shown = wait_icon(before)
    centre = icon_centre(before, shown) if shown else None
    if not w.check(centre is not None, "%s: the icon appears" % language):
        raise w.SetupError("no icon to open the menu on")
    text = tooltip_at(centre)
    w.check(text == "Nimbello", "%s: the tooltip comes from the language file (%r)" % (language,
                                                                                       text))
    choose_in_menu(centre, access_key, language)
    w.check(w.wait_exit(tray, 20) == 0, "%s: Exit chosen with '%s' ends the applet, exit code 0" % (
        language, access_key))
    w.check("closed TNBMainForm" in log.lines() and not probe.found("TNBMainForm"),
            "%s: Exit closed the TNBMainForm window" % language)
    w.check(w.wait_until(lambda: notification_area() == before, 3, 0.25),
            "%s: the icon is removed" % language)
    end_tray(tray)
    w.stop(main_form)
    settings.delete("Language")


def tooltip_without_language_entry():
    """A language with no resource: the tooltip stays the application title."""
    settings.set("Language", "REG_SZ", "klingon")
    before = notification_area()
    tray = start_tray()
    shown = wait_icon(before)
    if w.check(shown is not None, "klingon: the icon appears"):
        text = tooltip_at(icon_centre(before, shown))
        w.check(text == "Nimbellotray", "klingon: the tooltip stays the application title (%r)"
                % text)
    end_tray(tray)
    settings.delete("Language")


def hung_companion():
    """A companion that stops answering does not hang Exit."""
    log.clear()
    hung = probe.window("TNBSettingsForm", "hang", env=log.env)
    main_form = probe.window("TNBMainForm", env=log.env)
    tray = start_tray()
    probe.wait_found("TNBTrayForm")
    time.sleep(1.5)
    started = time.time()
    # The menu's Exit, here without the mouse: WM_COMMAND of the item at display position 5.
    w.check(probe.run("exit-command")[0] == 0, "Exit command posted to the applet")
    code = w.wait_exit(tray, 30)
    w.check(code == 0, "Exit with a hung companion still ends the applet (%.1f s)" % (
        time.time() - started))
    lines = log.lines()
    w.check(lines[:2] == ["closed TNBSettingsForm", "closed TNBMainForm"],
            "companions closed in order before the applet: %r" % lines)
    for process in (hung, main_form):
        w.stop(process)
    end_tray(tray)


def registry_view():
    """The programs read the settings key in the 32-bit view: a MemoryFree of 10 written only in
    the 64-bit view is not seen (the default share is freed), one in the 32-bit view is. An applet
    runs, so that each "/freemem" ends after its request."""
    total = w.host_memory()
    large = round(total / 1048576) >= 1536
    default = ["NimbelloDefrag.exe " + c for c in w.release_chunks(60 if large else 40, total)]
    ten = ["NimbelloDefrag.exe " + c for c in w.release_chunks(10, total)]
    settings.delete("MemoryFree")
    settings64.set("MemoryFree", "REG_DWORD", 10)
    try:
        log.clear()
        w.check(run_tray("/freemem") == 0, "/freemem ends with exit code 0")
        released(default, "MemoryFree only in the 64-bit view: the default share")
    finally:
        settings64.delete("MemoryFree")
    settings.set("MemoryFree", "REG_DWORD", 10)
    log.clear()
    w.check(run_tray("/freemem") == 0, "/freemem ends with exit code 0")
    released(ten, "MemoryFree in the 32-bit view")


def main():
    settings.delete(*VALUES)
    settings.set("MemoryFree", "REG_DWORD", 10)
    settings.set("FullScreenCheck", "REG_DWORD", 0)
    # A window of its own keeps Wine's desktop and taskbar up between the applet's runs.
    keeper.append(probe.window("TNBKeeperWindow"))
    probe.wait_found("Shell_TrayWnd", 10000)
    time.sleep(1)
    startup_and_commands()
    help_from_menu()
    exit_from_menu("e", "english")
    exit_from_menu("q", "french")
    tooltip_without_language_entry()
    hung_companion()


keeper = []


def cleanup():
    if probe.found("TNBTrayForm"):
        probe.close("TNBTrayForm")
    for process in keeper:
        w.stop(process)
    settings.delete(*VALUES)


w.finish(main, cleanup)
