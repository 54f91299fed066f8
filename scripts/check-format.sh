#!/usr/bin/env bash
# Checks that the C++ sources keep the layout .clang-format describes; lists the files that do not.
# To mend them: clang-format -i FILE...
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files '*.cpp' '*.h' | grep -v '^mac/gnustep/include/')
bad=()
for f in "${files[@]}"; do
  clang-format --style=file "$f" | cmp -s "$f" - || bad+=("$f")
done
if ((${#bad[@]})); then
  echo "Not formatted as .clang-format says (clang-format -i to mend):"
  printf '  %s\n' "${bad[@]}"
  exit 1
fi
echo "format: ${#files[@]} files as .clang-format says"
