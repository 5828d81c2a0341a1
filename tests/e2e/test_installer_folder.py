"""The installer and a program folder that was there before it: made beforehand (as a user may,
under C:\\ or with /D=), writable by Everyone, holding a planted NimbelloDefrag.exe that Everyone may
write. After the silent install the worker is ours, and neither the folder nor the file lets
Everyone write any longer: each has the installer's protected DACL.

Wine keeps no file owners: every file and folder reads back as owned by the Wine user, the account
the installer runs as, and an owner set by a program does not stick. So the owner the installer
sets, and its refusal of a folder that another user owns (exit code 9), cannot be seen here; the
same owner rule is the service's install check, whose decision the unit tests judge with fakes.
Wine shows a DACL as the file's mode bits: "Everyone may write" reads back as 0x1301ff.
"""
import filecmp
import os
import re
import shutil
import stat

import winharness as w

SHIPPED = w.SHIPPED_BIN != w.HELPER_BIN
INSTALLER = (os.path.join(w.SOURCE, "build", "mingw-x86", "package", "Nimbello-6.0.0.0-win32.exe")
             if SHIPPED else os.path.join(w.BUILD, "package", "Nimbello-6.0.0.0-win64-test.exe"))
VIEW = 32 if SHIPPED else 64
WIN_FOLDER = r"C:\NimbelloPlanted"
FOLDER = os.path.join(w.ENV["WINEPREFIX"], "drive_c", "NimbelloPlanted")
WORKER = os.path.join(FOLDER, "NimbelloDefrag.exe")
ENV = {"WINEDLLOVERRIDES": w.ENV["WINEDLLOVERRIDES"].rstrip("=") + ",winemenubuilder.exe="}
run_key = w.Registry(r"HKLM\Software\Microsoft\Windows\CurrentVersion\Run", VIEW)
entry = w.Registry(r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\NimbelloSetup", VIEW)
START_MENU = os.path.join(w.ENV["WINEPREFIX"], "drive_c", "ProgramData", "Microsoft", "Windows",
                          "Start Menu", "Programs", "Nimbello")


def security(path):
    rc, out, _ = w.wine(w.helper("FileSecurity"), path)
    return out.strip() if rc == 0 else None


def everyone_writes(sddl):
    """Whether an entry allows Everyone a right beyond read and execute (0x1200a9)."""
    return any(int(mask, 16) & ~0x1200a9 for mask in re.findall(r"\(A;[^;]*;0x([0-9a-f]+);;;WD\)",
                                                              sddl or "", re.I))


def clean():
    w.remove_service()
    run_key.delete("Nimbello")
    for key in (entry, w.Registry()):
        key.delete_key()
    for folder in (FOLDER, START_MENU):
        shutil.rmtree(folder, ignore_errors=True)


def main():
    if not os.path.exists(INSTALLER):
        raise w.SetupError("no installer %s: build it first" % INSTALLER)
    clean()
    os.makedirs(FOLDER)
    with open(WORKER, "wb") as f:
        f.write(b"MZ planted by a user")
    everyone_rw = stat.S_IRWXU | stat.S_IRGRP | stat.S_IWGRP | stat.S_IROTH | stat.S_IWOTH
    os.chmod(WORKER, everyone_rw)
    os.chmod(FOLDER, 0o777)
    before = (security(WIN_FOLDER), security(WIN_FOLDER + r"\NimbelloDefrag.exe"))
    if not all(everyone_writes(s) for s in before):
        raise w.SetupError("the planted folder and file do not show Everyone's write: %r" % (before,))

    rc = w.wine(INSTALLER, "/S", "/D=" + WIN_FOLDER, timeout=120, env=ENV)[0]
    w.check(rc == 0, "install into the folder made beforehand exits with 0 (%d)" % rc)
    w.check(filecmp.cmp(WORKER, w.shipped("NimbelloDefrag"), shallow=False),
            "the planted NimbelloDefrag.exe was replaced by the product's")
    after = {name: security(WIN_FOLDER + name) for name in ("", r"\NimbelloDefrag.exe",
                                                            r"\NimbelloService.exe")}
    print("before: %r\nafter: %r" % (before, after), flush=True)
    for name, sddl in after.items():
        w.check(sddl is not None and not everyone_writes(sddl),
                "%s: Everyone may no longer write (%s)" % (name or "the folder", sddl))
    w.check("running" in w.service_control("query")[1], "the service runs from that folder")


w.finish(main, clean)
