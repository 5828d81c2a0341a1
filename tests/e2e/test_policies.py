"""End-to-end test of the policy key on the installed programs: HKLM\\Software\\Policies\\VELTRA\\
Nimbello, one key in both registry views, which users may read and not write. A policy MemoryFree
sizes the applet's "/freemem" request over the settings key's value, also with a standard user's
rights on the policy key, which refuse that user every write; a policy MemoryMaintain makes the
service release where the settings key's value never would; the main window shows a policy's value
in a disabled control and Apply leaves it alone. (UpdateCheck 0 is shown by test_tray_update.py,
whose applet reaches its check within seconds.)

The installed release worker is replaced by the stand-in, which logs each start beside itself.
The policy key and its DACL are removed, and the product uninstalled, at the end, also after a
failure.
"""
import os
import re
import shutil

import winharness as w

POLICY_PATH = r"Software\Policies\VELTRA\Nimbello"
policy = w.Registry("HKLM\\" + POLICY_PATH, view=64)
settings = w.Registry()
FOLDER = os.path.join(w.ENV["WINEPREFIX"], "drive_c", *w.INSTALLED[3:].split("\\"))
log = w.WorkerLog(FOLDER)
with open(os.path.join(w.SOURCE, "mainwindow", "MainFormIds.h")) as _f:
    IDS = {m[0]: m[1] for m in re.findall(r"#define (IDC_\w+) (\d+)", _f.read())}
# What Windows gives HKLM\Software\Policies, and what of it a standard user meets under Wine, where
# the token is also an administrator's: Users' read entry alone.
WINDOWS_DACL = "D:P(A;CI;KR;;;BU)(A;CI;KA;;;BA)(A;CI;KA;;;SY)"
STANDARD_USER_DACL = "D:P(A;CI;KR;;;BU)"


def policy_dacl(sddl):
    if w.wine(w.helper("KeySecurity"), POLICY_PATH, "64", sddl)[0] != 0:
        raise w.SetupError("the policy key's DACL could not be set to %s" % sddl)


def drive(*commands):
    rc, out, _ = w.wine(w.helper("MainFormDriver"), *commands)
    if rc != 0:
        raise w.SetupError("MainFormDriver %s exited with %d" % (" ".join(commands), rc))
    return out.strip()


def applet():
    settings.set("MemoryFree", "REG_DWORD", 50)
    policy.set("MemoryFree", "REG_DWORD", 3)
    policy_dacl(STANDARD_USER_DACL)
    try:
        refused = w.wine("reg", "add", "HKLM\\" + POLICY_PATH, "/v", "MemoryMaintain", "/t",
                         "REG_DWORD", "/d", "99", "/f", "/reg:64")[0] != 0
        w.check(refused and policy.get("MemoryMaintain") is None,
                "a standard user cannot write the policy key")
        log.clear()
        # With no applet running, the one started with "/freemem" stays as the applet.
        tray = w.start(w.INSTALLED + "\\NimbelloTray.exe", "/freemem")
        expected = ["NimbelloDefrag.exe " + c for c in w.release_chunks(3, w.host_memory())]
        got = log.wait(len(expected))
        w.probe.close("TNBTrayForm")
        w.wait_exit(tray, 20)
        w.stop(tray)
        w.check(got == expected, "the policy's 3 %%, not the settings' 50 %%, sizes /freemem, read "
                "with a standard user's rights: %r, expected %r" % (got, expected))
    finally:
        policy_dacl(WINDOWS_DACL)


def service():
    # The settings key's 1 % never releases; the policy's 99 % releases on the next ticks.
    for name, value in (("MemoryMaintain", 1), ("ExecutePeriod", 1), ("ProcessorLimit", 0),
                        ("BatteryCheck", 0), ("FullScreenCheck", 0), ("LoadNimbello", 1)):
        settings.set(name, "REG_DWORD", value)
    policy.set("MemoryMaintain", "REG_DWORD", 99)
    w.wait_for_uptime()
    log.clear()
    w.wine("sc", "start", w.SERVICE_NAME, check_rc=True)
    got = log.wait(1, 30)
    w.check(bool(got) and got[0] == "NimbelloDefrag.exe " +
            w.release_chunks(3, w.host_memory())[0],
            "the policy's MemoryMaintain 99 %% makes the service release, with the policy's "
            "MemoryFree: %r" % got)
    w.service_control("stop", "wait", "stopped", "10000")
    policy.delete("MemoryMaintain")


def main_window():
    form = w.start(w.INSTALLED + "\\Nimbello.exe")
    try:
        w.probe.wait_found("TNBMainForm", 30000)
        free = IDS["IDC_FREEEDIT"]
        shown = (drive("text", free), drive("enabled", free), drive("enabled", IDS["IDC_PERIODEDIT"]))
        w.check(shown == ("3", "0", "1"), "the policy's MemoryFree shows in a disabled box, the "
                "others stay enabled: %r" % (shown,))
        w.check(drive("text", IDS["IDC_POLICYNOTE"]) == "Some settings are set by your "
                "administrator.", "the line beneath the settings")
        drive("type", free, "40", "type", IDS["IDC_PERIODEDIT"], "7", "post", IDS["IDC_APPLY"])
        stored = w.wait_until(lambda: settings.dword("ExecutePeriod") == 7 and
                              (settings.dword("ExecutePeriod"), settings.dword("MemoryFree")), 10)
        w.check(stored == (7, 50), "Apply writes the edit and leaves the policy's value alone: "
                "ExecutePeriod, MemoryFree = %r" % (stored,))
    finally:
        w.probe.close("TNBMainForm")
        w.wait_exit(form, 20)
        w.stop(form)


def body():
    w.install_silently()
    w.service_control("stop", "wait", "stopped", "10000")
    # The stand-in worker, of the installed worker's bitness, logs each start beside itself.
    shutil.copy(w.helper("StandInWorker"), os.path.join(FOLDER, "NimbelloDefrag.exe"))
    print("--- the applet", flush=True)
    applet()
    print("--- the service", flush=True)
    service()
    print("--- the main window", flush=True)
    main_window()


def clean():
    w.probe.close("TNBMainForm")
    w.wine("reg", "delete", "HKLM\\" + POLICY_PATH, "/f", "/reg:64")
    w.remove_service()
    program = os.path.join(FOLDER, "Uninstall.exe")
    if os.path.exists(program):
        copy = os.path.join(w.scratch("uninstall-"), "Uninstall.exe")
        shutil.copy(program, copy)
        w.wine(copy, "/S", *("_?=" + w.INSTALLED).split(" "), timeout=120, env=w.INSTALLER_ENV)


w.finish(body, clean)
