#!/usr/bin/env bash
# Runs a command with a private Xvfb display of its own, started here and
# stopped when the command ends (whatever its outcome):
#   with-xvfb.sh COMMAND [ARGUMENTS...]
set -euo pipefail
fifo=$(mktemp -u)
mkfifo "$fifo"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fifo" 2>/dev/null &
xvfb_pid=$!
cleanup() {
  kill "$xvfb_pid" 2>/dev/null || true
  wait "$xvfb_pid" 2>/dev/null || true
  rm -f "$fifo"
}
trap cleanup EXIT
if ! read -r -t 20 display <"$fifo"; then
  echo "with-xvfb.sh: Xvfb did not start" >&2
  exit 1
fi
export DISPLAY=":$display"
"$@"
