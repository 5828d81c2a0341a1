#!/usr/bin/env python3
"""The compiled help, read back from the CHM itself (no HTML engine runs under Wine here).

Decompiles each CHM given with extract_chmLib and checks what a reader would run into: the start
page the applet opens, the window type it names, every topic of the contents and the index, every
link between pages and to the style sheet, both languages, and French one click from the start."""
import html.parser
import os
import posixpath
import re
import subprocess
import sys
import tempfile

START = "html/main.htm"
WINDOW = "HelpWindow"


class Links(html.parser.HTMLParser):
    def __init__(self):
        super().__init__()
        self.found, self.locals = [], []

    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        for name in ("href", "src"):
            if attrs.get(name):
                self.found.append(attrs[name])
        if tag == "param" and (attrs.get("name") or "").lower() == "local":
            self.locals.append(attrs.get("value") or "")


def parse(path, encoding="utf-8"):
    links = Links()
    with open(path, encoding=encoding) as f:
        links.feed(f.read())
    return links


def internal(base, link):
    """The CHM path a link of page base leads to; None for an outside address."""
    if re.match(r"^[a-z][a-z0-9+.-]*:", link, re.I) or link.startswith("#"):
        return None
    return posixpath.normpath(posixpath.join(posixpath.dirname(base), link.split("#")[0]))


def check(chm):
    problems = []
    with tempfile.TemporaryDirectory() as out:
        run = subprocess.run(["extract_chmLib", chm, out], capture_output=True, text=True,
                             timeout=60)
        if run.returncode != 0:
            return ["extract_chmLib failed: " + run.stderr.strip()]
        exists = lambda p: os.path.isfile(os.path.join(out, *p.split("/")))
        pages = sorted(os.path.relpath(os.path.join(d, f), out).replace(os.sep, "/")
                       for d, _, files in os.walk(out) for f in files if f.endswith(".htm"))
        if START not in pages:
            problems.append("no start page " + START)
        for sitemap in ("toc.hhc", "index.hhk"):
            if not exists(sitemap):
                problems.append("no " + sitemap)
                continue
            topics = parse(os.path.join(out, sitemap), "cp1252").locals
            if len(topics) < 2:
                problems.append("%s names %d topics" % (sitemap, len(topics)))
            problems += ["%s names %s, which is not in the help" % (sitemap, t)
                         for t in topics if not exists(t)]
        with open(os.path.join(out, "#WINDOWS"), "rb") as f:
            windows = f.read()
        with open(os.path.join(out, "#STRINGS"), "rb") as f:
            if WINDOW.encode() + b"\0" not in f.read() or len(windows) < 8:
                problems.append("no window type " + WINDOW)
        reached = {}
        for page in pages:
            links = parse(os.path.join(out, page)).found
            reached[page] = [t for t in (internal(page, l) for l in links) if t]
            problems += ["%s links to %s, which is not in the help" % (page, t)
                         for t in reached[page] if not exists(t)]
        for lang in ("en", "fr"):
            part = [p for p in pages if p.startswith("html/%s/" % lang)]
            if len(part) < 7:
                problems.append("the %s part has %d pages" % (lang, len(part)))
            if not any(t.startswith("html/%s/" % lang) for t in reached.get(START, [])):
                problems.append("the start page does not lead to the %s part" % lang)
        # Every page can be reached from the start page, so none is left over.
        seen, todo = {START}, [START]
        while todo:
            for target in reached.get(todo.pop(), []):
                if target.endswith(".htm") and target not in seen:
                    seen.add(target)
                    todo.append(target)
        problems += ["%s cannot be reached from the start page" % p for p in pages if p not in seen]
        print("%s: %d pages, %d links" % (chm, len(pages), sum(map(len, reached.values()))))
    return problems


def main(chms):
    problems = []
    for chm in chms:
        if os.path.exists(chm) or chm == chms[0]:
            problems += ["%s: %s" % (chm, p) for p in check(chm)]
    for problem in problems:
        print("FAIL " + problem)
    print("%d problems" % len(problems))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
