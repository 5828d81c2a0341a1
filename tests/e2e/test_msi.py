"""End-to-end test of the Windows Installer package under Wine: a silent install registers the
service as "NimbelloService.exe /install" does and starts it; a rebuilt package upgrades over it
and keeps the settings; a silent uninstall leaves nothing; over an install by the NSIS installer
the package refuses and changes nothing.

The package holds the shipped 32-bit programs, so this needs 32-bit Wine; elsewhere the test is
skipped (exit code 77). The service is removed at the end, also after a failure.
"""
import filecmp
import getpass
import os
import re
import shutil
import subprocess
import sys

import winharness as w

SKIPPED = 77
X86 = os.path.join(w.SOURCE, "build", "mingw-x86")
PACKAGE = os.path.join(X86, "package", "Nimbello-6.0.0.0.msi")
NSIS_INSTALLER = os.path.join(X86, "package", "Nimbello-6.0.0.0-win32.exe")
STAGE = os.path.join(X86, "_CPack_Packages", "win32", "NSIS", "Nimbello-6.0.0.0-win32")
WIN_FOLDER = r"C:\Program Files (x86)\Nimbello"
DRIVE_C = os.path.join(w.ENV["WINEPREFIX"], "drive_c")
FOLDER = os.path.join(DRIVE_C, *WIN_FOLDER[3:].split("\\"))
# Wine's installer puts a per-machine package's shortcuts in the user's menu, Windows in the
# common one: either counts, and neither may stay.
START_MENUS = [os.path.join(DRIVE_C, *p.split("/"), "Microsoft", "Windows", "Start Menu",
                            "Programs", "Nimbello")
               for p in ("ProgramData", "users/%s/AppData/Roaming" % getpass.getuser())]
ENV = w.INSTALLER_ENV
UNINSTALL = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall"
run_key = w.Registry(r"HKLM\Software\Microsoft\Windows\CurrentVersion\Run")
event_source = w.Registry(r"HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\Nimbello")
nsis_entry = w.Registry(UNINSTALL + r"\NimbelloSetup")
settings = w.Registry()
last_release = w.Registry(w.SETTINGS + r"\LastRelease")
KEPT = [(settings, "MemoryFree", "REG_DWORD", 55, "0x37"),
        (settings, "BarColor", "REG_SZ", "clRed", "clRed"),
        (last_release, "Requested", "REG_DWORD", 410, "0x19a"),
        (settings, "Language", "REG_SZ", "french", "french")]
SCRATCH = []


def scratch(prefix):
    """A folder for this run's packages and programs, removed at the end."""
    SCRATCH.append(w.scratch(prefix))
    return SCRATCH[-1]


def msiexec(action, package):
    return w.wine("msiexec", action, w.win_path(package), "/qn", timeout=180, env=ENV)[0]


def table(package, name):
    """Rows of one table of a package, as lists of columns, without msiinfo's three header lines."""
    out = subprocess.run(["msiinfo", "export", package, name], capture_output=True, text=True,
                         timeout=30).stdout
    return [line.split("\t") for line in out.splitlines()[3:]]


def product_code(package):
    return dict(r[:2] for r in table(package, "Property"))["ProductCode"]


def registration():
    """The service's registration as ServiceControl prints it."""
    return dict(l.split("=", 1) for l in w.service_control("config")[1].splitlines() if "=" in l)


def registered_by_program():
    """What "NimbelloService.exe /install" registers in each language, from a folder of the
    shipped programs."""
    folder = w.stage("msi-reference", ["NimbelloService"], worker=None)
    references = {}
    for language in ("english", "french"):
        settings.set("Language", "REG_SZ", language)
        w.wine(os.path.join(folder, "NimbelloService.exe"), "/install", "/silent", check_rc=True)
        references[language] = registration()
        references[language].pop("path", None)
        w.remove_service()
    settings.delete("Language")
    w.check([r.get("display") for r in references.values()] ==
            ["Nimbello Memory Service", "Nimbello Service Mémoire"], "reference registrations: %r"
            % references)
    return references


def check_installed(what, reference):
    staged = sorted(f for f in os.listdir(STAGE) if f != "x64")
    # This prefix is 64-bit Windows: the native worker is the one installed.
    source = {"NimbelloDefrag.exe": os.path.join("x64", "NimbelloDefrag.exe")}
    w.check(len(staged) >= 4 and all(filecmp.cmp(os.path.join(FOLDER, f), os.path.join(
        STAGE, source.get(f, f)), shallow=False) for f in staged)
            and not os.path.exists(os.path.join(FOLDER, "x64")),
            "%s: the NSIS installer's files %s, the 64-bit worker" % (what, staged))
    registered = registration()
    path = registered.pop("path", "")
    w.check(registered == reference, "%s: service registered as /install does: %r" %
            (what, registered))
    w.check(path.strip('"') == WIN_FOLDER + r"\NimbelloService.exe", "%s: service at %s" % (what,
                                                                                         path))
    w.check("running" in w.service_control("query")[1], what + ": service running")
    w.check(run_key.get("Nimbello") == ("REG_SZ", '"%s\\NimbelloTray.exe" /start' % WIN_FOLDER),
            "%s: Run value %r" % (what, run_key.get("Nimbello")))
    w.check(event_source.get("EventMessageFile") == ("REG_EXPAND_SZ", WIN_FOLDER +
                                                     r"\NimbelloService.exe")
            and event_source.dword("TypesSupported") == 7, what + ": event source")
    w.check(any(os.path.exists(os.path.join(m, "Nimbello.lnk")) for m in START_MENUS),
            what + ": Start-menu entry")
    for key in (w.SETTINGS, w.SETTINGS + r"\LastRelease"):
        w.check(w.wine("reg", "query", key, "/reg:32")[0] == 0, "%s: %s exists" % (what, key))


def check_permissions_table():
    """Wine's installer applies no permissions table, so the rows are checked in the package: each
    names an object the package creates, the keys let Users set values and nothing more, and the
    older LockPermissions table is absent (with both, Windows fails with error 1941)."""
    locks = {r[1]: (r[2], r[3]) for r in table(PACKAGE, "MsiLockPermissionsEx")}
    keys = {r[0]: r[2] for r in table(PACKAGE, "Registry") if r[3] == "+"}
    folders = {r[0] for r in table(PACKAGE, "CreateFolder")}
    w.check(set(locks) == {"INSTALLFOLDER", "SettingsKey", "LastReleaseKey"}, "locked: %r" % locks)
    for row, (kind, sddl) in locks.items():
        known = row in folders if kind == "CreateFolder" else kind == "Registry" and row in keys
        w.check(known, "the lock of %s names a %s row of the package" % (row, kind))
        users = re.findall(r"\(A;[^;]*;([^;]*);;;BU\)", sddl)
        expected = ["0x1200a9"] if kind == "CreateFolder" else ["0x2", "KR"]
        w.check(users == expected, "%s: Users get %r" % (row, users))
    w.check(keys.get("SettingsKey") == w.SETTINGS[5:] and
            keys.get("LastReleaseKey") == w.SETTINGS[5:] + r"\LastRelease",
            "locked keys: %r" % keys)
    w.check(not table(PACKAGE, "LockPermissions"), "no LockPermissions table beside it")


def fresh_install(reference):
    # A folder outside Program Files, which the package cannot judge: refused before any write.
    elsewhere = os.path.join(w.ENV["WINEPREFIX"], "drive_c", "NimbelloMsiElsewhere")
    rc = w.wine("msiexec", "/i", w.win_path(PACKAGE), "/qn",
                "INSTALLFOLDER=" + w.win_path(elsewhere), timeout=180, env=ENV)[0]
    w.check(rc == 1603 % 256 and not os.path.exists(elsewhere),
            "INSTALLFOLDER outside Program Files: 1603 (%d, its low 8 bits), nothing made" % rc)
    w.check(msiexec("/i", PACKAGE) == 0, "install exits with 0")
    check_installed("install", reference)
    check_permissions_table()


def rebuilt():
    """The same programs packaged again: a new product code, the same upgrade code."""
    newer = os.path.join(scratch("msi-"), "Nimbello-6.0.0.0.msi")
    subprocess.run(["cmake", "-DSTAGE=" + STAGE, "-DVERSION=6.0.0.0", "-DHOST=www.veltra.com",
                    "-DOUTPUT=" + newer, "-P",
                    os.path.join(w.SOURCE, "cmake", "BuildMsi.cmake")], check=True, timeout=120)
    return newer


def products(*packages):
    return {product_code(p): w.Registry(UNINSTALL + "\\" + product_code(p)).get("DisplayName")
            for p in packages}


def upgrade(reference):
    newer = rebuilt()
    old, new = product_code(PACKAGE), product_code(newer)
    w.check(old != new, "the rebuilt package is another product: %s, %s" % (old, new))
    w.check(msiexec("/i", newer) == 0, "upgrade exits with 0")
    check_installed("upgrade", reference)
    w.check(products(PACKAGE, newer) == {old: None, new: ("REG_SZ", "Nimbello")},
            "the upgrade removed the old product: %r" % products(PACKAGE, newer))
    return newer


def upgrade_keeps_settings(installed, references):
    """Windows removes the old product with UPGRADINGPRODUCTCODE set to the new one, which keeps
    the settings; Wine's installer removes it as a plain uninstall, which does not. So the test
    takes the two steps of a Windows upgrade itself: that removal, then the new package."""
    for key, name, kind, data, _ in KEPT:
        key.set(name, kind, data)
    newer = rebuilt()
    rc = w.wine("msiexec", "/x", w.win_path(installed), "/qn",
                "UPGRADINGPRODUCTCODE=" + product_code(newer), timeout=180, env=ENV)[0]
    w.check(rc == 0 and not w.service_exists() and not os.path.exists(FOLDER),
            "the old product's removal in an upgrade exits with 0, service and files gone")
    w.check(msiexec("/i", newer) == 0, "the new package installs")
    check_installed("upgrade keeping settings, in French", references["french"])
    for key, name, kind, _, shown in KEPT:
        w.check(key.get(name) == (kind, shown), "upgrade kept %s" % name)
    return newer


def leftovers():
    found = {"folder": os.path.exists(FOLDER), "service": w.service_exists(),
             "Run value": run_key.get("Nimbello"),
             "event source": event_source.get("TypesSupported"),
             "settings key": w.wine("reg", "query", w.SETTINGS, "/reg:32")[0] == 0,
             "64-bit settings key": w.wine("reg", "query", w.SETTINGS, "/reg:64")[0] == 0,
             "Start-menu folder": any(os.path.exists(m) for m in START_MENUS),
             "processes": w._processes_named(WIN_FOLDER)}
    return [what for what, present in found.items() if present]


def uninstall(package):
    applet = w.start(WIN_FOLDER + r"\NimbelloTray.exe")
    w.probe.wait_found("TNBTrayForm")
    # The previous template wrote the 64-bit view too.
    w.Registry(view=64).set("MemoryMaintain", "REG_DWORD", 25)
    w.check(msiexec("/x", package) == 0, "uninstall exits with 0")
    w.check(w.wait_exit(applet, 10) is not None, "uninstall ended the running applet")
    w.check(not leftovers(), "uninstall left nothing: %r" % leftovers())


def over_nsis():
    """The NSIS installer's install stays as it was: the package refuses before touching it."""
    w.check(w.wine(NSIS_INSTALLER, "/S", timeout=120, env=ENV)[0] == 0, "NSIS install exits with 0")
    before = (sorted(os.listdir(FOLDER)), w.service_control("config")[1])
    rc = msiexec("/i", PACKAGE)
    # 1603, fatal error; a Unix exit status keeps its low 8 bits. (Wine's log leaves out the
    # launch condition's message, so only the code is checked.)
    w.check(rc == 1603 % 256, "the package over an NSIS install fails with 1603: %d" % rc)
    w.check((sorted(os.listdir(FOLDER)), w.service_control("config")[1]) == before and
            nsis_entry.get("DisplayName") == ("REG_SZ", "Nimbello") and
            "running" in w.service_control("query")[1],
            "the NSIS install is untouched, its service running")
    w.check(products(PACKAGE) == {product_code(PACKAGE): None}, "the package is not registered")


def nsis_guard():
    """The NSIS installer's refusal over the package (packaging/MsiGuard.nsh), in an installer that
    holds only that step: exit code 10 while the package is installed, else 0."""
    if not hasattr(nsis_guard, "program"):
        folder = scratch("msiguard-")
        with open(os.path.join(folder, "guard.nsi"), "w") as f:
            f.write("Unicode true\nTarget x86-unicode\nOutFile guard.exe\nSilentInstall silent\n"
                    "!include LogicLib.nsh\n"
                    "!macro NimbelloFail LEVEL TEXT\n  SetErrorLevel ${LEVEL}\n  Quit\n!macroend\n"
                    '!include "%s"\nSection\n  !insertmacro NimbelloRefuseOverMsi\nSectionEnd\n'
                    % os.path.join(w.SOURCE, "packaging", "MsiGuard.nsh"))
        subprocess.run(["makensis", "-V2", "guard.nsi"], cwd=folder, check=True, timeout=120)
        nsis_guard.program = os.path.join(folder, "guard.exe")
    return w.wine(nsis_guard.program, timeout=60)[0]


def clean():
    w.probe.close("TNBTrayForm")
    # A package left installed by a run that broke off goes first, through its own uninstall.
    listed = w.wine("reg", "query", UNINSTALL, "/reg:32")[1]
    for code in set(re.findall(r"\{[0-9A-F-]{36}\}", listed)):
        if w.Registry(UNINSTALL + "\\" + code).get("DisplayName") == ("REG_SZ", "Nimbello"):
            w.wine("msiexec", "/x", code, "/qn", timeout=180, env=ENV)
    w.remove_service()
    if os.path.exists(os.path.join(FOLDER, "Uninstall.exe")):
        copy = os.path.join(scratch("uninstall-"), "Uninstall.exe")
        shutil.copy(os.path.join(FOLDER, "Uninstall.exe"), copy)
        w.wine(copy, "/S", *("_?=" + WIN_FOLDER).split(" "), timeout=120, env=ENV)
    run_key.delete("Nimbello")
    for key in (nsis_entry, settings, event_source):
        key.delete_key()
    for folder in [FOLDER] + START_MENUS + SCRATCH:
        shutil.rmtree(folder, ignore_errors=True)


def body():
    for needed in (PACKAGE, NSIS_INSTALLER, STAGE):
        if not os.path.exists(needed):
            raise w.SetupError("no %s: run cpack in build/mingw-x86 first" % needed)
    clean()
    references = registered_by_program()
    print("--- fresh_install", flush=True)
    fresh_install(references["english"])
    w.check(nsis_guard() == 10, "the NSIS installer's guard refuses over the package: exit code 10")
    print("--- upgrade", flush=True)
    newer = upgrade(references["english"])
    print("--- upgrade_keeps_settings", flush=True)
    newest = upgrade_keeps_settings(newer, references)
    print("--- uninstall", flush=True)
    uninstall(newest)
    w.check(nsis_guard() == 0, "the guard lets the NSIS installer go on once the package is gone")
    print("--- over_nsis", flush=True)
    over_nsis()


if w.SHIPPED_BIN == w.HELPER_BIN:
    print("skipped: the package holds 32-bit programs, and 32-bit Wine does not run here")
    sys.exit(SKIPPED)
w.finish(body, clean)
