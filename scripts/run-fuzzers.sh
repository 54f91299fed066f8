#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build for a bounded time; fails when one finds a crash.
#   usage: scripts/run-fuzzers.sh BUILD_DIR SECONDS
# Each target starts from the seeds in fuzz/corpus/ plus what earlier runs found (kept in
# BUILD_DIR/fuzz-corpus/). A crashing input is saved in BUILD_DIR/fuzz-artifacts/; run the
# target with that file as its argument to reproduce it.
set -euo pipefail

if [ $# -ne 2 ]; then
  echo "usage: $0 BUILD_DIR SECONDS" >&2
  exit 2
fi
build_dir=$(cd "$1" && pwd)
seconds=$2
seeds=$(cd "$(dirname "$0")/../fuzz/corpus" && pwd)

mapfile -t targets < <(find "$build_dir/fuzz" -maxdepth 1 -type f -name 'morvik_fuzz_*' -perm -u+x | sort)
if [ ${#targets[@]} -eq 0 ]; then
  echo "fuzzing: no fuzz targets in $build_dir/fuzz (build the fuzz preset first)" >&2
  exit 1
fi

artifacts="$build_dir/fuzz-artifacts"
mkdir -p "$artifacts"
failed=()
for target in "${targets[@]}"; do
  name=$(basename "$target")
  corpus="$build_dir/fuzz-corpus/$name"
  mkdir -p "$corpus"
  echo "--- $name: fuzzing for ${seconds}s"
  # New inputs go to the first corpus folder; the seeds stay untouched. An input that runs
  # longer than 10 s counts as a hang, which is a failure too.
  if ! "$target" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
      -artifact_prefix="$artifacts/$name-" "$corpus" "$seeds" 2>"$build_dir/fuzz-$name.log"; then
    tail -n 40 "$build_dir/fuzz-$name.log"
    failed+=("$name")
  else
    grep -E '^stat::number_of_executed_units|^#[0-9]+.*DONE' "$build_dir/fuzz-$name.log" || true
  fi
done

if [ ${#failed[@]} -ne 0 ]; then
  echo "fuzzing: FAILED: ${failed[*]} found a crash; inputs in $artifacts (full logs in $build_dir/fuzz-*.log)"
  exit 1
fi
echo "fuzzing: passed: ${#targets[@]} target(s), ${seconds}s each, no crash"
