#!/usr/bin/env python3
"""The conversion of one claim file as a plain Python program, for make bench to compare with.

Usage: python3 bench/baseline.py INPUT.csv OUTPUT.CSV

It does what the converter does to each record, written the straightforward way with the standard
library (hmac, hashlib): the same checks, the same reference number, the same padded amounts, all
records into one output file (no split), CR LF line ends. make bench times it next to the converter
and checks that both outputs are equal byte for byte. A faulty record ends it with status 1 and no
output, like the converter.

The full-width mapping of the identity is tools/gen_fullwidth.py's, over tests/data/fullwidth.tsv.
"""

import hmac
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(ROOT, "tools"))
import gen_fullwidth  # noqa: E402  (the full-width table and its mapping)

# The 80-byte key: the code page 932 bytes of the key text of engine/digest.cpp (40 hiragana from
# あ to よ, the last two characters ideographic spaces 81 40).
KEY = bytes.fromhex(
    "82A082A282A482A682A882A982AB82AD82AF82B182B382B582B782B982BB82BD82BF82C282C482C682C8"
    "82C982CA82CB82CC82CD82D082D382D682D982DC82DD82DE82DF82E082E282E482E681408140"
)
assert len(KEY) == 80

# Maximum byte length of each of the 16 fields (engine/record_layout.cpp).
MAX_LENGTHS = (10, 2, 8, 40, 40, 8, 1, 6, 6, 1, 8, 2, 9, 3, 8, 4)
FIELD_COUNT = len(MAX_LENGTHS)
REMARKS, CARD_SYMBOL, CARD_NUMBER, DECIDED_POINTS, MEAL_AMOUNT = 1, 3, 4, 12, 14
FULL_WIDTH_SPACE = b"\x81\x40"
WHITE_SPACE = b" \t\r\n\v\f"
END_OF_FILE_MARK = b"\x1a"
HEX_MASK = int.from_bytes(b"\x80" * 32, "big")  # each digest byte is printed XOR 0x80

IS_LEAD = [0x81 <= b <= 0x9F or 0xE0 <= b <= 0xFC for b in range(256)]


class RecordError(Exception):
    pass


def lines_of(data):
    """The record lines: CR LF or LF line ends, the last line with or without one; blank lines and
    comment lines (starting with '#') left out."""
    if data.endswith(END_OF_FILE_MARK):
        data = data[:-1]
    pieces = data.split(b"\n")
    last = pieces.pop()  # what follows the last LF: a line without line end, or nothing
    for line in pieces:
        if line.endswith(b"\r"):
            line = line[:-1]
        if line and not line.startswith(b"#"):
            yield line
    if last and not last.startswith(b"#"):
        yield last


def split_fields(line):
    """Splits at ',' where it stands as a character: the byte after a lead byte belongs to it."""
    if line.isascii():
        return line.split(b",")
    fields = []
    start = 0
    i = 0
    n = len(line)
    while i < n:
        b = line[i]
        if b == 0x2C:
            fields.append(line[start:i])
            start = i + 1
            i += 1
        elif IS_LEAD[b] and i + 1 < n:
            i += 2
        else:
            i += 1
    fields.append(line[start:])
    return fields


def trimmed(text):
    """Full-width spaces made spaces (whole characters only), then white space cut at both ends."""
    if FULL_WIDTH_SPACE in text:
        out = bytearray()
        i = 0
        n = len(text)
        while i < n:
            b = text[i]
            if IS_LEAD[b] and i + 1 < n:
                if b == 0x81 and text[i + 1] == 0x40:
                    out += b" "
                else:
                    out += text[i : i + 2]
                i += 2
            else:
                out.append(b)
                i += 1
        text = bytes(out)
    return text.strip(WHITE_SPACE)


def zero_padded(text, width):
    """Zeros in front up to width bytes; a leading '-' stays in front of them."""
    missing = width - len(text)
    if missing <= 0:
        return text
    if text.startswith(b"-"):
        return b"-" + b"0" * missing + text[1:]
    return b"0" * missing + text


def output_line(fields, table):
    identity = trimmed(fields[CARD_SYMBOL]) + trimmed(fields[CARD_NUMBER])
    wide = bytes.fromhex(table.apply(identity))
    digest = hmac.digest(KEY, wide, "sha256")
    reference = b"%064X" % (int.from_bytes(digest, "big") ^ HEX_MASK) + b"0" * 16
    fields[REMARKS] = b"a2"
    fields[CARD_SYMBOL] = reference[:40]
    fields[CARD_NUMBER] = reference[40:]
    fields[DECIDED_POINTS] = zero_padded(fields[DECIDED_POINTS], 9)
    fields[MEAL_AMOUNT] = zero_padded(fields[MEAL_AMOUNT], 8)
    return b",".join(fields) + b"\r\n"


def convert(input_path, output_path, table):
    with open(input_path, "rb") as f:
        data = f.read()
    count = 0
    with open(output_path, "wb") as out:
        for number, line in enumerate(lines_of(data), start=1):
            fields = split_fields(line)
            if len(fields) != FIELD_COUNT or b"\0" in line:
                raise RecordError(f"record {number}: {len(fields)} fields")
            for position, field in enumerate(fields):
                if len(field) > MAX_LENGTHS[position]:
                    raise RecordError(f"record {number}: field {position + 1} has {len(field)} bytes")
            out.write(output_line(fields, table))
            count += 1
    return count


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: baseline.py INPUT.csv OUTPUT.CSV")
    input_path, output_path = sys.argv[1], sys.argv[2]
    table = gen_fullwidth.Table(gen_fullwidth.read_rows(os.path.join(ROOT, "tests", "data", "fullwidth.tsv")))
    try:
        count = convert(input_path, output_path, table)
    except RecordError as error:
        os.remove(output_path)
        sys.exit(f"baseline: {input_path}: {error}")
    print(f"baseline: {count} records written to {output_path}")


if __name__ == "__main__":
    main()
