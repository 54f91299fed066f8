#!/usr/bin/env bash
# morvik-update's bash completion offers whole file names, whatever the shell would split or
# expand in them, however the user began to quote them.
set -uo pipefail
source "$1"

dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir"
touch 'my fw.dat' "it's.dat" 'a$b.dat' 'x*y.DAT' 'notes.txt' 'tab	in.dat'
mkdir 'sub dir'

failed=0
# What was typed | what is offered, sorted and joined by '|'.
while IFS='|' read -r typed expected; do
  COMP_WORDS=(morvik-update "$typed")
  COMP_CWORD=1
  COMPREPLY=()
  _morvik_update
  got=$(printf '%s\n' "${COMPREPLY[@]}" | sort | paste -sd '|')
  if [[ $got != "$expected" ]]; then
    echo "FAILED: '$typed' offered '$got', expected '$expected'"
    failed=1
  fi
done <<'CASES'
my|my fw.dat
my\ f|my fw.dat
"my f|my fw.dat
'my f|my fw.dat
it\'s|it's.dat
"it'|it's.dat
a\$|a$b.dat
x|x*y.DAT
tab|tab	in.dat
s|sub dir
n|
--sim-v|--sim-vanish-after|--sim-version
CASES
exit $failed
