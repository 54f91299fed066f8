#!/usr/bin/env bash
# clang-tidy with the checks .clang-tidy lists, over the project's own C++ sources that this
# machine compiles: those in the dev build's compile_commands.json (not the MinGW- or Apple-only
# ones). Any finding fails; prints how long the run took.
#   bash scripts/clang-tidy.sh [FILE...]     every source, or the files named
set -euo pipefail
cd "$(dirname "$0")/.."
db=build/dev
[ -f "$db/compile_commands.json" ] || { echo "clang-tidy: no $db/compile_commands.json: run cmake --preset dev first"; exit 1; }

if (($#)); then
  files=$(printf '%s|' "$@")
  pattern="$PWD/(${files%|})\$"
else
  pattern="$PWD/(engine|feed|sim|linux|windows|mac|tests|benchmarks|fuzz)/.*\\.cpp\$"
fi
start=$SECONDS
status=0
run-clang-tidy -p "$db" -j "$(nproc)" -quiet "$pattern" >"$db/clang-tidy.log" 2>&1 || status=$?
# The findings, without the summary lines clang-tidy adds to every file.
grep -E '(warning|error):|^ ' "$db/clang-tidy.log" | grep -v 'warnings generated' || true
if ((status)); then
  echo "clang-tidy: FAILED after $((SECONDS - start)) s (the whole output is in $db/clang-tidy.log)"
  exit 1
fi
echo "clang-tidy: clean ($(grep -c '"file"' "$db/compile_commands.json") sources known, $((SECONDS - start)) s)"
