"""End-to-end test of NimbelloService.exe under Wine with the real Service Control Manager.

Installs the real program from a folder with a blank in its path, beside a stand-in release worker,
and drives it: the DefragMemory rule, install and uninstall in English, French and a language
without the service's texts, the outcome dialogs, start, pause, interrogate, continue, stop, a
control storm, the update stamp, releases once a second, and the start by hand without a switch.
The service is deleted at the end, also after a failure: Wine restarts automatic-start services
with every new session.
"""
import os
import re
import shutil
import subprocess
import sys
import time

WINE_RUN = os.environ["NIMBELLO_WINE_RUN"]
BIN = os.environ["NIMBELLO_BIN"]
BUILD = os.environ["NIMBELLO_BUILD"]
SETTINGS = r"HKLM\Software\VELTRA\Nimbello"
SERVICE_KEY = r"HKLM\SYSTEM\CurrentControlSet\Services\Nimbello"

FOLDER = os.path.join(BUILD, "e2e service", "Program Files", "Nimbello")
SERVICE_EXE = os.path.join(FOLDER, "NimbelloService.exe")
WORKER_LOG = os.path.join(FOLDER, "worker.log")
failures = []


def wine(*args, timeout=60, env=None):
    merged = dict(os.environ)
    if env:
        merged.update(env)
    p = subprocess.run([WINE_RUN, *args], capture_output=True, timeout=timeout, env=merged)
    return p.returncode, p.stdout.decode("utf-8", "replace"), p.stderr.decode("utf-8", "replace")


def tool(name):
    return os.path.join(BIN, name + ".exe")


def check(condition, what):
    print(("ok   " if condition else "FAIL ") + what, flush=True)
    if not condition:
        failures.append(what)
    return condition


def reg_set(name, kind, value, key=SETTINGS):
    wine("reg", "add", key, "/v", name, "/t", kind, "/d", str(value), "/f")


def reg_delete(name, key=SETTINGS):
    wine("reg", "delete", key, "/v", name, "/f")


def reg_get(name, key=SETTINGS):
    rc, out, _ = wine("reg", "query", key, "/v", name)
    if rc != 0:
        return None
    m = re.search(r"^\s*" + re.escape(name) + r"\s+(REG_\w+)\s*(.*?)\s*$", out, re.M)
    return (m.group(1), m.group(2)) if m else None


def control(*commands, timeout=120):
    rc, out, _ = wine(tool("ServiceControl"), "Nimbello", *commands, timeout=timeout)
    return rc, out.replace("\r", "")


def config():
    rc, out = control("config")
    values = {}
    for line in out.splitlines():
        if "=" in line:
            k, v = line.split("=", 1)
            values[k] = v
    return rc, values


def service_exists():
    rc, out = control("query")
    return rc == 0


def remove_service():
    if service_exists():
        control("stop")
        control("wait", "stopped", "10000")
        wine("sc", "delete", "Nimbello")
        for _ in range(50):
            if not service_exists():
                break
            time.sleep(0.1)


def run_with_dialog(args, caption, timeout=60):
    """Runs the service program and reads, then dismisses, the dialog titled caption."""
    proc = subprocess.Popen([WINE_RUN, SERVICE_EXE, *args], stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE)
    rc, out, _ = wine(tool("DialogReader"), caption, "30000", timeout=timeout)
    try:
        proc.communicate(timeout=timeout)
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.communicate()
    texts = [l[5:] for l in out.replace("\r", "").splitlines() if l.startswith("text=")]
    return proc.returncode, rc, texts


def worker_lines():
    try:
        with open(WORKER_LOG, encoding="utf-8") as f:
            return [l.strip() for l in f if l.strip()]
    except FileNotFoundError:
        return []


def host_uptime():
    with open("/proc/uptime") as f:
        return float(f.read().split()[0])


def main():
    shutil.rmtree(os.path.join(BUILD, "e2e service"), ignore_errors=True)
    os.makedirs(FOLDER)
    shutil.copy(tool("NimbelloService"), SERVICE_EXE)
    shutil.copy(tool("StandInWorker"), os.path.join(FOLDER, "NimbelloDefrag.exe"))
    remove_service()
    for name in ("Language", "LoadNimbello", "DefragMemory", "Updated", "UpdatedDate",
                 "MemoryMaintain", "MemoryFree", "ProcessorLimit", "ExecutePeriod"):
        reg_delete(name)

    # The DefragMemory rule runs first, in install mode too.
    reg_set("LoadNimbello", "REG_DWORD", 0)
    reg_set("DefragMemory", "REG_DWORD", 1)
    rc, _, _ = wine(SERVICE_EXE, "/install", "/silent")
    check(rc == 0, "/install /silent exits with 0")
    check(reg_get("DefragMemory") == ("REG_DWORD", "0x0"),
          "LoadNimbello false: DefragMemory lowered at program start")
    reg_set("LoadNimbello", "REG_DWORD", 1)
    reg_set("DefragMemory", "REG_DWORD", 1)

    rc, values = config()
    check(rc == 0, "the service is registered")
    check(values.get("display") == "Nimbello Memory Service", "English display name")
    check(values.get("type") == "16", "own-process type")
    check(values.get("start") == "2", "automatic start")
    check(values.get("error") == "1", "normal error control")
    check(values.get("account") in ("LocalSystem", "(null)", ""), "runs as LocalSystem")
    expected_path = '"' + "Z:" + SERVICE_EXE.replace("/", "\\") + '"'
    check(values.get("path") == expected_path,
          "image path in double quotes: " + values.get("path", ""))
    check(values.get("description") == "Maintains memory performance by defragmenting used "
          "memory and allocating it back to the computer system.", "English description")

    exit_code, found, texts = run_with_dialog(["/install"], "Error")
    check(found == 0, "a second install shows the failure dialog")
    check(any(t.startswith('Service "Nimbello Memory Service" failed to install with error: '
                           '"System Error.  Code: 1073.\\r\\n') for t in texts),
          "failure text: " + repr(texts))
    check(exit_code == 0, "a failed install still exits with 0")

    # The service is running: stop requests and the rule's LoadNimbello true branch.
    start_service_and_test_controls()

    rc, _, _ = wine(SERVICE_EXE, "-UnInstall", "-silent")
    check(rc == 0 and not service_exists(), "-UnInstall -silent removes the service")
    check(reg_get("DefragMemory") == ("REG_DWORD", "0x1"),
          "LoadNimbello true: DefragMemory left as it was")

    exit_code, found, texts = run_with_dialog(["/uninstall"], "Error")
    check(found == 0 and any(t.startswith('Service "Nimbello" failed to uninstall with error: '
                                          '"System Error.  Code: 1060.') for t in texts),
          "uninstall of a missing service: " + repr(texts))

    exit_code, found, texts = run_with_dialog(["/install"], "Information")
    check(found == 0 and "Service installed successfully" in texts,
          "install success message: " + repr(texts))
    exit_code, found, texts = run_with_dialog(["/Uninstall"], "Information")
    check(found == 0 and "Service uninstalled successfully" in texts,
          "uninstall success message: " + repr(texts))

    reg_set("Language", "REG_SZ", "french")
    wine(SERVICE_EXE, "/install", "/silent")
    rc, values = config()
    check(values.get("display") == "Nimbello Service Mémoire", "French display name: "
          + values.get("display", ""))
    check(values.get("description") == "Maintenant les performances en défragmentant la "
          "mémoire utilisée et la ré-allouer au système.", "French description")
    wine(SERVICE_EXE, "/uninstall", "/silent")

    reg_set("Language", "REG_SZ", "klingon")
    wine(SERVICE_EXE, "/install", "/silent")
    rc, values = config()
    check(values.get("display") == "Nimbello",
          "a language without the service's texts: display name Nimbello, got "
          + values.get("display", ""))
    wine(SERVICE_EXE, "/uninstall", "/silent")
    reg_delete("Language")

    # Started by hand without a switch: the connection fails, one entry, the program ends.
    started = time.monotonic()
    rc, _, err = wine(SERVICE_EXE, timeout=120, env={"WINEDEBUG": "-all,err+eventlog"})
    took = time.monotonic() - started
    entries = [l for l in err.splitlines() if "eventlog:ReportEventW" in l]
    print("started by hand: ended after %.1f s, exit %d, entries %r" % (took, rc, entries))
    check(rc == 0 and len(entries) == 1, "started by hand: one event-log entry and the end")


def start_service_and_test_controls():
    # A release on every tick: memory always short, no processor rule, no spacing.
    reg_set("MemoryMaintain", "REG_DWORD", 100)
    reg_set("MemoryFree", "REG_DWORD", 0)
    reg_set("ProcessorLimit", "REG_DWORD", 0)
    reg_set("ExecutePeriod", "REG_DWORD", 0)
    reg_delete("Updated")
    reg_delete("UpdatedDate")
    # The uptime rule needs five rounded minutes since the host started.
    while host_uptime() < 280:
        print("waiting for the host's uptime to pass the five-minute rule", flush=True)
        time.sleep(10)
    if os.path.exists(WORKER_LOG):
        os.remove(WORKER_LOG)

    wine("sc", "start", "Nimbello")
    rc, out = control("wait", "running", "15000")
    check(rc == 0, "started: running")
    check("accepted=7" in out, "running accepts stop, pause and shutdown")
    time.sleep(3.5)
    lines = worker_lines()
    check(len(lines) >= 2 and all(l == "NimbelloDefrag.exe 0" for l in lines),
          "releases once a second with the right argument: %r" % lines[:5])

    reg_set("MemoryFree", "REG_DWORD", 1)
    with open("/proc/meminfo") as f:
        total = int(re.search(r"MemTotal:\s+(\d+)", f.read()).group(1)) * 1024
    expected = round(total * 0.01 / 1024 / 1024)
    time.sleep(2.5)
    last = worker_lines()[-1]
    got = int(last.split()[-1])
    check(abs(got - expected) <= 1, "release amount from MemoryFree: %d, about %d" % (got,
                                                                                      expected))
    reg_set("MemoryFree", "REG_DWORD", 0)

    rc, out = control("pause", "wait", "paused", "5000")
    check(rc == 0, "pause: paused")
    time.sleep(2)  # a release that was on its way
    before = len(worker_lines())
    reg_set("Updated", "REG_DWORD", 1)
    time.sleep(3)
    check(len(worker_lines()) == before, "no releases while paused")
    check(reg_get("UpdatedDate") is None and reg_get("Updated") == ("REG_DWORD", "0x1"),
          "no update stamp while paused")
    rc, out = control("interrogate", "query")
    check(rc == 0 and "query paused" in out, "interrogate while paused: still paused")

    rc, out = control("continue", "wait", "running", "5000")
    check(rc == 0, "continue: running")
    time.sleep(3)
    check(len(worker_lines()) >= before + 2, "releases resume after continue")
    stamp = reg_get("UpdatedDate")
    check(reg_get("Updated") == ("REG_DWORD", "0x0") and stamp is not None and stamp[0] == "REG_SZ"
          and stamp[1] != "", "Updated becomes one UpdatedDate stamp: %r" % (stamp,))

    # A storm of requests, then a consistent state once the queued requests are taken up.
    rc, out = control("storm", "150", "settle", "20000", "query")
    print(out.strip())
    state = re.search(r"query (\w+)", out)
    check(rc == 0 and state is not None and state.group(1) in ("running", "paused"),
          "storm: a settled state")
    time.sleep(1.5)  # a release already on its way
    settled = state.group(1) if state else ""
    count = len(worker_lines())
    time.sleep(2.5)
    grew = len(worker_lines()) > count
    check(grew == (settled == "running"),
          "storm: releases go on exactly when the reported state is running (%s)" % settled)
    if settled == "paused":
        control("continue", "wait", "running", "5000")

    # Wine kills a service that gets another request after a stop before it has reported
    # stop pending, so the storm goes on only once the stop has been taken up.
    rc, out = control("storm", "100", "stop", "wait", "stopping", "20000", "storm", "100", "wait",
                      "stopped", "10000")
    print("\n".join(out.strip().splitlines()[-3:]))
    check(rc == 0 and "wait stopped ok" in out, "stop in the middle of a storm: stopped")

    wine("sc", "start", "Nimbello")
    control("wait", "running", "15000")
    rc, out = control("stoptime", "5000")
    print("time from stop request to stopped: " + out.strip())
    check(rc == 0, "stop: stopped within 5 s")
    time.sleep(1.5)  # a release already on its way
    count = len(worker_lines())
    time.sleep(2)
    check(len(worker_lines()) == count, "no releases after the stop")

    for name in ("MemoryMaintain", "MemoryFree", "ProcessorLimit", "ExecutePeriod", "Updated",
                 "UpdatedDate"):
        reg_delete(name)


if __name__ == "__main__":
    try:
        main()
    except Exception as e:  # a broken step still cleans up and fails the test
        failures.append("exception: %r" % (e,))
        print("FAIL exception: %r" % (e,))
    finally:
        remove_service()
    if failures:
        print("%d failed: %s" % (len(failures), failures))
        sys.exit(1)
    print("all passed")
