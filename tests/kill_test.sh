#!/usr/bin/env bash
# A conversion killed (SIGKILL) at any moment leaves no output of the file it was converting under a
# final name, and the next run into the same folder converts that file again: it succeeds, leaves no
# temporary file, and writes exactly what an uninterrupted run writes.
# Usage: bash tests/kill_test.sh PATH/TO/tolvarenquista PATH/TO/gen_claims
set -u
export LC_ALL=C

if [ $# -ne 2 ]; then
    echo "usage: $0 TOLVARENQUISTA GEN_CLAIMS" >&2
    exit 2
fi
cli=$1
gen=$2

work=$(mktemp -d)
pid=
trap '[ -n "$pid" ] && kill -KILL "$pid" 2>/dev/null; rm -rf "$work"' EXIT
trap 'exit 130' INT TERM
in=$work/in
name=20080423120000
records=400000
split=16000000  # about 92,000 records a file: five output files

# shellcheck source=tests/checks.sh
source "$(dirname "$0")/checks.sh"

# start DIR: converts the input into DIR in the background; its process id goes to $pid.
start() {
    mkdir -p "$1"
    "$cli" convert --input "$in" --output "$1" --split-bytes "$split" --log-dir "$work/log" --quiet \
        >"$1.out" 2>"$1.err" &
    pid=$!
}
# running: the converter has not ended yet (it stays a zombie until waited for, so kill -0 will not do).
running() {
    local state
    read -r _ _ state _ 2>/dev/null <"/proc/$pid/stat" && [ "$state" != Z ]
}
# listing DIR: the names in DIR; outputs DIR: the output names in DIR (final names only).
listing() { (cd "$1" && shopt -s nullglob && set -- * && echo "$*"); }
outputs() { (cd "$1" && shopt -s nullglob && set -- "${name}"_*.CSV && echo "$*"); }
no_outputs() { [ -z "$(outputs "$1")" ]; }
no_partials() { ! compgen -G "$1/*.partial" >/dev/null; }
# same_as_reference DIR: the same output names as the uninterrupted run, each byte for byte equal.
same_as_reference() {
    local file
    [ "$(outputs "$1")" = "$(outputs "$work/ref")" ] || return 1
    for file in "$work/ref/${name}"_*.CSV; do
        cmp -s "$file" "$1/${file##*/}" || return 1
    done
}
micros() { local t=$EPOCHREALTIME; echo "${t/./}"; }

mkdir "$in"
if ! "$gen" --single "$in/$name.csv" --records "$records" --seed 5; then
    echo "FAIL: gen_claims could not make the input" >&2
    exit 1
fi

# --- the uninterrupted run: what every interrupted one must come to ---
began=$(micros)
start "$work/ref"
wait "$pid"
status=$?
pid=
took=$(($(micros) - began))
expect "the uninterrupted run exits 0 (stderr: $(head -c 300 "$work/ref.err"))" test "$status" -eq 0
read -ra reference <<<"$(outputs "$work/ref")"
count=${#reference[@]}
expect "the uninterrupted run writes 4 to 6 output files (wrote: ${reference[*]:-none})" \
    let "count >= 4 && count <= 6"
[ "$failed" -eq 0 ] || finish

# --- two runs into one folder: the second is refused and the first is unharmed ---
start "$work/two"
while running && [ ! -e "$work/two/${name}_001.CSV.partial" ]; do sleep 0.002; done
"$cli" convert --input "$in" --output "$work/two" --split-bytes "$split" --log-dir "$work/log" --quiet \
    >"$work/second.out" 2>"$work/second.err"
second=$?
wait "$pid"
status=$?
pid=
expect "a second run into a folder that a run is using exits 2, got $second" test "$second" -eq 2
expect "... and says that the folder is in use ($(head -c 200 "$work/second.err"))" grep -q '使用中' "$work/second.err"
expect "the first run exits 0, got $status" test "$status" -eq 0
expect "the first run writes what an undisturbed run writes" same_as_reference "$work/two"
expect "the first run's report is in place" compgen -G "$work/two/*_Result.txt" >/dev/null
[ "$failed" -eq 0 ] || finish

# --- interrupted runs ---
# Each point is "output N" (kill as soon as output file N appears, under its temporary name or its
# final one; polled every 2 ms) or "time P" (kill at P percent of the uninterrupted run's time). A
# kill that lands after the conversion has ended (the process exited on its own, or every output is
# already complete) proves nothing: that point is skipped, but at least three must land mid-run.
killed=0
point=0
for when in "output 1" "output 2" "output 3" "output $count" "time 25" "time 50" "time 90"; do
    point=$((point + 1))
    out=$work/kill$point
    read -r how value <<<"$when"
    if [ "$how" = output ]; then
        when="kill when output $value is begun"
    else
        when="kill at $value% of the run's time"
    fi
    start "$out"
    if [ "$how" = output ]; then
        file=$out/$(printf '%s_%03d.CSV' "$name" "$value")
        while running && [ ! -e "$file.partial" ] && [ ! -e "$file" ]; do sleep 0.002; done
    else
        delay=$((took * value / 100))
        sleep "$((delay / 1000000)).$(printf '%06d' $((delay % 1000000)))"
    fi
    kill -KILL "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    status=$?
    pid=
    if [ "$status" -ne 137 ] || same_as_reference "$out"; then
        echo "$when: too late, the conversion had ended (exit status $status); skipped"
        continue
    fi
    killed=$((killed + 1))
    left=$(listing "$out")
    expect "$when: no output under a final name is left (left: $left)" no_outputs "$out"

    start "$out"
    wait "$pid"
    status=$?
    pid=
    expect "$when: the next run exits 0, got $status (stderr: $(head -c 300 "$out.err"))" \
        test "$status" -eq 0
    left=$(listing "$out")
    expect "$when: the next run leaves no .partial file (left: $left)" no_partials "$out"
    expect "$when: the next run writes what the uninterrupted run wrote (left: $left)" \
        same_as_reference "$out"
done
expect "at least three kills landed mid-run (landed: $killed)" test "$killed" -ge 3
finish
