#!/usr/bin/env bash
# A conversion that fills the disk of its output folder: the run fails with the write error, the file
# being converted leaves nothing behind (none of its output files, finished or not, under any name)
# and the log names the file that could not be written. The disk is a 2 MB tmpfs, mounted in a
# mount namespace of the test's own where it can, so that nothing stays mounted if the test dies.
# Where mounting is not allowed the test is skipped (exit status 77).
# Usage: bash tests/full_disk.sh PATH/TO/tolvarenquista PATH/TO/gen_claims
set -u
export LC_ALL=C

if [ $# -ne 2 ]; then
    echo "usage: $0 TOLVARENQUISTA GEN_CLAIMS" >&2
    exit 2
fi
cli=$1
gen=$2

if [ "$(id -u)" -ne 0 ]; then
    echo "skipped: mounting a tmpfs needs root"
    exit 77
fi
if [ -z "${FULL_DISK_PRIVATE_MOUNTS:-}" ] && unshare --mount --propagation private true 2>/dev/null; then
    FULL_DISK_PRIVATE_MOUNTS=1 exec unshare --mount --propagation private bash "$0" "$@"
fi

work=$(mktemp -d)
disk=$work/disk
mkdir "$disk"
if ! mount -t tmpfs -o size=2m tolvarenquista-full "$disk" 2>"$work/mount.err"; then
    echo "skipped: cannot mount a tmpfs here: $(cat "$work/mount.err")"
    rm -rf "$work"
    exit 77
fi
trap 'umount "$disk"; rm -rf "$work"' EXIT
trap 'exit 130' INT TERM

# shellcheck source=tests/checks.sh
source "$(dirname "$0")/checks.sh"
holds() { [[ $(<"$1") == *"$2"* ]]; }
none() { ! compgen -G "$1" >/dev/null; }
# logged LOG_DIR: the log has the write error of an output file, named by its final name.
logged() {
    cat "$1"/Tolvarenquista_*.log | iconv -f CP932 -t UTF-8 |
        grep -F "報告データファイル[$disk/${name}_" | grep -qF ".CSV] 書込みエラー"
}

# 30,000 records make about 4.8 MB of output, more than twice the disk; the input and the log lie
# outside it.
name=20080423120000
mkdir "$work/in"
if ! "$gen" --single "$work/in/$name.csv" --records 30000 --seed 3; then
    echo "FAIL: gen_claims could not make the input" >&2
    exit 1
fi
message=$'ファイルの書込みに失敗しました。\n処理を終了します。'

# Without a split the one output file outgrows the disk; split by 1 MB, two output files are
# finished before the third fills the disk, and they must go too.
for split in 0 1000000; do
    case="split $split"
    log=$work/log$split
    "$cli" convert --input "$work/in" --output "$disk" --split-bytes "$split" --log-dir "$log" --quiet \
        >"$work/out" 2>"$work/err"
    status=$?
    left=$(cd "$disk" && shopt -s nullglob && set -- * && echo "$*")
    expect "$case: the run exits 3, got $status" test "$status" -eq 3
    expect "$case: the write failure is shown (stderr: $(head -c 300 "$work/err"))" \
        holds "$work/err" "$message"
    expect "$case: no output under a final name is left (left: $left)" none "$disk/${name}_*.CSV"
    expect "$case: no .partial file is left (left: $left)" none "$disk/*.partial"
    expect "$case: the log names the output file that could not be written" logged "$log"
    rm -f "$disk"/*
done

finish
