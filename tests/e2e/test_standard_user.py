"""End-to-end test of the installed programs with a standard user's rights on the settings key and
its LastRelease subkey (Users may read and set values; Administrators and SYSTEM get nothing):
the applet's FullScreen and DefragMemory land, a /freemem worker records LastRelease and the main
window shows it, and the main window's Apply lands. With read rights only, Apply names each refused
value and nothing changes. The uninstaller then removes LastRelease with the settings key.

Wine runs every program as an administrator; these rights are what that token meets (winharness:
StandardUser). The installed DACLs are put back before anything else happens, also after a failure.
"""
import os
import re
import shutil

import winharness as w

settings = w.Registry()
last_release = w.Registry(w.SETTINGS + r"\LastRelease")
FULL_CLASS = "NimbelloStandardUserFull"
with open(os.path.join(w.SOURCE, "mainwindow", "MainFormIds.h")) as _f:
    IDS = {m[0]: m[1] for m in re.findall(r"#define (IDC_\w+) (\d+)", _f.read())}
rights = []  # the StandardUser in force, put back by clean()


def installed(program):
    return w.INSTALLED + "\\" + program + ".exe"


def restrict(read_only=False):
    lift()
    rights.append(w.StandardUser(read_only))
    print("rights now: %r" % rights[-1].dacls, flush=True)


def lift():
    while rights:
        rights.pop().restore()


def drive(*commands):
    rc, out, _ = w.wine(w.helper("MainFormDriver"), *commands)
    if rc != 0:
        raise w.SetupError("MainFormDriver %s exited with %d" % (" ".join(commands), rc))
    return out.strip()


def apply_and_read_message():
    """Posts Apply; the texts of the message box it shows, or None when it shows none."""
    drive("post", IDS["IDC_APPLY"])
    rc, out, _ = w.wine(w.helper("DialogReader"), "Nimbello", "4000")
    return " ".join(l[5:] for l in out.splitlines() if l.startswith("text=")) if rc == 0 else None


def wait_dword(key, name, value, seconds):
    w.wait_until(lambda: key.dword(name) == value, seconds, 0.2)
    return key.dword(name)


def applet_and_worker():
    for name, value in (("LoadNimbello", 0), ("DefragMemory", 0), ("FullScreen", 0)):
        settings.set(name, "REG_DWORD", value)
    last_release.delete("Requested", "Freed", "Milliseconds", "Time")
    restrict()
    full = w.start(w.helper("ForegroundWindow"), FULL_CLASS, "full")
    w.probe.wait_found(FULL_CLASS, 10000)
    tray = w.start(installed("NimbelloTray"))
    w.probe.wait_found("TNBTrayForm", 30000)
    got = wait_dword(settings, "DefragMemory", 1, 10)
    w.check(got == 1, "the applet raises DefragMemory with LoadNimbello 0 (got %r)" % got)
    got = wait_dword(settings, "FullScreen", 1, 10)
    w.check(got == 1, "a full-screen window in front: the applet writes FullScreen 1 (got %r)" % got)
    w.probe.close(FULL_CLASS)
    w.wait_exit(full, 20)
    w.stop(full)

    # Without pipes: the worker it starts inherits them and measures its release for a minute.
    freemem = w.start(installed("NimbelloTray"), "/freemem")
    w.check(w.wait_exit(freemem, 60) == 0, "/freemem ends")
    w.stop(freemem)
    # The request's chunks have all worked once at most one worker is left: the one measuring.
    workers = lambda: [l for l in w._processes_named(installed("NimbelloDefrag"))
                       if not l.split()[1].startswith("Z")]
    requested = w.wait_until(lambda: last_release.get("Time") and len(workers()) <= 1 and
                             last_release.dword("Requested"), 40, 0.5)
    values = {n: last_release.get(n) for n in ("Requested", "Freed", "Milliseconds", "Time")}
    w.check(bool(requested) and values["Time"][0] == "REG_QWORD",
            "the worker /freemem started records LastRelease: %r" % values)
    w.probe.close("TNBTrayForm")
    w.wait_exit(tray, 20)
    w.stop(tray)
    return requested


def main_window(requested):
    restrict()
    form = w.start(installed("Nimbello"))
    w.probe.wait_found("TNBMainForm", 30000)
    shown = drive("text", IDS["IDC_LASTRELEASEVALUE"])
    # The service may release meanwhile: the record then is the one read before or after.
    latest = last_release.dword("Requested")
    w.check(bool(requested) and any(" of %d MB freed" % r in shown for r in (requested, latest)),
            "the main window shows the worker's release of %r MB: %r" % (requested, shown))

    drive("type", IDS["IDC_PERIODEDIT"], "12", "click", IDS["IDC_BATTERYCHECK"])
    message = apply_and_read_message()
    w.check(message is None, "with Users' rights Apply reports nothing refused: %r" % message)
    stored = (settings.dword("ExecutePeriod"), settings.dword("BatteryCheck"))
    w.check(stored == (12, 1), "Apply landed: ExecutePeriod, BatteryCheck = %r" % (stored,))

    restrict(read_only=True)
    drive("type", IDS["IDC_PERIODEDIT"], "20", "click", IDS["IDC_BATTERYCHECK"])
    message = apply_and_read_message() or ""
    w.check("Minutes between releases" in message and "Not on battery" in message
            and "Memory to" not in message,
            "with read rights only Apply names each refused value, no other: %r" % message)
    stored = (settings.dword("ExecutePeriod"), settings.dword("BatteryCheck"))
    w.check(stored == (12, 1), "and nothing changed: %r" % (stored,))
    lift()
    w.probe.close("TNBMainForm")
    w.wait_exit(form, 20)
    w.stop(form)


def run_uninstaller():
    """The uninstaller's exit code, from a copy given _?=, which runs in place and waits; None
    when nothing is installed."""
    program = os.path.join(w.ENV["WINEPREFIX"], "drive_c", *w.INSTALLED[3:].split("\\"),
                           "Uninstall.exe")
    if not os.path.exists(program):
        return None
    copy = os.path.join(w.scratch("uninstall-"), "Uninstall.exe")
    shutil.copy(program, copy)
    return w.wine(copy, "/S", *("_?=" + w.INSTALLED).split(" "), timeout=120,
                  env=w.INSTALLER_ENV)[0]


def uninstall():
    rc = run_uninstaller()
    gone = w.wine("reg", "query", w.SETTINGS + r"\LastRelease", "/reg:32")[0] != 0
    w.check(rc == 0 and gone, "the uninstaller (exit %r) removes LastRelease: %s" % (rc, gone))


def clean():
    lift()
    for window_class in (FULL_CLASS, "TNBMainForm", "TNBTrayForm"):
        w.probe.close(window_class)
    run_uninstaller()
    w.remove_service()


def body():
    w.install_silently()
    # The service would write with the same rights; these steps are about the programs users run.
    w.service_control("stop", "wait", "stopped", "10000")
    print("--- the applet and its worker", flush=True)
    requested = applet_and_worker()
    print("--- the main window", flush=True)
    main_window(requested)
    print("--- uninstall", flush=True)
    uninstall()


w.finish(body, clean)
