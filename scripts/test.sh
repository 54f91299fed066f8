#!/usr/bin/env bash
# The whole test suite: installs what it needs, then builds and runs every test.
#   the sources' layout, native tests (warnings as errors), clang-tidy, AddressSanitizer + UBSan, morvik-update against emulated
#   pads (umockdev) and against a local feed server in both, ThreadSanitizer, clang with libc++,
#   a bounded fuzzing run, the update page in headless Chromium, and the Windows and macOS front-end suites.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
jobs=$(nproc)

echo "=== format: the C++ sources as .clang-format says"
bash scripts/check-format.sh

# Each test has its own time limit; a whole suite has one too, so that nothing can hold the run:
# a suite past its bound is stopped and named.
bounded() {  # bounded MINUTES COMMAND...
  local minutes=$1 status=0
  shift
  timeout --kill-after=30 "${minutes}m" "$@" || status=$?
  ((status == 124)) && echo "=== $* did not end within $minutes minutes: stopped"
  return "$status"
}

run_preset() {
  local preset=$1
  echo "=== $preset: build and test"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  ctest --preset "$preset" -j "$jobs"
}

run_preset dev
echo "=== clang-tidy: the checks .clang-tidy lists, over the sources the dev build compiles"
bounded 20 bash scripts/clang-tidy.sh
run_preset asan
# morvik-update against emulated pads, through hidapi's own hidraw backend, in both builds.
for preset in dev asan; do bounded 15 bash scripts/test-linux-pad.sh --preset "$preset"; done
# morvik-update --latest against the maker's feed on a local HTTPS server and in files, in both builds.
for preset in dev asan; do bounded 10 bash scripts/test-feed.sh --preset "$preset"; done
# The update page (the engine in WebAssembly) in the system's Chromium; its reports are checked
# against the dev build's morvik-update.
echo "=== web: the update page in headless Chromium"
bounded 15 bash scripts/test-web.sh build/dev/linux/morvik-update
run_preset tsan
run_preset libcxx  # clang and libc++, as Apple's toolchain builds the shared code

echo "=== package: build, contents, unpacked run, lintian"
bounded 15 bash scripts/test-package.sh

echo "=== fuzz: build and run for a bounded time"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$jobs"
bounded 15 bash scripts/run-fuzzers.sh build/fuzz "${FUZZ_SECONDS:-60}"

# Front-end suites that need their own toolchains (cross compiler and Wine, GNUstep).
for suite in scripts/test-windows.sh scripts/test-windows-pad.sh scripts/test-mac.sh; do
  if [ -f "$suite" ]; then
    echo "=== $suite"
    bounded 30 bash "$suite"
  fi
done
echo "=== all test suites passed"
