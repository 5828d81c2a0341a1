"""The installer and a program folder made beforehand (as a user may, under C:\ or with /D=),
writable by Everyone and holding a planted NimbelloDefrag.exe that Everyone may write: after the
silent install the worker is ours and neither the folder nor its files let Everyone write.
Wine keeps no file owners (every file is the Wine user's, the installer's own account) and shows a
DACL as mode bits, so the owner set and the refusal of a foreign owner (exit code 9) are not seen
here; the service's install check applies the same owner rule, judged by the unit tests' fakes.
"""
import filecmp
import os
import re
import shutil

import winharness as w

SHIPPED = w.SHIPPED_BIN != w.HELPER_BIN
VIEW = 32 if SHIPPED else 64
WIN_FOLDER = r"C:\NimbelloPlanted"
FOLDER = os.path.join(w.ENV["WINEPREFIX"], "drive_c", "NimbelloPlanted")
WORKER = os.path.join(FOLDER, "NimbelloDefrag.exe")
run_key = w.Registry(r"HKLM\Software\Microsoft\Windows\CurrentVersion\Run", VIEW)
entry = w.Registry(r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\NimbelloSetup", VIEW)
START_MENU = os.path.join(w.ENV["WINEPREFIX"], "drive_c", "ProgramData", "Microsoft", "Windows",
                          "Start Menu", "Programs", "Nimbello")


def security(path):
    rc, out, _ = w.wine(w.helper("FileSecurity"), path)
    return out.strip() if rc == 0 else None


def everyone_writes(sddl):  # a right beyond read and execute (0x1200a9)
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
    clean()
    os.makedirs(FOLDER)
    with open(WORKER, "wb") as f:
        f.write(b"MZ planted by a user")
    os.chmod(WORKER, 0o766)
    os.chmod(FOLDER, 0o777)
    before = (security(WIN_FOLDER), security(WIN_FOLDER + r"\NimbelloDefrag.exe"))
    if not all(everyone_writes(s) for s in before):
        raise w.SetupError("the planted folder and file do not show Everyone's write: %r" % (before,))

    rc = w.run_installer("/D=" + WIN_FOLDER)
    w.check(rc == 0, "install into the folder made beforehand exits with 0 (%d)" % rc)
    w.check(filecmp.cmp(WORKER, w.installed_worker(), shallow=False),
            "the planted NimbelloDefrag.exe was replaced by the product's")
    after = {name: security(WIN_FOLDER + name) for name in ("", r"\NimbelloDefrag.exe",
                                                            r"\NimbelloService.exe")}
    print("before: %r\nafter: %r" % (before, after), flush=True)
    for name, sddl in after.items():
        w.check(sddl is not None and not everyone_writes(sddl),
                "%s: Everyone may no longer write (%s)" % (name or "the folder", sddl))
    w.check("running" in w.service_control("query")[1], "the service runs from that folder")


w.finish(main, clean)
