#!/usr/bin/python3
"""The Windows package (make dist) from the built programs, made twice:
    package_test.py SOURCE_DIR WINDOWS_BUILD_DIR
Both runs must give the same bytes. The ZIP file must hold the programs as built, the guide and every
picture it shows, the README and SHA256SUMS.txt, in name order, each entry with the same date and
attributes; SHA256SUMS.txt must name every other file once with its right SHA-256, as sha256sum -c
checks it in the unpacked package. The pictures are stand-ins (make screenshot's take a minute)."""

import hashlib
import os
import struct
import subprocess
import sys
import tempfile
import zipfile
import zlib

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "package"))
import make_package  # noqa: E402

failures = []


def expect(condition, what):
    if not condition:
        failures.append(what)


def stand_in_png(shade):
    """A valid one-pixel PNG file of a grey shade."""
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", 1, 1, 8, 0, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(bytes([0, shade]))) + chunk(b"IEND", b""))


def make(source, build, pictures, out):
    done = subprocess.run([sys.executable, os.path.join(source, "package", "make_package.py"), "--source", source,
                           "--programs", build, "--pictures", pictures, "--out", out],
                          capture_output=True, text=True)
    if done.returncode != 0:
        raise SystemExit(f"make_package failed:\n{done.stderr}")
    return done.stdout.strip()


def main():
    source, build = sys.argv[1:3]
    with tempfile.TemporaryDirectory() as work:
        pictures = os.path.join(work, "pictures")
        os.makedirs(pictures)
        with open(os.path.join(source, "package", make_package.GUIDE), encoding="utf-8") as f:
            shown = make_package.referenced_pictures(f.read())
        expect(len(shown) >= 3, f"the guide shows {len(shown)} pictures")
        for shade, name in enumerate(shown):
            with open(os.path.join(pictures, name), "wb") as f:
                f.write(stand_in_png(shade * 40))

        first = make(source, build, pictures, os.path.join(work, "first"))
        second = make(source, build, pictures, os.path.join(work, "second"))
        expect(os.path.basename(first) == f"Tolvarenquista-{make_package.project_version(source)}-win64.zip",
               f"the package is named {os.path.basename(first)}")
        with open(first, "rb") as f1, open(second, "rb") as f2:
            expect(f1.read() == f2.read(), "two runs gave different ZIP files")

        with zipfile.ZipFile(first) as archive:
            names = archive.namelist()
            expected = sorted(make_package.PROGRAMS + [make_package.GUIDE, make_package.README, make_package.SUMS]
                              + [f"{make_package.PICTURES}/{name}" for name in shown])
            expect(names == expected, f"entries {names}, not {expected}")
            for entry in archive.infolist():
                expect(entry.date_time == make_package.FIXED_DATE and entry.external_attr == make_package.FIXED_ATTRIBUTES,
                       f"{entry.filename}: date {entry.date_time}, attributes {entry.external_attr:#o}")
            for name in make_package.PROGRAMS:
                with open(os.path.join(build, name), "rb") as f:
                    expect(archive.read(name) == f.read(), f"{name} is not the built program")
            guide = archive.read(make_package.GUIDE).decode("utf-8")
            expect('<meta charset="utf-8">' in guide, "the guide does not declare UTF-8")
            expect(b"\r\n" in archive.read(make_package.README) and b"@VERSION@" not in archive.read(make_package.README),
                   "README.txt: not CR LF, or its version not filled in")

            sums = archive.read(make_package.SUMS).decode("ascii").splitlines()
            listed = [line.split("  ", 1)[1] for line in sums]
            expect(listed == sorted(n for n in names if n != make_package.SUMS),
                   f"SHA256SUMS.txt lists {listed}")
            for line in sums:
                digest, name = line.split("  ", 1)
                expect(name in names and hashlib.sha256(archive.read(name)).hexdigest() == digest,
                       f"SHA256SUMS.txt: wrong line {line}")
            unpacked = os.path.join(work, "unpacked")
            archive.extractall(unpacked)
        checked = subprocess.run(["sha256sum", "--check", "--strict", make_package.SUMS], cwd=unpacked,
                                 capture_output=True, text=True)
        expect(checked.returncode == 0, f"sha256sum -c: {checked.stdout}{checked.stderr}")

    for failure in failures:
        print("FAILED:", failure)
    print(f"{0 if failures else 1} passed, {1 if failures else 0} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
