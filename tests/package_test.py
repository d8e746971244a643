#!/usr/bin/python3
"""The Windows package (make dist) from the built programs of both architectures:
    package_test.py SOURCE_DIR X64_BUILD_DIR X86_BUILD_DIR
Made twice unsigned, the two runs must give the same bytes; made once more signed with a throw-away
code-signing certificate (made here with openssl), every program must carry a signature that
osslsigncode verifies against that certificate. Each ZIP file must hold one folder,
Tolvarenquista-VERSION/, and in it the programs (as built, or signed) in x64/ and x86/, the guide and every picture it shows, the README and SHA256SUMS.txt, in
name order, each entry with the same date and attributes; SHA256SUMS.txt must name every other file
once with its right SHA-256, as sha256sum -c checks it in the unpacked package. The pictures are
stand-ins (make screenshot's take a minute)."""

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


def make(source, builds, pictures, out, signing=()):
    done = subprocess.run([sys.executable, os.path.join(source, "package", "make_package.py"), "--source", source,
                           "--x64", builds["x64"], "--x86", builds["x86"], "--pictures", pictures, "--out", out,
                           *signing], capture_output=True, text=True)
    if done.returncode != 0:
        raise SystemExit(f"make_package failed:\n{done.stderr}")
    return done.stdout.strip()


def throw_away_certificate(work):
    """A self-signed code-signing certificate and its key, valid for a day."""
    cert, key = os.path.join(work, "cert.pem"), os.path.join(work, "key.pem")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert,
                    "-days", "1", "-subj", "/CN=Tolvarenquista test signing",
                    "-addext", "keyUsage=critical,digitalSignature", "-addext", "extendedKeyUsage=codeSigning"],
                   check=True, capture_output=True)
    return cert, key


def verified(path, cert):
    return subprocess.run(["osslsigncode", "verify", "-CAfile", cert, "-in", path],
                          capture_output=True, text=True)


def check_package(path, builds, shown, top, work, cert=None):
    """The entries, all in the folder top, their dates and sums, and the programs: as built, or signed
    with cert."""
    name = os.path.basename(path)
    with zipfile.ZipFile(path) as archive:
        names = archive.namelist()
        programs = [f"{arch}/{program}" for arch in sorted(builds) for program in make_package.PROGRAMS]
        files = sorted(programs + [make_package.GUIDE, make_package.README, make_package.SUMS]
                       + [f"{make_package.PICTURES}/{picture}" for picture in shown])
        expected = [f"{top}/{file}" for file in files]
        expect(names == expected, f"{name}: entries {names}, not {expected}")
        for entry in archive.infolist():
            expect(entry.date_time == make_package.FIXED_DATE and entry.external_attr == make_package.FIXED_ATTRIBUTES,
                   f"{name}: {entry.filename}: date {entry.date_time}, attributes {entry.external_attr:#o}")
        guide = archive.read(f"{top}/{make_package.GUIDE}").decode("utf-8")
        expect('<meta charset="utf-8">' in guide, f"{name}: the guide does not declare UTF-8")
        readme = archive.read(f"{top}/{make_package.README}")
        expect(b"\r\n" in readme and b"@VERSION@" not in readme, f"{name}: README.txt: not CR LF, or no version")
        sums = archive.read(f"{top}/{make_package.SUMS}").decode("ascii").splitlines()
        listed = [line.split("  ", 1)[1] for line in sums]
        expect(listed == [file for file in files if file != make_package.SUMS], f"{name}: SHA256SUMS.txt lists {listed}")
        unpacked = os.path.join(work, "unpacked-" + ("signed" if cert else "unsigned"))
        archive.extractall(unpacked)
    unpacked = os.path.join(unpacked, top)
    checked = subprocess.run(["sha256sum", "--check", "--strict", make_package.SUMS], cwd=unpacked,
                             capture_output=True, text=True)
    expect(checked.returncode == 0, f"{name}: sha256sum -c: {checked.stdout}{checked.stderr}")
    for program in programs:
        arch, file = program.split("/")
        with open(os.path.join(builds[arch], file), "rb") as f:
            built = f.read()
        with open(os.path.join(unpacked, program), "rb") as f:
            packed = f.read()
        if cert is None:
            expect(packed == built, f"{name}: {program} is not the built program")
        else:
            result = verified(os.path.join(unpacked, program), cert)
            expect(result.returncode == 0, f"{name}: {program}: osslsigncode verify: {result.stdout}{result.stderr}")
            # The signature is added behind the program, which is otherwise the one built (but the
            # header's checksum and the certificate table's entry).
            expect(len(packed) > len(built) and packed[0x200:len(built)] == built[0x200:],
                   f"{name}: {program} signed is not the built program")


def main():
    source, x64, x86 = sys.argv[1:4]
    builds = {"x64": x64, "x86": x86}
    with tempfile.TemporaryDirectory() as work:
        pictures = os.path.join(work, "pictures")
        os.makedirs(pictures)
        with open(os.path.join(source, "package", make_package.GUIDE), encoding="utf-8") as f:
            shown = make_package.referenced_pictures(f.read())
        expect(len(shown) >= 3, f"the guide shows {len(shown)} pictures")
        for shade, name in enumerate(shown):
            with open(os.path.join(pictures, name), "wb") as f:
                f.write(stand_in_png(shade * 40))

        first = make(source, builds, pictures, os.path.join(work, "first"))
        second = make(source, builds, pictures, os.path.join(work, "second"))
        expect(os.path.basename(first) == make_package.package_name(make_package.project_version(source)),
               f"the package is named {os.path.basename(first)}")
        with open(first, "rb") as f1, open(second, "rb") as f2:
            expect(f1.read() == f2.read(), "two runs gave different ZIP files")
        top = make_package.top_folder(make_package.project_version(source))
        check_package(first, builds, shown, top, work)

        cert, key = throw_away_certificate(work)
        expect(verified(os.path.join(x64, make_package.PROGRAMS[0]), cert).returncode != 0,
               "osslsigncode verifies a program that was not signed")
        signed = make(source, builds, pictures, os.path.join(work, "signed"),
                      ["--sign-cert", cert, "--sign-key", key])
        check_package(signed, builds, shown, top, work, cert)

    for failure in failures:
        print("FAILED:", failure)
    print(f"{0 if failures else 1} passed, {1 if failures else 0} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
