#!/usr/bin/python3
"""The console program, tolvarenquista-cli.exe, as a Windows user meets it, under Wine:
    windows_console_test.py SOURCE_DIR PREFIX tolvarenquista-cli.exe NATIVE_PROGRAM
/? and -? show the help, as --help does; started on a console of its own with no argument (a double
click in Explorer), it shows the help and waits for Enter before its console closes, while run with
no argument from a script it ends at once; selftest ends with the fingerprint the README gives; a
conversion of the bundled samples gives the native program's outputs byte for byte; and an output
folder whose name code page 932 lacks is taken through its short form."""

import os
import pty
import re
import select
import subprocess
import sys
import tempfile
import time

failures = []


def expect(condition, what):
    if not condition:
        failures.append(what)


def windows_path(path):
    """A Linux path as Wine's programs see it: on drive Z:, with Windows separators."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class Wine:
    def __init__(self, source, prefix, program):
        self.command = [os.path.join(source, "cmake", "wine-run.sh"), prefix, program]

    def run(self, *args):
        return subprocess.run(self.command + list(args), capture_output=True, timeout=300,
                              stdin=subprocess.DEVNULL)

    def on_own_console(self, *args):
        """Started on a terminal of its own, as on a console no other program shares."""
        leader, follower = pty.openpty()
        process = subprocess.Popen(self.command + list(args), stdin=follower, stdout=follower, stderr=follower,
                                   env=dict(os.environ, LANG="C.UTF-8"))
        os.close(follower)
        return process, leader


def read_until(leader, process, pattern, seconds):
    """What the console shows (its escape sequences and spaces left out) once pattern is in it."""
    raw = b""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        ready, _, _ = select.select([leader], [], [], 0.2)
        if ready:
            try:
                raw += os.read(leader, 65536)
            except OSError:
                break
        shown = re.sub(r"\x1b\[[0-9;?]*[A-Za-z]|\s", "", raw.decode("utf-8", "replace"))
        if pattern in shown or (not ready and process.poll() is not None):
            return shown
    return re.sub(r"\x1b\[[0-9;?]*[A-Za-z]|\s", "", raw.decode("utf-8", "replace"))


def check_help(wine):
    helps = {}
    for asked, same_as in [(["/?"], "--help"), (["-?"], "--help"), (["convert", "/?"], "convert --help")]:
        if same_as not in helps:
            helps[same_as] = wine.run(*same_as.split()).stdout
        got = wine.run(*asked)
        expect(got.returncode == 0 and got.stdout == helps[same_as] and b"--input" in got.stdout,
               f"{' '.join(asked)}: exit {got.returncode}, output {got.stdout[:200]!r} {got.stderr[:200]!r}")


def check_double_click(wine):
    process, leader = wine.on_own_console()
    try:
        # Up to the prompt, the last thing it writes before it waits.
        shown = read_until(leader, process, "Enterキーを押すと閉じます", 60)
        expect("--input" in shown and "Enter" in shown, f"own console: no help and no prompt: {shown[-400:]!r}")
        time.sleep(1)
        expect(process.poll() is None, f"own console: ended (exit {process.poll()}) without waiting for Enter")
        os.write(leader, b"\r")
        try:
            process.wait(timeout=30)
        except subprocess.TimeoutExpired:
            failures.append("own console: Enter did not end it")
    finally:
        if process.poll() is None:
            process.kill()
            process.wait()
        os.close(leader)
    started = time.monotonic()
    scripted = wine.run()
    expect(scripted.returncode == 64 and time.monotonic() - started < 60,
           f"no argument, no console: exit {scripted.returncode}")


def check_selftest(wine, source):
    with open(os.path.join(source, "README.md"), encoding="utf-8") as f:
        fingerprint = re.search(r"This version's fingerprint is\s+`([0-9A-F]{64})`", f.read()).group(1)
    done = wine.run("selftest")
    last = done.stdout.decode("ascii", "replace").strip().splitlines()[-1:]
    expect(done.returncode == 0 and last == [f"fingerprint: {fingerprint}"],
           f"selftest: exit {done.returncode}, last line {last}, README's {fingerprint}")


def outputs(folder):
    """The output files of a conversion (the report and its manifest, which name its time, left out)."""
    found = {}
    for name in sorted(os.listdir(folder)):
        if not name.endswith(("_Result.txt", "_Result.sha256")):
            with open(os.path.join(folder, name), "rb") as f:
                found[name] = f.read()
    return found


def check_samples(wine, source, native, work):
    samples = os.path.join(source, "samples", "claims")
    expected = os.path.join(work, "native")
    os.makedirs(expected)
    done = subprocess.run([native, "convert", "--input", samples, "--output", expected, "--split", "2",
                           "--log-dir", os.path.join(work, "native-log"), "--quiet"], capture_output=True)
    expect(done.returncode == 0, f"native conversion: exit {done.returncode} {done.stderr!r}")
    # The second folder's name has characters code page 932 lacks: the program takes its short form.
    for folder in ["windows", "𠮷田 Zoë"]:
        out = os.path.join(work, folder)
        os.makedirs(out)
        done = wine.run("convert", "--input", windows_path(samples), "--output", windows_path(out), "--split", "2",
                        "--log-dir", windows_path(os.path.join(work, "log")), "--quiet")
        got = outputs(out)
        expect(done.returncode == 0 and got and got == outputs(expected),
               f"conversion into {folder}: exit {done.returncode} {done.stderr[-300:]!r}, outputs {sorted(got)} "
               f"not the native program's {sorted(outputs(expected))}")


def main():
    if len(sys.argv) != 5:
        print(__doc__, file=sys.stderr)
        return 64
    source, prefix, program, native = sys.argv[1:]
    wine = Wine(source, prefix, program)
    checks = [("help", lambda: check_help(wine)), ("double click", lambda: check_double_click(wine)),
              ("selftest", lambda: check_selftest(wine, source))]
    with tempfile.TemporaryDirectory() as work:
        if os.access(native, os.X_OK):
            checks.append(("samples", lambda: check_samples(wine, source, native, work)))
        else:
            print(f"(no native program at {native}: the samples are not compared)")
        failed = 0
        for name, check in checks:
            before = len(failures)
            check()
            failed += len(failures) > before
    for failure in failures:
        print("FAILED:", failure)
    print(f"{len(checks) - failed} passed, {failed} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
