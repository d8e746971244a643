#!/usr/bin/python3
"""The built Windows programs as Windows will load them (no Wine needed):
    windows_programs_test.py VERSION Tolvarenquista.exe tolvarenquista-cli.exe
Each has no link time in its PE header or its resource directories, and exactly one application
manifest (resource 24/1) that runs it as the invoker, names Windows 7, 8, 8.1 and 10/11 and is
long-path aware; the dialog program's also asks for the common controls of version 6 and is
DPI-aware (system-aware), and its file version is the project's."""

import os
import sys
import xml.etree.ElementTree as ET

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "package"))
import pe  # noqa: E402

ASM_V1 = "{urn:schemas-microsoft-com:asm.v1}"
ASM_V3 = "{urn:schemas-microsoft-com:asm.v3}"
COMPATIBILITY = "{urn:schemas-microsoft-com:compatibility.v1}"
WINDOWS_SETTINGS_2005 = "{http://schemas.microsoft.com/SMI/2005/WindowsSettings}"
WINDOWS_SETTINGS_2016 = "{http://schemas.microsoft.com/SMI/2016/WindowsSettings}"
SUPPORTED_OS = {
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}": "Windows 7",
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}": "Windows 8",
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}": "Windows 8.1",
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}": "Windows 10 and 11",
}

failures = []


def expect(condition, what):
    if not condition:
        failures.append(what)


def check(path, dialog, version):
    name = os.path.basename(path)
    program = pe.PeFile(path)
    expect(program.timestamp == 0, f"{name}: link time {program.timestamp:#x} in the PE header")
    _, stamps = program.resources()
    expect(not any(stamps), f"{name}: time stamps in the resource directories: {stamps}")
    manifests = program.manifests()
    expect([(m[0], m[1]) for m in manifests] == [(1, 0)],
           f"{name}: manifests (ID, language) {[(m[0], m[1]) for m in manifests]}, not one of ID 1 and no language")
    if not manifests:
        return
    root = ET.fromstring(manifests[0][2])
    expect(root.tag == ASM_V1 + "assembly", f"{name}: the manifest's root is {root.tag}")

    levels = root.findall(f"{ASM_V3}trustInfo/{ASM_V3}security/{ASM_V3}requestedPrivileges/"
                          f"{ASM_V3}requestedExecutionLevel")
    expect([(e.get("level"), e.get("uiAccess")) for e in levels] == [("asInvoker", "false")],
           f"{name}: requestedExecutionLevel {[e.attrib for e in levels]}")

    systems = {e.get("Id") for e in root.findall(f"{COMPATIBILITY}compatibility/{COMPATIBILITY}application/"
                                                 f"{COMPATIBILITY}supportedOS")}
    for guid, system in SUPPORTED_OS.items():
        expect(guid in systems, f"{name}: no supportedOS for {system}")
    long_paths = [e.text for e in root.findall(f"{ASM_V3}application/{ASM_V3}windowsSettings/"
                                               f"{WINDOWS_SETTINGS_2016}longPathAware")]
    expect(long_paths == ["true"], f"{name}: longPathAware {long_paths}, not true")

    controls = [e.attrib for e in root.findall(f"{ASM_V1}dependency/{ASM_V1}dependentAssembly/{ASM_V1}assemblyIdentity")
                if e.get("name") == "Microsoft.Windows.Common-Controls"]
    aware = [e.text for e in root.iter(WINDOWS_SETTINGS_2005 + "dpiAware")]
    if dialog:
        expect(len(controls) == 1 and controls[0].get("version") == "6.0.0.0"
               and controls[0].get("type") == "win32"
               and controls[0].get("publicKeyToken") == "6595b64144ccf1df"
               and controls[0].get("processorArchitecture") in ("amd64", "*"),
               f"{name}: common controls {controls}")
        expect(aware == ["true"], f"{name}: dpiAware {aware}, not true")
        expect(program.file_version() == version, f"{name}: file version {program.file_version()}, not {version}")


def main():
    if len(sys.argv) != 4:
        print(__doc__, file=sys.stderr)
        return 64
    version, dialog, console = sys.argv[1:]
    check(dialog, True, version)
    check(console, False, version)
    for failure in failures:
        print("FAILED:", failure)
    print(f"{2 - len({f.split(':')[0] for f in failures})} passed, {len({f.split(':')[0] for f in failures})} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
