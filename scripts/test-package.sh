#!/usr/bin/env bash
# Builds morvik-update's Debian package (release preset), checks what it holds, unpacks it into
# a temporary folder and runs the unpacked program there: --version and a simulated update.
# Runs lintian when it is installed and prints what it says (its findings do not fail the run).
set -euo pipefail
cd "$(dirname "$0")/.."

echo "=== package: build"
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" --target morvik-update morvik-update-man morvik-update-changelog
rm -f build/release/morvik-update_*.deb
cpack --preset release >/dev/null
deb=$(ls build/release/morvik-update_*.deb)
echo "package: $deb"

fail() { echo "package: FAILED: $*" >&2; exit 1; }

contents=$(dpkg-deb -c "$deb")
for path in ./usr/bin/morvik-update ./usr/lib/udev/rules.d/60-morvik-gamepad.rules \
            ./usr/share/man/man1/morvik-update.1.gz ./usr/share/bash-completion/completions/morvik-update \
            ./usr/share/doc/morvik-update/changelog.gz ./usr/share/doc/morvik-update/copyright; do
  grep -q " $path\$" <<<"$contents" || fail "$path is missing"
done
grep -q ' ./usr/local' <<<"$contents" && fail "files under /usr/local"
# Every library the program links (its NEEDED entries, found where the loader finds them) must
# come from a package the .deb depends on.
depends=$(dpkg-deb -f "$deb" Depends)
depends_names=" $(sed -E 's/\([^)]*\)//g; s/[,|]/ /g' <<<"$depends" | tr -s ' ') "
program_built=build/release/linux/morvik-update
needed=$(readelf -d "$program_built" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
[ -n "$needed" ] || fail "readelf found no NEEDED entries in $program_built"
for library in $needed; do
  path=$(ldconfig -p | awk -v l="$library" '$1 == l && /x86-64/ { print $NF; exit }')
  [ -n "$path" ] || fail "the loader does not find $library"
  owner=$(dpkg -S "$(readlink -f "$path")" 2>/dev/null || dpkg -S "$path" 2>/dev/null) || fail "no package holds $path"
  package=${owner%%:*}
  grep -q " $package " <<<"$depends_names" || fail "$library comes from $package, which Depends lacks: $depends"
  echo "package: $library from $package, in Depends"
done
for field in Maintainer Section Description; do
  [ -n "$(dpkg-deb -f "$deb" "$field")" ] || fail "no $field"
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
dpkg-deb -x "$deb" "$work/root"
program="$work/root/usr/bin/morvik-update"
"$program" --version | grep -qx 'morvik-update [0-9.]*' || fail "--version"
zcat "$work/root/usr/share/man/man1/morvik-update.1.gz" | grep -q '^.SH EXIT STATUS' || fail "man page"
bash -n "$work/root/usr/share/bash-completion/completions/morvik-update" || fail "bash completion"

# A 4 KiB image, version 1.23: header (version x 100, opaque word, image length, 16 bytes), payload.
python3 - "$work/fw.dat" <<'PY'
import struct, sys
payload = bytes(i * 7 % 256 for i in range(4096))
open(sys.argv[1], "wb").write(struct.pack("<III", 123, 0xA1B2C3D4, len(payload)) + bytes(16) + payload)
PY
"$program" --simulate --yes "$work/fw.dat" >"$work/update.log" 2>&1 || { cat "$work/update.log"; fail "simulated update"; }
grep -q 'Firmware updated to v1.23' "$work/update.log" || fail "simulated update said: $(cat "$work/update.log")"
# A pipe is read once and updates as a file does.
cat "$work/fw.dat" | "$program" --simulate --yes /dev/stdin >/dev/null 2>&1 || fail "update from a pipe"

if command -v lintian >/dev/null; then
  echo "=== package: lintian"
  lintian --allow-root "$deb" || true
else
  echo "package: lintian is not installed; skipped"
fi
echo "package: passed: $deb"
