#!/usr/bin/env bash
# End to end: the command-line program converts generated claim files in a temporary folder; its
# other commands (list, ref) and its exit codes are checked on the same files.
# Usage: bash tests/cli_end_to_end.sh PATH/TO/tolvarenquista PATH/TO/gen_claims
set -u
export LC_ALL=C  # byte semantics for awk, cut and grep: the files are code page 932

if [ $# -ne 2 ]; then
    echo "usage: $0 TOLVARENQUISTA GEN_CLAIMS" >&2
    exit 2
fi
cli=$1
gen=$2

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
in=$work/in
out=$work/out
log=$work/log

# shellcheck source=tests/checks.sh
source "$(dirname "$0")/checks.sh"
equal() { [ "$1" = "$2" ] || { printf '  expected: [%s]\n  actual:   [%s]\n' "$2" "$1" >&2; return 1; }; }

names=(20080423120000 20080423120001)
if ! "$gen" --out "$in" --files 2 --records 50 --seed 11 --name-start "${names[0]}"; then
    echo "FAIL: gen_claims could not make the input" >&2
    failed=$((failed + 1))
    finish
fi

"$gen" --help >"$work/gen_help.out" 2>&1
expect "gen_claims --help exits 0" equal "$?" 0
expect "gen_claims --help shows its options" grep -q -- "--records M" "$work/gen_help.out"

# --- convert (the output folder must exist, as in the dialog) ---
mkdir -p "$out"
"$cli" convert --input "$in" --output "$out" --quiet --log-dir "$log" >"$work/convert.out" 2>"$work/convert.err"
status=$?
expect "convert exits 0 (stderr: $(head -c 300 "$work/convert.err"))" equal "$status" 0
for name in "${names[@]}"; do
    expect "output ${name}_001.CSV exists" test -s "$out/${name}_001.CSV"
done
expect "exactly the two outputs, one report and its manifest are written" \
    equal "$(cd "$out" && ls | sed 's/^[0-9]\{14\}_Result\.txt$/REPORT/; s/^[0-9]\{14\}_Result\.sha256$/MANIFEST/' | sort | tr '\n' ' ')" \
    "${names[0]}_001.CSV ${names[1]}_001.CSV MANIFEST REPORT "

# The manifest beside the report: sha256sum accepts it, and its digests are those a second,
# independent computation gives (Python's hashlib), of every output and of the report.
manifest=$(ls "$out"/*_Result.sha256)
expect "sha256sum -c accepts the manifest" sh -c "cd '$out' && sha256sum --quiet --strict -c '$(basename "$manifest")'"
expect "the manifest holds hashlib's digests of the outputs and the report, CR LF lines" python3 - "$out" "$manifest" <<'PY'
import hashlib, os, sys
folder, manifest = sys.argv[1], sys.argv[2]
names = sorted(n for n in os.listdir(folder) if n.endswith(".CSV")) + [os.path.basename(manifest)[:-7] + ".txt"]
expected = "".join(hashlib.sha256(open(os.path.join(folder, n), "rb").read()).hexdigest() + "  " + n + "\r\n" for n in names)
sys.exit(0 if open(manifest, "rb").read().decode("ascii") == expected else 1)
PY

# Every output line against its input record: 16 fields, CR LF, the reference fields 40 upper-case
# hex digits each (the second ending in 16 zeros), remarks "a2", the two amounts zero-padded (after a
# minus sign), every other field byte for byte as read, and one output line per record.
check_output() {
    awk -F, '
        function pad(s, width,   sign, zeros) {
            sign = ""
            if (substr(s, 1, 1) == "-") { sign = "-"; s = substr(s, 2) }
            zeros = ""
            while (length(sign) + length(zeros) + length(s) < width) zeros = zeros "0"
            return sign zeros s
        }
        function bad(why) { if (problems++ < 5) printf "  line %d: %s\n", FNR, why > "/dev/stderr" }
        FILENAME == ARGV[1] {
            sub(/\r$/, "")
            if ($0 != "" && substr($0, 1, 1) != "#") record[++records] = $0
            next
        }
        {
            if (substr($0, length($0)) != "\r") bad("no CR LF")
            sub(/\r$/, "")
            lines++
            if (NF != 16) { bad(NF " fields"); next }
            split(record[FNR], want, ",")
            if ($2 != "a2") bad("remarks " $2)
            if (length($4) != 40 || $4 ~ /[^0-9A-F]/) bad("field 4 " $4)
            if (length($5) != 40 || $5 ~ /[^0-9A-F]/ || substr($5, 25) != "0000000000000000") bad("field 5 " $5)
            if ($13 != pad(want[13], 9)) bad("points " $13 " for " want[13])
            if ($15 != pad(want[15], 8)) bad("meal amount " $15 " for " want[15])
            for (i = 1; i <= 16; i++)
                if (i != 2 && i != 4 && i != 5 && i != 13 && i != 15 && $i != want[i]) bad("field " i " changed")
        }
        END {
            if (lines != records) bad(lines + 0 " lines for " records " records")
            exit problems != 0
        }' "$1" "$2"
}
for name in "${names[@]}"; do
    expect "${name}_001.CSV matches its input record by record" check_output "$in/$name.csv" "$out/${name}_001.CSV"
done

# The reference fields of every converted record of the first file equal what "ref" gives for the
# same two input fields (blanks, half-width katakana and mixed widths included). awk lists, per record,
# the two input fields in hex and the two output fields: "HEX|HEX|OUT4,OUT5".
refs_match_output() {
    local symbol number converted count=0
    while IFS='|' read -r symbol number converted; do
        count=$((count + 1))
        equal "$("$cli" ref --hex "$symbol" "$number")" "$converted" || return 1
    done < <(awk -F, '
        BEGIN { for (i = 1; i < 256; i++) code[sprintf("%c", i)] = sprintf("%02X", i) }
        function hex(s,   i, out) {
            out = ""
            for (i = 1; i <= length(s); i++) out = out code[substr(s, i, 1)]
            return out
        }
        FILENAME == ARGV[1] {
            sub(/\r$/, "")
            if ($0 != "" && substr($0, 1, 1) != "#") record[++records] = hex($4) "|" hex($5)
            next
        }
        { print record[FNR] "|" $4 "," $5 }' "$in/${names[0]}.csv" "$out/${names[0]}_001.CSV")
    [ "$count" -eq 50 ]
}
expect "ref gives the converted reference fields of every record" refs_match_output

# --- a second run into the same folder is refused and leaves the outputs alone ---
before=$(cat "$out"/* | cksum)
"$cli" convert --input "$in" --output "$out" --quiet --log-dir "$log" >/dev/null 2>&1
expect "convert into a folder with outputs exits 2" equal "$?" 2
expect "the refused run leaves the outputs as they were" equal "$(cat "$out"/* | cksum)" "$before"

# --- the last line of standard error is the run's outcome; standard output holds the report's path alone ---
# Beside the two sound files, one with a faulty record and an empty one.
mixed=$work/mixed
mkdir -p "$mixed/in"
cp "$in"/*.csv "$mixed/in/"
printf '1,2,3\r\n' >"$mixed/in/20080423120002.csv"
: >"$mixed/in/20080423120003.csv"
# converted FOLDER ARG...: the mixed files converted into the new FOLDER; the exit status in $status,
# standard output and error in FOLDER.out and FOLDER.err, the last line of standard error in $last
# (its seconds as N).
converted() {
    mkdir -p "$1"
    "$cli" convert --input "$mixed/in" --output "$1" --log-dir "$log" "${@:2}" >"$1.out" 2>"$1.err"
    status=$?
    last=$(tail -n 1 "$1.err" | sed 's/処理時間 [0-9]*秒/処理時間 N秒/')
}
path_alone() { equal "$(cat "$1.out")" "$(ls "$1"/*_Result.txt)"; }
converted "$mixed/normal" "${names[@]/%/.CSV}"
expect "every file normal: exit 0, got $status" equal "$status" 0
expect "... and the last line says so" equal "$last" "カルデノ　正常終了 (処理時間 N秒)"
expect "... standard output is the report's path alone" path_alone "$mixed/normal"
expect "... off a terminal a file ends with its records and time" \
    grep -qx "${names[1]}.CSV: 正常 (50 レコード、[0-9.]*秒)" "$mixed/normal.err"
expect "... and no line of percentages" test -z "$(grep '%$' "$mixed/normal.err")"
converted "$mixed/errors"
expect "two files of four in error: exit 1, got $status" equal "$status" 1
expect "... and the last line says how many" equal "$last" "カルデノ　正常終了（エラーあり：4 ファイル中 2 ファイル） (処理時間 N秒)"
expect "... standard output is the report's path alone" path_alone "$mixed/errors"
converted "$mixed/nothing" --quiet 20080423120002.CSV 20080423120003.CSV
expect "every file in error: exit 1, got $status" equal "$status" 1
expect "... and the last line, also when quiet, says that there is no output" \
    equal "$last" "カルデノ　正常終了（エラーあり：2 ファイル中 2 ファイル、出力ファイルはありません） (処理時間 N秒)"
# A folder planted at the second file's temporary output name: its output cannot be created.
mkdir -p "$mixed/failed/${names[1]}_001.CSV.partial"
converted "$mixed/failed"
expect "a run that cannot create an output: exit 3, got $status" equal "$status" 3
expect "... and the last line names the file and the reason" \
    equal "$last" "カルデノ　異常終了：${names[1]}.CSV: 報告データファイル 作成エラー (File exists)"
expect "... and nothing is on standard output" test ! -s "$mixed/failed.out"

# --- standard output on a full disk: the run's work stands, but the report's path is lost ---
if [ -w /dev/full ]; then
    mkdir "$work/out_full"
    "$cli" convert --input "$in" --output "$work/out_full" --quiet --log-dir "$log" >/dev/full 2>"$work/full.err"
    expect "convert with standard output on a full disk exits 3" equal "$?" 3
    expect "the outputs and the report are still in place" \
        equal "$(cd "$work/out_full" && ls | sed 's/^[0-9]\{14\}_Result\.txt$/REPORT/; s/^[0-9]\{14\}_Result\.sha256$/MANIFEST/' | sort | tr '\n' ' ')" \
        "${names[0]}_001.CSV ${names[1]}_001.CSV MANIFEST REPORT "
    expect "standard error gives the system's reason" grep -q 'No space left on device' "$work/full.err"
fi

# --- list ---
listing=$("$cli" list "$in")
expect "list exits 0" equal "$?" 0
expect "list names both files, upper-cased" equal "$(awk '{ print $1 }' <<<"$listing" | tr '\n' ' ')" \
    "${names[0]}.CSV ${names[1]}.CSV "

# --- ref: full-width and half-width forms give the same reference ---
by_hex=$("$cli" ref --hex 8260 3132)
expect "ref --hex exits 0" equal "$?" 0
expect "ref prints 40 hex digits, a comma and 24 hex digits with 16 zeros" \
    grep -qx '[0-9A-F]\{40\},[0-9A-F]\{24\}0\{16\}' <<<"$by_hex"
expect "ref prints an 81-character line" equal "${#by_hex}" 81
expect "ref of full-width Ａ (UTF-8 argument) equals ref --hex 8260" equal "$("$cli" ref Ａ 12)" "$by_hex"
expect "ref of half-width A is widened to the same" equal "$("$cli" ref A 12)" "$by_hex"
expect "blanks around the fields do not count" equal "$("$cli" ref '　A ' ' 12')" "$by_hex"
other=$("$cli" ref B 12)
expect "another symbol gives another reference" test "$other" != "$by_hex"

# --- inputs that are no claim files, outputs that cannot be written: refused at once, with the reason ---
# fast CMD...: CMD ends within two seconds (a hang is killed and fails the check).
fast() { local t0=$EPOCHREALTIME; timeout 10 "$@" >/dev/null 2>"$work/fast.err"; local status=$?;
    awk -v a="$t0" -v b="$EPOCHREALTIME" 'BEGIN { exit !(b - a < 2) }' && echo "$status" >"$work/fast.status"; }
odd=$work/odd
mkdir -p "$odd/in" "$odd/out"
cp "$in/${names[0]}.csv" "$odd/in/"
mkfifo "$odd/in/20080423120005.csv"
mkdir "$odd/in/20080423120006.csv"
listing=$("$cli" list "$odd/in")
expect "list shows the regular file only, not a FIFO or a folder named like a claim file" \
    equal "$(awk '{ print $1 }' <<<"$listing" | tr '\n' ' ')" "${names[0]}.CSV "
for name in 20080423120005.csv 20080423120006.csv; do
    expect "convert naming $name (not a regular file) ends within two seconds" \
        fast "$cli" convert --input "$odd/in" --output "$odd/out" --log-dir "$log" --quiet "$name"
    expect "... and is refused (exit 2)" equal "$(cat "$work/fast.status")" 2
    expect "check of the folder with $name in it ends within two seconds" fast "$cli" check --input "$odd/in"
done
expect "check reads the regular file (exit 0)" equal "$(cat "$work/fast.status")" 0
if command -v setpriv >/dev/null && [ "$(id -u)" -eq 0 ]; then
    # As another user: an input that user may not read, an output folder that user may not write.
    as_nobody=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
    chmod 0755 "$work" "$odd" "$odd/in"
    mkdir -p "$odd/shared" "$odd/nlog" && chmod 0777 "$odd/shared" "$odd/nlog"
    chmod 0600 "$odd/in/${names[0]}.csv"
    expect "an input the user may not read fails within two seconds" \
        fast "${as_nobody[@]}" "$cli" convert --input "$odd/in" --output "$odd/shared" --log-dir "$odd/nlog" --quiet
    expect "... with exit 3" equal "$(cat "$work/fast.status")" 3
    expect "... and says why" grep -q 'Permission denied' "$work/fast.err"
    expect "... last of all, with the file's name" equal "$(tail -n 1 "$work/fast.err")" \
        "カルデノ　異常終了：${names[0]}.CSV: 読込みファイル オープンエラー (Permission denied)"
    expect "... and leaves the output folder empty" equal "$(ls -A "$odd/shared")" ""
    chmod 0644 "$odd/in/${names[0]}.csv"
    expect "an output folder the user may not write is refused within two seconds" \
        fast "${as_nobody[@]}" "$cli" convert --input "$odd/in" --output "$odd/out" --log-dir "$odd/nlog" --quiet
    expect "... with exit 2" equal "$(cat "$work/fast.status")" 2
    expect "... and says why" grep -q 'Permission denied' "$work/fast.err"
fi

# --- usage error ---
mkdir "$work/out2"
"$cli" convert --input "$in" --output "$work/out2" --no-such-option >/dev/null 2>"$work/usage.err"
expect "an unknown option exits 64" equal "$?" 64
expect "a usage error writes nothing" equal "$(ls -A "$work/out2")" ""
expect "... and says so in Japanese, pointing to the command's own help" equal "$(cat "$work/usage.err")" \
    "$(printf '%s\n' "tolvarenquista: コマンド convert にオプション --no-such-option はありません。" \
        "詳しくは 'tolvarenquista convert --help' を見てください。")"
expect "an argument that code page 932 cannot hold is named, its character shown as ?" \
    equal "$("$cli" list "$work/café" 2>&1 | head -n 1)" \
    "tolvarenquista: 引数[$work/caf?]は、シフトJISで表せない文字（?）が含まれているため指定できません。"

finish
