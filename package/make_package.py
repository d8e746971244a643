#!/usr/bin/python3
"""Makes the Windows package, Tolvarenquista-VERSION-windows.zip:

    make_package.py --source DIR --x64 DIR --x86 DIR --pictures DIR --out DIR
                    [--sign-cert CERT --sign-key KEY [--sign-pass FILE] [--sign-timestamp URL]]

--source is the project's folder, --x64 and --x86 the folders of the 64-bit and the 32-bit Windows
build (Tolvarenquista.exe and tolvarenquista-cli.exe each), --pictures the folder of the guide's
pictures (make screenshot's out/screenshots). The version is the project's (CMakeLists.txt), and
must be every program's file version. The ZIP file holds one folder, Tolvarenquista-VERSION/, so
that unpacking it puts nothing else where it is unpacked; that folder holds both programs of each
architecture in x64/ and x86/, the Japanese guide with the pictures it shows, the package's README
and SHA256SUMS.txt over every other file (named from that folder); it is reproducible: entries in
name order, each with the same date and attributes, compressed the same way, so that the same files
give the same bytes. Before it is written, the programs are checked (their architecture, no link
time, no symbols, one manifest each, the version) and the guide (its pictures there, and every
message, row status and status text of the program in it as the program shows it). With a
code-signing certificate and its key (PEM files; a key protected by a passphrase read from
--sign-pass), osslsigncode signs each program (SHA-256) before it is packed, and the sums are those
of the signed programs; a signature holds its own time, so a signed package is not reproducible.
Prints the path of the ZIP file. Reads the programs with Python's pefile (Debian's python3-pefile).
"""

import argparse
import hashlib
import html
import io
import os
import re
import shutil
import subprocess
import sys
import tempfile
import zipfile

import pefile

PROGRAMS = ["Tolvarenquista.exe", "tolvarenquista-cli.exe"]
# The package's folder of each architecture, and the machine its programs must be built for.
ARCHITECTURES = {"x64": pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_AMD64"],
                 "x86": pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_I386"]}
GUIDE = "guide-ja.html"
README = "README.txt"
SUMS = "SHA256SUMS.txt"
PICTURES = "images"
# Every entry's date: the earliest a ZIP file can hold. Its attributes: an ordinary file.
FIXED_DATE = (1980, 1, 1, 0, 0, 0)
FIXED_ATTRIBUTES = 0o100644 << 16


class PackageError(Exception):
    pass


def project_version(source):
    with open(os.path.join(source, "CMakeLists.txt"), encoding="utf-8") as f:
        found = re.search(r"project\(\s*Tolvarenquista\s+VERSION\s+([0-9.]+)", f.read())
    if not found:
        raise PackageError("CMakeLists.txt: no project version")
    return found.group(1)


def resource_stamps(directory):
    """The time stamps of a resource directory and of every directory below it."""
    stamps = [directory.struct.TimeDateStamp]
    for entry in directory.entries:
        if hasattr(entry, "directory"):
            stamps += resource_stamps(entry.directory)
    return stamps


def resources(program, kind):
    """(ID, language, bytes) of every resource of a type."""
    found = []
    if not hasattr(program, "DIRECTORY_ENTRY_RESOURCE"):
        return found
    for type_entry in program.DIRECTORY_ENTRY_RESOURCE.entries:
        if type_entry.id != kind:
            continue
        for name in type_entry.directory.entries:
            for language in name.directory.entries:
                data = language.data.struct
                found.append((name.id, language.id,
                              program.get_data(data.OffsetToData, data.Size)))
    return found


def manifests(program):
    return resources(program, pefile.RESOURCE_TYPE["RT_MANIFEST"])


def file_version(program):
    """FILEVERSION of the version resource as "a.b.c.d", None without one."""
    if not getattr(program, "VS_FIXEDFILEINFO", None):
        return None
    info = program.VS_FIXEDFILEINFO[0]
    return (f"{info.FileVersionMS >> 16}.{info.FileVersionMS & 0xFFFF}."
            f"{info.FileVersionLS >> 16}.{info.FileVersionLS & 0xFFFF}")


def check_program(name, data, architecture, version):
    program = pefile.PE(data=data)
    if program.FILE_HEADER.Machine != ARCHITECTURES[architecture]:
        raise PackageError(f"{name}: built for machine {program.FILE_HEADER.Machine:#x}, not {architecture}")
    if program.FILE_HEADER.TimeDateStamp != 0:
        raise PackageError(f"{name}: the PE header has a link time ({program.FILE_HEADER.TimeDateStamp:#x})")
    if program.FILE_HEADER.PointerToSymbolTable or program.FILE_HEADER.NumberOfSymbols:
        raise PackageError(f"{name}: not stripped (it has a symbol table)")
    if not hasattr(program, "DIRECTORY_ENTRY_RESOURCE") or any(resource_stamps(program.DIRECTORY_ENTRY_RESOURCE)):
        raise PackageError(f"{name}: no resources, or a resource directory has a time stamp")
    if len(manifests(program)) != 1:
        raise PackageError(f"{name}: {len(manifests(program))} manifests, not one")
    if file_version(program) != version:
        raise PackageError(f"{name}: file version {file_version(program)}, project version {version}")


def sign(data, signing):
    """The program signed with the site's certificate by osslsigncode (SHA-256)."""
    tool = shutil.which("osslsigncode")
    if tool is None:
        raise PackageError("osslsigncode is missing (Debian's osslsigncode)")
    with tempfile.TemporaryDirectory() as work:
        unsigned = os.path.join(work, "unsigned.exe")
        signed = os.path.join(work, "signed.exe")
        with open(unsigned, "wb") as f:
            f.write(data)
        command = [tool, "sign", "-certs", signing.sign_cert, "-key", signing.sign_key, "-h", "sha256",
                   "-n", "Tolvarenquista", "-in", unsigned, "-out", signed]
        if signing.sign_pass:
            command[2:2] = ["-readpass", signing.sign_pass]
        if signing.sign_timestamp:
            command[2:2] = ["-ts", signing.sign_timestamp]
        done = subprocess.run(command, capture_output=True, text=True)
        if done.returncode != 0:
            raise PackageError(f"osslsigncode failed: {done.stdout}{done.stderr}")
        with open(signed, "rb") as f:
            return f.read()


def c_string(text):
    """The value of a C or resource string literal's body (the escapes our sources use)."""
    return text.replace("\\n", "\n").replace('\\"', '"').replace("\\\\", "\\")


def program_texts(source):
    """The texts the guide must show as the program shows them: the string table's messages and menu
    items (an item without the & of its access key, as the menu shows it), the rows' statuses and the
    status bar's texts, and each field's longest length as a row of its table."""
    texts = []
    with open(os.path.join(source, "ui", "tolvarenquista.rc"), encoding="utf-8") as f:
        table = re.search(r"^STRINGTABLE\s*\nBEGIN\n(.*?)^END", f.read(), re.S | re.M)
    if not table:
        raise PackageError("ui/tolvarenquista.rc: no string table")
    for _, text in re.findall(r'^\s*(\d+)\s+"((?:[^"\\]|\\.)*)"', table.group(1), re.M):
        texts.append(c_string(text).replace("(&", "("))
    with open(os.path.join(source, "ui", "run_texts.h"), encoding="utf-8") as f, \
            open(os.path.join(source, "engine", "conversion_run.cpp"), encoding="utf-8") as g:
        run = f.read() + g.read()
    statuses = re.findall(r'case \w+: return "((?:[^"\\]|\\.)+)";', run)
    constants = re.findall(r'const(?:expr)? char k(?:Status\w+|NoDataMessage)\[\] = "((?:[^"\\]|\\.)+)";', run)
    finished = re.findall(r'SetStatusText\("((?:[^"\\]|\\.)+)"', run)
    with open(os.path.join(source, "engine", "record_layout.cpp"), encoding="utf-8") as f:
        layout = f.read()
    fields = re.findall(r'^\s*\{"([^"]+)", (\d+)\},', layout, re.M)
    field_error = re.findall(r'std::string text = "([^"]+)";', layout)
    if len(texts) < 15 or len(statuses) < 5 or len(constants) < 4 or not finished or len(fields) != 16 \
            or not field_error:
        raise PackageError("the program's texts were not found where they were")
    rows = [f"<td>{name}</td><td>{length}</td>" for name, length in fields]
    return texts + [c_string(t) for t in statuses + constants + finished + field_error] + rows


def check_guide(guide, texts, pictures):
    """The guide declares its encoding, names only pictures that are there and shows every text."""
    if not re.search(r'<meta charset="utf-8">', guide, re.I):
        raise PackageError(f"{GUIDE}: no <meta charset=\"utf-8\">")
    shown = html.unescape(re.sub(r"<br>\n?", "\n", guide))
    missing = [t for t in texts if t not in shown]
    if missing:
        raise PackageError(f"{GUIDE} lacks the program's texts: " + "; ".join(repr(t) for t in missing))
    for name in referenced_pictures(guide):
        if not os.path.isfile(os.path.join(pictures, name)):
            raise PackageError(f"{GUIDE} shows {PICTURES}/{name}, which is not in {pictures}")


def referenced_pictures(guide):
    return sorted(set(re.findall(r'src="' + PICTURES + r'/([^"/]+)"', guide)))


def package_files(source, builds, pictures, version, signing=None):
    """The package's files, name to bytes, SHA256SUMS.txt included. builds: the build folder of each
    architecture; signing: the certificate, key and the rest, or None."""
    files = {}
    for architecture, folder in sorted(builds.items()):
        for name in PROGRAMS:
            with open(os.path.join(folder, name), "rb") as f:
                data = f.read()
            check_program(f"{architecture}/{name}", data, architecture, version)
            if signing is not None:
                data = sign(data, signing)
                check_program(f"{architecture}/{name} (signed)", data, architecture, version)
            files[f"{architecture}/{name}"] = data
    with open(os.path.join(source, "package", GUIDE), encoding="utf-8") as f:
        guide = f.read()
    check_guide(guide, program_texts(source), pictures)
    files[GUIDE] = guide.encode("utf-8")
    for name in referenced_pictures(guide):
        with open(os.path.join(pictures, name), "rb") as f:
            files[f"{PICTURES}/{name}"] = f.read()
    # CR LF, so that every Notepad shows it.
    with open(os.path.join(source, "package", README), encoding="ascii") as f:
        files[README] = f.read().replace("@VERSION@", version).replace("\n", "\r\n").encode("ascii")
    files[SUMS] = "".join(f"{hashlib.sha256(files[name]).hexdigest()}  {name}\n"
                          for name in sorted(files)).encode("ascii")
    return files


def package_name(version):
    return f"Tolvarenquista-{version}-windows.zip"


def top_folder(version):
    """The one folder of the ZIP file, which holds every file of the package."""
    return f"Tolvarenquista-{version}"


def zip_bytes(files, folder):
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w") as archive:
        for name in sorted(files):
            entry = zipfile.ZipInfo(f"{folder}/{name}", date_time=FIXED_DATE)
            entry.create_system = 3
            entry.external_attr = FIXED_ATTRIBUTES
            entry.compress_type = zipfile.ZIP_DEFLATED
            archive.writestr(entry, files[name], compresslevel=9)
    return buffer.getvalue()


def main(argv=None):
    parser = argparse.ArgumentParser(description="Makes the Windows package.")
    parser.add_argument("--source", required=True)
    parser.add_argument("--x64", required=True, help="the 64-bit build's folder")
    parser.add_argument("--x86", required=True, help="the 32-bit build's folder")
    parser.add_argument("--pictures", required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("--sign-cert", help="code-signing certificate (PEM), with its chain")
    parser.add_argument("--sign-key", help="the certificate's private key (PEM)")
    parser.add_argument("--sign-pass", help="a file holding the key's passphrase")
    parser.add_argument("--sign-timestamp", help="URL of a time-stamping server")
    args = parser.parse_args(argv)
    if bool(args.sign_cert) != bool(args.sign_key):
        parser.error("--sign-cert and --sign-key go together")
    try:
        version = project_version(args.source)
        files = package_files(args.source, {"x64": args.x64, "x86": args.x86}, args.pictures, version,
                              args if args.sign_cert else None)
        data = zip_bytes(files, top_folder(version))
    except (PackageError, pefile.PEFormatError, OSError) as error:
        print(f"make_package: {error}", file=sys.stderr)
        return 1
    os.makedirs(args.out, exist_ok=True)
    path = os.path.join(args.out, package_name(version))
    with open(path + ".partial", "wb") as f:
        f.write(data)
    os.replace(path + ".partial", path)
    print(path)
    return 0


if __name__ == "__main__":
    sys.exit(main())
