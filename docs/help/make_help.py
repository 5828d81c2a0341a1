#!/usr/bin/env python3
"""The help's sources made into a tree that chmcmd compiles, and the facts kept in step.

    make_help.py build OUT      the pages with their facts filled in, the contents, the index and
                                the project file Nimbello.hhp, in OUT
    make_help.py check [--table-tool TOOL]
                                the README's fact blocks, the policy template and the install
                                script's exit codes agree with facts.json and settings-table.json,
                                and that file with what TOOL (nimbello-settings) prints (exit 1
                                when not)
    make_help.py update [--table-tool TOOL]
                                writes settings-table.json from TOOL, then the README's fact blocks
                                and the policy template (packaging/Nimbello.admx and its ADML files)

The facts that the README states too (settings, exit codes) are written once, in facts.json; the
kinds, defaults and ranges of the settings come from the programs' own settings table, as the
native tool nimbello-settings prints it. A page names a block as <!--facts:NAME-->; the README
holds the same block between <!-- facts:NAME --> and <!-- /facts:NAME -->."""
import html
import json
import os
import re
import shutil
import subprocess
import sys
from xml.sax.saxutils import escape, quoteattr

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
README = os.path.join(ROOT, "README.md")
# HTML Help reads its contents and index files in the code page of the help's language.
SITEMAP_ENCODING = "cp1252"

TABLE_FILE = os.path.join(HERE, "settings-table.json")
DEFAULT_TOOL = os.path.join(ROOT, "build", "native", "bin", "nimbello-settings")

with open(os.path.join(HERE, "facts.json"), encoding="utf-8") as f:
    FACTS = json.load(f)
with open(TABLE_FILE, encoding="utf-8") as f:
    TABLE = json.load(f)
ROWS = {s["name"]: s for s in TABLE["settings"]}
# What the documents state about each setting: the table's row with its texts from facts.json.
SETTINGS = [dict(ROWS[s["name"]], **s) for s in FACTS["settings"]]

WORDS = {
    "en": {"value": "Value", "default": "Default", "range": "Range", "meaning": "Meaning",
           "code": "Exit code", "what": "Meaning", "written": "Written by",
           "boolean": "on (1) or off (0)", "colour": "a colour name such as clRed or clBtnFace",
           "language": "english or french", "to": "to", "on": "on", "off": "off",
           "below": "%s (%s below %d MB of memory)", "seven": "%s (%s on Windows 7)"},
    "fr": {"value": "Valeur", "default": "Par défaut", "range": "Plage", "meaning": "Rôle",
           "code": "Code de sortie", "what": "Signification", "written": "Écrite par",
           "boolean": "activé (1) ou désactivé (0)",
           "colour": "un nom de couleur comme clRed ou clBtnFace", "language": "english ou french",
           "to": "à", "on": "activé", "off": "désactivé",
           "below": "%s (%s sous %d Mo de mémoire)", "seven": "%s (%s sous Windows 7)"},
}


def value_range(setting, lang):
    words = WORDS[lang]
    if setting["kind"] == "integer":
        low, high = setting["range"]
        return "%d %s %d %s" % (low, words["to"], high, setting["unit"])
    return words[setting["kind"]]


def shown(value, lang):
    if isinstance(value, bool):
        return WORDS[lang]["on" if value else "off"]
    return str(value)


def default_text(setting, lang):
    rule = setting["default"]
    if rule["rule"] == "memory class":
        return WORDS[lang]["below"] % (rule["large"], rule["small"], TABLE["largeMemoryMegabytes"])
    if rule["rule"] == "windows 7":
        return WORDS[lang]["seven"] % (rule["other"], rule["windows 7"])
    return shown(rule["value"], lang)


def blocks(lang):
    """Each fact block as rows: (header, rows) with plain text cells."""
    w = WORDS[lang]
    return {
        "settings": ((w["value"], w["default"], w["range"], w["meaning"]),
                     [(s["name"], default_text(s, lang), value_range(s, lang), s[lang])
                      for s in SETTINGS]),
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

# The Group Policy template: one policy per value an administrator may set, each writing that one
# value to the policy key. Group Policy removes a value of that key when its policy is no longer
# configured, so nothing stays behind.
ADMX_NS = ('xmlns:xsd="http://www.w3.org/2001/XMLSchema"\n'
           '                   xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance"\n'
           '                   revision="2.0" schemaVersion="1.0"\n'
           '                   xmlns="http://schemas.microsoft.com/GroupPolicy/2006/07/'
           'PolicyDefinitions"')
TEMPLATE_WORDS = {
    "en": {"supported": "Nimbello 6.0 and later",
           "description": "Policies of Nimbello, the memory service and its notification-area "
                          "applet.",
           "range": "Range", "default": "Default when not configured",
           "boolean": "Enabled writes 1 (on), Disabled writes 0 (off).",
           "where": "The value is written to HKLM\\%s, which every program of Nimbello reads "
                    "before its settings key, and which users cannot change. The main window "
                    "shows it as set by the administrator. Not Configured removes the value: the "
                    "user's own setting, or the default, applies again.",
           "only": "The value is written to HKLM\\%s, which users cannot change. Not Configured "
                   "removes the value: the default applies again."},
    "fr": {"supported": "Nimbello 6.0 et versions ultérieures",
           "description": "Stratégies de Nimbello, le service de mémoire et son applet de la zone "
                          "de notification.",
           "range": "Plage", "default": "Par défaut, quand la stratégie n'est pas configurée",
           "boolean": "Activé écrit 1 (activé), Désactivé écrit 0 (désactivé).",
           "where": "La valeur est écrite dans HKLM\\%s, que chaque programme de Nimbello lit "
                    "avant sa clé des réglages et que les utilisateurs ne peuvent pas modifier. La "
                    "fenêtre principale la montre comme fixée par l'administrateur. Non configuré "
                    "supprime la valeur : le réglage de l'utilisateur, ou la valeur par défaut, "
                    "s'applique de nouveau.",
           "only": "La valeur est écrite dans HKLM\\%s, que les utilisateurs ne peuvent pas "
                   "modifier. Non configuré supprime la valeur : la valeur par défaut s'applique "
                   "de nouveau."},
}


def admx_policy(s):
    name, key = s["name"], TABLE["policyKey"]
    head = ('    <policy name="%s" class="Machine" displayName="$(string.%s)" '
            'explainText="$(string.%s_Help)"' % (name, name, name))
    common = ('      <parentCategory ref="Nimbello"/>\n'
              '      <supportedOn ref="SUPPORTED_Nimbello6"/>\n')
    if s["kind"] == "boolean":
        return (head + ' key="%s" valueName="%s">\n' % (key, name) + common +
                '      <enabledValue><decimal value="1"/></enabledValue>\n'
                '      <disabledValue><decimal value="0"/></disabledValue>\n'
                '    </policy>\n')
    if s["kind"] == "integer":
        element = ('        <decimal id="%s" valueName="%s" minValue="%d" maxValue="%d" '
                   'required="true"/>\n' % (name, name, s["range"][0], s["range"][1]))
    elif s["kind"] == "colour":
        element = '        <text id="%s" valueName="%s" required="true" maxLength="64"/>\n' % (
            name, name)
    else:
        element = '        <enum id="%s" valueName="%s" required="true">\n' % (name, name)
        for language in TABLE["languages"]:
            element += ('          <item displayName="$(string.%s_%s)"><value><string>%s'
                        '</string></value></item>\n' % (name, language, language))
        element += '        </enum>\n'
    return (head + ' presentation="$(presentation.%s)" key="%s">\n' % (name, key) + common +
            '      <elements>\n' + element + '      </elements>\n    </policy>\n')


def admx():
    return ('<?xml version="1.0" encoding="utf-8"?>\n'
            '<!-- Made by docs/help/make_help.py from the settings table and facts.json. -->\n'
            '<policyDefinitions ' + ADMX_NS + '>\n'
            '  <policyNamespaces>\n'
            '    <target prefix="nimbello" namespace="VELTRA.Policies.Nimbello"/>\n'
            '  </policyNamespaces>\n'
            '  <resources minRequiredRevision="2.0"/>\n'
            '  <supportedOn>\n    <definitions>\n'
            '      <definition name="SUPPORTED_Nimbello6" '
            'displayName="$(string.SUPPORTED_Nimbello6)"/>\n'
            '    </definitions>\n  </supportedOn>\n'
            '  <categories>\n'
            '    <category name="VELTRA" displayName="$(string.VELTRA)"/>\n'
            '    <category name="Nimbello" displayName="$(string.Nimbello)">\n'
            '      <parentCategory ref="VELTRA"/>\n    </category>\n'
            '  </categories>\n  <policies>\n' +
            "".join(admx_policy(s) for s in SETTINGS) +
            '  </policies>\n</policyDefinitions>\n')


def adml(lang):
    w, words = TEMPLATE_WORDS[lang], WORDS[lang]
    string = lambda sid, text: '      <string id="%s">%s</string>\n' % (sid, escape(text))
    strings = (string("SUPPORTED_Nimbello6", w["supported"]) + string("VELTRA", "VELTRA") +
               string("Nimbello", "Nimbello"))
    shows = ""
    for s in SETTINGS:
        name = s["name"]
        explain = [s[lang]]
        if s["kind"] == "boolean":
            explain.append(w["boolean"])
        else:
            explain.append("%s : %s." % (w["range"], value_range(s, lang)) if lang == "fr" else
                           "%s: %s." % (w["range"], value_range(s, lang)))
        explain.append(("%s : %s." if lang == "fr" else "%s: %s.") % (w["default"],
                                                                      default_text(s, lang)))
        explain.append(w["only" if s["place"] == "policy only" else "where"] % TABLE["policyKey"])
        strings += string(name, s["policy"][lang]) + string(name + "_Help", "\n\n".join(explain))
        label = escape(s.get("box", {}).get(lang, ""))
        rule = s["default"]
        first = rule.get("value", rule.get("large", rule.get("other")))
        if s["kind"] == "integer":
            control = ('<decimalTextBox refId="%s" defaultValue="%d" spinStep="1">%s'
                       '</decimalTextBox>' % (name, first, label))
        elif s["kind"] == "colour":
            control = ('<textBox refId="%s"><label>%s</label><defaultValue>%s</defaultValue>'
                       '</textBox>' % (name, label, first))
        elif s["kind"] == "language":
            for language in TABLE["languages"]:
                strings += string("%s_%s" % (name, language), language)
            control = ('<dropdownList refId="%s" noSort="true" defaultItem="%d">%s'
                       '</dropdownList>' % (name, TABLE["languages"].index(first), label))
        else:
            continue
        shows += ('      <presentation id="%s">\n        %s\n      </presentation>\n' %
                  (name, control))
    return ('<?xml version="1.0" encoding="utf-8"?>\n'
            '<!-- Made by docs/help/make_help.py from the settings table and facts.json. -->\n'
            '<policyDefinitionResources ' + ADMX_NS.replace("\n                   ",
                                                            "\n                           ") +
            '>\n'
            '  <displayName>Nimbello</displayName>\n'
            '  <description>%s</description>\n'
            '  <resources>\n    <stringTable>\n%s    </stringTable>\n'
            '    <presentationTable>\n%s    </presentationTable>\n'
            '  </resources>\n</policyDefinitionResources>\n' % (escape(w["description"]),
                                                                 strings, shows))


def template():
    packaging = os.path.join(ROOT, "packaging")
    return {os.path.join(packaging, "Nimbello.admx"): admx(),
            os.path.join(packaging, "en-US", "Nimbello.adml"): adml("en"),
            os.path.join(packaging, "fr-FR", "Nimbello.adml"): adml("fr")}


def read(path):
    with open(path, encoding="utf-8", newline="") as f:
        return f.read()


def table_text(tool):
    return subprocess.run([tool], capture_output=True, text=True, check=True, timeout=60).stdout


def check(tool):
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
    # The settings the documents state are the table's: every one an administrator may set, and
    # the tool built from the programs' sources prints the table they were made from.
    stated = [row["name"] for row in FACTS["settings"]]
    settable = [row["name"] for row in TABLE["settings"] if row["place"] != "settings"]
    if stated != settable:
        problems.append("facts.json states %s, the table lets administrators set %s" % (
            stated, settable))
    if tool is None:
        problems.append("no settings table to compare: build the native preset (%s)" %
                        DEFAULT_TOOL)
    elif table_text(tool) != read(TABLE_FILE):
        problems.append("docs/help/settings-table.json differs from the settings table "
                        "(python3 docs/help/make_help.py update)")
    for path, text in template().items():
        if read(path) != text:
            problems.append("%s differs from the settings table and facts.json "
                            "(python3 docs/help/make_help.py update)" % os.path.relpath(path, ROOT))
    for problem in problems:
        print("help facts: " + problem)
    return 1 if problems else 0


def table_tool(argv):
    if len(argv) == 4 and argv[2] == "--table-tool":
        return argv[3]
    return DEFAULT_TOOL if len(argv) == 2 and os.path.exists(DEFAULT_TOOL) else None


def update(tool):
    global TABLE, ROWS, SETTINGS
    if tool is not None:
        with open(TABLE_FILE, "w", encoding="utf-8", newline="") as f:
            f.write(table_text(tool))
        with open(TABLE_FILE, encoding="utf-8") as f:
            TABLE = json.load(f)
        ROWS = {s["name"]: s for s in TABLE["settings"]}
        SETTINGS = [dict(ROWS[s["name"]], **s) for s in FACTS["settings"]]
    with open(README, encoding="utf-8") as f:
        text = f.read()
    with open(README, "w", encoding="utf-8") as f:
        f.write(readme_with_facts(text))
    for path, text in template().items():
        with open(path, "w", encoding="utf-8", newline="") as f:
            f.write(text)


def main(argv):
    if len(argv) == 3 and argv[1] == "build":
        build(argv[2])
        return 0
    if len(argv) in (2, 4) and argv[1] == "check":
        return check(table_tool(argv))
    if len(argv) in (2, 4) and argv[1] == "update":
        update(table_tool(argv))
        return 0
    print(__doc__)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
