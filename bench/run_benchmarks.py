"""Runs what scripts/bench.sh has built and prints one table of figures (Markdown).

Each part is skipped, with a line saying so, when what it measures is not built. Progress goes to
standard error, the table to standard output.
"""
import glob
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

BENCH = os.environ.get("NIMBELLO_BENCH_TREE", "build/bench")
X64 = os.environ.get("NIMBELLO_X64_TREE", "build/mingw-x64")
X86 = os.environ.get("NIMBELLO_X86_TREE", "build/mingw-x86")
# The shipped 32-bit worker as Wine names it, for the worker benchmark's second build.
X86_WORKER = "Z:" + os.path.abspath(os.path.join(X86, "bin", "NimbelloDefrag.exe")).replace("/", "\\")
PROGRAM_TICKS = int(os.environ.get("NIMBELLO_PROGRAM_TICKS", "10000"))
SOAK_TICKS = int(os.environ.get("NIMBELLO_SOAK_TICKS", "100000"))
# The service's timer is a thread timer that nothing outside can drive, so it runs in real time.
SERVICE_SECONDS = int(os.environ.get("NIMBELLO_SERVICE_SECONDS", "60"))
SETTINGS = r"HKLM\Software\VELTRA\Nimbello"
MB = 1024 * 1024

rows = []  # (section, figure, value, goal)
skipped = []


def note(text):
    print("== " + text, file=sys.stderr, flush=True)


def row(section, figure, value, goal=""):
    rows.append((section, figure, value, goal))


BYTES = re.compile(r"^(.*\S)\s+([0-9]+) bytes\s*$", re.M)
MEASURE = re.compile(r"^(.*\S)\s+([0-9.]+) (ns|us)/op(?:\s+([0-9.]+) allocations/op)?\s*$")


def parse_measures(text):
    found = []
    for line in text.replace("\r", "").splitlines():
        m = MEASURE.match(line)
        if m:
            ns = float(m.group(2)) * (1000.0 if m.group(3) == "us" else 1.0)
            found.append((m.group(1), ns, m.group(4)))
    return found


def callgrind_counts(binary):
    """Instructions per operation of each Measure, from the dumps bench::Measure asks for."""
    if shutil.which("valgrind") is None:
        return {}
    counts = {}
    with tempfile.TemporaryDirectory() as out:
        subprocess.run(["valgrind", "--tool=callgrind", "--callgrind-out-file=" + out + "/cg.%p",
                        binary], capture_output=True, timeout=1800)
        for path in glob.glob(out + "/cg.*.*"):
            label, total = None, None
            with open(path, errors="replace") as f:
                for line in f:
                    if line.startswith("desc: Trigger: Client Request: "):
                        label = line[len("desc: Trigger: Client Request: "):].strip()
                    elif line.startswith("totals: ") or (line.startswith("summary: ") and total is None):
                        total = int(line.split()[1])
            if label and total is not None and "|" in label:
                name, iterations = label.rsplit("|", 1)
                counts[name] = total / max(int(iterations), 1)
    return counts


def native():
    note("native benchmarks")
    for binary in sorted(glob.glob(os.path.join(BENCH, "bin", "*_bench"))):
        name = os.path.basename(binary)[: -len("_bench")]
        out = subprocess.run([binary], capture_output=True, text=True, timeout=1800).stdout
        instructions = callgrind_counts(binary)
        for label, ns, allocations in parse_measures(out):
            value = "%.1f ns" % ns
            if allocations is not None:
                value += ", %g allocations" % float(allocations)
            if label in instructions:
                value += ", %.0f instructions" % instructions[label]
            row("native core: " + name, label, value)


class Wine:
    def __init__(self):
        self.run_sh = os.path.join(X64, "wine-run.sh")
        self.bin = os.path.join(X64, "bin")

    def available(self):
        return os.path.exists(self.run_sh)

    def exe(self, name):
        path = os.path.join(self.bin, name + ".exe")
        return path if os.path.exists(path) else None

    def run(self, *args, timeout=600, env=None):
        merged = dict(os.environ)
        merged.update(env or {})
        p = subprocess.run([self.run_sh, *args], capture_output=True, timeout=timeout, env=merged)
        return p.returncode, p.stdout.decode("utf-8", "replace").replace("\r", "")

    def spawn(self, *args):
        return subprocess.Popen([self.run_sh, *args], stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)

    def memory(self, exe):
        probe = self.exe("ProcessProbe")
        rc, out = self.run(probe, "memory", exe, timeout=60)
        m = re.search(r"working_set=(\d+) private=(\d+)", out)
        return (int(m.group(1)), int(m.group(2))) if rc == 0 and m else None


def memory_rows(section, label, figures):
    if figures is None:
        row(section, label, "not measured (process not found)")
        return
    ws, private = figures
    row(section, "working set " + label, "%.1f MB" % (ws / MB), "< 4 MB")
    row(section, "private bytes " + label, "%.2f MB" % (private / MB))


def wait_for(predicate, seconds):
    deadline = time.time() + seconds
    while time.time() < deadline:
        if predicate():
            return True
        time.sleep(0.5)
    return False


def tray_program(wine):
    section = "Wine: NimbelloTray"
    tray, probe = wine.exe("NimbelloTray"), wine.exe("ProcessProbe")
    if not (tray and probe):
        skipped.append("NimbelloTray under Wine (program not built)")
        return
    note("NimbelloTray under Wine: start, %d ticks" % PROGRAM_TICKS)
    # Missing UpdatedDate reads as now: the schedule never asks the network.
    wine.run("reg", "delete", SETTINGS, "/v", "UpdatedDate", "/f", timeout=60)
    process = wine.spawn(tray)
    try:
        if wine.run(probe, "wait-window", "TNBTrayForm", "30000", timeout=60)[0] != 0:
            row(section, "start", "window TNBTrayForm did not appear")
            return
        time.sleep(3)  # the first ticks show the icon (one waits 1000 ms)
        memory_rows(section, "after start", wine.memory("NimbelloTray.exe"))
        rc, out = wine.run(probe, "ticks", "TNBTrayForm", "1", str(PROGRAM_TICKS), timeout=3600)
        if rc == 0:
            row(section, "whole tick, driven from another process (WM_TIMER)",
                "%s us" % out.strip(), "< 1000 us")
        memory_rows(section, "after %d ticks" % PROGRAM_TICKS, wine.memory("NimbelloTray.exe"))
    finally:
        wine.run(probe, "close", "TNBTrayForm", timeout=30)
        try:
            process.wait(timeout=30)
        except subprocess.TimeoutExpired:
            process.kill()


def service_program(wine):
    section = "Wine: NimbelloService"
    service = wine.exe("NimbelloService")
    if not (service and wine.exe("ProcessProbe")):
        skipped.append("NimbelloService under Wine (program not built)")
        return
    note("NimbelloService under Wine: install, start, %d s" % SERVICE_SECONDS)
    folder = os.path.join(X64, "bench service")
    os.makedirs(folder, exist_ok=True)
    installed = os.path.join(folder, "NimbelloService.exe")
    shutil.copy2(service, installed)
    worker = wine.exe("StandInWorker")
    if worker:
        shutil.copy2(worker, os.path.join(folder, "NimbelloDefrag.exe"))
    try:
        wine.run(installed, "/INSTALL", "/SILENT", timeout=120)
        rc, _ = wine.run("net", "start", "Nimbello", timeout=120)
        if rc != 0 or not wait_for(lambda: wine.memory("NimbelloService.exe") is not None, 30):
            row(section, "start", "service did not start")
            return
        time.sleep(3)
        memory_rows(section, "after start", wine.memory("NimbelloService.exe"))
        time.sleep(SERVICE_SECONDS)
        memory_rows(section, "after %d s (%d ticks)" % (SERVICE_SECONDS, SERVICE_SECONDS),
                    wine.memory("NimbelloService.exe"))
    finally:
        wine.run("net", "stop", "Nimbello", timeout=120)
        wine.run(installed, "/UNINSTALL", "/SILENT", timeout=120)


def wine_benches(wine):
    """bench/win32/<Name>Bench.exe: figures of the real adapters, "label  N us/op" lines."""
    benches = sorted(glob.glob(os.path.join(wine.bin, "*Bench.exe")))
    if not benches:
        skipped.append("real adapters under Wine (no *Bench programs built)")
    for bench in benches:
        name = os.path.basename(bench)[: -len("Bench.exe")]
        note("%s under Wine" % name)
        rc, out = wine.run(bench, timeout=1800, env={"NIMBELLO_X86_WORKER": X86_WORKER})
        for label, ns, _ in parse_measures(out):
            row("Wine: " + name + " (real adapters)", label, "%.1f us" % (ns / 1000.0))
        for label, count in BYTES.findall(out.replace("\r", "")):
            row("Wine: " + name + " (real adapters)", label, "%.2f MB" % (int(count) / MB))
        if rc != 0:
            row("Wine: " + name + " (real adapters)", "result", "exit code %d" % rc)


def soak(wine):
    test = os.path.join(X64, "bin", "win32_Soak_test.exe")
    if not os.path.exists(test):
        skipped.append("soak run (win32_Soak_test not built)")
        return True
    note("soak run under Wine: %d ticks each" % SOAK_TICKS)
    rc, out = wine.run(test, env={"NIMBELLO_SOAK_TICKS": str(SOAK_TICKS)}, timeout=7200)
    for line in out.splitlines():
        # The soak program prints its figures as "soak: <figure> = <value>".
        m = re.match(r"^soak: (.*?) = (.*)$", line.strip())
        if m:
            row("Wine: soak (%d ticks)" % SOAK_TICKS, m.group(1), m.group(2))
    row("Wine: soak (%d ticks)" % SOAK_TICKS, "result", "passed" if rc == 0 else "FAILED")
    return rc == 0


def sizes():
    for exe in ("NimbelloService", "NimbelloTray", "NimbelloDefrag"):
        path = os.path.join(X86, "bin", exe + ".exe")
        if os.path.exists(path):
            size = os.path.getsize(path)
            row("shipped 32-bit programs", exe + ".exe", "%d bytes (%.0f KB)" % (size, size / 1024),
                "< 1 MB")
        else:
            skipped.append("size of %s.exe (not built)" % exe)


def fuzzers():
    path = os.environ.get("NIMBELLO_FUZZ_TABLE")
    if not path or not os.path.exists(path):
        return
    for line in open(path):
        parts = line.split()
        if len(parts) >= 5 and parts[0] != "target":
            row("fuzzing (libFuzzer, ASan, UBSan)", parts[0],
                "%s inputs in %s s, %s" % (parts[2], parts[1], " ".join(parts[4:])))


def main():
    native()
    soak_ok = True
    wine = Wine()
    if wine.available():
        started_here = wine.run("--session-start", timeout=300)[0] == 0
        try:
            wine_benches(wine)
            soak_ok = soak(wine)
            tray_program(wine)
            service_program(wine)
        finally:
            if started_here:
                wine.run("--session-stop", timeout=120)
    else:
        skipped.append("everything under Wine (no %s)" % wine.run_sh)
    sizes()
    fuzzers()

    print("| part | figure | value | goal |")
    print("|---|---|---|---|")
    for section, figure, value, goal in rows:
        print("| %s | %s | %s | %s |" % (section, figure.replace("|", "/"), value, goal))
    for what in skipped:
        print("| not measured | %s | | |" % what)
    return 0 if soak_ok else 1


if __name__ == "__main__":
    sys.exit(main())
