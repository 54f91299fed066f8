#!/usr/bin/env bash
# scripts/lib/e2e.sh, which every end-to-end script relies on: an image whose header is wrong,
# a scenario row that loses a field, or a summary that passes a failed scenario would make
# those scripts test the wrong thing, or report a failure as success.
set -uo pipefail
source "$1"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
wrong=0
expect() {  # <what> <got> <wanted>
  [ "$2" = "$3" ] || { echo "FAILED: $1: got [$2], wanted [$3]"; wrong=$((wrong + 1)); }
}

# The header's words are little-endian, each of four bytes, then 16 reserved zero bytes.
make_image 65535 0x12345678 4113 "$dir/fw.dat"
expect "header" "$(head -c 28 "$dir/fw.dat" | xxd -p | tr -d '\n')" "ffff0000785634121110000000000000000000000000000000000000"
expect "size: header and payload" "$(stat -c %s "$dir/fw.dat")" 4141

# Every field reaches the runner, empty ones included; names pick rows; a failed check fails its row.
scenarios=("one|a||c|" "two|x|y|z|w" "three|bad|||")
row() { echo "$#:$1:$2:$3:$4:$5" >>"$dir/rows"; [ "$2" = bad ] && fail "$1"; }
run_scenarios row >/dev/null
expect "rows as the runner got them" "$(paste -sd ' ' "$dir/rows")" "5:one:a::c: 5:two:x:y:z:w 5:three:bad:::"
expect "passed" "${passed[*]}" "one two"
expect "failed" "${failed[*]}" "three"
expect "the summary" "$(scenario_summary)" $'failed scenarios: three\n2 passed, 1 failed'
scenario_summary >/dev/null && expect "a failed scenario fails the summary" 0 1
rm "$dir/rows"
run_scenarios row two >/dev/null
expect "only the named row runs" "$(cat "$dir/rows")" "5:two:x:y:z:w"

((wrong == 0)) && echo "e2e library: passed"
