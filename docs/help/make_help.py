#!/usr/bin/env python3
"""The help's sources made into a tree that chmcmd compiles, and the facts kept in step.

    make_help.py build OUT      the pages with their facts filled in, the contents, the index and
                                the project file Nimbello.hhp, in OUT
    make_help.py check          the README's fact blocks, the install script's exit codes and the
                                main window's ranges agree with facts.json (exit 1 when not)
    make_help.py update-readme  writes the README's fact blocks from facts.json

The facts that the README states too (settings, exit codes) are written once, in facts.json. A page
names a block as <!--facts:NAME-->; the README holds the same block between <!-- facts:NAME -->
and <!-- /facts:NAME -->."""
import html
import json
import os
import re
import shutil
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
README = os.path.join(ROOT, "README.md")
# HTML Help reads its contents and index files in the code page of the help's language.
SITEMAP_ENCODING = "cp1252"

with open(os.path.join(HERE, "facts.json"), encoding="utf-8") as f:
    FACTS = json.load(f)

WORDS = {
    "en": {"value": "Value", "default": "Default", "range": "Range", "meaning": "Meaning",
           "code": "Exit code", "what": "Meaning", "written": "Written by",
           "boolean": "on (1) or off (0)", "colour": "a colour name such as clRed or clBtnFace",
           "language": "english or french", "to": "to"},
    "fr": {"value": "Valeur", "default": "Par défaut", "range": "Plage", "meaning": "Rôle",
           "code": "Code de sortie", "what": "Signification", "written": "Écrite par",
           "boolean": "activé (1) ou désactivé (0)",
           "colour": "un nom de couleur comme clRed ou clBtnFace", "language": "english ou french",
           "to": "à"},
}


def value_range(setting, lang):
    words = WORDS[lang]
    if setting["kind"] == "integer":
        low, high = setting["range"]
        return "%d %s %d %s" % (low, words["to"], high, setting["unit"])
    return words[setting["kind"]]


def blocks(lang):
    """Each fact block as rows: (header, rows) with plain text cells."""
    w = WORDS[lang]
    return {
        "settings": ((w["value"], w["default"], w["range"], w["meaning"]),
                     [(s["name"], s["default"][lang], value_range(s, lang), s[lang])
                      for s in FACTS["settings"]]),
        "exchanged": ((w["value"], w["written"]),
                      [(s["name"], s[lang]) for s in FACTS["exchanged"]]),
        "installer-exit-codes": ((w["code"], w["what"]),
                                 [(str(c["code"]), c[lang]) for c in FACTS["installer_exit_codes"]]),
        "uninstaller-exit-codes": ((w["code"], w["what"]),
                                   [(str(c["code"]), c[lang])
                                    for c in FACTS["uninstaller_exit_codes"]]),
    }


def html_table(header, rows):
    cell = lambda tag, text: "<%s>%s</%s>" % (tag, html.escape(text), tag)
    lines = ["<table>", "<tr>" + "".join(cell("th", h) for h in header) + "</tr>"]
    lines += ["<tr>" + "".join(cell("td", c) for c in row) + "</tr>" for row in rows]
    return "\n".join(lines + ["</table>"])


def markdown_table(header, rows):
    line = lambda cells: "| " + " | ".join(c.replace("|", "\\|") for c in cells) + " |"
    code = lambda row: ("`%s`" % row[0],) + tuple(row[1:])
    return "\n".join([line(header), line(["---"] * len(header))] + [line(code(r)) for r in rows])


def fill_page(text, lang):
    found = blocks(lang)

    def block(match):
        name = match.group(1)
        if name not in found:
            raise SystemExit("unknown fact block %r" % name)
        return html_table(*found[name])
    return re.sub(r"<!--facts:([\w-]+)-->", block, text)


def build(out):
    shutil.rmtree(out, ignore_errors=True)
    pages = []
    for folder, _, files in os.walk(os.path.join(HERE, "html")):
        for name in sorted(files):
            source = os.path.join(folder, name)
            relative = os.path.relpath(source, HERE).replace(os.sep, "/")
            target = os.path.join(out, relative)
            os.makedirs(os.path.dirname(target), exist_ok=True)
            if name.endswith(".htm"):
                with open(source, encoding="utf-8") as f:
                    text = fill_page(f.read(), "fr" if "/fr/" in relative else "en")
                with open(target, "w", encoding="utf-8", newline="\r\n") as f:
                    f.write(text)
            else:
                shutil.copy(source, target)
            pages.append(relative)
    for sitemap in ("toc.hhc", "index.hhk"):
        with open(os.path.join(HERE, sitemap), encoding="utf-8") as f:
            text = f.read()
        with open(os.path.join(out, sitemap), "w", encoding=SITEMAP_ENCODING,
                  newline="\r\n") as f:
            f.write(text)
    with open(os.path.join(HERE, "Nimbello.hhp"), encoding="utf-8") as f:
        project = f.read()
    with open(os.path.join(out, "Nimbello.hhp"), "w", encoding=SITEMAP_ENCODING,
              newline="\r\n") as f:
        f.write(project + "\n[FILES]\n" + "\n".join(sorted(pages)) + "\n")


README_BLOCK = re.compile(r"(<!-- facts:([\w-]+) -->\n)(.*?)(<!-- /facts:\2 -->)", re.S)


def readme_with_facts(text):
    found = blocks("en")
    return README_BLOCK.sub(lambda m: m.group(1) + markdown_table(*found[m.group(2)]) + "\n" + m.group(4),
                            text)


def check():
    problems = []
    with open(README, encoding="utf-8") as f:
        readme = f.read()
    named = set(m.group(2) for m in README_BLOCK.finditer(readme))
    for name in ("settings", "installer-exit-codes", "uninstaller-exit-codes"):
        if name not in named:
            problems.append("README.md has no <!-- facts:%s --> block" % name)
    if readme_with_facts(readme) != readme:
        problems.append("README.md's fact blocks differ from docs/help/facts.json "
                        "(python3 docs/help/make_help.py update-readme)")
    # Every exit code the install script sets is explained, and every explained one is set.
    script = ""
    for name in sorted(os.listdir(os.path.join(ROOT, "packaging"))):
        if name.endswith(".nsh"):
            with open(os.path.join(ROOT, "packaging", name), encoding="utf-8") as f:
                script += f.read()
    set_codes = set(int(c) for c in re.findall(
        r"^\s*(?:!insertmacro\s+NimbelloFail|SetErrorLevel)\s+(\d+)", script, re.M))
    # NSIS itself ends with 2 when the user cancels or a file cannot be written; the script may
    # set it too, for a file it puts in place itself.
    set_codes.discard(2)
    explained = set(c["code"] for c in FACTS["installer_exit_codes"] +
                    FACTS["uninstaller_exit_codes"]) - {0, 2}
    if set_codes != explained:
        problems.append("exit codes set by packaging/*.nsh %s, explained in facts.json %s" % (
            sorted(set_codes), sorted(explained)))
    # The ranges are the ones the settings table gives the main window.
    with open(os.path.join(ROOT, "foundation", "SettingsTable.cpp"), encoding="utf-8") as f:
        enforced = {name: (int(low), int(high)) for name, low, high in re.findall(
            r"Constants::(\w+), SettingKind::Integer, (-?\d+), (-?\d+)\}", f.read())}
    stated = {s["name"]: tuple(s["range"]) for s in FACTS["settings"] if s["kind"] == "integer"}
    if enforced != stated:
        problems.append("ranges in foundation/SettingsTable.cpp %s, in facts.json %s" % (
            enforced, stated))
    for problem in problems:
        print("help facts: " + problem)
    return 1 if problems else 0


def main(argv):
    if len(argv) == 3 and argv[1] == "build":
        build(argv[2])
        return 0
    if len(argv) == 2 and argv[1] == "check":
        return check()
    if len(argv) == 2 and argv[1] == "update-readme":
        with open(README, encoding="utf-8") as f:
            text = f.read()
        with open(README, "w", encoding="utf-8") as f:
            f.write(readme_with_facts(text))
        return 0
    print(__doc__)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
