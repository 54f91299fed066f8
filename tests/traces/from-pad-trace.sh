#!/usr/bin/env bash
# Makes a trace file (docs/trace.md) of a pad program's --trace (the Windows virtual pad's, the
# emulated pads'), which holds the reports without their times: for sessions of front-ends that
# write no trace file of their own. Every report gets t=0, so a replay answers at once; the
# first line says where the trace came from ("converted_from").
#
#   from-pad-trace.sh PAD_TRACE IMAGE PROGRAM PAD_PATH PAD_VERSION EXIT_CODE EXIT_MEANING [REASON] > NAME.trace
#
# EXIT_CODE and EXIT_MEANING are morvik-update's for the way the session ended (0 success,
# 7 pad failed, ...). A write the pad's driver refused becomes the report and a write-failed line;
# a pad trace with writes the driver held is not converted.
set -euo pipefail
[ $# -ge 7 ] || { sed -n '2,12p' "$0" >&2; exit 2; }
pad_trace=$1 image=$2 program=$3 pad_path=$4 pad_version=$5 exit_code=$6 exit_meaning=$7 reason=${8:-}
if grep -q '^held ' "$pad_trace"; then
  echo "from-pad-trace: $pad_trace has writes the driver held; their order is not the program's" >&2
  exit 1
fi
json() {  # a JSON string of our own words and paths
  local text=${1//\\/\\\\}
  printf '"%s"' "${text//\"/\\\"}"
}
printf '# morvik-trace 1 {"schema":1,"event":"trace","program":%s,"converted_from":%s,"time":%s,' \
  "$(json "$program")" "$(json "pad program's trace $(basename "$pad_trace")")" \
  "$(json "$(date -u -r "$pad_trace" +%Y-%m-%dT%H:%M:%SZ)")"
version=$(od -An -tu4 -N4 "$image" | tr -d ' ')  # the header's first word: version x 100
printf '"image":%s,"image_size":%s,"image_version":"%d.%02d","image_sha256":"%s",' \
  "$(json "$(basename "$image")")" "$(stat -c %s "$image")" $((version / 100)) $((version % 100)) \
  "$(sha256sum "$image" | cut -d' ' -f1)"
printf '"pad_usb":"0483:5750","pad_path":%s,"pad_serial":null,"pad_version":%s}\n' \
  "$(json "$pad_path")" "$(json "$pad_version")"
sed -e 's/^refused \(.*\)$/t=0 out \1\nt=0 write-failed/' -e '/^t=0 /!s/^/t=0 /' "$pad_trace"
printf '# outcome {"schema":1,"event":"outcome","exit_code":%s,"exit_meaning":%s,"reason":%s}\n' \
  "$exit_code" "$(json "$exit_meaning")" "$(json "$reason")"
