#!/usr/bin/env bash
# The README's recipe for batches larger than one machine, run as the README writes it, with GNU
# parallel on this machine's own logins (-S : for the file of machines) and with /data a temporary
# folder: three folders of generated claims, one of them with a faulty record. Every folder must be
# converted into its own output folder, every report gathered in reports.txt, and the job log must
# hold each folder's exit status.
# Usage: bash tests/parallel_recipe.sh README.md PATH/TO/tolvarenquista PATH/TO/gen_claims
set -u
export LC_ALL=C

if [ $# -ne 3 ]; then
    echo "usage: $0 README TOLVARENQUISTA GEN_CLAIMS" >&2
    exit 2
fi
readme=$1
cli=$(realpath "$2")
gen=$3

# shellcheck source=tests/checks.sh
source "$(dirname "$0")/checks.sh"
equal() { [ "$1" = "$2" ] || { printf '  expected: [%s]\n  actual:   [%s]\n' "$2" "$1" >&2; return 1; }; }

if ! command -v parallel >/dev/null; then
    echo "FAIL: GNU parallel is missing: install Debian's parallel (make setup does)" >&2
    failed=$((failed + 1))
    finish
fi

# The recipe: the indented lines of the section from the one that starts the pipeline to the one
# that ends in reports.txt.
recipe=$(awk '
    /^### / { section = ($0 == "### Batches larger than one machine") }
    section && /^    [^ ].*\| *parallel / { taking = 1 }
    taking { print; if (/> reports\.txt$/) exit }
' "$readme")
logins='--sshloginfile nodes.txt'
if [[ $recipe != *"> reports.txt" || $recipe != *"$logins"* || $recipe != *"/data/claims"* ]]; then
    echo "FAIL: no recipe (a parallel pipeline over /data/claims, $logins, into reports.txt) in $readme:" >&2
    echo "$recipe" >&2
    failed=$((failed + 1))
    finish
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# This machine's logins for the file of machines (no citation notice); /data is the work folder, and
# the program is found on the PATH as on every machine.
command=${recipe//"$logins"/-S : --will-cite}
command=${command//\/data\//$work/}
mkdir -p "$work/bin" && ln -s "$cli" "$work/bin/tolvarenquista"

folders=(north "south east" faulty)
seed=1
for folder in "${folders[@]}"; do
    if ! "$gen" --out "$work/claims/$folder" --files 2 --records 20 --seed $((seed++)) >/dev/null; then
        echo "FAIL: gen_claims could not make $folder" >&2
        failed=$((failed + 1))
        finish
    fi
done
# A record of 15 fields: that file is rejected, the folder's run ends with exit status 1.
printf '1,2,3,4,5,6,7,8,9,10,11,12,13,14,15\r\n' >>"$work/claims/faulty/20080423120001.csv"

(cd "$work" && PATH="$work/bin:$PATH" bash -c "$command") 2>"$work/parallel.err"
status=$?
expect "parallel counts one failed job (stderr: $(head -c 300 "$work/parallel.err"))" equal "$status" 1

for folder in "${folders[@]}"; do
    expect "$folder: the first file is converted" test -s "$work/out/$folder/20080423120000_001.CSV"
    expect "$folder: its report is gathered in reports.txt" \
        equal "$(grep -c "^$work/out/$folder/[0-9]\{14\}_Result\.txt\$" "$work/reports.txt")" 1
done
for folder in north "south east"; do
    expect "$folder: the second file is converted" test -s "$work/out/$folder/20080423120001_001.CSV"
done
expect "faulty: the file with the faulty record has no output" test ! -e "$work/out/faulty/20080423120001_001.CSV"
expect "faulty: its log names the faulty record" grep -q '20080423120001\.CSV' "$work"/logs/faulty/*.log
expect "reports.txt holds the three reports, each one written" \
    equal "$(while read -r report; do [ -f "$report" ] && echo ok; done <"$work/reports.txt" | wc -l)" 3

# The job log: a header, then one line a folder (its command names the folder, quoted as parallel
# quotes it); its Exitval column is the folder's exit status.
exit_status() {
    awk -F'\t' -v folder="/claims/$1" '
        NR == 1 { for (i = 1; i <= NF; i++) { if ($i == "Exitval") exitval = i; if ($i == "Command") command = i } }
        NR > 1 && index($command, folder) { print $exitval }
    ' "$work/convert.log"
}
for folder in "${folders[@]}"; do
    expected=0
    [ "$folder" = faulty ] && expected=1
    expect "$folder: its exit status in the job log" equal "$(exit_status "$folder")" $expected
done
finish
