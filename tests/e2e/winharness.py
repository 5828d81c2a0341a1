"""One Wine harness for the end-to-end scripts, the demo and the installer test.

The programs under test are the shipped 32-bit ones (build/mingw-x86/bin), run as WOW64 processes
in the 64-bit prefix of the mingw-x64 tree, as on 64-bit Windows. Helper programs (probes, the
stand-in worker, the service driver) come from the mingw-x64 tree. Settings are read and written
in a registry view said explicitly, never by whichever reg.exe happens to run.

Every step that can hang is bounded. A set-up step that fails raises SetupError, so a test never
judges stale state; check() records the verdicts and finish() prints them and sets the exit code.
"""
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
from fractions import Fraction

SOURCE = os.environ.get("NIMBELLO_SOURCE",
                        os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))))
BUILD = os.environ.get("NIMBELLO_BUILD", os.path.join(SOURCE, "build", "mingw-x64"))
WINE_RUN = os.environ.get("NIMBELLO_WINE_RUN", os.path.join(BUILD, "wine-run.sh"))
HELPER_BIN = os.environ.get("NIMBELLO_BIN", os.path.join(BUILD, "bin"))
# Empty where 32-bit Wine cannot run (a kernel without 32-bit support): the x86_64 build of the
# same programs stands in, and every script says so.
if "NIMBELLO_SHIPPED_BIN" in os.environ:
    SHIPPED_BIN = os.environ["NIMBELLO_SHIPPED_BIN"] or HELPER_BIN
elif subprocess.run([WINE_RUN, "--runs-32"], timeout=60).returncode == 0:
    SHIPPED_BIN = os.path.join(SOURCE, "build", "mingw-x86", "bin")
else:
    SHIPPED_BIN = HELPER_BIN
print("programs under test: %s (%s)" % (SHIPPED_BIN, "the shipped 32-bit build, as WOW64 processes"
      if SHIPPED_BIN != HELPER_BIN else "x86_64 build: 32-bit Wine does not run on this machine"),
      flush=True)

SETTINGS = r"HKLM\Software\VELTRA\Nimbello"
SERVICE_NAME = "Nimbello"


class SetupError(Exception):
    """A step the test relies on did not happen: the test fails instead of judging stale state."""


class Hung(Exception):
    """A program did not end within its bound."""


def _wine_env():
    env = dict(os.environ)
    out = subprocess.run([WINE_RUN, "--env"], capture_output=True, text=True, timeout=30).stdout
    for name, value in re.findall(r"(\w+)='([^']*)'", out):
        env[name] = value
    return env


ENV = _wine_env()


def win_path(path):
    """A Unix path as Wine's programs see it."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


# ---------------------------------------------------------------------------------------- verdicts
_passed = []
_failed = []


def check(condition, what):
    print(("ok   " if condition else "FAIL ") + what, flush=True)
    (_passed if condition else _failed).append(what)
    return bool(condition)


def finish(body, cleanup=None):
    """Runs body(); a step that raised fails the test; cleanup() runs in any case."""
    try:
        body()
    except Exception as e:  # a broken step fails the test, after cleaning up
        check(False, "step failed: %s: %s" % (type(e).__name__, e))
    finally:
        if cleanup:
            try:
                cleanup()
            except Exception as e:
                check(False, "clean-up failed: %s: %s" % (type(e).__name__, e))
    if _passed or _failed:  # the demo checks nothing unless a step breaks
        print("%d passed, %d failed" % (len(_passed), len(_failed)), flush=True)
    sys.exit(1 if _failed else 0)


# ---------------------------------------------------------------------------------------- programs
def shipped(name):
    return os.path.join(SHIPPED_BIN, name + ".exe")


def helper(name):
    return os.path.join(HELPER_BIN, name + ".exe")


def installed_worker():
    """The release worker an installer puts in place on this 64-bit prefix: the x86_64 build that
    the shipped tree makes for 64-bit Windows, beside the 32-bit programs."""
    if SHIPPED_BIN != HELPER_BIN:
        return os.path.join(SOURCE, "build", "mingw-x86", "worker64", "bin", "NimbelloDefrag.exe")
    return shipped("NimbelloDefrag")


def stage(name, shipped_programs=(), helpers=(), worker="standin"):
    """A fresh program folder under the build tree with the shipped programs and helpers in it.
    worker: "standin" puts the logging stand-in there as NimbelloDefrag.exe, "real" the worker an
    installer puts there, None nothing. name may contain blanks, as "Program Files" does."""
    folder = os.path.join(BUILD, "e2e", name)
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    for program in shipped_programs:
        if not os.path.exists(shipped(program)):
            raise SetupError("the shipped build has no %s: build the mingw-x86 tree first" % program)
        shutil.copy(shipped(program), folder)
    for program in helpers:
        shutil.copy(helper(program), folder)
    if worker == "standin":
        shutil.copy(helper("StandInWorker"), os.path.join(folder, "NimbelloDefrag.exe"))
    elif worker == "real":
        shutil.copy(installed_worker(), folder)
    return folder


def _in_this_prefix(pid):
    """Whether a host process runs in this tree's Wine prefix: other trees on the machine run
    programs of the same names in theirs, and a count or an end must never reach those."""
    try:
        with open("/proc/%s/environ" % pid, "rb") as f:
            entries = f.read().split(b"\0")
    except OSError:
        return False
    return ("WINEPREFIX=" + ENV["WINEPREFIX"]).encode() in entries


def _processes_named(exe_name):
    """Host processes of this prefix whose command line names exe_name: Wine runs each Windows
    process as one."""
    out = subprocess.run(["ps", "-eo", "pid,stat,etimes,args"], capture_output=True, text=True).stdout
    found = []
    for line in out.splitlines()[1:]:
        if (exe_name.lower() in line.lower() and "ps -eo" not in line
                and _in_this_prefix(line.split()[0])):
            found.append(line.strip())
    return found


def end_hung(exe_name):
    """Reports the state of every process of exe_name and ends them; returns the report."""
    report = _processes_named(exe_name)
    for line in report:
        try:
            os.kill(int(line.split()[0]), signal.SIGKILL)
        except (ProcessLookupError, ValueError):
            pass
    return report


def wine(*args, timeout=60, env=None, check_rc=False):
    """Runs one program under Wine and returns (exit code, stdout, stderr). A program that does not
    end within timeout raises Hung, after its processes were reported and ended."""
    merged = dict(ENV)
    if env:
        merged.update(env)
    p = subprocess.Popen([WINE_RUN, *args], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                         env=merged, start_new_session=True)
    try:
        out, err = p.communicate(timeout=timeout)
    except subprocess.TimeoutExpired:
        os.killpg(p.pid, signal.SIGKILL)
        p.communicate()
        report = end_hung(os.path.basename(args[0]))
        raise Hung("%s did not end within %s s; its processes: %s" % (" ".join(args), timeout,
                                                                     report or "none left"))
    out = out.decode("utf-8", "replace").replace("\r", "")
    err = err.decode("utf-8", "replace").replace("\r", "")
    if check_rc and p.returncode != 0:
        raise SetupError("%s exited with %d: %s" % (" ".join(args), p.returncode, err.strip()[-300:]))
    return p.returncode, out, err


def start(*args, env=None):
    """Starts a program under Wine without waiting; end it with stop()."""
    merged = dict(ENV)
    if env:
        merged.update(env)
    return subprocess.Popen([WINE_RUN, *args], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                            env=merged, start_new_session=True)


def wait_exit(process, timeout):
    """The exit code of a started program, or None when it did not end within timeout."""
    try:
        return process.wait(timeout=timeout)
    except subprocess.TimeoutExpired:
        return None


def stop(process):
    if process.poll() is None:
        os.killpg(process.pid, signal.SIGKILL)
        process.wait(timeout=10)


def wait_until(predicate, seconds, interval=0.1):
    """The first true value of predicate() within seconds, else its last value."""
    end = time.monotonic() + seconds
    while True:
        value = predicate()
        if value or time.monotonic() >= end:
            return value
        time.sleep(interval)


def host_uptime():
    with open("/proc/uptime") as f:
        return float(f.read().split()[0])


def wait_for_uptime(seconds=280, bound=330):
    """Wine's tick count is the host's uptime: the service releases only after five minutes."""
    while host_uptime() < seconds:
        if host_uptime() > bound:
            break
        print("waiting for the host's uptime (%.0f s) to pass %d s" % (host_uptime(), seconds),
              flush=True)
        time.sleep(5)


# ---------------------------------------------------------------------------------------- registry
class Registry:
    """One key in one registry view (32 or 64) through Wine's reg.exe. Sets and deletes that fail
    raise SetupError; a delete of a value that is not there is fine."""

    def __init__(self, key=SETTINGS, view=32):
        self.key, self.view = key, view

    def _reg(self, *args):
        return wine("reg", *args, "/reg:%d" % self.view, timeout=60)

    def set(self, name, kind, data):
        rc, _, err = self._reg("add", self.key, "/v", name, "/t", kind, "/d", str(data), "/f")
        if rc != 0:
            raise SetupError("reg add %s\\%s (view %d) failed: %s" % (self.key, name, self.view, err))

    def delete(self, *names):
        for name in names:
            self._reg("delete", self.key, "/v", name, "/f")
            if self.get(name) is not None:
                raise SetupError("reg delete %s\\%s (view %d) left the value" % (self.key, name,
                                                                                  self.view))

    def delete_key(self):
        self._reg("delete", self.key, "/f")
        rc, _, _ = self._reg("query", self.key)
        if rc == 0:
            raise SetupError("reg delete %s (view %d) left the key" % (self.key, self.view))

    def get(self, name):
        """(type, text) as reg query prints it, or None when the value is missing."""
        rc, out, _ = self._reg("query", self.key, "/v", name)
        if rc != 0:
            return None
        m = re.search(r"^\s*" + re.escape(name) + r"\s+(REG_\w+)\s*(.*?)\s*$", out, re.M)
        return (m.group(1), m.group(2)) if m else None

    def dword(self, name):
        value = self.get(name)
        return int(value[1], 16) if value and value[0] == "REG_DWORD" else None


# ----------------------------------------------------------------------------------- standard user
# The installer of the programs under test: the shipped 32-bit one, or the amd64 build of the same
# script where 32-bit programs do not run. Shortcuts make no menu entries on the Linux desktop.
INSTALLER = (os.path.join(SOURCE, "build", "mingw-x86", "package", "Nimbello-6.0.0.0-win32.exe")
             if SHIPPED_BIN != HELPER_BIN
             else os.path.join(BUILD, "package", "Nimbello-6.0.0.0-win64-test.exe"))
INSTALLED = (r"C:\Program Files (x86)\Nimbello" if SHIPPED_BIN != HELPER_BIN
             else r"C:\Program Files\Nimbello")
INSTALLER_ENV = {"WINEDLLOVERRIDES": ENV["WINEDLLOVERRIDES"].rstrip("=") + ",winemenubuilder.exe="}
# The keys the installer lets Users set values of, in the 32-bit view.
USERS_KEYS = (r"Software\VELTRA\Nimbello", r"Software\VELTRA\Nimbello\LastRelease")


def run_installer(*args):
    """The silent installer's exit code. It runs without pipes to wait on: under Wine an applet
    that it starts again keeps the installer's standard files open long after the installer ended."""
    if not os.path.exists(INSTALLER):
        raise SetupError("no installer %s: build it first" % INSTALLER)
    process = start(INSTALLER, "/S", *args, env=INSTALLER_ENV)
    code = wait_exit(process, 120)
    if code is None:
        stop(process)
        raise Hung("the installer did not end within 120 s; its processes: %s" % end_hung(
            os.path.basename(INSTALLER)))
    return code


def install_silently():
    """Installs with the real installer, silently; SetupError when it fails."""
    rc = run_installer()
    if rc != 0:
        raise SetupError("the installer exited with %d" % rc)


def run_uninstaller():
    """The uninstaller's exit code, from a copy given _?=, which runs in place and waits; None
    when nothing is installed."""
    program = os.path.join(ENV["WINEPREFIX"], "drive_c", *INSTALLED[3:].split("\\"),
                           "Uninstall.exe")
    if not os.path.exists(program):
        return None
    copy = os.path.join(scratch("uninstall-"), "Uninstall.exe")
    shutil.copy(program, copy)
    return wine(copy, "/S", *("_?=" + INSTALLED).split(" "), timeout=120, env=INSTALLER_ENV)[0]


def drive_main_form(*commands):
    """MainFormDriver's output for commands on the running main window; SetupError if it fails."""
    rc, out, _ = wine(helper("MainFormDriver"), *commands)
    if rc != 0:
        raise SetupError("MainFormDriver %s exited with %d" % (" ".join(commands), rc))
    return out.strip()


def key_dacl(path, sddl=None):
    """A key's DACL as SDDL (32-bit view), after making it sddl when given; SetupError if refused."""
    rc, out, _ = wine(helper("KeySecurity"), path, "32", *([sddl] if sddl else []))
    if rc != 0:
        raise SetupError("the DACL of HKLM\\%s could not be %s" % (path, "set" if sddl else "read"))
    return out.strip()


class StandardUser:
    """The rights a standard user meets on the installed keys, for programs that Wine runs as its
    administrator: Wine enforces a DACL that gives the token's other groups nothing. Each key gets
    Users' read, as Windows passes it down from HKLM\\Software, and the Users entries the installer
    added (none with read_only), protected from the parent: nothing for Administrators or SYSTEM.
    restore() puts the installed DACLs back."""

    def __init__(self, read_only=False):
        self.saved = {path: key_dacl(path) for path in USERS_KEYS}
        self.dacls = {}
        for path, installed in self.saved.items():
            granted = [] if read_only else re.findall(r"\(A;;[^;()]*;;;BU\)", installed)
            self.dacls[path] = key_dacl(path, "D:P(A;;KR;;;BU)" + "".join(granted))

    def restore(self):
        for path, installed in self.saved.items():
            key_dacl(path, installed)


# ---------------------------------------------------------------------------------------- helpers
class Probe:
    """The window probe (TrayProbe.exe) of the helper tree."""

    def run(self, *args, timeout=30):
        rc, out, _ = wine(helper("TrayProbe"), *args, timeout=timeout)
        return rc, out.strip()

    def found(self, window_class):
        return self.run("find", window_class)[0] == 0

    def wait_found(self, window_class, ms=20000):
        """Waits for a window; raises SetupError when it never comes."""
        if self.run("wait-found", window_class, str(ms), timeout=ms / 1000 + 30)[0] != 0:
            raise SetupError("no window of class %s within %d ms" % (window_class, ms))

    def close(self, window_class):
        return self.run("close", window_class)[0] == 0

    def window(self, window_class, *extra, env=None):
        """A probe window of window_class standing in for another program's window; it logs its
        closing to the worker log named in env."""
        process = start(helper("TrayProbe"), "window", window_class, *extra, env=env)
        self.wait_found(window_class, 10000)
        return process


probe = Probe()


def service_control(*commands, timeout=120):
    """ServiceControl.exe: control codes and states that Wine's sc lacks. (exit code, output)"""
    rc, out, _ = wine(helper("ServiceControl"), SERVICE_NAME, *commands, timeout=timeout)
    return rc, out


def service_exists():
    return service_control("query")[0] == 0


def remove_service(program=None):
    """Stops and deletes the service, bounded; raises SetupError when it stays."""
    if not service_exists():
        return
    service_control("stop", "wait", "stopped", "10000")
    if program:
        wine(program, "/uninstall", "/silent", timeout=60)
    if service_exists():
        wine("sc", "delete", SERVICE_NAME, timeout=60)
    if not wait_until(lambda: not service_exists(), 10, 0.2):
        raise SetupError("the service could not be removed")


def run_with_dialog(args, caption, timeout=60):
    """Runs a program whose outcome is a message dialog titled caption; reads and dismisses it.
    Returns (exit code of the program, whether a dialog was found, its texts)."""
    process = start(*args)
    rc, out, _ = wine(helper("DialogReader"), caption, "30000", timeout=timeout)
    code = wait_exit(process, timeout)
    if code is None:
        stop(process)
        end_hung(os.path.basename(args[0]))
    texts = [l[5:] for l in out.splitlines() if l.startswith("text=")]
    return code, rc == 0, texts


class WorkerLog:
    """The stand-in worker's log: one line per start, "NimbelloDefrag.exe <argument>". Poll it
    with watch() to see when each line arrived."""

    def __init__(self, folder):
        self.path = os.path.join(folder, "worker.log")
        self.env = {"NIMBELLO_WORKER_LOG": win_path(self.path)}
        self.arrivals = []

    def lines(self):
        try:
            with open(self.path, encoding="utf-8") as f:
                return [l.strip() for l in f if l.strip()]
        except FileNotFoundError:
            return []

    def clear(self):
        open(self.path, "w").close()
        self.arrivals = []

    def wait(self, count, seconds=20):
        """The lines once at least count are there (and later starts of the same request had half
        a second to land), or what there is after seconds."""
        if wait_until(lambda: len(self.lines()) >= count, seconds):
            time.sleep(0.5)
        return self.lines()

    def watch(self, seconds, interval=0.05):
        """Polls for seconds, noting the host time at which each new line appeared."""
        end = time.monotonic() + seconds
        seen = len(self.lines())
        while time.monotonic() < end:
            now = len(self.lines())
            self.arrivals += [time.monotonic()] * (now - seen)
            seen = now
            time.sleep(interval)
        return self.arrivals


# ---------------------------------------------------------------------------------------- answers
def round_half_even(x):
    """Fraction to nearest integer, ties to even: an independent check of the product's rounding."""
    return round(x)  # Python's round of a Fraction is exact and ties to even


def release_chunks(percent, total_bytes):
    """The release worker's arguments for percent of total_bytes, in exact arithmetic."""
    megabytes = round_half_even(round_half_even(total_bytes * Fraction(percent, 100))
                                / Fraction(1024 * 1024))
    chunks = []
    while True:
        chunks.append(str(min(megabytes, 1024)))
        megabytes -= 1024
        if megabytes <= 0:
            return chunks


# Known answers worked out by hand, so that the formula above is itself checked before a test
# trusts it: (percent, total bytes, starts).
KNOWN_RELEASES = [
    (40, 1073741824, ["410"]),
    (60, 2147483648, ["1024", "205"]),
    (60, 4294967296, ["1024", "1024", "410"]),
    (50, 1025 * 1048576, ["512"]),
    (50, 1027 * 1048576, ["514"]),
    (0, 4294967296, ["0"]),
    (-3, 104857600, ["-3"]),
]
for _p, _t, _starts in KNOWN_RELEASES:
    assert release_chunks(_p, _t) == _starts, (_p, _t, release_chunks(_p, _t))


def host_memory():
    with open("/proc/meminfo") as f:
        return int(re.search(r"MemTotal:\s+(\d+)", f.read()).group(1)) * 1024


# ---------------------------------------------------------------------------------------- screen
def screenshot(path=None):
    """The whole virtual desktop as PNG bytes (and written to path when given)."""
    shot = subprocess.run(["import", "-window", "root", "png:-"], capture_output=True, env=ENV,
                          timeout=30).stdout
    if path:
        with open(path, "wb") as f:
            f.write(shot)
    return shot


def crop_rgb(png, width, height, x, y):
    """Raw RGB bytes of a rectangle of a PNG picture."""
    return subprocess.run(["/usr/bin/convert", "png:-", "-crop", "%dx%d+%d+%d" % (width, height, x, y),
                           "rgb:-"], input=png, capture_output=True, timeout=30).stdout


def scratch(prefix):
    return tempfile.mkdtemp(prefix=prefix, dir=BUILD)
