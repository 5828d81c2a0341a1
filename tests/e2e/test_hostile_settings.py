"""The shipped service and its real worker under the worst settings a standard user may write
(MemoryMaintain 100, MemoryFree 100: a worker start per 1024 MB on every tick, ExecutePeriod 0,
ProcessorLimit 0), with a squatter holding a mutex and an event under the turn's names first.
Sampled once a second for 60 s. Every start but two per turn ends at once, yet under WOW64 Wine even
that takes 0.15 to 0.3 s, so a sample sees some in passing: only workers seen by two samples in a
row (alive a second or more) wait, work or measure. Zombies do not count.
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
# The turn's wait (20 s), a run's work (8.25 s), the window it then measures (60 s, cut short by
# the next release) and Wine's slack.
LONGEST_LIFE = 32 + 60
squatter = None


def live_workers():
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
    # The last worker measures its release for the rest of its window.
    w.wait_until(lambda: not live_workers(), 75, 1)
    after = live_workers()
    print("workers alive: peak %d at any sample (those ending at once included), %d waiting or "
          "working, %d 10 s after the stop; %d started and seen; longest life %d s; Requested "
          "seen %s" % (peak, lasting_peak, len(after), len(first_seen), longest,
                       sorted(r for r in requested if r)), flush=True)

    w.check(lasting_peak <= 3, "at most two workers wait or work and one measures at any sample "
            "(%d)" % lasting_peak)
    w.check(not after, "no worker alive 75 s after the service stopped: %r" % after)
    w.check(record.dword("Window") is not None and record.get("History") is not None,
            "the releases were measured: Window %r" % (record.dword("Window"),))
    w.check(longest <= LONGEST_LIFE, "past the squatter, each worker ends within its wait and "
            "its work (longest seen %d s)" % longest)
    total_mb = round(w.host_memory() / 2**20)
    worked = [r for r in requested if r]
    w.check(worked and 1024 < max(worked) <= total_mb + 1,
            "the waiting worker worked toward the handed-on chunks (Requested %r, machine %d MB)"
            % (sorted(worked), total_mb))


def cleanup():
    if squatter is not None:
        w.stop(squatter)
    w.remove_service(SERVICE_EXE)
    settings.delete(*HOSTILE)
    w.end_hung(WORKER)


w.finish(main, cleanup)
