"""Checks the files for administrators that cpack leaves beside the NSIS installer:
  - the Group Policy template (packaging/Nimbello.admx and its ADML files): well-formed, with the
    namespaces and revisions the Group Policy editor requires; one policy per value of the
    settings table (docs/help/settings-table.json) that administrators may set, writing that one
    value, with the kind and range the programs read, to the policy key and nowhere else; every
    string and presentation it names exists in both languages;
  - the MSI's rows that no end-to-end run can show: the vital service, what closing ends, the
    settings removed from both views, the entries of Apps & features, the _Validation rows of the
    tables the build adds, and the product code written beside the package;
  - the winget manifest: its fields, every installer exit code, and its hash against the built
    installer;
  - the two ZIPs: the same files flat, no x64 folder, the 32-bit programs and the worker of the
    ZIP's bitness.
Usage: admin_packages_check.py SOURCE_DIR PACKAGE_DIR (build/mingw-x86/package, after cpack).
"""
import hashlib
import json
import os
import re
import subprocess
import struct
import sys
import zipfile
import xml.etree.ElementTree as ET

import yaml

NS = "http://schemas.microsoft.com/GroupPolicy/2006/07/PolicyDefinitions"
LANGUAGES = ("en-US", "fr-FR")
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL " + what)


def q(tag):
    return "{%s}%s" % (NS, tag)


def settings_table(source):
    """The programs' settings table as nimbello-settings prints it."""
    with open(os.path.join(source, "docs", "help", "settings-table.json"), encoding="utf-8") as f:
        return json.load(f)


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
            add(policy, policy.get("valueName"), "boolean",
                (state, number(policy.find(q(state + "Value")))))
            for entry in policy.findall("%s/%s" % (q(state + "List"), q("item"))):
                add(entry, None, "boolean", (state, number(entry.find(q("value")))))
    for element in policy.findall(q("elements") + "/*"):
        if element.tag == q("decimal"):
            add(element, None, "integer", (int(element.get("minValue")),
                                           int(element.get("maxValue"))))
        elif element.tag == q("text"):
            add(element, None, "colour", element.get("required"))
        elif element.tag == q("enum"):
            for item in element.findall(q("item")):
                add(element, None, "language", text(item))
                for entry in item.findall("%s/%s" % (q("valueList"), q("item"))):
                    add(entry, None, "language", text(entry))
        else:
            check(False, "%s: element %s of an unchecked kind" % (policy.get("name"), element.tag))
    return {where: tuple(what) for where, what in found.items()}


def check_policy(policy, table):
    name = policy.get("name")
    found = writes(policy)
    check(list(found) == [(table["policyKey"], name)],
          "%s writes its one value to the policy key, nowhere else: %r" % (name, sorted(found)))
    row = next((r for r in table["settings"] if r["name"] == name), {})
    expected = {"integer": ("integer", tuple(row.get("range", ()))),
                "boolean": ("boolean", ("enabled", 1), ("disabled", 0)),
                "colour": ("colour", "true"),
                "language": ("language", *table["languages"])}.get(row.get("kind"))
    for where, written in found.items():
        check(written == expected, "%s writes %r as %r; the programs read %r" %
              (name, where, written, expected))


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
    table = settings_table(source)
    settable = [r["name"] for r in table["settings"] if r["place"] != "settings"]
    policies = admx.find(q("policies")).findall(q("policy"))
    check([p.get("name") for p in policies] == settable, "the policies: %r, settable %r" %
          ([p.get("name") for p in policies], settable))
    check("WOW6432Node" not in ET.tostring(admx, encoding="unicode"), "no WOW6432Node")
    for policy in policies:
        check(policy.get("class") == "Machine", policy.get("name") + ": a machine policy")
        check_policy(policy, table)
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


def msi_table(msi, table):
    """The rows of a table; its column names first."""
    out = subprocess.run(["msiinfo", "export", msi, table], capture_output=True, text=True,
                         timeout=60).stdout.splitlines()
    return [line.split("\t") for line in out[:1] + out[3:]]


def check_msi(package):
    msi = os.path.join(package, "Nimbello-6.0.0.0.msi")
    rows = lambda table: {r[0]: r for r in msi_table(msi, table)[1:]}
    service = rows("ServiceInstall").get("NimbelloService", ["0"] * 6)
    check(int(service[5]) & 0x8000, "the service install is vital: %r" % service)
    actions = {name: r[3] for name, r in rows("CustomAction").items()}
    check(all("/im %s.exe" % p in actions.get("CloseApplet", "") for p in
              ("NimbelloTray", "Nimbello", "NimbelloDefrag", "NimbelloUpdate")),
          "closing ends the applet, the main window, the worker and the updater: %r" % actions)
    check(sorted(v for v in actions.values() if v.startswith("delete ")) ==
          ["delete HKLM\\Software\\VELTRA\\Nimbello /f /reg:%s" % view for view in ("32", "64")],
          "the settings go from both views")
    check(rows("Registry").get("VendorKey", [None] * 4)[2:4] == ["Software\\VELTRA", "+"],
          "the vendor key is the package's, removed when empty")
    properties = {name: r[1] for name, r in rows("Property").items()}
    check(properties.get("ARPPRODUCTICON") in rows("Icon") and
          properties.get("ARPURLINFOABOUT", "").startswith("https://"),
          "ARPPRODUCTICON names an icon of the package; ARPURLINFOABOUT")
    validated = {(r[0], r[1]) for r in msi_table(msi, "_Validation")[1:]}
    for table in ("MsiLockPermissionsEx",):
        check({(table, c) for c in msi_table(msi, table)[0]} <= validated,
              "_Validation rows of every column of %s" % table)
    with open(msi + ".ProductCode.txt", encoding="utf-8") as f:
        check(f.read().strip() == properties.get("ProductCode"),
              "the product code beside the package is the package's")


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
    with open(os.path.join(source, "docs", "help", "facts.json"), encoding="utf-8") as f:
        codes = {c["code"] for c in json.load(f)["installer_exit_codes"]} - {0}
    mapped = {c.get("InstallerReturnCode") for c in m.get("ExpectedReturnCodes", [])}
    check(codes == mapped, "ExpectedReturnCodes %r, the README's exit codes %r" %
          (sorted(mapped), sorted(codes)))
    check(manifests["defaultLocale"].get("ReleaseNotesUrl", "").startswith("https://"),
          "ReleaseNotesUrl")
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
    check_msi(package)
    check_zips(package)
    if not os.path.exists(os.path.join(package, "winget")):
        check(False, "no winget manifest in %s: run cpack in build/mingw-x86 first" % package)
    else:
        check_winget(source, package)
    print("%d failures" % len(failures))
    return 1 if failures else 0


sys.exit(main())
