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
  # A stopped server would never act on the kill.
  [ -n "$xvfb_pid" ] && kill -CONT "$xvfb_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  [ -n "${KEEP_WORK:-}" ] || rm -rf "$work"
}
trap cleanup EXIT
# shellcheck source=../lib/x-test-lib.sh
source "$(dirname "$0")/../lib/x-test-lib.sh"
failures=0
check() {  # label, expected, actual
  if [ "$2" == "$3" ]; then echo "ok   $1"; else echo "FAIL $1: expected [$2], got [$3]"; failures=$((failures+1)); fi
}

start_private_xvfb 71 140 || exit 1
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

# end --wait: the instances found are waited for, known by pid and start time.
wait_client() {  # ready file, xclient arguments: starts one, prints its pid
  "$work/other/xclient" --ready "$1" --timeout 30 "${@:2}" >/dev/null &
  wait_file "$1" 50 && cut -d' ' -f2 "$1"
}
pid4=$(wait_client "$work/r4"); started+=("$pid4")
out=$("$host" end --wait 5 "$work/other/xclient" 2>&1); status=$?
check "end --wait, a program that closes" "0 <result><success/></result>" "$status $out"
alive "$pid4" && r=running || r=gone; check "end --wait returns once it has exited" gone "$r"
# One that ignores the close request is named when the time is up.
pid5=$(wait_client "$work/r5" --ignore-close); started+=("$pid5")
begin=$(date +%s%N)
"$host" end --wait 1.5 "$work/other/xclient" >"$work/reply" 2>"$work/err"; status=$?
tenths=$((($(date +%s%N) - begin) / 100000000))
check "end --wait, a program that stays: exit status" 3 "$status"
check "end --wait, a program that stays: reply" "<result><success/></result>" "$(cat "$work/reply")"
check "end --wait names it" "vesk-host: still running after 1.5 s: $pid5 $work/other/xclient" "$(cat "$work/err")"
[ "$tenths" -ge 15 ] && [ "$tenths" -le 40 ] && r=yes || r="$tenths tenths"
check "end --wait waits its time" yes "$r"
# It ends during the wait while a new instance starts: the new one is not
# waited for.
( sleep 0.5; kill "$pid5"; "$work/other/xclient" --ignore-close --ready "$work/r6" --timeout 30 >/dev/null ) &
out=$("$host" end --wait 10 "$work/other/xclient" 2>&1); status=$?
check "end --wait, a new instance does not count" "0 <result><success/></result>" "$status $out"
wait_file "$work/r6" 50 && started+=("$(cut -d' ' -f2 "$work/r6")")
alive "$(cut -d' ' -f2 "$work/r6" 2>/dev/null)" && r=running || r=gone
check "the new instance runs on" running "$r"

# A program of the system that sets no _NET_WM_PID: its process is asked of the X server.
if [ -x /usr/bin/xeyes ]; then
  /usr/bin/xeyes & eyes=$!; started+=("$eyes")
  for _ in $(seq 50); do xwininfo -root -tree 2>/dev/null | grep -q '"xeyes"' && break; sleep 0.1; done
  check "vesk-host end xeyes" "<result><success/></result>" "$("$host" end /usr/bin/xeyes)"
  wait_gone "$eyes" 50 && r=gone || r=running; check "xeyes exits" gone "$r"
  # By its bare name: listed (and left running), then ended with --wait.
  /usr/bin/xeyes & eyes=$!; started+=("$eyes")
  for _ in $(seq 50); do xwininfo -root -tree 2>/dev/null | grep -q '"xeyes"' && break; sleep 0.1; done
  listing=$(PATH=/usr/bin:/bin "$host" end --list xeyes 2>&1); status=$?
  check "xeyes by name: end --list" "0 $eyes /usr/bin/xeyes|route: X display $DISPLAY" \
    "$status $(printf '%s\n' "$listing" | grep -E "^($eyes |route:)" | paste -sd'|')"
  sleep 0.3; alive "$eyes" && r=running || r=gone; check "xeyes by name: --list leaves it running" running "$r"
  out=$(PATH=/usr/bin:/bin "$host" end --wait 5 xeyes 2>&1); status=$?
  check "xeyes by name: end --wait 5" "0 <result><success/></result>" "$status $out"
  alive "$eyes" && r=running || r=gone; check "xeyes by name: it has exited" gone "$r"
fi

if [ -n "${X11_TESTS:-}" ]; then
  XCLIENT="$xclient" "$X11_TESTS" || failures=$((failures+1))
fi

# Displays that cannot be reached. A running program that needs no display
# stands for the program to end; the reply and the time taken are checked.
cp /bin/sleep "$work/sleeper"
"$work/sleeper" 300 & started+=("$!")
refused="vesk-host: error 75 (EndProgram): 1 running program matches, but none could be asked to close:"
timed_end() {  # label, DISPLAY (- for none), path, expected reply, most tenths of a second
  local begin reply tenths
  begin=$(date +%s%N)
  if [ "$2" = - ]; then reply=$(env -u DISPLAY "$host" end "$3" 2>&1)
  else reply=$(DISPLAY="$2" "$host" end "$3" 2>&1); fi
  tenths=$((($(date +%s%N) - begin) / 100000000))
  check "$1" "$4" "$reply"
  [ "$tenths" -le "$5" ] && r=in-time || r="$tenths tenths"; check "$1: within $5 tenths of a second" in-time "$r"
}
timed_end "no display, a matching program" - "$work/sleeper" "$refused no X display is set (DISPLAY is empty)" 10
timed_end "no display, nothing matching" - "$work/nothing" "<result><success/></result>
vesk-host: no running program matches $work/nothing" 10
# A socket that takes the connection and never answers.
python3 -c 'import socket, sys, time
s = socket.socket(socket.AF_UNIX); s.bind(sys.argv[1]); s.listen(8)
open(sys.argv[2], "w").close(); time.sleep(300)' "$work/silent" "$work/silent.ready" & started+=("$!")
wait_file "$work/silent.ready" 50 || [ -e "$work/silent.ready" ] || check "silent socket ready" ready missing
timed_end "a silent display, a matching program" "$work/silent:0" "$work/sleeper" \
  "$refused X display $work/silent:0 did not answer within 5 s" 60
timed_end "a silent display, nothing matching" "$work/silent:0" "$work/nothing" "<result><success/></result>
vesk-host: no running program matches $work/nothing" 10
# The X server stopped (SIGSTOP), then resumed.
kill -STOP "$xvfb_pid"
timed_end "a stopped server, a matching program" "$DISPLAY" "$work/sleeper" \
  "$refused X display $DISPLAY did not answer within 5 s" 60
kill -CONT "$xvfb_pid"
timed_end "the server resumed, a matching program without windows" "$DISPLAY" "$work/sleeper" \
  "<result><success/></result>" 30

[ "$failures" -eq 0 ]
