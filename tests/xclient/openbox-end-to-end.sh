#!/usr/bin/env bash
# The end action with a window manager running: openbox on a private Xvfb,
# both started and stopped by this script. openbox keeps the stacking list,
# puts every client window in a frame and answers _NET_CLOSE_WINDOW for a
# window without WM_DELETE_WINDOW by killing its client. Needs VESK_HOST and
# XCLIENT; exits 77 when openbox or Xvfb is not installed.
set -u
host=${VESK_HOST:?}
xclient=${XCLIENT:?}
if ! command -v openbox >/dev/null || ! command -v Xvfb >/dev/null; then echo "skip: openbox or Xvfb not installed"; exit 77; fi
work=$(mktemp -d)
xvfb_pid="" wm_pid=""
started=()  # pids of the clients this script started, for cleanup
cleanup() {
  for pid in "${started[@]}"; do kill "$pid" 2>/dev/null; done
  [ -n "$wm_pid" ] && kill "$wm_pid" 2>/dev/null && wait "$wm_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  [ -n "${KEEP_WORK:-}" ] || rm -rf "$work"
}
trap cleanup EXIT
# shellcheck source=../lib/x-test-lib.sh
source "$(dirname "$0")/../lib/x-test-lib.sh"
failures=0
row() {  # label, condition (a command): one line per row
  if "${@:2}"; then echo "ok   $1"; else echo "FAIL $1"; failures=$((failures+1)); fi
}

start_private_xvfb 211 280 || exit 1
# Its own home: no user's configuration or autostart, its log kept in $work.
HOME=$work XDG_CONFIG_HOME=$work/config XDG_CACHE_HOME=$work/cache openbox --sm-disable >"$work/openbox.log" 2>&1 &
wm_pid=$!
for _ in $(seq 50); do xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break; sleep 0.1; done
xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id' || { echo "FAIL openbox did not start"; cat "$work/openbox.log"; exit 1; }
echo "openbox on $DISPLAY"

cp "$xclient" "$work/xclient"
n=0
# Starts one client with the arguments given and waits until openbox manages
# its window (WM_STATE set). Sets pid, win and log (its standard output).
client() {
  n=$((n+1)); log=$work/out$n
  "$work/xclient" --ready "$work/ready$n" --timeout 30 "$@" >"$log" 2>&1 &
  started+=("$!")
  wait_file "$work/ready$n" 50 || { echo "FAIL client $n not ready"; return 1; }
  read -r win pid <"$work/ready$n"
  for _ in $(seq 50); do xprop -id "$win" WM_STATE 2>/dev/null | grep -q 'window state' && return 0; sleep 0.1; done
  echo "FAIL client $n: openbox did not manage window $win"; return 1
}
end_call() {  # ends $work/xclient; sets status and out
  out=$("$host" end "$work/xclient" 2>&1); status=$?
}
told() { echo "  reply: $status $out"; false; }
succeeded() { if [ "$status" -eq 0 ] && [ "$out" == "<result><success/></result>" ]; then true; else told; fi; }
refused() {  # with error 75 of EndProgram, naming WM_DELETE_WINDOW
  if [ "$status" -ne 0 ] && [[ $out == *75* && $out == *EndProgram* && $out == *WM_DELETE_WINDOW* ]]; then true; else told; fi
}
closes() { succeeded && wait_gone "$pid" 50; }  # the call succeeds and the program exits
runs() { sleep 0.5; alive "$1"; }

# a. It takes WM_DELETE_WINDOW: found in openbox's stacking list and closed.
client --net-wm-pid; end_call
row "a. takes WM_DELETE_WINDOW: closed" closes

# a2. No stacking list (removed; openbox sets it again only when the stack
# changes): the client window is found below openbox's frame by WM_STATE.
client --net-wm-pid
xprop -root -remove _NET_CLIENT_LIST_STACKING
xprop -root _NET_CLIENT_LIST_STACKING | grep -q "window id" && row "a2. stacking list removed" false
end_call
row "a2. found below its frame: closed" closes

# b. It does not take WM_DELETE_WINDOW: not asked (openbox would kill it),
# it runs on, and the call fails naming why.
client --no-delete --net-wm-pid; end_call
row "b. without WM_DELETE_WINDOW: the program keeps running" runs "$pid"
alive "$pid" || sed 's/^/  program: /' "$log"
row "b. without WM_DELETE_WINDOW: call fails with 75 naming WM_DELETE_WINDOW" refused
kill "$pid" 2>/dev/null

# c. No _NET_WM_PID: its process is asked of the X server (X-Resource).
client; end_call
row "c. without _NET_WM_PID: closed" closes

# d. An owned dialog above the main window: the main window is asked.
client --popup; end_call
row "d. owned dialog above: closed" closes
row "d. owned dialog above: the main window got the request" grep -qx "xclient $pid: WM_DELETE_WINDOW on $win" "$log"

# e. Iconified from its start: asked like a shown one.
client --iconic
xprop -id "$win" WM_STATE | grep -q Iconic || row "e. iconified: WM_STATE is Iconic" false
end_call
row "e. iconified: closed" closes

# f. Two instances at once (one with a hidden helper window above): both close.
client; pid_f1=$pid
client --helper-above; end_call
row "f. two instances: both closed" closes
row "f. two instances: the first exits too" wait_gone "$pid_f1" 50

alive "$wm_pid" || { echo "FAIL openbox died"; failures=$((failures+1)); }
[ "$failures" -eq 0 ]
