"""Checks the files for administrators that cpack leaves beside the NSIS installer:
  - the Group Policy template (packaging/Nimbello.admx and its ADML files): well-formed, with the
    namespaces and revisions the Group Policy editor requires; every policy writes a setting of
    the main window's table with the kind and range the programs read, the same way to both
    registry views; every string and presentation it names exists in both languages;
  - the winget manifest: its fields, and its hash against the built installer;
  - the two ZIPs: the same files flat, no x64 folder, the 32-bit programs and the worker of the
    ZIP's bitness.
Usage: admin_packages_check.py SOURCE_DIR PACKAGE_DIR (build/mingw-x86/package, after cpack).
"""
import hashlib
import os
import re
import struct
import sys
import zipfile
import xml.etree.ElementTree as ET

import yaml

NS = "http://schemas.microsoft.com/GroupPolicy/2006/07/PolicyDefinitions"
KEYS = {r"Software\VELTRA\Nimbello", r"Software\WOW6432Node\VELTRA\Nimbello"}
POLICIES = {"MemoryMaintain", "MemoryFree", "ExecutePeriod", "ProcessorLimit", "BatteryCheck",
            "FullScreenCheck", "LoadNimbello", "LoadTrayIcon", "Language"}
LANGUAGES = ("en-US", "fr-FR")
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL " + what)


def q(tag):
    return "{%s}%s" % (NS, tag)


def settings_table(source):
    """The programs' settings table: name -> (kind, minimum, maximum), and the languages."""
    text = ""
    for name in ("SettingsTable.cpp", "SettingsTable.h"):
        with open(os.path.join(source, "foundation", name), encoding="utf-8") as f:
            text += f.read()
    rows = re.findall(r"\{SettingId::\w+, Constants::(\w+), SettingKind::(\w+)"
                      r"(?:, (-?\d+), (-?\d+))?\}", text)
    languages = re.search(r"Languages\{([^}]*)\}", text).group(1)
    return ({name: (kind, int(lo) if lo else None, int(hi) if hi else None)
             for name, kind, lo, hi in rows}, re.findall(r'u"(\w+)"', languages))


def writes(policy):
    """What a policy writes where: (key, value name) -> (kind, details...), in one form whether the
    value goes through the policy's own key and elements or through its extra lists."""
    key = policy.get("key")
    found = {}

    def add(node, name, kind, detail):
        found.setdefault((node.get("key", key), name or node.get("valueName")), [kind]).append(detail)

    def number(node):
        return int(node.find(q("decimal")).get("value"))

    def text(item):
        return item.find(q("value")).find(q("string")).text

    if policy.get("valueName"):
        for state in ("enabled", "disabled"):
            add(policy, policy.get("valueName"), "Boolean",
                (state, number(policy.find(q(state + "Value")))))
            for entry in policy.findall("%s/%s" % (q(state + "List"), q("item"))):
                add(entry, None, "Boolean", (state, number(entry.find(q("value")))))
    for element in policy.findall(q("elements") + "/*"):
        if element.tag == q("decimal"):
            add(element, None, "Integer", (int(element.get("minValue")),
                                           int(element.get("maxValue"))))
        elif element.tag == q("enum"):
            for item in element.findall(q("item")):
                add(element, None, "Language", text(item))
                for entry in item.findall("%s/%s" % (q("valueList"), q("item"))):
                    add(entry, None, "Language", text(entry))
        else:
            check(False, "%s: element %s of an unchecked kind" % (policy.get("name"), element.tag))
    return {where: tuple(what) for where, what in found.items()}


def check_policy(policy, table, languages):
    name = policy.get("name")
    found = writes(policy)
    names = {value for _, value in found}
    check(found and set(found) == {(k, v) for k in KEYS for v in names},
          "%s writes each of its values to both settings keys, nowhere else: %r" %
          (name, sorted(found)))
    for (key, value), written in found.items():
        kind, lo, hi = table.get(value, (None, None, None))
        expected = {"Integer": ("Integer", (lo, hi)),
                    "Boolean": ("Boolean", ("enabled", 1), ("disabled", 0)),
                    "Language": ("Language", *languages)}.get(kind)
        check(written == expected, "%s writes %s\\%s as %r; the programs read %r" %
              (name, key, value, written, expected))


def references(root):
    """The $(string.X) and $(presentation.X) ids an ADMX names."""
    text = ET.tostring(root, encoding="unicode")
    return (set(re.findall(r"\$\(string\.(\w+)\)", text)),
            set(re.findall(r"\$\(presentation\.(\w+)\)", text)))


def check_policy_template(source):
    admx = ET.parse(os.path.join(source, "packaging", "Nimbello.admx")).getroot()
    check(admx.tag == q("policyDefinitions") and admx.get("revision") and
          admx.get("schemaVersion"), "ADMX root, namespace, revision and schemaVersion")
    check(admx.find(q("policyNamespaces")).find(q("target")) is not None and
          admx.find(q("resources")).get("minRequiredRevision"), "ADMX target and resources")
    table, languages = settings_table(source)
    policies = admx.find(q("policies")).findall(q("policy"))
    check({p.get("name") for p in policies} == POLICIES, "the policies: %r" %
          sorted(p.get("name") for p in policies))
    for policy in policies:
        check(policy.get("class") == "Machine", policy.get("name") + ": a machine policy")
        check_policy(policy, table, languages)
    strings, presentations = references(admx)
    ids = {}
    for language in LANGUAGES:
        adml = ET.parse(os.path.join(source, "packaging", language, "Nimbello.adml")).getroot()
        check(adml.tag == q("policyDefinitionResources") and adml.get("revision") and
              adml.get("schemaVersion"), language + ": ADML root, namespace and revisions")
        resources = adml.find(q("resources"))
        have = {s.get("id") for s in resources.find(q("stringTable"))}
        shown = {p.get("id"): p for p in resources.find(q("presentationTable"))}
        check(strings <= have, "%s: strings missing: %r" % (language, sorted(strings - have)))
        check(presentations == set(shown), "%s: presentations %r" % (language, sorted(shown)))
        for policy in policies:
            elements = policy.find(q("elements"))
            element_ids = {e.get("id") for e in (elements if elements is not None else [])}
            pid = re.match(r"\$\(presentation\.(\w+)\)", policy.get("presentation") or "")
            controls = {c.get("refId") for c in shown[pid.group(1)]} - {None} if pid else set()
            check(controls == element_ids, "%s %s: every element has one control: %r, %r" %
                  (language, policy.get("name"), sorted(element_ids), sorted(controls)))
        ids[language] = (have, set(shown))
    check(ids["en-US"] == ids["fr-FR"], "both languages have the same strings and presentations")


def check_winget(source, package):
    with open(os.path.join(source, "cmake", "Packaging.cmake"), encoding="utf-8") as f:
        packaging = f.read()
    uninstall_key = re.search(r"CPACK_PACKAGE_INSTALL_REGISTRY_KEY (\w+)", packaging).group(1)
    installer = os.path.join(package, "Nimbello-6.0.0.0-win32.exe")
    with open(installer, "rb") as f:
        sha256 = hashlib.sha256(f.read()).hexdigest().upper()
    manifests = {}
    for kind, suffix in (("version", ""), ("installer", ".installer"),
                         ("defaultLocale", ".locale.en-US")):
        path = os.path.join(package, "winget", "VELTRA.Nimbello%s.yaml" % suffix)
        with open(path, encoding="utf-8") as f:
            text = f.read()
        check("$schema=https://aka.ms/winget-manifest.%s.1.6.0.schema.json" % kind in text,
              kind + ": schema 1.6.0")
        manifests[kind] = yaml.safe_load(text)
        check(manifests[kind].get("ManifestType") == kind and
              manifests[kind].get("ManifestVersion") == "1.6.0" and
              manifests[kind].get("PackageIdentifier") == "VELTRA.Nimbello" and
              manifests[kind].get("PackageVersion") == "6.0.0.0", kind + ": identity")
    m = manifests["installer"]
    entry = {"DisplayName": "Nimbello", "Publisher": "VELTRA", "DisplayVersion": "6.0.0.0",
             "ProductCode": uninstall_key, "InstallerType": "nullsoft"}
    expected = {"InstallerType": "nullsoft", "Scope": "machine", "ProductCode": uninstall_key,
                "RequireExplicitUpgrade": True, "AppsAndFeaturesEntries": [entry]}
    for field, value in expected.items():
        check(m.get(field) == value, "installer %s: %r" % (field, m.get(field)))
    installers = m.get("Installers") or [{}]
    check(len(installers) == 1 and installers[0].get("Architecture") == "x86" and
          installers[0].get("InstallerUrl", "").endswith("/Nimbello-6.0.0.0-win32.exe"),
          "one x86 installer: %r" % installers)
    check(installers[0].get("InstallerSha256") == sha256, "the hash of %s: %r, built %s" %
          (installer, installers[0].get("InstallerSha256"), sha256))
    check(manifests["version"].get("DefaultLocale") == "en-US" and
          manifests["defaultLocale"].get("PackageLocale") == "en-US" and
          all(manifests["defaultLocale"].get(f) for f in ("Publisher", "PackageName", "License",
                                                          "ShortDescription")),
          "the default locale and its required fields")


def machine(data):
    """The PE header's machine: 0x14C i386, 0x8664 x86_64."""
    at = struct.unpack_from("<I", data, 0x3C)[0]
    return struct.unpack_from("<H", data, at + 4)[0] if data[at:at + 4] == b"PE\0\0" else None


def check_zips(package):
    names = {"README.txt", "Nimbello.chm", "NimbelloService.exe", "NimbelloTray.exe", "Nimbello.exe",
             "NimbelloUpdate.exe", "NimbelloDefrag.exe"}
    for bits, worker in (("64", 0x8664), ("32", 0x14C)):
        path = os.path.join(package, "Nimbello-6.0.0.0-win%s.zip" % bits)
        if not os.path.exists(path):
            check(False, "no %s" % path)
            continue
        with zipfile.ZipFile(path) as z:
            check(set(z.namelist()) == names, "win%s.zip holds %r" % (bits, sorted(z.namelist())))
            for name in names & set(z.namelist()):
                if name.endswith(".exe"):
                    wanted = worker if name == "NimbelloDefrag.exe" else 0x14C
                    found = machine(z.read(name))
                    check(found == wanted, "win%s.zip: %s is for machine %r" % (bits, name, found))


def main():
    source, package = sys.argv[1], sys.argv[2]
    check_policy_template(source)
    check_zips(package)
    if not os.path.exists(os.path.join(package, "winget")):
        check(False, "no winget manifest in %s: run cpack in build/mingw-x86 first" % package)
    else:
        check_winget(source, package)
    print("%d failures" % len(failures))
    return 1 if failures else 0


sys.exit(main())
