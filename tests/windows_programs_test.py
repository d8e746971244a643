#!/usr/bin/python3
"""The built Windows programs of one architecture as Windows will load them (no Wine needed):
    windows_programs_test.py VERSION x64|x86 Tolvarenquista.exe tolvarenquista-cli.exe
Read with Python's pefile. Each is built for its architecture, has no link time in its PE header or
its resource directories, and exactly one application manifest (resource 24/1) that runs it as the
invoker, names Windows 7, 8, 8.1 and 10/11 and is long-path aware; the dialog program's also asks
for the common controls of version 6 and is DPI-aware (system-aware). Each has the project's
version with the names and notices an administrator reads in the file's properties, and the icon
at 16, 24, 32, 48 and 256 pixels. Each is hardened: relocatable, no executable data, aware of a
terminal server, stripped, and importing only DLLs that Windows always takes from the system
(KnownDLLs; the common controls, which the dialog's manifest takes from the system's side-by-side
store): a DLL of another name beside the program (in a download folder) is never loaded."""

import os
import struct
import sys
import xml.etree.ElementTree as ET

import pefile

# The packager's readers of resources, which it uses on the same files.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "package"))
from make_package import resource_stamps, resources  # noqa: E402

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
MACHINES = {"x64": (pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_AMD64"], 0x20B),
            "x86": (pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_I386"], 0x10B)}
# Windows 7's KnownDLLs that a program of ours may import.
KNOWN_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "shell32.dll", "ole32.dll", "oleaut32.dll", "msvcrt.dll",
              "advapi32.dll", "shlwapi.dll", "comdlg32.dll", "imm32.dll", "rpcrt4.dll", "ws2_32.dll"}
ICON_SIZES = [16, 24, 32, 48, 256]
CHARACTERISTICS = ["IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE", "IMAGE_DLLCHARACTERISTICS_NX_COMPAT",
                   "IMAGE_DLLCHARACTERISTICS_TERMINAL_SERVER_AWARE"]

failures = []


def expect(condition, what):
    if not condition:
        failures.append(what)


def version_strings(program):
    """The strings of the version resource's first string table, and its translations."""
    strings, translations = {}, []
    for info in program.FileInfo[0] if getattr(program, "FileInfo", None) else []:
        for table in getattr(info, "StringTable", []):
            strings = strings or {k.decode(): v.decode() for k, v in table.entries.items()}
        for var in getattr(info, "Var", []):
            translations += [var.entry.get(b"Translation")]
    return strings, translations


def icon_sizes(program):
    """The sizes (width, height, bits) of the images of each icon group."""
    groups = []
    for _, _, data in resources(program, pefile.RESOURCE_TYPE["RT_GROUP_ICON"]):
        _, _, count = struct.unpack_from("<HHH", data, 0)
        images = [struct.unpack_from("<BBBBHHIH", data, 6 + 14 * i) for i in range(count)]
        groups.append(sorted((width or 256, height or 256, bits) for width, height, _, _, _, bits, _, _ in images))
    return groups


def check_manifest(name, dialog, manifest):
    root = ET.fromstring(manifest)
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
               and controls[0].get("processorArchitecture") == "*",
               f"{name}: common controls {controls}")
        expect(aware == ["true"], f"{name}: dpiAware {aware}, not true")
    return bool(controls)


def check(path, dialog, version, architecture):
    name = f"{architecture}/{os.path.basename(path)}"
    program = pefile.PE(path)
    machine, magic = MACHINES[architecture]
    expect((program.FILE_HEADER.Machine, program.OPTIONAL_HEADER.Magic) == (machine, magic),
           f"{name}: machine {program.FILE_HEADER.Machine:#x}, optional header {program.OPTIONAL_HEADER.Magic:#x}")
    expect(program.FILE_HEADER.TimeDateStamp == 0, f"{name}: link time {program.FILE_HEADER.TimeDateStamp:#x}")
    stamps = resource_stamps(program.DIRECTORY_ENTRY_RESOURCE)
    expect(not any(stamps), f"{name}: time stamps in the resource directories: {stamps}")

    manifests = resources(program, pefile.RESOURCE_TYPE["RT_MANIFEST"])
    expect([(m[0], m[1]) for m in manifests] == [(1, 0)],
           f"{name}: manifests (ID, language) {[(m[0], m[1]) for m in manifests]}, not one of ID 1 and no language")
    side_by_side_controls = check_manifest(name, dialog, manifests[0][2]) if manifests else False

    info = program.VS_FIXEDFILEINFO[0] if getattr(program, "VS_FIXEDFILEINFO", None) else None
    numbers = (f"{info.FileVersionMS >> 16}.{info.FileVersionMS & 0xFFFF}.{info.FileVersionLS >> 16}."
               f"{info.FileVersionLS & 0xFFFF}") if info else None
    expect(numbers == version, f"{name}: file version {numbers}, not {version}")
    strings, translations = version_strings(program)
    text = ", ".join(version.split("."))
    base = os.path.basename(path)
    wanted = {"FileVersion": text, "ProductVersion": text, "ProductName": "カルデノツール",
              "InternalName": os.path.splitext(base)[0], "OriginalFilename": base}
    for field, value in wanted.items():
        expect(strings.get(field) == value, f"{name}: {field} {strings.get(field)!r}, not {value!r}")
    for field in ("CompanyName", "LegalCopyright", "FileDescription"):
        expect(strings.get(field, "").strip() != "", f"{name}: no {field}")
    # The About box reads ProductVersion through the first translation: Japanese, code page 932.
    expect(translations[:1] == ["0x0411 0x03a4"], f"{name}: translations {translations}")
    groups = icon_sizes(program)
    expect(groups == [[(size, size, 32) for size in ICON_SIZES]], f"{name}: icon images {groups}")

    for flag in CHARACTERISTICS + (["IMAGE_DLLCHARACTERISTICS_HIGH_ENTROPY_VA"] if architecture == "x64" else []):
        expect(program.OPTIONAL_HEADER.DllCharacteristics & pefile.DLL_CHARACTERISTICS[flag], f"{name}: not {flag}")
    expect(program.FILE_HEADER.PointerToSymbolTable == 0 and program.FILE_HEADER.NumberOfSymbols == 0
           and not [s for s in program.sections if s.Name.startswith((b"/", b".debug"))],
           f"{name}: not stripped")
    imported = {entry.dll.decode().lower() for entry in getattr(program, "DIRECTORY_ENTRY_IMPORT", [])}
    allowed = KNOWN_DLLS | ({"comctl32.dll"} if side_by_side_controls else set())
    expect(imported <= allowed, f"{name}: imports DLLs Windows may take from the program's folder: "
                                f"{sorted(imported - allowed)}")


def main():
    if len(sys.argv) != 5 or sys.argv[2] not in MACHINES:
        print(__doc__, file=sys.stderr)
        return 64
    version, architecture, dialog, console = sys.argv[1:]
    check(dialog, True, version, architecture)
    check(console, False, version, architecture)
    for failure in failures:
        print("FAILED:", failure)
    failed = len({f.split(":")[0] for f in failures})
    print(f"{2 - failed} passed, {failed} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
