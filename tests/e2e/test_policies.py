"""The policy key HKLM\\Software\\Policies\\VELTRA\\Nimbello (one key in both views) on the installed
programs: a policy MemoryFree sizes "/freemem", read with a standard user's rights, who cannot write
the key; a policy MemoryMaintain makes the service release; the main window shows a policy's value
disabled and Apply leaves it alone. (UpdateCheck 0: test_tray_update.py, whose applet checks at
once.) The stand-in replaces the installed worker; everything goes at the end, also after a failure.
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
# Windows' DACL of the key, and what of it a standard user meets (Wine's token is also an admin's).
WINDOWS_DACL = "D:P(A;CI;KR;;;BU)(A;CI;KA;;;BA)(A;CI;KA;;;SY)"
STANDARD_USER_DACL = "D:P(A;CI;KR;;;BU)"


def policy_dacl(sddl):
    if w.wine(w.helper("KeySecurity"), POLICY_PATH, "64", sddl)[0] != 0:
        raise w.SetupError("the policy key's DACL could not be set to %s" % sddl)


def applet():
    settings.set("MemoryFree", "REG_DWORD", 50)
    policy.set("MemoryFree", "REG_DWORD", 3)
    policy_dacl(STANDARD_USER_DACL)
    try:
        w.check(w.wine("reg", "add", policy.key, "/v", "X", "/d", "1", "/f", "/reg:64")[0] != 0
                and policy.get("X") is None, "a standard user cannot write the policy key")
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
    # The settings key's 1 % never releases; the policy's 99 % does.
    for name, value in (("MemoryMaintain", 1), ("ExecutePeriod", 1), ("ProcessorLimit", 0),
                        ("BatteryCheck", 0), ("FullScreenCheck", 0), ("LoadNimbello", 1)):
        settings.set(name, "REG_DWORD", value)
    policy.set("MemoryMaintain", "REG_DWORD", 99)
    w.wait_for_uptime()
    log.clear()
    w.wine("sc", "start", w.SERVICE_NAME, check_rc=True)
    got = log.wait(1, 30)
    first = "NimbelloDefrag.exe " + w.release_chunks(3, w.host_memory())[0]
    w.check(got[:1] == [first], "the policy's MemoryMaintain 99 %% makes the service release, "
            "with the policy's MemoryFree: %r" % got)
    w.service_control("stop", "wait", "stopped", "10000")
    policy.delete("MemoryMaintain")


def main_window():
    form = w.start(w.INSTALLED + "\\Nimbello.exe")
    try:
        w.probe.wait_found("TNBMainForm", 30000)
        free, period = IDS["IDC_FREEEDIT"], IDS["IDC_PERIODEDIT"]
        shown = w.drive_main_form("text", free, "enabled", free, "enabled", period, "text",
                                  IDS["IDC_POLICYNOTE"]).splitlines()
        w.check(shown == ["3", "0", "1", "Some settings are set by your administrator."],
                "the policy's MemoryFree shows in a disabled box, with the line beneath: %r" % shown)
        w.drive_main_form("type", free, "40", "type", period, "7", "post", IDS["IDC_APPLY"])
        w.wait_until(lambda: settings.dword("ExecutePeriod") == 7, 10)
        stored = (settings.dword("ExecutePeriod"), settings.dword("MemoryFree"))
        w.check(stored == (7, 50), "Apply writes the edit, not the policy's value: %r" % (stored,))
    finally:
        w.probe.close("TNBMainForm")
        w.wait_exit(form, 20)
        w.stop(form)


def body():
    w.install_silently()
    w.service_control("stop", "wait", "stopped", "10000")
    shutil.copy(w.helper("StandInWorker"), os.path.join(FOLDER, "NimbelloDefrag.exe"))
    applet()
    service()
    main_window()


def clean():
    w.probe.close("TNBMainForm")
    w.wine("reg", "delete", policy.key, "/f", "/reg:64")
    w.remove_service()
    w.run_uninstaller()


w.finish(body, clean)
