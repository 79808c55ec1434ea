#!/usr/bin/env bash
# The end action on a real X display: a private Xvfb that this script starts
# and stops itself. Needs VESK_HOST and XCLIENT; runs X11_TESTS (the gtest
# binary of the X11 backend) on the same display when given.
set -u
host=${VESK_HOST:?}
xclient=${XCLIENT:?}
work=$(mktemp -d)
xvfb_pid=""
started=()  # pids of the clients this script started, for cleanup
cleanup() {
  for pid in "${started[@]}"; do kill "$pid" 2>/dev/null; done
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  [ -n "${KEEP_WORK:-}" ] || rm -rf "$work"
}
trap cleanup EXIT
failures=0
check() {  # label, expected, actual
  if [ "$2" == "$3" ]; then echo "ok   $1"; else echo "FAIL $1: expected [$2], got [$3]"; failures=$((failures+1)); fi
}
alive() {  # pid: running and not a zombie
  local state
  state=$(awk '{print $3}' "/proc/$1/stat" 2>/dev/null) || return 1
  [ -n "$state" ] && [ "$state" != Z ]
}
wait_gone() {  # pid, tenths of a second
  for _ in $(seq "$2"); do alive "$1" || return 0; sleep 0.1; done
  return 1
}
wait_file() {  # file, tenths of a second
  for _ in $(seq "$2"); do [ -s "$1" ] && return 0; sleep 0.1; done
  return 1
}

# A free display number (-noreset: the server must not restart when its last
# client leaves, or a client connecting at that moment fails); another server may take it between the check and
# the start, so a server that dies at once makes us try the next number.
for n in $(seq 71 140); do
  [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
  Xvfb ":$n" -nolisten tcp -noreset -screen 0 640x480x24 >"$work/xvfb.log" 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 50); do
    [ -S "/tmp/.X11-unix/X$n" ] && DISPLAY=":$n" xdpyinfo >/dev/null 2>&1 && break
    kill -0 "$xvfb_pid" 2>/dev/null || break
    sleep 0.1
  done
  if DISPLAY=":$n" xdpyinfo >/dev/null 2>&1; then export DISPLAY=":$n"; break; fi
  kill "$xvfb_pid" 2>/dev/null; wait "$xvfb_pid" 2>/dev/null; xvfb_pid=""
done
if [ -z "$xvfb_pid" ]; then echo "FAIL no Xvfb display could be started"; cat "$work/xvfb.log"; exit 1; fi
echo "Xvfb on $DISPLAY"

# Two programs: the first installed at $work/app, the other at $work/other.
mkdir -p "$work/app" "$work/other"
cp "$xclient" "$work/app/xclient"
cp "$xclient" "$work/other/xclient"
start() {  # program, arguments
  # The started program keeps the host's standard output: read the reply
  # from a file, not a pipe that would stay open while the program runs.
  "$host" start "$1" "$2" >"$work/reply" 2>&1
  check "start $1 $2" "<result><success/></result>" "$(cat "$work/reply")"
}
start "$work/app/xclient" "--popup --ready $work/r1 --timeout 30"
start "$work/app/xclient" "--hidden --ready $work/r2 --timeout 30"
start "$work/other/xclient" "--net-wm-pid --ready $work/r3 --timeout 30"
for r in r1 r2 r3; do
  if wait_file "$work/$r" 50; then started+=("$(cut -d' ' -f2 "$work/$r")"); else check "$r ready" ready missing; fi
done
[ ${#started[@]} -eq 3 ] || exit 1
pid1=${started[0]} pid2=${started[1]} pid3=${started[2]}

# A package upgrade: the program is replaced on disk while both instances run.
rm "$work/app/xclient"
cp "$xclient" "$work/app/xclient"

# The path in other letter case with surrounding spaces still names them.
target="  $(printf '%s' "$work/app/xclient" | tr '[:lower:]' '[:upper:]')  "
check "end reply" "<result><success/></result>" \
  "$("$host" "<r><plugin>EndProgram</plugin><method>Execute</method><params><sett><s>$target</s></sett></params></r>")"
wait_gone "$pid1" 50 && r=gone || r=running; check "instance with a pop-up exits" gone "$r"
wait_gone "$pid2" 50 && r=gone || r=running; check "instance with a hidden window exits" gone "$r"
sleep 0.5
alive "$pid3" && r=running || r=gone; check "the other program keeps running" running "$r"

# The shortcut, on the other program; a second end finds nothing and succeeds.
check "vesk-host end" "<result><success/></result>" "$("$host" end "$work/other/xclient")"
wait_gone "$pid3" 50 && r=gone || r=running; check "other program exits after its own end" gone "$r"
check "end with nothing running" "<result><success/></result>" "$("$host" end "$work/other/xclient")"

# A program of the system that sets no _NET_WM_PID: its process is asked of the X server.
if [ -x /usr/bin/xeyes ]; then
  /usr/bin/xeyes & eyes=$!; started+=("$eyes")
  for _ in $(seq 50); do xwininfo -root -tree 2>/dev/null | grep -q '"xeyes"' && break; sleep 0.1; done
  check "vesk-host end xeyes" "<result><success/></result>" "$("$host" end /usr/bin/xeyes)"
  wait_gone "$eyes" 50 && r=gone || r=running; check "xeyes exits" gone "$r"
fi

if [ -n "${X11_TESTS:-}" ]; then
  XCLIENT="$xclient" "$X11_TESTS" || failures=$((failures+1))
fi

[ "$failures" -eq 0 ]
