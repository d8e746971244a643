#!/usr/bin/python3
"""Makes the Windows package, Tolvarenquista-VERSION-win64.zip:

    make_package.py --source DIR --programs DIR --pictures DIR --out DIR

--source is the project's folder, --programs the Windows build's (Tolvarenquista.exe and
tolvarenquista-cli.exe), --pictures the folder of the guide's pictures (make screenshot's
out/screenshots). The version is the project's (CMakeLists.txt), and must be the dialog program's
file version. The ZIP file holds both programs, the Japanese guide with the pictures it shows, the
package's README and SHA256SUMS.txt over every other file; it is reproducible: entries in name
order, each with the same date and attributes, compressed the same way, so that the same files give
the same bytes. Before it is written, the programs are checked (no link time, one manifest each)
and the guide (its pictures there, and every message, row status and status text of the program in
it as the program shows it). Prints the path of the ZIP file. Standard library only.
"""

import argparse
import hashlib
import html
import io
import os
import re
import sys
import zipfile

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import pe  # noqa: E402

PROGRAMS = ["Tolvarenquista.exe", "tolvarenquista-cli.exe"]
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


def check_program(path, version=None):
    program = pe.PeFile(path)
    if program.timestamp != 0:
        raise PackageError(f"{path}: the PE header has a link time ({program.timestamp:#x})")
    found, stamps = program.resources()
    if any(stamps):
        raise PackageError(f"{path}: a resource directory has a time stamp")
    if len(program.manifests()) != 1:
        raise PackageError(f"{path}: {len(program.manifests())} manifests, not one")
    if version is not None and program.file_version() != version:
        raise PackageError(f"{path}: file version {program.file_version()}, project version {version}")


def c_string(text):
    """The value of a C or resource string literal's body (the escapes our sources use)."""
    return text.replace("\\n", "\n").replace('\\"', '"').replace("\\\\", "\\")


def program_texts(source):
    """The texts the guide must show as the program shows them: the string table's messages (but
    the menu item), the rows' statuses and the status bar's texts, and each field's longest length
    as a row of its table."""
    texts = []
    with open(os.path.join(source, "ui", "tolvarenquista.rc"), encoding="utf-8") as f:
        table = re.search(r"^STRINGTABLE\s*\nBEGIN\n(.*?)^END", f.read(), re.S | re.M)
    if not table:
        raise PackageError("ui/tolvarenquista.rc: no string table")
    for number, text in re.findall(r'^\s*(\d+)\s+"((?:[^"\\]|\\.)*)"', table.group(1), re.M):
        if number != "301":
            texts.append(c_string(text))
    with open(os.path.join(source, "engine", "conversion_run.cpp"), encoding="utf-8") as f:
        run = f.read()
    statuses = re.findall(r'case \w+: return "((?:[^"\\]|\\.)+)";', run)
    constants = re.findall(r'const char k(?:Status\w+|NoDataMessage)\[\] = "((?:[^"\\]|\\.)+)";', run)
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


def package_files(source, programs, pictures, version):
    """The package's files, name to bytes, SHA256SUMS.txt included."""
    for name in PROGRAMS:
        check_program(os.path.join(programs, name), version if name == "Tolvarenquista.exe" else None)
    with open(os.path.join(source, "package", GUIDE), encoding="utf-8") as f:
        guide = f.read()
    check_guide(guide, program_texts(source), pictures)
    files = {}
    for name in PROGRAMS:
        with open(os.path.join(programs, name), "rb") as f:
            files[name] = f.read()
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


def zip_bytes(files):
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w") as archive:
        for name in sorted(files):
            entry = zipfile.ZipInfo(name, date_time=FIXED_DATE)
            entry.create_system = 3
            entry.external_attr = FIXED_ATTRIBUTES
            entry.compress_type = zipfile.ZIP_DEFLATED
            archive.writestr(entry, files[name], compresslevel=9)
    return buffer.getvalue()


def main(argv=None):
    parser = argparse.ArgumentParser(description="Makes the Windows package.")
    parser.add_argument("--source", required=True)
    parser.add_argument("--programs", required=True)
    parser.add_argument("--pictures", required=True)
    parser.add_argument("--out", required=True)
    args = parser.parse_args(argv)
    try:
        version = project_version(args.source)
        data = zip_bytes(package_files(args.source, args.programs, args.pictures, version))
    except (PackageError, pe.PeError, OSError) as error:
        print(f"make_package: {error}", file=sys.stderr)
        return 1
    os.makedirs(args.out, exist_ok=True)
    path = os.path.join(args.out, f"Tolvarenquista-{version}-win64.zip")
    with open(path + ".partial", "wb") as f:
        f.write(data)
    os.replace(path + ".partial", path)
    print(path)
    return 0


if __name__ == "__main__":
    sys.exit(main())
