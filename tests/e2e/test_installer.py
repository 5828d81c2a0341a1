"""End-to-end test of the Windows installer under Wine: a fresh silent install, an upgrade over a
running applet and service that keeps the settings, a silent uninstall that leaves nothing, and
installs that must fail (a folder that cannot be written, a service that cannot be registered)
with their exit codes within a bound.

Where 32-bit programs run this is the shipped 32-bit installer; elsewhere it is the amd64 build of
the same install script with the x86_64 programs (build/mingw-x64/package). The service is removed
at the end, also after a failure: Wine starts automatic-start services with every session.
"""
import filecmp
import os
import re
import shutil

import winharness as w

SHIPPED = w.SHIPPED_BIN != w.HELPER_BIN
INSTALLER = (os.path.join(w.SOURCE, "build", "mingw-x86", "package", "Nimbello-6.0.0.0-win32.exe")
             if SHIPPED else os.path.join(w.BUILD, "package", "Nimbello-6.0.0.0-win64-test.exe"))
VIEW = 32 if SHIPPED else 64  # the installer's own entries, in the view natural to its bitness
WIN_FOLDER = r"C:\Program Files (x86)\Nimbello" if SHIPPED else r"C:\Program Files\Nimbello"
DRIVE_C = os.path.join(w.ENV["WINEPREFIX"], "drive_c")
FOLDER = os.path.join(DRIVE_C, *WIN_FOLDER[3:].split("\\"))
START_MENU = os.path.join(DRIVE_C, "ProgramData", "Microsoft", "Windows", "Start Menu", "Programs",
                          "Nimbello")
PROGRAMS = [p for p in ("NimbelloService", "NimbelloTray", "NimbelloDefrag", "Nimbello",
                        "NimbelloUpdate")
            if os.path.exists(w.shipped(p))]
# Shortcuts make no menu entries on the Linux desktop.
ENV = {"WINEDLLOVERRIDES": w.ENV["WINEDLLOVERRIDES"].rstrip("=") + ",winemenubuilder.exe="}
BLOCKER = "NimbelloBlocker"
run_key = w.Registry(r"HKLM\Software\Microsoft\Windows\CurrentVersion\Run", VIEW)
entry = w.Registry(r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\NimbelloSetup", VIEW)
settings = w.Registry()
KEPT = [("MemoryFree", "REG_DWORD", 55, "0x37"), ("BarColor", "REG_SZ", "clRed", "clRed")]


def install(*args):
    return w.wine(INSTALLER, "/S", *args, timeout=120, env=ENV)[0]


def uninstall():
    """The uninstaller's exit code, from a copy given _?=, which runs in place and waits."""
    copy = os.path.join(w.scratch("uninstall-"), "Uninstall.exe")
    shutil.copy(os.path.join(FOLDER, "Uninstall.exe"), copy)
    return w.wine(copy, "/S", *("_?=" + WIN_FOLDER).split(" "), timeout=120, env=ENV)[0]


def start_applet():
    process = w.start(WIN_FOLDER + r"\NimbelloTray.exe")
    w.probe.wait_found("TNBTrayForm")
    return process


def users_aces():
    """Rights of the explicit ACEs that allow Users on the settings key, from its DACL."""
    rc, out, _ = w.wine(w.helper("KeySecurity"), r"Software\VELTRA\Nimbello", "32")
    return re.findall(r"\(A;;([^;]*);;;BU\)", out) if rc == 0 else None


def built(program):
    """The build's file that the installer puts in place: on this 64-bit prefix the shipped
    installer installs the x86_64 release worker."""
    if SHIPPED and program == "NimbelloDefrag":
        return os.path.join(w.SOURCE, "build", "mingw-x86", "worker64", "bin", program + ".exe")
    return w.shipped(program)


def check_installed(what):
    w.check(len(PROGRAMS) >= 2 and all(filecmp.cmp(os.path.join(FOLDER, p + ".exe"), built(p),
                                                   shallow=False) for p in PROGRAMS)
            and not os.path.exists(os.path.join(FOLDER, "x64")),
            "%s: files identical to the build's %s, no x64 folder left" % (what, PROGRAMS))
    help_file = os.path.join(FOLDER, "Nimbello.chm")
    w.check(os.path.exists(help_file) and filecmp.cmp(help_file, os.path.join(
        w.SHIPPED_BIN, "Nimbello.chm"), shallow=False) and os.path.exists(os.path.join(
            START_MENU, "Nimbello Help.lnk")), "%s: the help file and its Start-menu entry" % what)
    config = dict(l.split("=", 1) for l in w.service_control("config")[1].splitlines() if "=" in l)
    w.check(config.get("path") == '"%s\\NimbelloService.exe"' % WIN_FOLDER and config.get("start")
            == "2", "%s: service at %s, start %s" % (what, config.get("path"), config.get("start")))
    w.check("running" in w.service_control("query")[1], what + ": service running")
    w.check(users_aces() == ["DC"], "%s: Users may set values, nothing more: %r" % (what, users_aces()))


def fresh_install():
    w.check(install() == 0, "fresh install exits with 0")
    check_installed("fresh install")
    w.check(run_key.get("Nimbello") == ("REG_SZ", '"%s\\NimbelloTray.exe" /start' % WIN_FOLDER),
            "Run value: %r" % (run_key.get("Nimbello"),))
    expected = {"DisplayName": "Nimbello", "DisplayVersion": "6.0.0.0", "Publisher": "VELTRA",
                "UninstallString": '"%s\\Uninstall.exe"' % WIN_FOLDER,
                "QuietUninstallString": '"%s\\Uninstall.exe" /S' % WIN_FOLDER}
    for name, value in expected.items():
        w.check(entry.get(name) == ("REG_SZ", value), "uninstall entry %s: %r" % (name,
                                                                            entry.get(name)))


def upgrade():
    for name, kind, data, _ in KEPT:
        settings.set(name, kind, data)
    applet = start_applet()
    for program in PROGRAMS:  # changed behind Wine's back while running: the upgrade replaces them
        with open(os.path.join(FOLDER, program + ".exe"), "ab") as f:
            f.write(b"stale")
    w.check(install() == 0, "upgrade over a running applet and service exits with 0")
    w.check(w.wait_exit(applet, 10) is not None, "upgrade closed the applet")
    check_installed("upgrade")
    for name, kind, _, shown in KEPT:
        w.check(settings.get(name) == (kind, shown), "upgrade kept %s" % name)


def leftovers():
    found = {"folder": os.path.exists(FOLDER), "service": w.service_exists(),
             "Run value": run_key.get("Nimbello"), "uninstall entry": entry.get("DisplayName"),
             "settings key": w.wine("reg", "query", w.SETTINGS, "/reg:32")[0] == 0,
             "Start-menu folder": os.path.exists(START_MENU),
             "processes": w._processes_named(WIN_FOLDER)}
    return [what for what, present in found.items() if present]


def silent_uninstall():
    applet = start_applet()
    w.check(uninstall() == 0, "silent uninstall exits with 0")
    w.check(w.wait_exit(applet, 10) is not None, "uninstall closed the applet")
    w.check(not leftovers(), "uninstall left nothing: %r" % leftovers())


def failures():
    # /proc takes no new folder, even from root.
    w.check(install(r"/D=Z:\proc\Nimbello") == 4, "a folder that cannot be written: exit code 4")
    # Another service holds the display name: /install fails behind a dialog nobody answers.
    w.wine("sc", "create", BLOCKER, "binpath=", r"C:\windows\system32\notepad.exe", "displayname=",
           "Nimbello Memory Service", check_rc=True)
    w.check(install() == 6, "a service that cannot be registered: exit code 6")
    w.check(not w._processes_named(WIN_FOLDER), "no program of the failed install left running")
    w.wine("sc", "delete", BLOCKER)
    w.check(uninstall() == 0, "uninstalling the failed install, its service already gone: exit 0")


def clean():
    w.probe.close("TNBTrayForm")
    w.wine("sc", "delete", BLOCKER)
    w.remove_service()
    run_key.delete("Nimbello")
    for key in (entry, settings):
        key.delete_key()
    for folder in (FOLDER, START_MENU):
        shutil.rmtree(folder, ignore_errors=True)


def body():
    if not os.path.exists(INSTALLER):
        raise w.SetupError("no installer %s: build it first" % INSTALLER)
    clean()
    for step in (fresh_install, upgrade, silent_uninstall, failures):
        print("--- " + step.__name__, flush=True)
        step()


w.finish(body, clean)
