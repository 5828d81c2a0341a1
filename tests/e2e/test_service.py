"""End-to-end test of the shipped NimbelloService.exe under Wine with the real Service Control Manager.

The 32-bit program runs as a WOW64 process from a folder with a blank in its path, beside a stand-in
release worker that logs its starts, and is driven through: the DefragMemory rule, install and
uninstall in English, French and a language without the service's texts, the outcome dialogs,
start, pause, interrogate, continue, stop, a control storm, the update stamp, a release due on
every tick with one request per 30 s, the start by hand without a switch, and releases into the
real worker, which leaves its LastRelease record. The service is deleted at the end, also after a failure: Wine restarts
automatic-start services with every new session.
"""
import os
import re
import shutil
import time

import winharness as w

settings = w.Registry()
folder = w.stage(os.path.join("service", "Program Files", "Nimbello"), ["NimbelloService"],
                 ["StandInWorker"])
SERVICE_EXE = os.path.join(folder, "NimbelloService.exe")
log = w.WorkerLog(folder)
TICK_VALUES = ("MemoryMaintain", "MemoryFree", "ProcessorLimit", "ExecutePeriod", "Updated",
               "UpdatedDate")


def service(*args, env=None, **kw):
    return w.wine(SERVICE_EXE, *args, env={**log.env, **(env or {})}, **kw)


def control(*commands):
    rc, out = w.service_control(*commands)
    if rc != 0:
        raise w.SetupError("ServiceControl %s failed: %s" % (" ".join(commands), out.strip()))
    return out


def config():
    out = control("config")
    return dict(line.split("=", 1) for line in out.splitlines() if "=" in line)


def dialog(args, caption):
    return w.run_with_dialog([SERVICE_EXE, *args], caption)


def install_and_registration():
    # The DefragMemory rule runs first, in install mode too.
    settings.set("LoadNimbello", "REG_DWORD", 0)
    settings.set("DefragMemory", "REG_DWORD", 1)
    rc, _, _ = service("/install", "/silent")
    w.check(rc == 0, "/install /silent exits with 0")
    w.check(settings.get("DefragMemory") == ("REG_DWORD", "0x0"),
            "LoadNimbello false: DefragMemory lowered at program start")
    settings.set("LoadNimbello", "REG_DWORD", 1)
    settings.set("DefragMemory", "REG_DWORD", 1)

    values = config()
    expected = {
        "display": "Nimbello Memory Service", "type": "16", "start": "2", "error": "1",
        "path": '"' + w.win_path(SERVICE_EXE) + '"',
        "description": "Maintains memory performance by defragmenting used memory and allocating "
                       "it back to the computer system.",
    }
    for name, value in expected.items():
        w.check(values.get(name) == value, "registration %s: %r" % (name, values.get(name)))
    w.check(values.get("account") in ("LocalSystem", "(null)", ""), "runs as LocalSystem")

    code, found, texts = dialog(["/install"], "Error")
    w.check(found and any(t.startswith('Service "Nimbello Memory Service" failed to install with '
                                       'error: "System Error.  Code: 1073.\\r\\n') for t in texts),
            "a second install shows the failure dialog: %r" % texts)
    w.check(code == 0, "a failed install still exits with 0")


def languages_and_dialogs():
    rc, _, _ = service("-UnInstall", "-silent")
    w.check(rc == 0 and not w.service_exists(), "-UnInstall -silent removes the service")
    w.check(settings.get("DefragMemory") == ("REG_DWORD", "0x1"),
            "LoadNimbello true: DefragMemory left as it was")
    cases = [  # switches, caption, expected start of one of the dialog's texts
        (["/uninstall"], "Error", 'Service "Nimbello" failed to uninstall with error: '
                                  '"System Error.  Code: 1060.'),
        (["/install"], "Information", "Service installed successfully"),
        (["/Uninstall"], "Information", "Service uninstalled successfully"),
    ]
    for args, caption, text in cases:
        _, found, texts = dialog(args, caption)
        w.check(found and any(t.startswith(text) for t in texts), "%s: %r" % (args[0], texts))

    for language, display, description in [
            ("french", "Nimbello Service Mémoire", "Maintenant les performances en défragmentant la "
             "mémoire utilisée et la ré-allouer au système."),
            ("klingon", "Nimbello", None)]:
        settings.set("Language", "REG_SZ", language)
        service("/install", "/silent", check_rc=True)
        values = config()
        w.check(values.get("display") == display, "%s display name: %r" % (language,
                                                                          values.get("display")))
        if description:
            w.check(values.get("description") == description, language + " description")
        service("/uninstall", "/silent", check_rc=True)
    settings.delete("Language")


def start_by_hand():
    # Started by hand without a switch: the connection fails, one entry, the program ends.
    rc, _, err = service(timeout=120, env={"WINEDEBUG": "-all,err+eventlog"})
    entries = [l for l in err.splitlines() if "eventlog:ReportEventW" in l]
    w.check(rc == 0 and len(entries) == 1, "started by hand: one event-log entry and the end "
            "(exit %d, %r)" % (rc, entries))


def one_request_per_cool_down():
    """A release is due on every tick, but the service starts a request's workers only once its
    previous request is 30 s old: the stand-in ends at once, as a real worker cooling down would."""
    arrivals = log.watch(6.0)
    w.check(len(arrivals) == 1, "a release due on every tick: one start in 6 s, not one per tick "
            "(%d)" % len(arrivals))
    lines = log.lines()
    w.check(lines == ["NimbelloDefrag.exe 0"], "MemoryFree 0: the start with \"0\": %r" % lines)


def ticks_stop():
    """True when no tick comes in 2.5 s: a raised Updated is not turned into a stamp."""
    settings.delete("UpdatedDate")
    settings.set("Updated", "REG_DWORD", 1)
    time.sleep(2.5)
    stopped = settings.get("Updated") == ("REG_DWORD", "0x1")
    settings.set("Updated", "REG_DWORD", 0)
    return stopped


def controls():
    # A release on every tick: memory always short, no processor rule, no spacing.
    settings.set("MemoryMaintain", "REG_DWORD", 100)
    settings.set("MemoryFree", "REG_DWORD", 0)
    settings.set("ProcessorLimit", "REG_DWORD", 0)
    settings.set("ExecutePeriod", "REG_DWORD", 0)
    settings.delete("Updated", "UpdatedDate")
    w.wait_for_uptime()
    log.clear()

    w.wine("sc", "start", w.SERVICE_NAME, check_rc=True)
    out = control("wait", "running", "15000")
    w.check("accepted=7" in out, "running accepts stop, pause and shutdown")
    one_request_per_cool_down()

    # The amount follows MemoryFree, against an answer worked out independently of the product:
    # the next request comes 30 s after the first.
    settings.set("MemoryFree", "REG_DWORD", 1)
    expected = w.release_chunks(1, w.host_memory())
    log.clear()
    lines = log.wait(len(expected), 35)
    w.check(len(lines) >= len(expected) and lines[-len(expected):] ==
            ["NimbelloDefrag.exe " + c for c in expected],
            "MemoryFree 1: starts %r, last %r" % (expected, lines[-len(expected):]))
    settings.set("MemoryFree", "REG_DWORD", 0)

    control("pause", "wait", "paused", "5000")
    w.check(ticks_stop(), "no ticks, so no releases and no update stamp, while paused")
    settings.set("Updated", "REG_DWORD", 1)
    w.check("query paused" in control("interrogate", "query"), "interrogate while paused: paused")

    control("continue", "wait", "running", "5000")
    w.wait_until(lambda: settings.get("Updated") == ("REG_DWORD", "0x0"), 5)
    stamp = settings.get("UpdatedDate")
    w.check(settings.get("Updated") == ("REG_DWORD", "0x0") and stamp is not None
            and stamp[0] == "REG_SZ" and stamp[1] != "",
            "Updated becomes one UpdatedDate stamp: %r" % (stamp,))

    # A storm of requests, then a consistent state once the queued requests are taken up.
    out = control("storm", "150", "settle", "20000", "query")
    state = re.search(r"query (\w+)", out)
    settled = state.group(1) if state else ""
    w.check(settled in ("running", "paused"), "storm: a settled state (%s)" % settled)
    w.check(ticks_stop() == (settled == "paused"),
            "storm: ticks go on exactly when the reported state is running (%s)" % settled)
    if settled == "paused":
        control("continue", "wait", "running", "5000")

    # Wine kills a service that gets another request after a stop before it has reported stop
    # pending, so the storm goes on only once the stop has been taken up.
    out = control("storm", "100", "stop", "wait", "stopping", "20000", "storm", "100", "wait",
                  "stopped", "10000")
    w.check("wait stopped ok" in out, "stop in the middle of a storm: stopped")

    w.wine("sc", "start", w.SERVICE_NAME, check_rc=True)
    control("wait", "running", "15000")
    print("time from stop request to stopped: " + control("stoptime", "5000").strip())
    w.check(ticks_stop(), "no ticks after the stop")


def real_worker_record():
    """The service releasing into the real worker (the one an installer puts on this 64-bit
    prefix) leaves the worker's LastRelease record."""
    if not os.path.exists(w.installed_worker()):
        w.check(False, "the build has %s" % w.installed_worker())
        return
    record = w.Registry(w.SETTINGS + r"\LastRelease")
    record.delete_key()
    os.replace(os.path.join(folder, "NimbelloDefrag.exe"), os.path.join(folder, "StandIn.exe"))
    shutil.copy(w.installed_worker(), folder)
    settings.set("MemoryFree", "REG_DWORD", 1)
    w.wine("sc", "start", w.SERVICE_NAME, check_rc=True)
    control("wait", "running", "15000")
    requested = w.wait_until(lambda: record.dword("Requested"), 30, 0.5)
    control("stop", "wait", "stopped", "10000")
    expected = int(w.release_chunks(1, w.host_memory())[0])
    w.check(requested == expected, "the real worker records Requested %r (%d expected)" % (
        requested, expected))
    # Requested is the record's first value and Time its last: the rest follows within moments.
    whole = w.wait_until(lambda: record.get("Time") is not None and
                         record.get("Milliseconds") is not None, 10, 0.5)
    w.check(whole, "the record has its time and duration: %r" % (record.get("Time"),))


def cleanup():
    w.remove_service(SERVICE_EXE)
    settings.delete(*TICK_VALUES, "Language", "LoadNimbello", "DefragMemory")


def main():
    w.remove_service()
    settings.delete("Language", "LoadNimbello", "DefragMemory", *TICK_VALUES)
    install_and_registration()
    controls()
    languages_and_dialogs()
    start_by_hand()
    service("/install", "/silent", check_rc=True)
    settings.set("MemoryMaintain", "REG_DWORD", 100)
    settings.set("ProcessorLimit", "REG_DWORD", 0)
    real_worker_record()


w.finish(main, cleanup)
