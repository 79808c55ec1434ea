#!/usr/bin/env bash
# The end action in Wayland sessions, each compositor headless in a private
# XDG_RUNTIME_DIR that this script makes and removes:
# - sway with Xwayland (the sway IPC route): a native Wayland program (foot)
#   and an X program (xclient) are each ended by their path, while the same
#   programs at other paths keep running;
# - weston (no route for another program's windows): ending a running
#   Wayland program (weston-simple-shm: foot needs a seat, which weston's
#   headless backend lacks) fails with 75 and the description; ending a path
#   that matches nothing succeeds.
# Needs VESK_HOST and XCLIENT. sway refuses to run as root: run as root, the
# script makes an unprivileged user (VESK_TEST_USER, default
# vesktest) if missing and runs again as that user, with copies of
# what it needs in a folder that user can read. Exits 77 (skipped) when
# sway, weston, foot or Xwayland is missing.
set -u
host=${VESK_HOST:?}
xclient=${XCLIENT:?}

for tool in sway swaymsg weston weston-simple-shm foot Xwayland; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIP $tool is not installed (scripts/install-deps.sh installs sway, weston, foot and xwayland)"
    exit 77
  fi
done

if [ "$(id -u)" = 0 ]; then
  user=${VESK_TEST_USER:-vesktest}
  id "$user" >/dev/null 2>&1 || useradd --no-create-home --shell /usr/sbin/nologin "$user" || exit 1
  copies=$(mktemp -d)
  trap 'rm -rf "$copies"' EXIT
  mkdir "$copies/wayland" "$copies/lib" || exit 1
  cp "$host" "$copies/vesk-host" && cp "$xclient" "$copies/xclient" && cp "$0" "$copies/wayland/test.sh" &&
    cp "$(dirname "$0")/../lib/x-test-lib.sh" "$copies/lib/" || exit 1
  chmod -R a+rX "$copies"
  # The programs start in a folder the test user can enter (the build folder may not be).
  cd "$copies" || exit 1
  echo "running as $user"
  runuser -u "$user" -- env -i PATH="$PATH" HOME="$copies" VESK_HOST="$copies/vesk-host" XCLIENT="$copies/xclient" KEEP_WORK="${KEEP_WORK:-}" VESK_KWIN="${VESK_KWIN:-}" \
    bash "$copies/wayland/test.sh"
  exit $?
fi

work=$(mktemp -d)
started=()  # pids of the programs this script started, compositors last
cleanup() {
  for ((i = ${#started[@]} - 1; i >= 0; i--)); do kill "${started[i]}" 2>/dev/null; done
  wait 2>/dev/null
  [ -n "${KEEP_WORK:-}" ] || rm -rf "$work"
}
trap cleanup EXIT
failures=0
check() {  # label, expected, actual
  if [ "$2" == "$3" ]; then echo "ok   $1"; else echo "FAIL $1: expected [$2], got [$3]"; failures=$((failures+1)); fi
}
# shellcheck source=../lib/x-test-lib.sh
. "$(dirname "$0")/../lib/x-test-lib.sh"
state() { if alive "$1"; then echo running; else echo gone; fi; }
start() {  # program and arguments; sets $pid
  "$@" >>"$work/programs.log" 2>&1 &
  pid=$!
  started+=("$pid")
}

mkdir -p "$work/app" "$work/other" "$work/none"
for dir in app other; do cp "$(command -v foot)" "$work/$dir/foot" && cp "$xclient" "$work/$dir/xclient" || exit 1; done

# A private runtime folder per compositor, as a login would give.
runtime() {
  XDG_RUNTIME_DIR=$(mktemp -d -p "$work")
  chmod 700 "$XDG_RUNTIME_DIR"
  export XDG_RUNTIME_DIR
  unset WAYLAND_DISPLAY DISPLAY SWAYSOCK I3SOCK XDG_SESSION_TYPE
}
# Waits until the compositor's Wayland socket appears; exports WAYLAND_DISPLAY.
wait_wayland() {  # compositor pid
  for _ in $(seq 100); do
    for socket in "$XDG_RUNTIME_DIR"/wayland-*; do
      [ -S "$socket" ] && export WAYLAND_DISPLAY=${socket##*/} && return 0
    done
    alive "$1" || break
    sleep 0.1
  done
  echo "FAIL the compositor did not start"; cat "$work/compositor.log"
  return 1
}
# Waits until `count` views with a pid are in sway's tree.
wait_views() {  # count
  for _ in $(seq 300); do
    [ "$(swaymsg -t get_tree | grep -c '"pid":')" -ge "$1" ] && return 0
    sleep 0.1
  done
  echo "FAIL fewer than $1 views appeared"; swaymsg -t get_tree | grep -E '"(pid|app_id|class)"'; cat "$work/programs.log"
  return 1
}

echo "== sway (headless, Xwayland on)"
runtime
printf 'xwayland enable\n' >"$work/sway.conf"
WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 sway -c "$work/sway.conf" >"$work/compositor.log" 2>&1 &
sway_pid=$!
started+=("$sway_pid")
wait_wayland "$sway_pid" || exit 1
SWAYSOCK=$(ls "$XDG_RUNTIME_DIR"/sway-ipc.*.sock 2>/dev/null | head -1)
export SWAYSOCK
# The X display of sway's Xwayland, as sway hands it to the programs it starts.
swaymsg exec "printenv DISPLAY >$work/display" >/dev/null
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
DISPLAY=$(cat "$work/display")
export DISPLAY
echo "sway: WAYLAND_DISPLAY=$WAYLAND_DISPLAY DISPLAY=$DISPLAY"

start "$work/app/foot" -e sleep 60; foot_app=$pid
start "$work/other/foot" -e sleep 60; foot_other=$pid
start "$work/app/xclient" --popup --timeout 60; x_app=$pid  # no _NET_WM_PID, an owned pop-up
start "$work/other/xclient" --net-wm-pid --timeout 60; x_other=$pid
wait_views 5 || exit 1

check "sway: end the native Wayland program" "<result><success/></result>" "$("$host" end "$work/app/foot" 2>&1)"
wait_gone "$foot_app" 50
check "sway: foot at app asked to close" gone "$(state "$foot_app")"
check "sway: end the X program" "<result><success/></result>" "$("$host" end "$work/app/xclient" 2>&1)"
wait_gone "$x_app" 50
check "sway: xclient at app asked to close" gone "$(state "$x_app")"
check "sway: foot at other keeps running" running "$(state "$foot_other")"
check "sway: xclient at other keeps running" running "$(state "$x_other")"
check "sway: a path that matches nothing" "<result><success/></result>
vesk-host: no running program matches $work/none/foot" "$("$host" end "$work/none/foot" 2>&1)"
# sway's kill of an X window that takes no close request cuts its client
# off: such a program is left running, and the call says why.
start "$work/app/xclient" --no-delete --timeout 60; x_stubborn=$pid
wait_views 3 || exit 1
"$host" end "$work/app/xclient" >/dev/null 2>"$work/stderr"
check "sway: an X program without WM_DELETE_WINDOW fails with 75" "1 yes" \
  "$? $(grep -q '^vesk-host: error 75 (EndProgram): .*WM_DELETE_WINDOW' "$work/stderr" && echo yes)"
sleep 0.5
check "sway: an X program without WM_DELETE_WINDOW keeps running" running "$(state "$x_stubborn")"
check "sway itself keeps running" running "$(state "$sway_pid")"
kill "$foot_other" "$x_other" "$x_stubborn" "$sway_pid" 2>/dev/null
wait_gone "$sway_pid" 50

echo "== weston (headless, no route for another program's windows)"
runtime
weston --backend=headless-backend.so --socket=wayland-weston --idle-time=0 >"$work/compositor.log" 2>&1 &
weston_pid=$!
started+=("$weston_pid")
wait_wayland "$weston_pid" || exit 1
# foot finds no seat on weston's headless backend; weston's own simple client needs none.
cp "$(command -v weston-simple-shm)" "$work/app/simple-shm" || exit 1
start "$work/app/simple-shm"; shm_app=$pid
sleep 1  # the client connects and maps its window
check "weston: the Wayland program started" running "$(state "$shm_app")"
reply=$("$host" end "$work/app/simple-shm" 2>"$work/stderr")
status=$?
check "weston: ending a running program fails" "1 []" "$status [$reply]"
# With the KWin route built, its try is named too: this session has no D-Bus.
kwin_lack=""
[ "${VESK_KWIN:-}" = 1 ] && kwin_lack="; for KWin, no session D-Bus could be reached: No such file or directory; for GNOME Shell, no session D-Bus could be reached: No such file or directory"
check "weston: the failure line" \
  "vesk-host: error 75 (EndProgram): 1 running program matches, but none could be asked to close: this Wayland desktop offers no way to ask another program's window to close (SWAYSOCK and I3SOCK are empty$kwin_lack), and no X display is set (DISPLAY is empty)" \
  "$(cat "$work/stderr")"
check "weston: the Wayland program was not touched" running "$(state "$shm_app")"
check "weston: a path that matches nothing" "<result><success/></result>
vesk-host: no running program matches $work/none/simple-shm" "$("$host" end "$work/none/simple-shm" 2>&1)"

if [ "$failures" -gt 0 ]; then echo "$failures check(s) failed"; exit 1; fi
echo "all checks passed"
