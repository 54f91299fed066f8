#!/usr/bin/env bash
# Installs the Debian packages that a set of tasks needs:
#   bash scripts/setup.sh demo   what scripts/demo.sh needs: build morvik-update, update a simulated pad
#   bash scripts/setup.sh page   what scripts/serve-web.sh needs: build the update page and serve it
#   bash scripts/setup.sh web    the page's tests: the page, Chromium, and morvik-update to compare with
#   bash scripts/setup.sh steady what scripts/test-steady.sh adds: stress-ng, which keeps the cores busy
#   bash scripts/setup.sh        (or "all") everything the build, the tests and the demos need
# Safe to run again: only what is missing is installed.
set -euo pipefail

demo=(
  # morvik-update, built alone; the firmware feed: its JSON (nlohmann-json) and downloads (libcurl)
  g++ cmake ninja-build pkg-config libhidapi-dev libssl-dev nlohmann-json3-dev libcurl4-openssl-dev
)
page=(
  # the engine in WebAssembly; Node.js serves the page (and runs its tests)
  cmake ninja-build emscripten
)
# Node.js from Debian unless one is installed already (this image may bring its own, with npm).
command -v node >/dev/null && command -v npm >/dev/null || page+=(nodejs npm)
browser=(
  # the page's tests drive the system's browser headless
  chromium
)
steady=(
  # keeps every core busy while scripts/test-steady.sh repeats the end-to-end suites
  stress-ng
)
tests=(
  # native build, tests, benchmarks, fuzzing, sanitizers
  build-essential libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev clang-format clang-tidy time
  # clang and libc++ 16, the nearest here to Apple's toolchain
  clang-16 libc++-16-dev libc++abi-16-dev
  # emulated pads for morvik-update's end-to-end scenarios
  umockdev libumockdev-dev xxd
  # the feed's tests check signatures and make certificates with the openssl command, and serve
  # the feed with Node.js's https module
  openssl
  # Debian package of morvik-update and its check
  lintian
  # Windows program: cross compiler, Wine, a display for the smoke test
  g++-mingw-w64-x86-64 wine64 xvfb xdotool imagemagick fonts-wqy-zenhei fonts-wqy-microhei locales
  # macOS program on GNUstep
  gnustep-devel gobjc++
)

case ${1:-all} in
  demo) packages=("${demo[@]}") ;;
  page) packages=("${page[@]}") ;;
  web) packages=("${demo[@]}" "${page[@]}" "${browser[@]}") ;;
  steady) packages=("${steady[@]}") ;;
  all) packages=("${demo[@]}" "${page[@]}" "${browser[@]}" "${tests[@]}" "${steady[@]}") ;;
  *) echo "usage: $0 [demo|page|web|steady|all]" >&2; exit 2 ;;
esac

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if ((${#missing[@]})); then
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  echo "Installing: ${missing[*]}"
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
