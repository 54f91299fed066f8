#!/usr/bin/env bash
# End-to-end scenarios of the unmodified morvik-update against emulated pads: morvik-e2e-pads
# builds a umockdev testbed with the pads' sysfs devices and hidraw nodes, answers for each pad
# with the simulated pad, and runs the program under umockdev's preload, so that hidapi's hidraw
# backend and libudev find, open, write and read the pads as real ones. Each scenario leaves
# build/linux-e2e/<scenario>/ (build/linux-e2e-asan/... for the asan build) with image.dat,
# the pad's pad.trace (as --trace prints reports, from the pad's side), received.dat (the header
# and payload the pad got) and output (what the program printed).
#
#   scripts/test-linux-pad.sh [--preset dev|asan] [scenario...]   all scenarios, or the named ones
#
# The speed scenario times a 64 KiB update and a bare hidapi write-then-read loop of as many
# reports against the same emulated pad, and prints the ratio.
# Ends with "N passed, N failed"; exits non-zero when a scenario failed.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD
# shellcheck source=lib/e2e.sh
source "$root/scripts/lib/e2e.sh"
read_preset "$@"
shift "$preset_words"
build=$root/build/$preset
out=$root/build/linux-e2e
[ "$preset" = dev ] || out=$root/build/linux-e2e-$preset
pads=$build/linux/e2e/morvik-e2e-pads
loop=$build/linux/e2e/morvik-hid-loop
program=$build/linux/morvik-update

echo "=== linux e2e ($preset): build morvik-update and the emulated pads"
cmake --preset "$preset" >/dev/null || exit 1
cmake --build --preset "$preset" -j "$(nproc)" --target morvik-update morvik-e2e-pads morvik-hid-loop >/dev/null ||
  { echo "linux e2e: build failed (is libumockdev-dev installed? bash scripts/setup.sh)"; exit 1; }
mkdir -p "$out"

# Data frames and finish commands in a trace.
data_frames() { grep -c '^out .. 00 16 .. 00 00 ' "$1"; }
finishes() { grep -c '^out 05 00 16 01 00 02$' "$1"; }

# Runs the program as a user without rights to the pads (root's CI runs it as nobody). That
# user needs a copy of the program and the image it can read.
as_unprivileged() {  # <dir> -> sets $run_as and $run_program, $run_image
  run_as=()
  run_program=$program
  run_image=$1/image.dat
  [ "$(id -u)" -eq 0 ] || return 0
  local stage
  stage=$(mktemp -d)
  chmod 755 "$stage"
  cp "$program" "$1/image.dat" "$stage/"
  chmod 644 "$stage/image.dat"
  run_as=(setpriv --reuid=nobody --regid="$(id -g nobody)" --clear-groups)
  run_program=$stage/morvik-update
  run_image=$stage/image.dat
}

run_scenario() {  # <name> <pads> <user> <arguments> <exit status> <text> <pad check>
  local name=$1 pad_options=$2 user=$3 arguments=$4 status=$5 text=$6 pad_check=$7
  local dir=$out/$name
  echo "scenario $name: pads [$pad_options], morvik-update $arguments"
  rm -rf "$dir"
  mkdir -p "$dir"
  make_image 123 0x12345678 $((65536 + 13)) "$dir/image.dat"  # 2049 blocks, the last one of 13 bytes

  # Each --pad gets its records: pad.trace and received.dat, then pad2.trace, ...
  local helper=() k=0 word
  for word in $pad_options; do
    if [ "$word" = --pad ]; then
      k=$((k + 1))
      local suffix=$k
      [ $k = 1 ] && suffix=
      helper+=(--pad --trace "$dir/pad$suffix.trace" --received "$dir/received$suffix.dat")
    else
      helper+=("$word")
    fi
  done
  run_as=()
  run_program=$program
  run_image=$dir/image.dat
  [ "$user" = unprivileged ] && as_unprivileged "$dir"
  # " -- " in the arguments starts another morvik-update beside the first, "-- --after-ms N ..." later,
  # "-- --after-blocks N ..." once the first pad has taken N blocks.
  local programs=() segment words
  while IFS= read -r segment; do
    read -ra words <<<"$segment"
    programs+=(--)
    if [ "${words[0]:-}" = --after-ms ] || [ "${words[0]:-}" = --after-blocks ]; then
      programs+=("${words[0]}" "${words[1]}")
      words=("${words[@]:2}")
    fi
    programs+=("${run_as[@]}" "$run_program")
    for word in "${words[@]}"; do
      [ "$word" = IMAGE ] && word=$run_image
      programs+=("$word")
    done
  done < <(sed 's/ -- /\n/g' <<<"$arguments")

  timeout 120 "$pads" "${helper[@]}" "${programs[@]}" </dev/null >"$dir/output" 2>&1
  local got=$?
  grep -Ev '^(Progress: |in |out )' "$dir/output" | sed 's/^/  | /'
  check "exit status $status" test "$got" = "$status"
  check "it says: $text" file_has "$dir/output" "$text"
  case $pad_check in
    exact)  # every pad of the row got the whole image
      local trace received
      for trace in "$dir"/pad*.trace; do
        received=$dir/received${trace#"$dir"/pad}
        received=${received%.trace}.dat
        check "$(basename "$received"): the image byte for byte" cmp -s "$dir/image.dat" "$received"
        sent_frames "$trace" | tr -d ' \n' | xxd -r -p >"$dir/traced.dat"
        check "$(basename "$trace") holds the image byte for byte" cmp -s "$dir/image.dat" "$dir/traced.dat"
        check "all 2049 blocks went once, then one finish" test "$(data_frames "$trace")/$(finishes "$trace")" = 2049/1
      done
      if file_has "$dir/output" "out 05 00 16 01 00 04"; then  # --trace: the program saw what the pad saw
        check "the program's trace is the pad's" cmp -s <(grep -E '^(in|out) ' "$dir/output") "$dir/pad.trace"
      fi
      ;;
    blocks=*)
      check "the pad got ${pad_check#blocks=} blocks and no finish" \
        test "$(data_frames "$dir/pad.trace")/$(finishes "$dir/pad.trace")" = "${pad_check#blocks=}/0"
      ;;
    nothing)
      local trace
      for trace in "$dir"/pad*.trace; do
        check "nothing was sent to $(basename "$trace" .trace)" test ! -s "$trace"
      done
      ;;
    untouched)
      check "no image went to the pad" test "$(sent_frames "$dir/pad.trace" | wc -l)" = 0
      ;;
  esac
  [ "$user" = unprivileged ] && [ "$run_program" != "$program" ] && rm -rf "$(dirname "$run_program")"
}

# A 64 KiB update against one pad, then a bare hidapi loop of as many write-then-read rounds
# against the same pad: the program's cost over hidapi's own. Three of each, in turns, and the
# fastest of each counts: the machine's other work only ever adds time.
run_speed() {
  local dir=$out/speed round update_ms=() loop_ms=() trips
  echo "scenario speed: 64 KiB updates and bare hidapi loops of as many round trips, in turns"
  rm -rf "$dir"
  mkdir -p "$dir"
  make_image 123 0x12345678 65536 "$dir/image.dat"
  for round in 1 2 3; do
    timeout 120 "$pads" --pad --serial MV-SPEED --trace "$dir/pad.trace" --received "$dir/received.dat" \
      --stats "$dir/stats" -- "$program" --yes "$dir/image.dat" </dev/null >"$dir/output" 2>&1
    check "update $round succeeded" test $? = 0
    check "the pad received the image byte for byte" cmp -s "$dir/image.dat" "$dir/received.dat"
    trips=$(sed -n 's/^round_trips //p' "$dir/stats")
    update_ms+=("$(sed -n 's/^stream_ms //p' "$dir/stats")")
    timeout 120 "$pads" --pad --serial MV-SPEED -- "$loop" "${trips:-1}" </dev/null >"$dir/loop" 2>&1
    check "bare loop $round lost no answer" test $? = 0
    check "the opened pad gives its serial number" file_has "$dir/loop" "serial MV-SPEED"
    loop_ms+=("$(sed -n 's/^loop_ms //p' "$dir/loop")")
  done
  awk -v u="${update_ms[*]}" -v l="${loop_ms[*]}" -v n="$trips" 'function least(list, a, i, m) {
      split(list, a, " "); m = a[1]; for (i in a) if (a[i] < m) m = a[i]; return m }
    BEGIN { bu = least(u); bl = least(l)
      printf "  morvik-update: %d round trips in %s ms (fastest of %s)\n", n, bu, u
      printf "  bare loop:     %d round trips in %s ms (fastest of %s)\n", n, bl, l
      printf "  per round trip: morvik-update %.3f ms, bare loop %.3f ms; ratio %.2f\n", bu / n, bl / n, bu / bl }' |
    tee "$dir/ratio"
}

# ---------------------------------------------------------------- the scenarios

# name | pads (each --pad with its options; see morvik-e2e-pads) | user | morvik-update's arguments
#   (IMAGE: the scenario's image) | exit status | a text it prints | what the pad must have got
# A row with several pads names each: "--pad ... --pad ...", their records pad.trace, pad2.trace...
scenarios=(
  "update|--pad|root|--yes --trace IMAGE|0|Firmware updated to v1.23.|exact"
  "list|--pad --serial MV-0042|root|--list|0|0483:5750  boot mode  GamePad  /dev/hidraw0  serial MV-0042  firmware 1.10|untouched"
  "run-mode|--pad --product 5751|root|--yes IMAGE|4|Found a Zelto pad, but it is in its normal mode.|nothing"
  "boot-id-not-boot-mode|--pad --not-boot|root|--yes IMAGE|4|The pad is not in boot mode|untouched"
  "no-pad||root|--yes IMAGE|3|No pad in boot mode found (USB 0483:5750).|nothing"
  "no-permission|--pad|unprivileged|--yes IMAGE|9|Permission denied on /dev/hidraw0: this user may not open the pad.|nothing"
  "factory-version|--pad --version factory|root|--yes IMAGE|0|Pad firmware version:   factory firmware|exact"
  "pad-error|--pad --fail-after 300|root|--yes IMAGE|7|Update failed: the pad reported an error (error event 0x15).|blocks=300"
  "pad-silent|--pad --silent-after 300|root|--yes IMAGE|8|Update failed: the pad stopped answering (no answer within 5000 ms).|blocks=301"
  "pad-pulled-out|--pad --vanish-after 300|root|--yes IMAGE|8|Update failed: the pad went away (unplugged?; |blocks=300"
  # another program sends the pad the begin command mid-update: hidraw gives its answer to every reader
  "another-program-begins|--pad --stray-info-after 300 --stray-info-flag 0|root|--yes IMAGE|0|Another program seems to be using the pad|exact"
  "plugged-in-during-wait|--pad --plug-after-ms 1500|root|--wait 10 --yes IMAGE|0|Firmware updated to v1.23.|exact"
  "two-pads-no-choice|--pad --serial MV-1 --pad --serial MV-2|root|--yes IMAGE|10|Pick one with --pad PATH or --pad SERIAL|nothing"
  "all-four|--pad --pad --version 105 --pad --pad --version factory|root|--all --yes IMAGE|0|4 updated, 0 failed, 0 skipped|exact"
  "pad-in-use|--pad --latency-us 2000|root|--yes IMAGE -- --after-blocks 100 --yes IMAGE|0|is not free: it is in use by another morvik-update (process|exact"
  "watch-two-plugged-in|--pad --plug-after-ms 300 --pad --plug-after-ms 900|root|--watch --count 2 --yes IMAGE|0|2 updated, 0 failed, 0 skipped|exact"
)

run_scenarios run_scenario "$@"
selected speed "$@" && run_scenario_named speed run_speed
scenario_summary
