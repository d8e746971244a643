#!/usr/bin/python3
"""The command line's live progress line on a narrow terminal:
    cli_terminal_test.py TOLVARENQUISTA GEN_CLAIMS
A conversion of two generated files runs with its standard error on a pseudo-terminal 40 columns
wide (standard output on a pipe, as a script gathers the report's path). Every line the program
draws there, between line ends, carriage returns and the clears of ESC [ K, fits in the 40 columns
(a double-width character counted as two); the bar says which file of how many it shows; the last
line is the run's outcome; and standard output holds the report's path alone."""

import fcntl
import os
import pty
import re
import select
import struct
import subprocess
import sys
import tempfile
import termios
import time
import unicodedata

COLUMNS = 40
failures = []


def expect(condition, what):
    if not condition:
        failures.append(what)


def columns(text):
    return sum(2 if unicodedata.east_asian_width(c) in "WF" else 1 for c in text)


def run_on_terminal(command, width):
    """Runs command with standard error on a terminal of the given width: (exit status, what the
    terminal got, standard output)."""
    leader, follower = pty.openpty()
    fcntl.ioctl(follower, termios.TIOCSWINSZ, struct.pack("HHHH", 24, width, 0, 0))
    process = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=follower)
    os.close(follower)
    shown = b""
    deadline = time.monotonic() + 300
    while time.monotonic() < deadline:
        ready, _, _ = select.select([leader], [], [], 0.2)
        if ready:
            try:
                chunk = os.read(leader, 65536)
            except OSError:  # the last writer has closed the terminal
                break
            if not chunk:
                break
            shown += chunk
        elif process.poll() is not None:
            break
    os.close(leader)
    if process.poll() is None:
        process.kill()
    out = process.stdout.read()
    return process.wait(), shown.decode("utf-8", "replace"), out.decode("utf-8", "replace")


def main():
    if len(sys.argv) != 3:
        print(__doc__, file=sys.stderr)
        return 2
    cli, gen = sys.argv[1:]
    with tempfile.TemporaryDirectory() as work:
        folder, out, log = (os.path.join(work, name) for name in ("in", "out", "log"))
        os.makedirs(out)
        subprocess.run([gen, "--out", folder, "--files", "2", "--records", "150000", "--seed", "7",
                        "--name-start", "20080423120000"], check=True, stdout=subprocess.DEVNULL)
        status, shown, printed = run_on_terminal(
            [cli, "convert", "--input", folder, "--output", out, "--log-dir", log], COLUMNS)

        expect(status == 0, f"convert exits {status}: {shown[-400:]!r}")
        drawn = [piece for piece in re.split(r"\r|\n|\x1b\[K", shown) if piece]
        wide = [piece for piece in drawn if columns(piece) > COLUMNS]
        expect(not wide, f"{len(wide)} lines wider than the {COLUMNS}-column terminal, such as {wide[:3]!r}")
        for place in ("[1/2]", "[2/2]"):
            expect(any(place in piece for piece in drawn), f"no bar says {place}: {shown[-600:]!r}")
        expect(drawn and re.fullmatch(r"カルデノ　正常終了 \(処理時間 \d+秒\)", drawn[-1]),
               f"the last line is not the run's outcome: {drawn[-1:]!r}")
        reports = [name for name in os.listdir(out) if name.endswith("_Result.txt")]
        expect(printed == "".join(os.path.join(out, name) + "\n" for name in reports) and len(reports) == 1,
               f"standard output is not the report's path alone: {printed!r}")

    for failure in failures:
        print("FAIL:", failure, file=sys.stderr)
    print(f"{len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
