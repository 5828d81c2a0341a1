"""The installer and a program folder made beforehand (as a user may, under C:\ or with /D=),
writable by Everyone and holding a planted NimbelloDefrag.exe that Everyone may write: after the
silent install the worker is ours and neither the folder nor its files let Everyone write. An
install that ends before the copy (a folder two levels down that cannot be made: exit code 4)
leaves no folder it made. With releases due on every tick, an installed worker that Everyone may
write (chmod o+w, which Wine shows as an Everyone write entry) makes the service start nothing, and
starts come again once it is mended.
Wine keeps no file owners (every file is the Wine user's, the installer's own account) and shows a
DACL as mode bits, so the owner set and the refusal of a foreign owner (exit code 9) are not seen
here; the service's install check applies the same owner rule, judged by the unit tests' fakes.
The service's event-log entries go to the Wine session's standard error, which the test session
discards: that one entry is logged per kind of refusal is shown by the unit tests.
"""
import filecmp
import os
import re
import shutil
import time

import winharness as w

SHIPPED = w.SHIPPED_BIN != w.HELPER_BIN
VIEW = 32 if SHIPPED else 64
WIN_FOLDER = r"C:\NimbelloPlanted"
FOLDER = os.path.join(w.ENV["WINEPREFIX"], "drive_c", "NimbelloPlanted")
WORKER = os.path.join(FOLDER, "NimbelloDefrag.exe")
run_key = w.Registry(r"HKLM\Software\Microsoft\Windows\CurrentVersion\Run", VIEW)
entry = w.Registry(r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\NimbelloSetup", VIEW)
MADE = os.path.join(w.ENV["WINEPREFIX"], "drive_c", "NimbelloMade")
RELEASING = {"MemoryMaintain": 100, "MemoryFree": 1, "ExecutePeriod": 0, "ProcessorLimit": 0}
settings = w.Registry()
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
    for folder in (FOLDER, START_MENU, MADE):
        shutil.rmtree(folder, ignore_errors=True)


def worker_starts(seconds, enough=None):
    """Workers seen, polled ten times a second, for seconds or until enough were seen."""
    seen, end = set(), time.monotonic() + seconds
    while time.monotonic() < end and (enough is None or len(seen) < enough):
        seen |= {line.split()[0] for line in w._processes_named("NimbelloDefrag.exe")
                 if not line.split()[1].startswith("Z")}
        time.sleep(0.1)
    return len(seen)


def exit_before_copy_leaves_no_folder():
    # The first folder is made, the one below it cannot be (a name longer than Windows allows).
    rc = w.run_installer("/D=C:\\NimbelloMade\\" + "n" * 300)
    w.check(rc == 4 and not os.path.exists(MADE),
            "a folder that cannot be made: exit code 4 (%d), and the folder made above it is gone "
            "(%s)" % (rc, os.path.exists(MADE)))


def writable_worker_starts_nothing():
    # Writable first, releases due only then: no start can come from before the change.
    mode = os.stat(WORKER).st_mode
    os.chmod(WORKER, mode | 0o002)
    sddl = security(WIN_FOLDER + r"\NimbelloDefrag.exe")
    if not everyone_writes(sddl):
        raise w.SetupError("chmod o+w does not show as Everyone's write: %r" % sddl)
    for name, value in RELEASING.items():
        settings.set(name, "REG_DWORD", value)
    w.wait_for_uptime()
    refused = worker_starts(35)
    os.chmod(WORKER, mode)
    mended = worker_starts(40, enough=1)
    print("worker starts: %d in 35 s while Everyone may write it, %d once mended" % (refused,
                                                                                   mended))
    w.check(refused == 0, "a worker that Everyone may write: no start in 35 s (%d)" % refused)
    w.check(mended >= 1, "mended: the service starts workers again")


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
    writable_worker_starts_nothing()
    clean()
    exit_before_copy_leaves_no_folder()


def cleanup():
    clean()
    settings.delete(*RELEASING)


w.finish(main, cleanup)
