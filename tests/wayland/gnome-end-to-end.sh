#!/usr/bin/env bash
# The window-closer@vesk-host extension under a headless GNOME Shell with
# Xwayland (tests/lib/gnome-shell-lib.sh), called over D-Bus with gdbus: its
# name is owned, it lists a native Wayland client (weston-simple-shm) and an
# X client without _NET_WM_PID (xclient) with their pids, refuses to close a
# window for a wrong pid, an X11 window or an unknown id, closes the Wayland
# window for its pid, and gives its name up when disabled. Then vesk-host,
# whose route choice takes the extension: a Wayland program ended by its
# path, X programs through X11 on the shell's Xwayland, and the hint when the
# extension is disabled; and the extension's bad answers from a stand-in on
# a private bus (kwin-standin gnome). Needs GNOME_EXTENSION (the built
# extension folder), VESK_HOST and XCLIENT; the vesk-host rows run when
# KWIN_STANDIN is set (given where the D-Bus routes are built), with GTK 4
# programs (gtk-client.js): a minimised window, a dialog above its window.
# Run as root, it runs itself again as an unprivileged user. Exits 77
# (skipped) only when gnome-shell is not installed: a shell that is
# installed but does not come up is a failure.
set -u
extension=${GNOME_EXTENSION:?} xclient=${XCLIENT:?} host=${VESK_HOST:?}
here=$(cd "$(dirname "$0")" && pwd)
gtk_client=${GTK_CLIENT:-$here/gtk-client.js}
if ! command -v gnome-shell >/dev/null; then
  echo "SKIP gnome-shell is not installed (scripts/install-deps.sh installs it)"
  exit 77
fi
# shellcheck source=../lib/gnome-shell-lib.sh
source "$here/../lib/gnome-shell-lib.sh"
if [ "$(id -u)" -eq 0 ]; then
  standin=()
  [ -n "${KWIN_STANDIN:-}" ] && standin=(KWIN_STANDIN="$KWIN_STANDIN")
  run_as_test_user "$0" GNOME_EXTENSION="$extension" XCLIENT="$xclient" VESK_HOST="$host" \
    GTK_CLIENT="${GTK_CLIENT:-$here/gtk-client.js}" "${standin[@]}"
  exit $?
fi
# shellcheck source=../lib/x-test-lib.sh
source "$here/../lib/x-test-lib.sh"

work=$(mktemp -d)
started=()
cleanup() {
  for pid in "${started[@]}"; do kill "$pid" 2>/dev/null; done
  gnome_shell_stop
  [ -n "${KEEP_WORK:-}" ] || rm -rf "$work"
}
trap cleanup EXIT
failures=0
check() {  # label, expected, actual
  if [ "$2" == "$3" ]; then echo "ok   $1"; else echo "FAIL $1: expected [$2], got [$3]"; failures=$((failures+1)); fi
}
state() { if alive "$1"; then echo running; else echo gone; fi; }
closer() {  # method, arguments: the reply or the D-Bus error name
  gdbus call --session --timeout 10 --dest "$GNOME_CLOSER_NAME" --object-path /org/vesk/WindowCloser1 \
    --method "$GNOME_CLOSER_NAME.$1" "${@:2}" 2>&1 | sed -E 's/^Error: GDBus\.Error:([^:]*):.*/\1/'
}
# The listing as lines "id pid parent x11 minimized hidden", topmost first.
list() {
  closer ListWindows | grep -o -E '\((uint64 )?[0-9]+, (uint32 )?[0-9]+, (uint64 )?[0-9]+(, (true|false)){3}\)' |
    sed -E 's/uint(64|32) //g; s/[(),]//g'
}
window_of() { list | awk -v pid="$1" '$2 == pid { print $1; exit }'; }

gnome_shell_start "$extension" wl-vesk-gnome || exit 1
echo "GNOME Shell: $GNOME_CLOSER_NAME owned after $gnome_ready_ms ms, Xwayland ($DISPLAY) answering after $gnome_x_ms ms"
check "the extension's name is owned" true "$(gnome_name_owned "$GNOME_CLOSER_NAME")"
check "the interface has exactly the two methods" "CloseWindow ListWindows" \
  "$(gdbus introspect --session --dest "$GNOME_CLOSER_NAME" --object-path /org/vesk/WindowCloser1 |
     sed -n '/interface org.vesk.WindowCloser1 {/,/};/p' | grep -o -E '^ *[A-Za-z]+\(' | tr -d ' (' | sort | xargs)"

sleep 1  # a Wayland client that connects the moment the shell is ready can be dropped
weston-simple-shm >>"$work/clients.log" 2>&1 & wl_pid=$!; started+=("$wl_pid")
"$xclient" --popup --ready "$work/x.ready" --timeout 90 >>"$work/clients.log" 2>&1 & x_pid=$!; started+=("$x_pid")
for _ in $(seq 100); do
  [ -n "$(window_of "$wl_pid")" ] && [ "$(list | grep -c " $x_pid ")" -ge 2 ] && break
  sleep 0.1
done
listing=$(list)
echo "$listing"
check "the Wayland client is listed once with its pid, not X11" "1 false" \
  "$(awk -v p="$wl_pid" '$2 == p { n++; x = $4 } END { print n + 0, x }' <<<"$listing")"
check "the X client (no _NET_WM_PID): two windows with its pid, X11" "2 true" \
  "$(awk -v p="$x_pid" '$2 == p { n++; x = x $4 } END { print n + 0, (x == "truetrue" ? "true" : x) }' <<<"$listing")"
# Its pop-up (WM_TRANSIENT_FOR) is above it, so listed first, owned by it.
check "the X client's pop-up: listed above its owner, owned by it" "owned unowned" \
  "$(awk -v p="$x_pid" '$2 == p { id[n] = $1; parent[n++] = $3 }
     END { print (parent[0] == id[1] ? "owned" : "not-owned"), (parent[1] == 0 ? "unowned" : "owned") }' <<<"$listing")"
check "the Wayland window: no parent, not minimized, not hidden" "0 false false" \
  "$(awk -v p="$wl_pid" '$2 == p { print $3, $5, $6 }' <<<"$listing")"
check "ids are distinct" "$(wc -l <<<"$listing")" "$(cut -d' ' -f1 <<<"$listing" | sort -u | wc -l)"
wl_id=$(window_of "$wl_pid") x_id=$(window_of "$x_pid")

check "close the Wayland window for a wrong pid" org.vesk.WindowCloser1.Error.PidMismatch \
  "$(closer CloseWindow "$wl_id" "$x_pid")"
check "close the Wayland window for pid 0" org.vesk.WindowCloser1.Error.PidMismatch \
  "$(closer CloseWindow "$wl_id" 0)"
check "close the X11 window for its pid" org.vesk.WindowCloser1.Error.X11Window \
  "$(closer CloseWindow "$x_id" "$x_pid")"
check "close an unknown id" org.vesk.WindowCloser1.Error.NoSuchWindow "$(closer CloseWindow 12345 "$wl_pid")"
# gdbus checks the types itself; dbus-send sends what it is given.
raw() {  # method, arguments: the D-Bus error name, or "answered"
  dbus-send --session --print-reply --reply-timeout=10000 --dest="$GNOME_CLOSER_NAME" /org/vesk/WindowCloser1 \
    "$GNOME_CLOSER_NAME.$1" "${@:2}" 2>&1 | sed -E -n 's/^Error ([^:]*):.*/\1/p; s/^method return.*/answered/p'
}
check "close with arguments of the wrong types" org.freedesktop.DBus.Error.InvalidArgs \
  "$(raw CloseWindow "string:$wl_id" "uint32:$wl_pid")"
check "close with no arguments" org.freedesktop.DBus.Error.InvalidArgs "$(raw CloseWindow)"
check "a method the interface does not have" org.freedesktop.DBus.Error.UnknownMethod "$(raw Eval string:1)"
sleep 0.5
check "  ... the Wayland client keeps running" running "$(state "$wl_pid")"
check "  ... the X client keeps running" running "$(state "$x_pid")"
# Closing for the right pid: the vesk-host rows below.

# Disabled, the extension gives its name up; enabled again, it answers again.
gnome-extensions disable "$GNOME_EXTENSION_UUID"
for _ in $(seq 50); do [ "$(gnome_name_owned "$GNOME_CLOSER_NAME")" = false ] && break; sleep 0.1; done
check "disabled: the name has no owner" false "$(gnome_name_owned "$GNOME_CLOSER_NAME")"
gnome-extensions enable "$GNOME_EXTENSION_UUID"
for _ in $(seq 50); do [ "$(gnome_name_owned "$GNOME_CLOSER_NAME")" = true ] && break; sleep 0.1; done
check "GNOME Shell keeps running" running "$(state "$gnome_pid")"

if [ -n "${KWIN_STANDIN:-}" ]; then
  # vesk-host: stdout the reply; a failure "vesk-host: error N (SOURCE): ..." on stderr.
  end() { "$host" end "$1" 2>&1; }
  mkdir "$work/app" "$work/other" "$work/xa" "$work/xc"
  cp "$(command -v weston-simple-shm)" "$work/app/simple-shm"; cp "$work/app/simple-shm" "$work/other/"
  cp "$xclient" "$work/xa/xprog"; cp "$xclient" "$work/xc/xprog"
  "$work/app/simple-shm" >/dev/null 2>&1 & app_pid=$!; started+=("$app_pid")
  "$work/other/simple-shm" >/dev/null 2>&1 & other_pid=$!; started+=("$other_pid")
  "$work/xa/xprog" --timeout 90 >/dev/null 2>&1 & xa_pid=$!; started+=("$xa_pid")
  "$work/xc/xprog" --no-delete --timeout 90 >/dev/null 2>&1 & xc_pid=$!; started+=("$xc_pid")
  for _ in $(seq 100); do
    listing=$(list) n=0
    for p in "$app_pid" "$other_pid" "$xa_pid" "$xc_pid"; do grep -q "^[0-9]* $p " <<<"$listing" && n=$((n + 1)); done
    [ "$n" -eq 4 ] && break; sleep 0.1
  done
  check "vesk-host end: a Wayland program by its path" "<result><success/></result>" "$(end "$work/app/simple-shm")"
  wait_gone "$app_pid" 50
  check "  ... it exits" gone "$(state "$app_pid")"
  check "  ... the same program at another path keeps running" running "$(state "$other_pid")"
  check "vesk-host end: an X program without _NET_WM_PID, through Xwayland" "<result><success/></result>" \
    "$(end "$work/xa/xprog")"
  wait_gone "$xa_pid" 50
  check "  ... it exits" gone "$(state "$xa_pid")"
  reply=$(end "$work/xc/xprog")
  grep -q 'error 75 (EndProgram)' <<<"$reply" && grep -q WM_DELETE_WINDOW <<<"$reply" && r=75 || r=$reply
  check "vesk-host end: an X program without WM_DELETE_WINDOW fails with 75" 75 "$r"
  check "  ... it keeps running" running "$(state "$xc_pid")"
  # GTK 4 programs (gtk-client.js, each under its own copy of gjs, which is
  # then their /proc/PID/exe): a minimised main window is still closed; a
  # dialog above the main window, owned by it, is passed over for the main.
  gtk() {  # name, options: runs the client from $work/NAME/gtk-app, logging to $work/NAME.log
    mkdir "$work/$1" && cp "$(readlink -f "$(command -v gjs)")" "$work/$1/gtk-app"
    GDK_BACKEND=wayland GSK_RENDERER=cairo GTK_A11Y=none "$work/$1/gtk-app" "$gtk_client" --log "$work/$1.log" \
      "${@:2}" >>"$work/clients.log" 2>&1 & gtk_pid=$!; started+=("$gtk_pid")
  }
  gtk min --minimized; min_pid=$gtk_pid
  gtk dlg --dialog; dlg_pid=$gtk_pid
  dialog_order() {  # "owned unowned" once the dialog stands above its main window
    awk -v p="$dlg_pid" '$2 == p { id[n] = $1; parent[n++] = $3 }
      END { print (n == 2 && parent[0] == id[1] ? "owned" : "not-owned"), (parent[1] == 0 ? "unowned" : "owned") }' <<<"$listing"
  }
  # The dialog is mapped, then given its parent and raised: wait until it settles.
  for _ in $(seq 100); do
    listing=$(list)
    grep -q "^[0-9]* $min_pid 0 false true" <<<"$listing" && [ "$(dialog_order)" = "owned unowned" ] && break
    sleep 0.1
  done
  check "a minimised GTK window: listed once, minimized, hidden" "1 true true" \
    "$(awk -v p="$min_pid" '$2 == p { n++; s = $5 " " $6 } END { print n + 0, s }' <<<"$listing")"
  check "a GTK dialog: listed above its main window, owned by it" "owned unowned" "$(dialog_order)"
  for name in min dlg; do
    pid=$min_pid; [ "$name" = dlg ] && pid=$dlg_pid
    check "vesk-host end: a GTK program ($name)" "<result><success/></result>" "$(end "$work/$name/gtk-app")"
    wait_gone "$pid" 50
    check "  ... it exits" gone "$(state "$pid")"
    check "  ... its main window was asked, nothing else" main "$(cat "$work/$name.log" 2>&1)"
  done
  gnome-extensions disable "$GNOME_EXTENSION_UUID"
  for _ in $(seq 50); do [ "$(gnome_name_owned "$GNOME_CLOSER_NAME")" = false ] && break; sleep 0.1; done
  reply=$(end "$work/other/simple-shm")
  grep -q 'error 75 (EndProgram)' <<<"$reply" && grep -q "gnome-extensions enable $GNOME_EXTENSION_UUID" <<<"$reply" &&
    r=75 || r=$reply
  check "vesk-host end, the extension disabled: 75 and how to enable it" 75 "$r"
  check "  ... the Wayland program keeps running" running "$(state "$other_pid")"

  # The extension's bad answers, from a stand-in on a private bus, in time.
  # A refused close request is no failure of the end action (it asked, as a
  # posted message is not answered): the stand-in saw it for the listed pid.
  gnome_start_bus --session "$work/bus2" || exit 1
  bus2=$(cat "$work/bus2.address"); started+=("$gnome_bus_started_pid")
  cp "$(command -v sleep)" "$work/app/sleeper"
  "$work/app/sleeper" 120 & sleeper=$!; started+=("$sleeper")
  # mode | exit status | the reply says | the stand-in's log says | most tenths of a second
  while IFS='|' read -r mode status says logged tenths; do
    DBUS_SESSION_BUS_ADDRESS=$bus2 "$KWIN_STANDIN" gnome "$mode" "$sleeper" >"$work/standin.out" 2>"$work/standin.err" &
    standin_pid=$!; started+=("$standin_pid")
    wait_file "$work/standin.out" 50
    begin=$(date +%s%N)
    reply=$(DBUS_SESSION_BUS_ADDRESS=$bus2 WAYLAND_DISPLAY=wl-none DISPLAY= "$host" end "$work/app/sleeper" 2>&1)
    r="$? $(grep -cF "$says" <<<"$reply") $(grep -cF "${logged/PID/$sleeper}" "$work/standin.err")"
    ms=$((($(date +%s%N) - begin) / 1000000))
    check "stand-in $mode: status $status, says \"$says\", was asked" "$status 1 1" "$r"
    [ "$ms" -le $((tenths * 100)) ] && r=in-time || r="$ms ms"
    check "  ... within $tenths tenths of a second ($ms ms)" in-time "$r"
    check "  ... the program keeps running" running "$(state "$sleeper")"
    kill "$standin_pid"; wait "$standin_pid" 2>/dev/null; rm -f "$work/standin.out"
  done <<'EOF'
wrong-type|1|for GNOME Shell, GNOME Shell's window-closer@vesk-host extension answered a listing of type 'a(tutbb)', not 'a(tutbbb)')|ListWindows|20
pid-mismatch|0|<result><success/></result>|refused CloseWindow 7 PID|20
silent|1|window-closer@vesk-host extension did not answer within 5 s when asked to list windows)|ListWindows|55
EOF
fi

[ "$failures" -eq 0 ] || { echo "$failures check(s) failed"; exit 1; }
echo "all checks passed"
