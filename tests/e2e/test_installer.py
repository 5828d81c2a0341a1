"""End-to-end test of the Windows installer under Wine: a fresh silent install; upgrades over a
running applet and service that keep the settings and bring the applet back, one during a release
in progress, one whose service cannot be registered and that puts the old install back, one into
another folder and one after it that stays there; a silent uninstall that leaves nothing in either
registry view; and installs that must fail (a folder that cannot be written, a service that cannot
be registered) with their exit codes within a bound.

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
INSTALLER = w.INSTALLER
VIEW = 32 if SHIPPED else 64  # the installer's own entries, in the view natural to its bitness
WIN_FOLDER = w.INSTALLED
DRIVE_C = os.path.join(w.ENV["WINEPREFIX"], "drive_c")
OTHER_WIN_FOLDER = r"C:\Apps\Nimbello Elsewhere"


def unix_folder(win_folder):
    return os.path.join(DRIVE_C, *win_folder[3:].split("\\"))


FOLDER, OTHER_FOLDER = unix_folder(WIN_FOLDER), unix_folder(OTHER_WIN_FOLDER)
START_MENU = os.path.join(DRIVE_C, "ProgramData", "Microsoft", "Windows", "Start Menu", "Programs",
                          "Nimbello")
PROGRAMS = [p for p in ("NimbelloService", "NimbelloTray", "NimbelloDefrag", "Nimbello",
                        "NimbelloUpdate")
            if os.path.exists(w.shipped(p))]
ENV = w.INSTALLER_ENV
BLOCKER = "NimbelloBlocker"
run_key = w.Registry(r"HKLM\Software\Microsoft\Windows\CurrentVersion\Run", VIEW)
entry = w.Registry(r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\NimbelloSetup", VIEW)
settings = w.Registry()
KEPT = [("MemoryFree", "REG_DWORD", 55, "0x37"), ("BarColor", "REG_SZ", "clRed", "clRed")]


install = w.run_installer


# Everything an install creates under HKLM besides the Run value, looked for in both views.
KEYS = [w.SETTINGS, w.SETTINGS + r"\LastRelease", r"HKLM\Software\VELTRA\NimbelloSetup", entry.key,
        r"HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\Nimbello"]
# The service releases on every tick, into the real worker, which takes seconds per chunk.
RELEASING = [("MemoryMaintain", 100), ("ProcessorLimit", 0), ("ExecutePeriod", 0)]


def uninstall(win_folder=WIN_FOLDER):
    """The uninstaller's exit code, from a copy given _?=, which runs in place and waits."""
    copy = os.path.join(w.scratch("uninstall-"), "Uninstall.exe")
    shutil.copy(os.path.join(unix_folder(win_folder), "Uninstall.exe"), copy)
    return w.wine(copy, "/S", *("_?=" + win_folder).split(" "), timeout=120, env=ENV)[0]


def key_exists(key, view):
    return w.wine("reg", "query", key, "/reg:%d" % view)[0] == 0


def applet_back(what, win_folder=WIN_FOLDER):
    running = lambda: w.probe.found("TNBTrayForm") and w._processes_named(
        win_folder + "\\NimbelloTray.exe")
    w.check(w.wait_until(running, 10, 0.5), what + ": the applet window is there again")


def start_applet():
    process = w.start(WIN_FOLDER + r"\NimbelloTray.exe")
    w.probe.wait_found("TNBTrayForm")
    return process


def users_aces():
    """Rights of the explicit ACEs that allow Users on the settings key, from its DACL."""
    rc, out, _ = w.wine(w.helper("KeySecurity"), r"Software\VELTRA\Nimbello", "32")
    return re.findall(r"\(A;;([^;]*);;;BU\)", out) if rc == 0 else None


def built(program):
    """The build's file that the installer puts in place."""
    return w.installed_worker() if program == "NimbelloDefrag" else w.shipped(program)


def service_config():
    return dict(l.split("=", 1) for l in w.service_control("config")[1].splitlines() if "=" in l)


def check_service(what, win_folder=WIN_FOLDER):
    config = service_config()
    w.check(config.get("path") == '"%s\\NimbelloService.exe"' % win_folder and config.get("start")
            == "2", "%s: service at %s, start %s" % (what, config.get("path"), config.get("start")))
    w.check("running" in w.service_control("query")[1], what + ": service running")


def check_installed(what, win_folder=WIN_FOLDER):
    folder = unix_folder(win_folder)
    w.check(len(PROGRAMS) >= 2 and all(filecmp.cmp(os.path.join(folder, p + ".exe"), built(p),
                                                   shallow=False) for p in PROGRAMS)
            and not os.path.exists(os.path.join(folder, "x64")),
            "%s: files identical to the build's %s, no x64 folder left" % (what, PROGRAMS))
    help_file = os.path.join(folder, "Nimbello.chm")
    w.check(os.path.exists(help_file) and filecmp.cmp(help_file, os.path.join(
        w.SHIPPED_BIN, "Nimbello.chm"), shallow=False) and os.path.exists(os.path.join(
            START_MENU, "Nimbello Help.lnk")), "%s: the help file and its Start-menu entry" % what)
    check_service(what, win_folder)
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
    applet_back("silent upgrade")
    check_kept("upgrade")


def check_kept(what):
    for name, kind, _, shown in KEPT:
        w.check(settings.get(name) == (kind, shown), "%s kept %s" % (what, name))


def upgrade_during_release():
    for name, value in RELEASING:
        settings.set(name, "REG_DWORD", value)
    workers = lambda: [l for l in w._processes_named(WIN_FOLDER + r"\NimbelloDefrag.exe")
                       if not l.split()[1].startswith("Z")]
    w.wait_until(lambda: len(workers()) >= 2, 30, 0.5)
    seen = len(workers())
    code = install()
    settings.delete(*(name for name, _ in RELEASING))
    w.check(seen >= 2 and code == 0, "upgrade while %d workers run and more arrive: exit %d" % (
        seen, code))
    check_service("upgrade during a release")


def failed_upgrade_rolls_back():
    """The new service cannot be registered: its French display name is taken, the old service's
    English one is not. In the same folder and on a move, the old install comes back and runs."""
    old = {}
    for program in PROGRAMS:
        with open(os.path.join(FOLDER, program + ".exe"), "ab") as f:
            f.write(b"old")
        with open(os.path.join(FOLDER, program + ".exe"), "rb") as f:
            old[program] = f.read()
    settings.set("Language", "REG_SZ", "french")
    w.wine("sc", "create", BLOCKER, "binpath=", r"C:\windows\system32\notepad.exe", "displayname=",
           "Nimbello Service Mémoire", env={"LC_ALL": "C.UTF-8"}, check_rc=True)
    for what, args in [("upgrade", ()), ("move", ("/D=" + OTHER_WIN_FOLDER).split(" "))]:
        code = install(*args)
        w.check(code == 6, "a failed %s (the service cannot be registered): exit code 6 (%d)" % (
            what, code))
        check_service("after the failed %s, the old service" % what)
        w.check(service_config().get("display") == "Nimbello Memory Service",
                "the old service's registration: %r" % service_config().get("display"))
        state = {"old programs back": all(open(os.path.join(FOLDER, p + ".exe"), "rb").read()
                                          == old[p] for p in PROGRAMS),
                 "nothing set aside": not os.path.exists(os.path.join(FOLDER, "Previous")),
                 "no new folder": not os.path.exists(OTHER_FOLDER),
                 "entry": entry.get("InstallLocation") == ("REG_SZ", WIN_FOLDER)}
        w.check(all(state.values()), "after the failed %s: %r" % (what, state))
        applet_back("failed " + what)
    w.wine("sc", "delete", BLOCKER)
    settings.delete("Language")


def moved_install():
    """/D= names another folder: the old install goes first; a plain /S later stays there."""
    code = install(*("/D=" + OTHER_WIN_FOLDER).split(" "))
    w.check(code == 0 and not os.path.exists(FOLDER), "upgrade with /D= into another folder: exit "
            "%d, the old folder %s" % (code, "left" if os.path.exists(FOLDER) else "gone"))
    check_installed("upgrade with /D=", OTHER_WIN_FOLDER)
    code = install()
    w.check(code == 0 and not os.path.exists(FOLDER) and entry.get("InstallLocation") == (
        "REG_SZ", OTHER_WIN_FOLDER), "then plain /S: exit %d, one copy, in %s" % (
            code, entry.get("InstallLocation")))
    check_installed("plain /S after /D=", OTHER_WIN_FOLDER)
    check_kept("the moved install")


def leftovers(win_folder):
    found = {"folder": os.path.exists(unix_folder(win_folder)), "service": w.service_exists(),
             "Start-menu folder": os.path.exists(START_MENU),
             "processes": w._processes_named(win_folder)}
    for view in (32, 64):
        found["Run value (%d)" % view] = w.Registry(run_key.key, view).get("Nimbello")
        for key in KEYS:
            found["%s (%d)" % (key, view)] = key_exists(key, view)
    return [what for what, present in found.items() if present]


def silent_uninstall(win_folder=OTHER_WIN_FOLDER):
    # The worker's record, and a value that a 64-bit tool wrote where the programs never look.
    w.Registry(w.SETTINGS + r"\LastRelease").set("Requested", "REG_DWORD", 1)
    w.Registry(w.SETTINGS, 64).set("MemoryFree", "REG_DWORD", 1)
    w.check(key_exists(KEYS[-1], VIEW), "before the uninstall: the service's event source")
    w.check(w.probe.found("TNBTrayForm"), "before the uninstall: the applet")
    w.check(uninstall(win_folder) == 0, "silent uninstall exits with 0")
    w.check(not w.probe.found("TNBTrayForm"), "uninstall closed the applet")
    w.check(not leftovers(win_folder), "uninstall left nothing: %r" % leftovers(win_folder))


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
    for view in (32, 64):
        w.Registry(run_key.key, view).delete("Nimbello")
        for key in KEYS:
            w.Registry(key, view).delete_key()
    for folder in (FOLDER, OTHER_FOLDER, START_MENU):
        shutil.rmtree(folder, ignore_errors=True)


def body():
    if not os.path.exists(INSTALLER):
        raise w.SetupError("no installer %s: build it first" % INSTALLER)
    clean()
    for step in (fresh_install, upgrade, upgrade_during_release, failed_upgrade_rolls_back,
                 moved_install, silent_uninstall, failures):
        print("--- " + step.__name__, flush=True)
        step()


w.finish(body, clean)
