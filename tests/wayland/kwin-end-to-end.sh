#!/usr/bin/env bash
# KWin (Plasma 5.27 Wayland) end to end, through kwin-probe (KWinCompositor):
# a headless kwin_wayland with Xwayland on a private session bus, a Wayland
# and an X client listed and closed, an unrelated client left running, and
# the ways the route is missing (libsystemd not loadable, no KWin on the bus,
# a stale or silent bus address, a stopped KWin) answered in time; and vesk-host, whose route
# choice takes KWin, ending a program by its path (X programs through X11 on
# KWin's Xwayland), and falls through to X11 past a KWin that refuses every
# call (kwin-standin). Needs KWIN_PROBE, KWIN_STANDIN, XCLIENT and VESK_HOST.
# Run as root, it runs itself again as an unprivileged user (VESK_TEST_USER,
# default vesktest, created when missing). Exit 77: skipped.
set -u
probe=${KWIN_PROBE:?} standin=${KWIN_STANDIN:?} xclient=${XCLIENT:?} host=${VESK_HOST:?}
here=$(cd "$(dirname "$0")" && pwd)
for tool in kwin_wayland dbus-run-session dbus-send weston-simple-shm Xwayland python3; do
  command -v "$tool" >/dev/null || { echo "SKIP $tool is not installed"; exit 77; }
done

if [ "$(id -u)" -eq 0 ]; then
  # The build may sit in a folder only root can read: the user gets copies.
  user=${VESK_TEST_USER:-vesktest}
  id "$user" >/dev/null 2>&1 || useradd --no-create-home --shell /usr/sbin/nologin "$user" || exit 1
  share=$(mktemp -d /tmp/vesk-kwin.XXXXXX)
  mkdir "$share/wayland" "$share/lib"
  cp "$0" "$share/wayland/"; cp "$here/../lib/x-test-lib.sh" "$share/lib/"; cp "$probe" "$standin" "$xclient" "$host" "$share/"
  chmod -R a+rX "$share"
  runuser -u "$user" -- env KWIN_PROBE="$share/$(basename "$probe")" XCLIENT="$share/$(basename "$xclient")" \
    KWIN_STANDIN="$share/$(basename "$standin")" \
    VESK_HOST="$share/$(basename "$host")" \
    bash "$share/wayland/$(basename "$0")"
  rc=$?
  rm -rf "$share"
  exit $rc
fi

# A private bus for the rest (the script runs itself again inside it).
if [ -z "${VESK_KWIN_PRIVATE_BUS:-}" ]; then
  VESK_KWIN_PRIVATE_BUS=1 exec dbus-run-session -- bash "$0"
fi

work=$(mktemp -d)
kwin_pid="" started=()
cleanup() {
  for pid in "${started[@]}"; do kill "$pid" 2>/dev/null; done
  [ -n "$kwin_pid" ] && kill -CONT "$kwin_pid" 2>/dev/null
  [ -n "$kwin_pid" ] && kill "$kwin_pid" 2>/dev/null && wait "$kwin_pid" 2>/dev/null
  [ -n "${KEEP_WORK:-}" ] || rm -rf "$work"
}
trap cleanup EXIT
# shellcheck source=../lib/x-test-lib.sh
source "$here/../lib/x-test-lib.sh"
failures=0
check() {  # label, expected, actual
  if [ "$2" == "$3" ]; then echo "ok   $1"; else echo "FAIL $1: expected [$2], got [$3]"; failures=$((failures+1)); fi
}
# Runs kwin-probe; `out` holds its standard output, `err` its error, `ms` and `tenths` its time.
run_probe() {
  local begin
  begin=$(date +%s%N)
  "$probe" "$@" >"$work/out" 2>"$work/err"; status=$?
  ms=$((($(date +%s%N) - begin) / 1000000)) tenths=$((ms / 100))
  out=$(cat "$work/out") err=$(cat "$work/err")
}
in_time() {  # label, most tenths of a second
  [ "$tenths" -le "$2" ] && r=in-time || r="$tenths tenths"; check "$1: within $2 tenths of a second ($ms ms)" in-time "$r"
}

# KWin's own files go to a private home and runtime folder.
export HOME="$work/home" XDG_RUNTIME_DIR="$work/run" XDG_CONFIG_HOME="$work/home/.config"
mkdir -p "$HOME" && mkdir -m 700 "$XDG_RUNTIME_DIR"
unset WAYLAND_DISPLAY DISPLAY

# libsystemd is loaded only when the route is tried; one that cannot be loaded is no route.
mkdir "$work/broken-lib" && : >"$work/broken-lib/libsystemd.so.0"
LD_LIBRARY_PATH="$work/broken-lib" run_probe
check "libsystemd cannot be loaded: no route" \
  "1 no route: libsystemd.so.0 could not be loaded: $work/broken-lib/libsystemd.so.0" "$status ${err%:*}"
run_probe
check "no KWin on the bus: no route" "1 no route: no program owns org.kde.KWin on the session D-Bus" "$status $err"
in_time "no KWin on the bus" 10
DBUS_SESSION_BUS_ADDRESS="unix:path=$work/gone" run_probe
check "a stale bus address: no route" \
  "1 no route: no session D-Bus could be reached at unix:path=$work/gone: No such file or directory" "$status $err"
in_time "a stale bus address" 10
python3 -c 'import socket, sys, time
s = socket.socket(socket.AF_UNIX); s.bind(sys.argv[1]); s.listen(8)
open(sys.argv[2], "w").close(); time.sleep(120)' "$work/silent" "$work/silent.ready" & started+=("$!")
for _ in $(seq 50); do [ -e "$work/silent.ready" ] && break; sleep 0.1; done
DBUS_SESSION_BUS_ADDRESS="unix:path=$work/silent" run_probe
check "a silent bus: no route" "1 no route: the session D-Bus did not answer within 5 s" "$status $err"
in_time "a silent bus" 60

# The installed kwin_wayland may carry file capabilities, which exec refuses
# where they cannot be granted (containers); a copy has none. Its name must
# stay kwin_wayland. It starts env-dump once Xwayland is up.
cp "$(command -v kwin_wayland)" "$work/kwin_wayland"
printf '#!/bin/sh\nenv | grep -E "^(DISPLAY|XAUTHORITY)=" >"%s.part" && mv "%s.part" "%s"\n' \
  "$work/env" "$work/env" "$work/env" >"$work/env-dump"
chmod 755 "$work/env-dump"
begin=$(date +%s%N)
"$work/kwin_wayland" --virtual --no-lockscreen --xwayland --socket wl-vesk --width 800 --height 600 \
  "$work/env-dump" >"$work/kwin.log" 2>&1 & kwin_pid=$!
for _ in $(seq 150); do [ -s "$work/env" ] && break; sleep 0.1; done
if ! [ -s "$work/env" ]; then echo "FAIL kwin_wayland did not start"; tail -20 "$work/kwin.log"; exit 1; fi
echo "kwin_wayland with Xwayland up in $((($(date +%s%N) - begin) / 1000000)) ms"
export "$(grep ^DISPLAY= "$work/env")"
grep -q ^XAUTHORITY= "$work/env" && export "$(grep ^XAUTHORITY= "$work/env")"

WAYLAND_DISPLAY=wl-vesk weston-simple-shm >/dev/null 2>&1 & wayland_pid=$!; started+=("$wayland_pid")
WAYLAND_DISPLAY=wl-vesk weston-simple-shm >/dev/null 2>&1 & other_pid=$!; started+=("$other_pid")
"$xclient" --net-wm-pid --popup --ready "$work/x.ready" --timeout 60 & x_pid=$!; started+=("$x_pid")
for _ in $(seq 50); do
  run_probe
  grep -q " $wayland_pid unowned" <<<"$out" && grep -q " $other_pid " <<<"$out" &&
    grep -q " owned " <<<"$out" && break
  sleep 0.1
done
check "the listing answers" 0 "$status"
in_time "a listing" 10
echo "$out"
check "the Wayland client: one unowned visible window, not X" 1 "$(grep -c " $wayland_pid unowned visible$" <<<"$out")"
check "the X client: one unowned visible X window" 1 "$(grep -c " $x_pid unowned visible x11$" <<<"$out")"
# Its pop-up (WM_TRANSIENT_FOR, no _NET_WM_PID of its own) is the one owned window.
check "the X client's pop-up is owned, an X window" 1 "$(grep -c " owned visible x11$" <<<"$out")"
check "only the X client's two windows are X windows" 2 "$(grep -c " x11$" <<<"$out")"
check "ids are distinct" "$(wc -l <<<"$out")" "$(cut -d' ' -f1 <<<"$out" | sort -u | wc -l)"

run_probe close "$wayland_pid"
check "close the Wayland client" 0 "$status"
in_time "a listing and a close" 20
wait_gone "$wayland_pid" 50 && r=gone || r=running; check "the Wayland client exits" gone "$r"
run_probe close "$x_pid"
check "close the X client" 0 "$status"
wait_gone "$x_pid" 50 && r=gone || r=running; check "the X client exits" gone "$r"
sleep 0.3
alive "$other_pid" && r=running || r=gone; check "the unrelated client keeps running" running "$r"
# The host program: the route choice of a Wayland session finds KWin.
mkdir "$work/app" && cp "$(command -v weston-simple-shm)" "$work/app/simple-shm"
WAYLAND_DISPLAY=wl-vesk "$work/app/simple-shm" >/dev/null 2>&1 & app_pid=$!; started+=("$app_pid")
for _ in $(seq 50); do run_probe; grep -q " $app_pid unowned" <<<"$out" && break; sleep 0.1; done
check "vesk-host end under KWin" "<result><success/></result>" \
  "$(WAYLAND_DISPLAY=wl-vesk SWAYSOCK= I3SOCK= "$host" end "$work/app/simple-shm" 2>&1)"
wait_gone "$app_pid" 50 && r=gone || r=running; check "  ... the program at that path exits" gone "$r"
alive "$other_pid" && r=running || r=gone; check "  ... the same program at another path keeps running" running "$r"
# X programs go through X11 on KWin's Xwayland, whose server names each
# window's process: no _NET_WM_PID needed (KWin lists them with pid 0).
for x in xa xb xc; do mkdir "$work/$x" && cp "$xclient" "$work/$x/xprog"; done
"$work/xa/xprog" --ready "$work/xa.ready" --timeout 60 & xa_pid=$!; started+=("$xa_pid")
"$work/xb/xprog" --ready "$work/xb.ready" --timeout 60 & xb_pid=$!; started+=("$xb_pid")
"$work/xc/xprog" --no-delete --ready "$work/xc.ready" --timeout 60 & xc_pid=$!; started+=("$xc_pid")
for _ in $(seq 50); do
  run_probe; [ "$(grep -c " 0 unowned visible x11$" <<<"$out")" -ge 3 ] && break; sleep 0.1
done
check "KWin lists the X programs without _NET_WM_PID with pid 0" 3 "$(grep -c " 0 unowned visible x11$" <<<"$out")"
check "vesk-host end under KWin: an X program without _NET_WM_PID" "<result><success/></result>" \
  "$(WAYLAND_DISPLAY=wl-vesk SWAYSOCK= I3SOCK= "$host" end "$work/xa/xprog" 2>&1)"
wait_gone "$xa_pid" 50 && r=gone || r=running; check "  ... the X program at that path exits" gone "$r"
alive "$xb_pid" && r=running || r=gone; check "  ... the same X program at another path keeps running" running "$r"
reply=$(WAYLAND_DISPLAY=wl-vesk SWAYSOCK= I3SOCK= "$host" end "$work/xc/xprog" 2>&1); status=$?
[[ $reply == *"error 75 (EndProgram)"*WM_DELETE_WINDOW* ]] && r=75 || r="$status $reply"
check "vesk-host end under KWin: an X program without WM_DELETE_WINDOW fails with 75" 75 "$r"
sleep 0.3
alive "$xc_pid" && r=running || r=gone; check "  ... it is not asked and keeps running" running "$r"
run_probe close-id "{00000000-0000-0000-0000-000000000000}"
route="KWin scripting on the session D-Bus"
check "close a window KWin does not have" \
  "1 close failed: $route has no window {00000000-0000-0000-0000-000000000000} that can be closed" "$status $err"
# An id that is no JavaScript (quotes, a backslash, a line break) is still only text to the script.
run_probe close-id "a\"b'c\\
d"
check "close an id with quotes and a line break" 1 "$status"
check "  ... answered, not a broken script" "close failed: $route has no window" "${err%% window *} window"
in_time "close an id with quotes and a line break" 20

# A KWin that stops answering costs one budget, not forever.
kill -STOP "$kwin_pid"
run_probe
check "a stopped KWin" "1 list failed: $route did not answer within 5 s when asked to load a script" "$status $err"
in_time "a stopped KWin" 60
kill -CONT "$kwin_pid"
run_probe
check "KWin resumed: the listing answers" 0 "$status"
# A runtime folder others may enter is not used (this one, read-only, would
# fail the listing): the script goes to a fresh private folder under /tmp,
# which goes with it.
mkdir -m 555 "$work/open-run"
ours() { find /tmp -maxdepth 1 -name 'vesk-??????' -user "$(id -u)" | wc -l; }
before=$(ours)
XDG_RUNTIME_DIR="$work/open-run" run_probe
check "a runtime folder others may enter: the listing answers" "0 " "$status $err"
check "  ... no folder of ours left in /tmp" "$before" "$(ours)"
# Each loaded script is an object /<id> of KWin's until it is unloaded.
sleep 0.2
check "no script of ours is left loaded in KWin" 0 "$(dbus-send --session --print-reply --dest=org.kde.KWin / \
  org.freedesktop.DBus.Introspectable.Introspect | grep -c '<node name="[0-9]')"

# A KWin with another script interface (Plasma 6) refuses every call: the
# route cannot list, and X programs still end through X11, in time.
dbus-daemon --session --fork --print-address=3 --print-pid=4 3>"$work/bus2.address" 4>"$work/bus2.pid"
started+=("$(cat "$work/bus2.pid")")
bus2=$(cat "$work/bus2.address")
DBUS_SESSION_BUS_ADDRESS=$bus2 "$standin" >"$work/standin.out" 2>"$work/standin.err" & started+=("$!")
wait_file "$work/standin.out" 50 && r=$(cat "$work/standin.out") || r="not ready"; check "kwin-standin owns org.kde.KWin" ready "$r"
begin=$(date +%s%N)
reply=$(DBUS_SESSION_BUS_ADDRESS=$bus2 WAYLAND_DISPLAY=something SWAYSOCK= I3SOCK= "$host" end "$work/xb/xprog" 2>&1)
ms=$((($(date +%s%N) - begin) / 1000000)) tenths=$((ms / 100))
check "vesk-host end past a KWin that refuses every call" "<result><success/></result>" "$reply"
in_time "  ... end past a refusing KWin" 20
wait_gone "$xb_pid" 50 && r=gone || r=running; check "  ... the X program exits" gone "$r"
check "  ... the stand-in was asked" 1 "$(grep -c -m1 refused "$work/standin.err")"

[ "$failures" -eq 0 ]
