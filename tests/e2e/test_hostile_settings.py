"""The shipped service and its real release worker under the worst settings a standard user may
write: MemoryMaintain 100, MemoryFree 100 (one worker start per 1024 MB of the machine, on every
tick), ExecutePeriod 0 and ProcessorLimit 0. A squatter holds a mutex under the workers' turn name
and an event under its waiting place's name before the service starts, as a user who got there
first could. Sampled once a second for 60 s: at most two workers that wait or work, each alive for
no longer than its wait and its work, the handed-on chunks worked toward; none left 10 s after the
stop. Wine keeps ended processes as zombies for a while: only live ones count.

The service still starts one worker per 1024 MB on every tick, and all but two of them end at once;
under WOW64 Wine even a program that ends at once lives 0.15 to 0.3 s, so a sample also sees some
of those in passing. A worker seen by two samples in a row lived a second or more: only those wait
or work. Both counts are printed.
"""
import os
import time

import winharness as w

settings = w.Registry()
record = w.Registry(w.SETTINGS + r"\LastRelease")
folder = w.stage(os.path.join("hostile", "Program Files", "Nimbello"), ["NimbelloService"],
                 worker="real")
SERVICE_EXE = os.path.join(folder, "NimbelloService.exe")
HOSTILE = {"MemoryMaintain": 100, "MemoryFree": 100, "ExecutePeriod": 0, "ProcessorLimit": 0}
WORKER = "NimbelloDefrag.exe"
# The turn's wait (20 s) and a run's work (8 s after a 0.25 s idle sample), with Wine's slack.
LONGEST_LIFE = 32
squatter = None


def live_workers():
    """pids of this prefix's live workers."""
    return {line.split()[0] for line in w._processes_named(WORKER)
            if not line.split()[1].startswith("Z")}


def main():
    global squatter
    w.remove_service()
    record.delete_key()
    for name, value in HOSTILE.items():
        settings.set(name, "REG_DWORD", value)
    w.wine(SERVICE_EXE, "/install", "/silent", check_rc=True)
    w.wait_for_uptime()

    squatter = w.start(w.helper("TurnSquatter"), "120")
    time.sleep(2)
    if squatter.poll() is not None:
        raise w.SetupError("the squatter could not make the turn's objects first")
    w.wine("sc", "start", w.SERVICE_NAME, check_rc=True)

    peak, lasting_peak, requested = 0, 0, set()
    first_seen, previous, longest = {}, set(), 0
    started = time.monotonic()
    for second in range(60):
        alive = live_workers()
        for pid in alive:
            first_seen.setdefault(pid, second)
            longest = max(longest, second - first_seen[pid])
        peak = max(peak, len(alive))
        lasting_peak = max(lasting_peak, len(alive & previous))
        previous = alive
        if second % 5 == 4:
            requested.add(record.dword("Requested"))
        time.sleep(max(0.0, started + second + 1 - time.monotonic()))
    w.wine("sc", "stop", w.SERVICE_NAME, timeout=60)
    time.sleep(10)
    after = live_workers()
    print("workers alive: peak %d at any sample (those ending at once included), %d waiting or "
          "working, %d 10 s after the stop; %d started and seen; longest life %d s; Requested "
          "seen %s" % (peak, lasting_peak, len(after), len(first_seen), longest,
                       sorted(r for r in requested if r)), flush=True)

    w.check(lasting_peak <= 2, "at most two workers wait or work at any sample (%d)" % lasting_peak)
    w.check(not after, "no worker alive 10 s after the service stopped: %r" % after)
    w.check(longest <= LONGEST_LIFE, "past the squatter, each worker ends within its wait and "
            "its work (longest seen %d s)" % longest)
    total_mb = round(w.host_memory() / 2**20)
    worked = [r for r in requested if r]
    # The first worker of a request works toward its own 1024 MB; the one after it also toward the
    # chunks handed on to it while it waited.
    w.check(worked and max(worked) > 1024 and max(worked) <= total_mb + 1,
            "the waiting worker worked toward the handed-on chunks (Requested %r, machine %d MB)"
            % (sorted(worked), total_mb))


def cleanup():
    if squatter is not None:
        w.stop(squatter)
    w.remove_service(SERVICE_EXE)
    settings.delete(*HOSTILE)
    w.end_hung(WORKER)


w.finish(main, cleanup)
