#!/usr/bin/env python3
"""Builds engine/fullwidth_table.inc, the fixed full-width table of code page 932, from fullwidth.tsv.

Usage: python3 tools/gen_fullwidth.py [tests/data/fullwidth.tsv] [engine/fullwidth_table.inc]

The TSV lists one input sequence per row (columns kind, in_hex, out_hex, ...). The rows are folded
into four arrays: the result of every single byte, the rewrites of double-byte codes, and the
composition of a sound mark with the character output before it. Before writing, the script maps
every row with those arrays, the way engine/fullwidth.cpp does, and stops if any row comes out
differently.
"""

import csv
import sys

VOICED_MARKS = {"DE", "814A"}
SEMI_VOICED_MARKS = {"DF", "814B"}
MARK_INPUTS = VOICED_MARKS | SEMI_VOICED_MARKS
COMPOSE_KINDS = {"pair", "dbcs+halfmark", "dbcs+fullmark", "half+fullmark"}

BYTE_PLAIN, BYTE_LEAD, BYTE_VOICED, BYTE_SEMI_VOICED = 0, 1, 2, 3


def fail(message):
    sys.exit("gen_fullwidth: " + message)


def read_rows(path):
    with open(path, newline="", encoding="utf-8") as f:
        rows = list(csv.DictReader(f, delimiter="\t"))
    for row in rows:
        row["in_hex"] = row["in_hex"].upper()
        row["out_hex"] = row["out_hex"].upper()
    return rows


def code_of(hex_text):
    return int(hex_text, 16)


def is_trail_byte(b):
    return 0x40 <= b <= 0x7E or 0x80 <= b <= 0xFC


class Table:
    def __init__(self, rows):
        self.single = [None] * 256  # byte -> output code (below 0x100: one byte)
        self.kind = [BYTE_PLAIN] * 256
        self.double = {}  # input code -> output code, for the codes that change
        self.compose = {}  # (base output code, 0 voiced / 1 semi-voiced) -> output code

        for row in rows:
            kind, inp, out = row["kind"], row["in_hex"], row["out_hex"]
            if kind in ("single", "lone-lead"):
                if len(inp) != 2 or len(out) not in (2, 4):
                    fail(f"bad {kind} row {inp}")
                b = code_of(inp)
                if self.single[b] is not None:
                    fail(f"byte {inp} listed twice")
                self.single[b] = code_of(out)
                if kind == "lone-lead":
                    self.kind[b] = BYTE_LEAD
            elif kind == "dbcs":
                if len(inp) != 4 or len(out) not in (2, 4):
                    fail(f"bad dbcs row {inp}")
                if inp != out:
                    self.double[code_of(inp)] = code_of(out)
            elif kind not in COMPOSE_KINDS:
                fail(f"unknown kind {kind}")
        missing = [f"{b:02X}" for b in range(256) if self.single[b] is None]
        if missing:
            fail("bytes without a row: " + " ".join(missing))
        for mark in MARK_INPUTS:
            if mark in self.double:
                fail(f"sound mark {mark} is rewritten; the mapping does not expect that")
        self.kind[0xDE] = BYTE_VOICED
        self.kind[0xDF] = BYTE_SEMI_VOICED
        self.voiced_code = self.single[0xDE]
        self.semi_voiced_code = self.single[0xDF]
        if self.voiced_code != 0x814A or self.semi_voiced_code != 0x814B:
            fail("DE/DF do not map to the full-width marks 814A/814B")

        for row in rows:
            if row["kind"] in COMPOSE_KINDS:
                self._add_composition(row)

    def map_base(self, hex_text):
        code = code_of(hex_text)
        if len(hex_text) == 2:
            return self.single[code]
        return self.double.get(code, code)

    def _add_composition(self, row):
        inp, out = row["in_hex"], row["out_hex"]
        mark = next((m for m in MARK_INPUTS if inp.endswith(m) and len(inp) - len(m) in (2, 4)), None)
        if mark is None:
            fail(f"composing row {inp} does not end in a sound mark")
        base = inp[: len(inp) - len(mark)]
        semi = 1 if mark in SEMI_VOICED_MARKS else 0
        base_out = self.map_base(base)
        spacing = encode(base_out) + encode(self.semi_voiced_code if semi else self.voiced_code)
        if out == spacing:
            return  # no composed form: the mark stands on its own
        if len(out) not in (2, 4):
            fail(f"composing row {inp} gives more than one character")
        key = (base_out, semi)
        if self.compose.get(key, code_of(out)) != code_of(out):
            fail(f"composing rows disagree for {inp}")
        self.compose[key] = code_of(out)

    def apply(self, data):
        """The mapping of engine/fullwidth.cpp, used to prove the arrays against the rows."""
        out = []  # output characters as codes
        i = 0
        while i < len(data):
            b = data[i]
            mark = None
            if self.kind[b] == BYTE_LEAD:
                if i + 1 < len(data) and is_trail_byte(data[i + 1]):
                    code = (b << 8) | data[i + 1]
                    i += 2
                    if code == self.voiced_code:
                        mark = 0
                    elif code == self.semi_voiced_code:
                        mark = 1
                    else:
                        code = self.double.get(code, code)
                else:
                    code = self.single[b]
                    i += 1
            else:
                code = self.single[b]
                if self.kind[b] == BYTE_VOICED:
                    mark = 0
                elif self.kind[b] == BYTE_SEMI_VOICED:
                    mark = 1
                i += 1
            if mark is not None and out and (out[-1], mark) in self.compose:
                out[-1] = self.compose[(out[-1], mark)]
            else:
                out.append(code)
        return "".join(encode(c) for c in out)


def encode(code):
    return f"{code:02X}" if code < 0x100 else f"{code:04X}"


def check(table, rows):
    for row in rows:
        got = table.apply(bytes.fromhex(row["in_hex"]))
        if got != row["out_hex"]:
            fail(f"row {row['kind']} {row['in_hex']}: table gives {got}, expected {row['out_hex']}")


def hex_lines(values, width, per_line):
    items = [f"0x{v:0{width}X}," if width else f"{v}," for v in values]
    return ["    " + " ".join(items[i : i + per_line]) for i in range(0, len(items), per_line)]


def emit(table):
    lines = [
        "// Generated by tools/gen_fullwidth.py from tests/data/fullwidth.tsv; do not edit by hand.",
        "// Regenerate: python3 tools/gen_fullwidth.py tests/data/fullwidth.tsv engine/fullwidth_table.inc",
        "// Included by engine/fullwidth.cpp only. An output code below 0x100 is one byte, otherwise two",
        "// (lead byte first); 0 in the rewrite and composition arrays means \"no entry\".",
        "// clang-format off",
        "",
        "// Kind of each byte as the first byte of a character.",
        f"enum ByteKind : std::uint8_t {{ kPlainByte = {BYTE_PLAIN}, kLeadByte = {BYTE_LEAD}, "
        f"kVoicedMarkByte = {BYTE_VOICED}, kSemiVoicedMarkByte = {BYTE_SEMI_VOICED} }};",
        "constexpr std::uint8_t kByteKind[256] = {",
    ]
    lines += hex_lines(table.kind, 0, 32)
    lines += [
        "};",
        "",
        "// Output of each byte standing alone: every single-byte character, and a lead byte with no",
        "// valid trail byte after it.",
        "constexpr std::uint16_t kSingleByteOutput[256] = {",
    ]
    lines += hex_lines(table.single, 4, 16)
    lines += ["};", ""]

    leads = sorted({code >> 8 for code in table.double})
    page_of = [0] * 256
    for index, lead in enumerate(leads, start=1):
        page_of[lead] = index
    lines += [
        "// Double-byte codes that the mapping rewrites (codes with two forms go to the preferred one):",
        "// the page of a lead byte (0: no code with this lead byte changes), then per page the new code",
        "// for each trail byte.",
        "constexpr std::uint8_t kDoubleBytePageOf[256] = {",
    ]
    lines += hex_lines(page_of, 2, 16)
    lines += ["};", "", f"constexpr std::uint16_t kDoubleBytePages[{len(leads) + 1}][256] = {{"]
    for page in [None] + leads:
        lines.append("    {" if page is None else f"    {{  // lead byte 0x{page:02X}")
        values = [0 if page is None else table.double.get((page << 8) | t, 0) for t in range(256)]
        lines += ["    " + line for line in hex_lines(values, 4, 16)]
        lines.append("    },")
    lines += ["};", ""]

    bases = sorted({base for base, _ in table.compose})
    first, last = bases[0], bases[-1]
    lines += [
        "// Sound-mark composition: for an output character from kComposeFirst to kComposeLast, the",
        "// character it becomes with a voiced [0] or semi-voiced [1] mark after it.",
        f"constexpr std::uint16_t kVoicedMark = 0x{table.voiced_code:04X};",
        f"constexpr std::uint16_t kSemiVoicedMark = 0x{table.semi_voiced_code:04X};",
        f"constexpr std::uint16_t kComposeFirst = 0x{first:04X};",
        f"constexpr std::uint16_t kComposeLast = 0x{last:04X};",
        f"constexpr std::uint16_t kCompose[{last - first + 1}][2] = {{",
    ]
    entries = [
        f"{{0x{table.compose.get((c, 0), 0):04X}, 0x{table.compose.get((c, 1), 0):04X}}},"
        for c in range(first, last + 1)
    ]
    lines += ["    " + " ".join(entries[i : i + 6]) for i in range(0, len(entries), 6)]
    lines += ["};", "", "// clang-format on", ""]
    return "\n".join(lines)


def main():
    source = sys.argv[1] if len(sys.argv) > 1 else "tests/data/fullwidth.tsv"
    target = sys.argv[2] if len(sys.argv) > 2 else "engine/fullwidth_table.inc"
    rows = read_rows(source)
    table = Table(rows)
    check(table, rows)
    with open(target, "w", encoding="utf-8", newline="\n") as f:
        f.write(emit(table))
    print(f"gen_fullwidth: {len(rows)} rows checked, {target} written")


if __name__ == "__main__":
    main()
