#!/usr/bin/env python3
"""The running applet's update check, against a stand-in update server on this machine.

The applet of the update test tree asks 127.0.0.1 on a fixed port, and its tick counter starts a
few ticks short of a check. While UpdatedDate is 30 days old it asks nothing, tick after tick. Made
31 days old, the next tick asks once (not while the policy UpdateCheck is 0), shows the update balloon on the real icon, and a click on
the balloon starts the shipped updater from the program folder, which hands the download page to
the browser and ends. Wine's shell draws balloons but neither gives their title back nor reports a
click on them: the test reads the balloon's text, and posts the shell's click notification to the
icon's window itself. Wine's browser launcher runs the first command of its Browsers value: a
script there records the address it is given."""
import datetime
import os
import re
import shutil
import subprocess
import sys
import time
import urllib.request

import winharness as w

TREE = os.environ.get("NIMBELLO_UPDATE_TREE_BIN", os.path.join(w.BUILD, "update-test-tree", "bin"))
PORT = int(os.environ.get("NIMBELLO_TEST_UPDATE_PORT", "47193"))
SERVER = os.path.join(w.SOURCE, "tests", "win32", "support", "update_server.py")
# The counter starts 4 ticks short of a check; each tick is a second, and the first one that finds
# the taskbar waits a second more before showing the icon.
TICKS_TO_CHECK = 4
BALLOON_USER_CLICK = 0x405
HINT = ("An update for Nimbello is available to download.  Click here to download and install the "
        "software update.")

settings = w.Registry()
policy = w.Registry(r"HKLM\Software\Policies\VELTRA\Nimbello", view=64)
international = w.Registry(r"HKCU\Control Panel\International")
folder = w.stage("tray-update", worker=None)
shutil.copy(os.path.join(TREE, "NimbelloTray.exe"), folder)
shutil.copy(w.shipped("NimbelloUpdate"), folder)
TRAY = os.path.join(folder, "NimbelloTray.exe")
DOWNLOAD_PAGE = "https://%s/downloads/nimbello/" % os.environ.get("NIMBELLO_UPDATE_HOST",
                                                                 "www.veltra.com")
browser = w.Registry(r"HKCU\Software\Wine\WineBrowser", view=64)
BROWSER_LOG = os.path.join(folder, "browser.log")
log = w.WorkerLog(folder)
probe = w.probe
running = []


def ask(path):
    with urllib.request.urlopen("http://127.0.0.1:%d%s" % (PORT, path), timeout=10) as answer:
        return answer.read().decode("latin-1")


def requests():
    return [h for h in ask("/__log").split("\r\n----\r\n") if h.strip()]


def start_server():
    port_file = os.path.join(folder, "server.port")
    running.append(subprocess.Popen([sys.executable, SERVER, "--port", str(PORT), "--port-file",
                                     port_file, "--lifetime", "300"], start_new_session=True))
    if not w.wait_until(lambda: os.path.exists(port_file), 10):
        raise w.SetupError("the stand-in update server did not listen on 127.0.0.1:%d (in use?)" %
                           PORT)
    ask("/__set?body=" + b"VELTRA|1".hex())


def stamp(days_ago):
    """Midnight days_ago days before today, in the user's short date form (the applet reads it so)."""
    value = international.get("sShortDate")
    pattern = value[1] if value else "M/d/yyyy"
    day = datetime.date.today() - datetime.timedelta(days=days_ago)
    fields = {"d": str(day.day), "dd": "%02d" % day.day, "M": str(day.month),
              "MM": "%02d" % day.month, "yy": "%02d" % (day.year % 100), "yyyy": str(day.year)}
    return re.sub(r"d+|M+|y+", lambda m: fields.get(m.group(0), m.group(0)), pattern)


def stand_in_browser():
    script = os.path.join(folder, "browser.sh")
    with open(script, "w") as f:
        f.write('#!/bin/sh\nprintf "%%s\\n" "$@" >>"%s"\n' % BROWSER_LOG)
    os.chmod(script, 0o755)
    browser.set("Browsers", "REG_SZ", script)


def browser_addresses():
    try:
        with open(BROWSER_LOG) as f:
            return [l.strip() for l in f if l.strip()]
    except FileNotFoundError:
        return []


def update_check():
    settings.set("UpdatedDate", "REG_SZ", stamp(30))
    ask("/__reset")
    log.clear()
    tray = w.start(TRAY, "/start", env=log.env)
    running.append(tray)
    probe.wait_found("TNBTrayForm")
    time.sleep(TICKS_TO_CHECK + 4)
    w.check(requests() == [], "UpdatedDate 30 days old: no update request")

    # The counter has passed the limit and is not reset without a check: the age is compared on
    # every tick, so the next one asks, unless an administrator has turned the check off.
    policy.set("UpdateCheck", "REG_DWORD", 0)
    settings.set("UpdatedDate", "REG_SZ", stamp(31))
    time.sleep(4)
    w.check(requests() == [], "policy UpdateCheck 0: no update request at 31 days either")
    policy.delete("UpdateCheck")
    changed = time.monotonic()
    asked = w.wait_until(requests, 10, 0.2)
    w.check(len(asked) == 1, "UpdatedDate 31 days old: one update request (%d)" % len(asked))
    print("figure: update request %.1f s after UpdatedDate aged" % (time.monotonic() - changed))
    head = asked[0].splitlines() if asked else [""]
    w.check(head[0] == "GET /downloads/update/?product=nimbello&version=6.2.28.2011 HTTP/1.1",
            "request line: %r" % head[0])
    w.check("User-Agent: Mozilla/4.0 (compatible; VELTRA)" in head, "the vendor's user agent")

    # Wine's shell puts the balloon up two seconds after it was asked for.
    shown = w.wait_until(lambda: (lambda r: r[1] if r[0] == 0 else None)(probe.run("balloon")), 8,
                         0.3)
    w.check(shown == HINT, "the update balloon on the icon with the hint: %r" % (shown,))
    w.check(probe.run("notify", "TNBTrayIconWindow", str(BALLOON_USER_CLICK))[0] == 0,
            "the balloon's click notification posted")
    opened = w.wait_until(browser_addresses, 15, 0.2)
    w.check(opened == [DOWNLOAD_PAGE], "the click starts the updater, which opens %s in the "
            "browser: %r" % (DOWNLOAD_PAGE, opened))
    w.check(w.wait_until(lambda: not w._processes_named("NimbelloUpdate.exe"), 10, 0.2),
            "the updater has ended")

    # The check set the counter back: a day of ticks until the next one.
    time.sleep(TICKS_TO_CHECK)
    w.check(len(requests()) == 1, "no second request after the check")
    w.check(probe.close("TNBTrayForm") and w.wait_exit(tray, 20) == 0, "the applet ends")


def main():
    settings.delete("LoadTrayIcon", "Language", "LoadNimbello")
    stand_in_browser()
    start_server()
    update_check()


def cleanup():
    for process in running:
        w.stop(process)
    settings.delete("UpdatedDate")
    policy.delete("UpdateCheck")
    browser.delete("Browsers")


w.finish(main, cleanup)
