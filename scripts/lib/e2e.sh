# Shared by the end-to-end scripts and the demos; source it. Gives:
#   check DESCRIPTION COMMAND...      runs COMMAND; prints "ok" or "FAILED" with the description
#   check_is DESCRIPTION ACTUAL GLOB  the same for a value against a pattern
#   fail DESCRIPTION                  a failed check
#   file_has FILE TEXT, text_has STRING TEXT   fixed-text searches, for check
#   text_has_line STRING LINE         STRING holds LINE as a whole line
#   wait_until SECONDS WHAT COMMAND...         polls COMMAND until it succeeds; after SECONDS, says what it awaited
#   make_image VERSION OPAQUE LENGTH FILE      a firmware image with LENGTH random payload bytes
#   sent_frames TRACE                 the header and data frames a --trace shows sent, in hex
#   read_preset ARGUMENTS...          the build preset the arguments begin with (--preset NAME)
#   run_scenarios RUNNER [NAME...]    RUNNER with the fields of each row of $scenarios (or of the named ones)
#   run_scenario_named NAME COMMAND...         one scenario run outside the table
#   scenario_summary, check_summary   "N passed, N failed", and a status: non-zero when one failed
# A scenario fails when one of its checks fails.

failures=0       # checks failed so far
checks_passed=0  # checks passed so far
passed=()        # scenarios that passed
failed=()        # scenarios with a failed check

fail() {  # <description>
  echo "  FAILED: $1"
  failures=$((failures + 1))
}
check() {  # <description> <command...>
  local what=$1
  shift
  if "$@"; then
    echo "  ok: $what"
    checks_passed=$((checks_passed + 1))
  else
    fail "$what"
  fi
}
check_is() {  # <description> <actual> <expected glob>
  # shellcheck disable=SC2053
  if [[ $2 == $3 ]]; then
    echo "  ok: $1: $2"
    checks_passed=$((checks_passed + 1))
  else
    fail "$1: got \"$2\", wanted \"$3\""
  fi
}
file_has() { grep -qF -- "$2" "$1"; }      # <file> <text>
text_has() { grep -qF -- "$2" <<<"$1"; }  # <string> <text>
text_has_line() { grep -qxF -- "$2" <<<"$1"; }  # <string> <line>
# A scenario waits for what it checks rather than sleeping: a busy machine only makes it wait
# longer. The bound is there for a fault, so it is generous.
wait_until() {  # <seconds> <what> <command...>
  local bound=$1 what=$2 deadline
  shift 2
  deadline=$(awk -v now="$EPOCHREALTIME" -v s="$bound" 'BEGIN { printf "%.3f", now + s }')
  until "$@"; do
    if awk -v now="$EPOCHREALTIME" -v d="$deadline" 'BEGIN { exit !(now > d) }'; then
      echo "  waited $bound s for $what, in vain"
      return 1
    fi
    sleep 0.1
  done
}

# The four bytes of a number, least significant first, as the image header holds its words.
le32() { printf '%b' "$(printf '\\x%02x' $(($1 & 255)) $(($1 >> 8 & 255)) $(($1 >> 16 & 255)) $(($1 >> 24 & 255)))"; }

# A firmware image: the header (version x 100, opaque word, payload length, 16 reserved zero
# bytes), then LENGTH random bytes.
make_image() {  # <version> <opaque> <length> <file>
  {
    le32 "$1"
    le32 "$2"
    le32 "$3"
    head -c 16 /dev/zero
    head -c "$3" /dev/urandom
  } >"$4"
}

# From a trace: the payload of the header and data frames sent, in hex, one frame a line.
sent_frames() { sed -n 's/^out .. 00 16 .. 00 0[01] .. 00 //p' "$1"; }

# Sets $preset to the NAME of a leading "--preset NAME" (dev without one) and $preset_words to
# the words it took, for the caller to shift.
read_preset() {  # <arguments...>
  preset=dev
  preset_words=0
  if [ "${1:-}" = --preset ]; then
    preset=$2
    preset_words=2
  fi
}

# Whether NAME is among the names given (all are, when none is).
selected() {  # <name> [name...]
  local name=$1
  shift
  (($# == 0)) || printf '%s\n' "$@" | grep -qxF -- "$name"
}

run_scenario_named() {  # <name> <command...>
  local name=$1 before=$failures
  shift
  "$@"
  if ((failures == before)); then passed+=("$name"); else failed+=("$name"); fi
}

# Each row of $scenarios is fields split on '|', the scenario's name first.
run_scenarios() {  # <runner> [name...]
  local runner=$1 row fields
  shift
  for row in "${scenarios[@]}"; do
    IFS='|' read -r -a fields <<<"$row|"  # the "|" keeps an empty last field
    selected "${fields[0]}" "$@" || continue
    run_scenario_named "${fields[0]}" "$runner" "${fields[@]}"
  done
}

scenario_summary() {
  ((${#failed[@]})) && echo "failed scenarios: ${failed[*]}"
  echo "${#passed[@]} passed, ${#failed[@]} failed"
  ((${#failed[@]} == 0))
}

check_summary() {
  echo "$checks_passed passed, $failures failed"
  ((failures == 0))
}
