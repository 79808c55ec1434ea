#!/usr/bin/env bash
# Runs a Windows program under Wine with Wine's heap checking on, and fails
# when Wine reports a bad heap operation (a free of a pointer that is not a
# live block, a double free), even if the program itself went on and passed:
#   heap-checked.sh WINE-COMMAND [ARGUMENTS...]
set -uo pipefail
log=$(mktemp)
trap 'rm -f "$log"' EXIT
WINEDEBUG=warn+heap "$@" 2>"$log"
status=$?
cat "$log" >&2
if grep -q ":warn:heap:" "$log"; then
  echo "heap-checked.sh: Wine reported bad heap operations:" >&2
  grep ":warn:heap:" "$log" | sort | uniq -c | head -20 >&2
  exit 1
fi
exit "$status"
