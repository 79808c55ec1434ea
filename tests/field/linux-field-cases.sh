#!/usr/bin/env bash
# Cases met in the field on Linux, end to end through vesk-host under a
# private Xvfb that this script starts and stops itself. Needs VESK_HOST and
# XCLIENT (tests/xclient), python3, and root for the mount-namespace row
# (skipped otherwise). Prints one result line per case at the end;
# CASES="1 6" runs only those cases.
set -u
host=${VESK_HOST:?}
xclient=${XCLIENT:?}
cases=${CASES:-1 2 3 4 5 6 7 8 9 10 11}
work=$(mktemp -d)
export LC_ALL=C.UTF-8
xvfb_pid=""
fake_n=""
started=()  # pids of the programs this script started, for cleanup
cleanup() {
  [ -n "$xvfb_pid" ] && kill -CONT "$xvfb_pid" 2>/dev/null
  for pid in "${started[@]}"; do kill "$pid" 2>/dev/null; done
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  [ -n "$fake_n" ] && rm -f "/tmp/.X11-unix/X$fake_n" "/tmp/.X$fake_n-lock"
  [ -n "${KEEP_WORK:-}" ] || rm -rf "$work"
}
trap cleanup EXIT
# shellcheck source=../lib/x-test-lib.sh
source "$(dirname "$0")/../lib/x-test-lib.sh"
ok_reply="<result><success/></result>"
case_failures=0
check() {  # label, expected, actual
  if [ "$2" == "$3" ]; then echo "ok   $1"; else echo "FAIL $1: expected [$2], got [$3]"; case_failures=$((case_failures+1)); fi
}
now_ms() { echo $(( $(date +%s%N) / 1000000 )); }
within() {  # milliseconds, limit in milliseconds: "yes" or the time taken
  if [ "$1" -lt "$2" ]; then echo yes; else echo "$1 ms"; fi
}
ended_by() {  # label, pid, end target: the reply is success and the program exits
  check "$1: reply" "$ok_reply" "$("$host" end "$3" 2>&1)"
  wait_gone "$2" 100 && r=gone || r=running; check "$1: program exits" gone "$r"
}
launch() {  # ready file, program, arguments...: runs an X client, sets pid
  local ready=$1; shift
  "$@" --ready "$ready" --timeout 120 >/dev/null 2>&1 &
  started+=("$!"); pid=""
  wait_file "$ready" 100 && pid=$(cut -d' ' -f2 "$ready")
  [ -n "$pid" ] || check "${*@Q}: starts" ready missing
}
install() {  # a copy of xclient at this path
  mkdir -p "$(dirname "$1")" && cp "$xclient" "$1"
}

start_private_xvfb 141 210 || exit 1
echo "Xvfb on $DISPLAY"

# 1. A start returns at once; the started program's standard streams are
# /dev/null, so its output never mixes with the replies.
case_1() {
  cat > "$work/talker" <<'SH'
#!/bin/sh
echo $$ > "$1.tmp" && mv "$1.tmp" "$1"
echo "talker output"; echo "talker error" >&2
exec sleep 30
SH
  chmod +x "$work/talker"
  local t0 reply pid
  t0=$(now_ms)
  # The reader is bounded: a program holding the pipe cannot hold the test.
  reply=$("$host" start "$work/talker" "$work/talker1.pid" 2>&1 | timeout 6 cat)
  check "start returns within 3 s" yes "$(within $(($(now_ms) - t0)) 3000)"
  check "start reply" "$ok_reply" "$reply"
  if wait_file "$work/talker1.pid" 50; then
    pid=$(cat "$work/talker1.pid"); started+=("$pid")
    sleep 0.3  # past the exec of sleep
    check "started program's stdin, stdout, stderr" "/dev/null /dev/null /dev/null" \
      "$(readlink "/proc/$pid/fd/0" "/proc/$pid/fd/1" "/proc/$pid/fd/2" | tr '\n' ' ' | sed 's/ $//')"
  else
    check "started program runs" running missing
  fi
  local start_request="<r><plugin>StartProgram</plugin><method>Execute</method><params><sett><s>$work/talker</s><s>$work/talker2.pid</s><s></s></sett></params></r>"
  local name_request='<r><plugin>StartProgram</plugin><method>GetName</method><params/></r>'
  reply=$(printf '%s\n' "$start_request" "$name_request" | "$host" | timeout 6 cat)
  check "batch replies only" "$ok_reply
<result><name>Start program plug-in</name></result>" "$reply"
  wait_file "$work/talker2.pid" 50 && started+=("$(cat "$work/talker2.pid")")
}

# 2. An executable script without a "#!" line runs through /bin/sh.
case_2() {
  printf 'echo ran > "$1"\n' > "$work/plain script"
  chmod +x "$work/plain script"
  check "start of a script without #!" "$ok_reply" "$("$host" start "$work/plain script" "'$work/marker2'" 2>&1)"
  wait_file "$work/marker2" 50
  check "the script ran" ran "$(cat "$work/marker2" 2>/dev/null)"
}

# 3. The opener of a document or URL gets exactly one operand, never an
# option: an existing file goes as its absolute path, the arguments are not
# passed on.
case_3() {
  mkdir -p "$work/bin" "$work/docs"
  cat > "$work/bin/xdg-open" <<'SH'
#!/bin/sh
{ echo "$#"; for a in "$@"; do printf '[%s]\n' "$a"; done; } > "$OPENER_LOG.tmp" && mv "$OPENER_LOG.tmp" "$OPENER_LOG"
SH
  chmod +x "$work/bin/xdg-open"
  : > "$work/docs/readme.txt"; : > "$work/docs/http:x"; : > "$work/docs/-n.txt"
  opened() {  # folder to run in, log, then the vesk-host start arguments
    local folder=$1 log=$2; shift 2
    check "start ${*@Q}" "$ok_reply" "$(cd "$folder" && PATH="$work/bin:$PATH" OPENER_LOG="$log" "$host" start "$@" 2>&1)"
    wait_file "$log" 50
  }
  opened "$work" "$work/open1" "$work/docs/readme.txt" "--help --version"
  check "document with arguments: one operand" "1
[$work/docs/readme.txt]" "$(cat "$work/open1" 2>/dev/null)"
  opened "$work" "$work/open2" "http:x" "" "$work/docs"
  check "existing http:x in the start-in folder: its absolute path" "1
[$work/docs/http:x]" "$(cat "$work/open2" 2>/dev/null)"
  opened "$work/docs" "$work/open3" "-n.txt"
  check "existing -n.txt in the current folder: its absolute path" "1
[$work/docs/-n.txt]" "$(cat "$work/open3" 2>/dev/null)"
  local err
  err=$(cd "$work/docs" && PATH="$work/bin:$PATH" OPENER_LOG="$work/open4" "$host" start "-x" 2>&1 >/dev/null)
  check "missing -x" "vesk-host: error 53 (StartProgram):" "$(printf '%s' "$err" | cut -d' ' -f1-4)"
}

# 4. The same file by another name: a symlink to the executable, and the
# real path of a program that runs it through another mount namespace.
case_4() {
  install "$work/app4/xclient"
  ln -s "$work/app4/xclient" "$work/link4"
  local pid
  launch "$work/r4" "$work/app4/xclient"
  [ -n "$pid" ] && ended_by "end through a symlink" "$pid" "$work/link4"

  if [ "$(id -u)" -ne 0 ] || ! unshare -m true 2>/dev/null; then
    echo "SKIP mount namespace: unshare -m is not permitted here"
    return
  fi
  install "$work/real4/xclient"
  mkdir -p "$work/mnt4"
  unshare -m sh -c 'mount --bind "$1" "$2" && exec "$2/xclient" --ready "$3" --timeout 120' sh \
    "$work/real4" "$work/mnt4" "$work/r4ns" >/dev/null 2>&1 &
  started+=("$!")
  if ! wait_file "$work/r4ns" 100; then check "program in a mount namespace starts" ready missing; return; fi
  pid=$(cut -d' ' -f2 "$work/r4ns")
  # Seen from here, its executable's name is a file that does not exist.
  check "namespace: /proc/PID/exe names the bind mount" "$work/mnt4/xclient" "$(readlink "/proc/$pid/exe")"
  [ -e "$work/mnt4/xclient" ] && r=exists || r=missing; check "namespace: that path is missing here" missing "$r"
  ended_by "end of a program in another mount namespace by its real path" "$pid" "$work/real4/xclient"
}

# 5. Whole paths of any length: one of 324 characters in 624 UTF-8 bytes, and
# one of over 500 characters whose first 500 characters end nothing.
case_5() {
  # ASCII, two-byte and three-byte characters: 324 characters in 624 bytes
  # whatever the length of the work folder's name.
  local wide
  wide=$(python3 - "$work/w5" <<'PY'
import sys
base, tail, folders = sys.argv[1], "xclient", 4
ascii = len(base) + folders + 1 + len(tail)
three = ascii - 24; two = 300 - 2 * three
if not base.isascii() or three < 0 or two < 0:
    sys.exit("work folder name unsuitable: " + base)
names = ["\u00e9" * (two // folders + (i < two % folders)) + "\u20ac" * (three // folders + (i < three % folders))
         for i in range(folders)]
sys.stdout.write("/".join([base] + names + [tail]))
PY
)
  check "wide path: characters and bytes" "324 624" "${#wide} $(printf '%s' "$wide" | wc -c)"
  install "$wide"
  local pid
  launch "$work/r5a" "$wide"
  [ -n "$pid" ] && ended_by "end of a path of 324 characters in 624 bytes" "$pid" "$wide"

  local long="$work/$(printf 'a%.0s' $(seq 200))/$(printf 'b%.0s' $(seq 200))/xclient"
  long=$long$(printf 'c%.0s' $(seq $((520 - ${#long}))))
  check "long path length" 520 "${#long}"
  install "$long"
  launch "$work/r5b" "$long"
  [ -n "$pid" ] || return
  check "end of the first 500 characters: reply" "$ok_reply
vesk-host: no running program matches ${long:0:500}" "$("$host" end "${long:0:500}" 2>&1)"
  sleep 1
  alive "$pid" && r=running || r=gone; check "end of the first 500 characters ends nothing" running "$r"
  ended_by "end of the whole path of 520 characters" "$pid" "$long"
}

# 6. A never-mapped helper window above the main window: the close request
# goes to the main window.
case_6() {
  install "$work/app6/xclient"
  local pid
  launch "$work/r6" "$work/app6/xclient" --helper-above
  [ -n "$pid" ] && ended_by "end of a program with a hidden helper window on top" "$pid" "$work/app6/xclient"
}

# 7. No hang: a display that accepts and never answers, a stopped X server,
# no display at all. A matching program fails with 75 within the deadline;
# nothing matching succeeds.
case_7() {
  install "$work/app7/xclient"
  local pid
  launch "$work/r7" "$work/app7/xclient"
  [ -n "$pid" ] || return
  bounded_end() {  # label, display or "-" for none, expected first words of the result, target
    local t0 out status elapsed
    t0=$(now_ms)
    if [ "$2" == - ]; then
      out=$(env -u DISPLAY timeout 15 "$host" end "$4" 2>&1); status=$?
    else
      out=$(DISPLAY=$2 timeout 15 "$host" end "$4" 2>&1); status=$?
    fi
    elapsed=$(($(now_ms) - t0))
    check "$1: returns within 7 s" yes "$(within "$elapsed" 7000)"
    case "$3" in
      vesk-host:*) check "$1: result (status $status, $elapsed ms)" "$3" "$(printf '%s' "$out" | cut -d' ' -f1-4)" ;;
      *) check "$1: result (status $status, $elapsed ms)" "$3" "$out" ;;
    esac
  }
  # A listener on a free display number that accepts and never answers; its
  # lock file keeps X servers off that number. It listens as silently on a
  # sway socket and a session bus address, for the three routes below.
  for n in $(seq 211 280); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    fake_n=$n; break
  done
  python3 -c '
import os, select, socket, sys
with open(sys.argv[2], "x") as lock: lock.write("%10d\n" % os.getpid())
servers, held = [], []
for path in sys.argv[3:] + sys.argv[1:2]:
    s = socket.socket(socket.AF_UNIX); s.bind(path); s.listen(16); servers.append(s)
while True:
    for s in select.select(servers, [], [])[0]: held.append(s.accept()[0])
' "/tmp/.X11-unix/X$fake_n" "/tmp/.X$fake_n-lock" "$work/sway7.sock" "$work/bus7" 2>"$work/listener.log" &
  started+=("$!")
  for _ in $(seq 50); do [ -S "/tmp/.X11-unix/X$fake_n" ] && break; sleep 0.1; done
  if [ -S "/tmp/.X11-unix/X$fake_n" ]; then
    bounded_end "silent display, match" ":$fake_n" "vesk-host: error 75 (EndProgram):" "$work/app7/xclient"
    bounded_end "silent display, no match" ":$fake_n" "$ok_reply
vesk-host: no running program matches $work/app7/nothing" "$work/app7/nothing"
    # Three silent routes of one Wayland session (sway's socket, the session
    # D-Bus, the X display) share the call's one budget of waiting.
    local t0 elapsed out
    t0=$(now_ms)
    out=$(WAYLAND_DISPLAY=wayland-silent SWAYSOCK=$work/sway7.sock DBUS_SESSION_BUS_ADDRESS=unix:path=$work/bus7 \
      DISPLAY=:$fake_n timeout 20 "$host" end "$work/app7/xclient" 2>&1)
    elapsed=$(($(now_ms) - t0))
    check "three silent routes: within 5.5 s ($elapsed ms)" yes "$(within "$elapsed" 5500)"
    # sway, KWin and GNOME Shell (one silent bus) and X: each route named once.
    check "three silent routes: each route named" 4 "$(grep -o 'did not answer within 5 s' <<<"$out" | wc -l)"
  else
    check "silent display listener" listening "$(cat "$work/listener.log")"
  fi

  kill -STOP "$xvfb_pid"
  bounded_end "stopped X server, match" "$DISPLAY" "vesk-host: error 75 (EndProgram):" "$work/app7/xclient"
  bounded_end "stopped X server, no match" "$DISPLAY" "$ok_reply
vesk-host: no running program matches $work/app7/nothing" "$work/app7/nothing"
  kill -CONT "$xvfb_pid"

  bounded_end "no display, match" - "vesk-host: error 75 (EndProgram):" "$work/app7/xclient"
  bounded_end "no display, no match" - "$ok_reply
vesk-host: no running program matches $work/app7/nothing" "$work/app7/nothing"
  alive "$pid" && r=running || r=gone; check "the unreached program still runs" running "$r"
  ended_by "end once the X server runs again" "$pid" "$work/app7/xclient"
}

# 8. A Browse choice that is not valid UTF-8 leaves the program box as it was
# and the panel keeps answering.
case_8() {
  local bad="$work/"$'\xff\xfe'
  : > "$bad"
  local set_request="<r><method>SetSettings</method><params><sett><s>/usr/bin/env</s><s>-i</s><s/></sett></params></r>"
  local get_request="<r><method>GetSettings</method><params/></r>"
  local class expected out status
  for class in ctlStartProgram ctlEndProgram; do
    expected="<result><sett><s>/usr/bin/env</s><s>-i</s><s/></sett></result>"
    [ "$class" == ctlEndProgram ] && expected="<result><sett><s>/usr/bin/env</s></sett></result>"
    out=$(printf '%s\n' "$set_request" "@choose $bad" '@click btnBrowse' "$get_request" |
          timeout 15 "$host" --class "$class" 2>&1); status=$?
    check "$class: exit status" 0 "$status"
    check "$class: answers, program box kept" "<result/>
$expected" "$out"
  done
}

# 9. A 16 MiB request fails at once with 7, naming both sizes, in little memory.
case_9() {
  python3 - "$work/big" <<'PY'
import sys
head = b"<r><plugin>StartProgram</plugin><method>GetName</method><params>"
tail = b"</params></r>"
size = 16 * 1024 * 1024
room = size - len(head) - len(tail)
with open(sys.argv[1], "wb") as f:
    f.write(head + b"<a/>" * (room // 4) + b" " * (room % 4) + tail + b"\n")
PY
  check "request size" 16777217 "$(wc -c < "$work/big")"
  local t0 out status elapsed
  t0=$(now_ms)
  if [ -x /usr/bin/time ]; then
    out=$(timeout 60 /usr/bin/time -o "$work/time9" -f '%M' "$host" < "$work/big"); status=$?
  else
    out=$(timeout 60 "$host" < "$work/big"); status=$?
  fi
  elapsed=$(($(now_ms) - t0))
  check "16 MiB request: exit status" 1 "$status"
  check "16 MiB request: fails with 7" "error 7" "$(printf '%s' "$out" | cut -d' ' -f1-2)"
  local description=${out#*): }
  case "$description" in *16777216*) r=yes;; *) r="$description";; esac
  check "16 MiB request: the description gives its size in bytes" yes "$r"
  local numbers
  numbers=$(printf '%s' "$description" | grep -o '[0-9]\+' | sort -u | wc -l)
  [ "$numbers" -ge 2 ] && r=yes || r="$description"
  check "16 MiB request: the description gives the limit too" yes "$r"
  check "16 MiB request: fails within 3 s" yes "$(within "$elapsed" 3000)"
  if [ -s "$work/time9" ]; then
    local peak_kb
    peak_kb=$(tail -n 1 "$work/time9")
    echo "     peak memory ${peak_kb} kB"
    [ "$peak_kb" -lt 204800 ] && r=yes || r="$peak_kb kB"
    check "16 MiB request: peak memory under 200 MB" yes "$r"
  else
    echo "SKIP peak memory: /usr/bin/time is not installed"
  fi
}

# Runs a copy of xclient in the environment launch_env, then ends it in the
# environment given: the end returns within 5 s, and either closes the
# program ("closed") or fails with 75 and leaves it running ("refused").
launch_env=(); copies=0
end_in_env() {  # label, closed or refused, then NAME=VALUE for the end call
  local pid t0 out status elapsed app
  copies=$((copies+1)); app=$work/copy$copies/xclient
  install "$app"
  launch "$work/ready$copies" env "${launch_env[@]}" "$app"
  [ -n "$pid" ] || return
  t0=$(now_ms)
  out=$(env "${@:3}" timeout 15 "$host" end "$app" 2>&1); status=$?
  elapsed=$(($(now_ms) - t0))
  check "$1: end returns within 5 s" yes "$(within "$elapsed" 5000)"
  if [ "$2" == closed ]; then
    check "$1: reply (status $status)" "$ok_reply" "$out"
    wait_gone "$pid" 100 && r=gone || r=running; check "$1: program exits" gone "$r"
  else
    # libxcb writes the server's reason for the refusal to stderr first.
    check "$1: result (status $status)" "vesk-host: error 75 (EndProgram):" "$(printf '%s\n' "$out" | tail -n 1 | cut -d' ' -f1-4)"
    alive "$pid" && r=running || r=gone; check "$1: program still runs" running "$r"
    kill "$pid" 2>/dev/null
  fi
}

# 10. An X authority file that is no regular file is not read: a FIFO, which
# no one writes, and /dev/zero, which never ends, leave the end call as quick
# as ever. The private Xvfb runs without -auth and lets local clients in
# without a cookie, so the program is still closed. DISPLAY=unix/:N is the
# same local server.
case_10() {
  mkfifo "$work/fifo10"
  launch_env=()
  end_in_env "XAUTHORITY a FIFO" closed XAUTHORITY="$work/fifo10"
  end_in_env "XAUTHORITY /dev/zero" closed XAUTHORITY=/dev/zero
  end_in_env "DISPLAY unix/$DISPLAY" closed DISPLAY="unix/$DISPLAY"
}

# 11. A server that asks for a cookie. The cookie is found in an entry for
# this host and display, in a wildcard entry after another display's, and in
# an entry for any display after one of another kind; a wrong cookie, or an
# authority file that is /dev/zero, gets a refusal as quickly.
auth_entry() {  # file, family, address, display number, name, data in hex: appends one entry
  python3 - "$@" <<'PY'
import struct, sys
path, family, address, number, name, data = sys.argv[1:]
counted = lambda b: struct.pack(">H", len(b)) + b
with open(path, "ab") as f:
    f.write(struct.pack(">H", int(family)) + counted(address.encode()) + counted(number.encode())
            + counted(name.encode()) + counted(bytes.fromhex(data)))
PY
}
case_11() {
  local n server="" cookie wrong local=256 wild=65535 mit=MIT-MAGIC-COOKIE-1 me
  cookie=$(od -An -tx1 -N16 /dev/urandom | tr -d ' \n')
  wrong=$(od -An -tx1 -N16 /dev/urandom | tr -d ' \n')
  me=$(uname -n)
  for n in $(seq 281 300); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    auth_entry "$work/auth11" $local "$me" "$n" $mit "$cookie"
    Xvfb ":$n" -auth "$work/auth11" -nolisten tcp -noreset -screen 0 640x480x24 >"$work/xvfb11.log" 2>&1 &
    started+=("$!")
    for _ in $(seq 50); do
      XAUTHORITY=$work/auth11 DISPLAY=:$n xdpyinfo >/dev/null 2>&1 && server=:$n && break
      sleep 0.1
    done
    break
  done
  if [ -z "$server" ]; then check "Xvfb with -auth starts" started "$(cat "$work/xvfb11.log")"; return; fi
  auth_entry "$work/wild11" $local "$me" "$((n+1))" $mit "$wrong"
  auth_entry "$work/wild11" $wild "" "$n" $mit "$cookie"
  auth_entry "$work/any11" $local "$me" "$n" XDM-AUTHORIZATION-1 "$wrong"
  auth_entry "$work/any11" $local "$me" "" $mit "$cookie"
  auth_entry "$work/wrong11" $local "$me" "$n" $mit "$wrong"
  launch_env=(XAUTHORITY="$work/auth11" DISPLAY="$server")
  end_in_env "cookie for this host" closed "${launch_env[@]}"
  end_in_env "wildcard cookie" closed XAUTHORITY="$work/wild11" DISPLAY="$server"
  end_in_env "cookie for any display" closed XAUTHORITY="$work/any11" DISPLAY="$server"
  end_in_env "wrong cookie" refused XAUTHORITY="$work/wrong11" DISPLAY="$server"
  end_in_env "cookie server, XAUTHORITY /dev/zero" refused XAUTHORITY=/dev/zero DISPLAY="$server"
}

summary=()
failed_cases=0
for c in $cases; do
  echo "--- case $c"
  case_failures=0
  "case_$c"
  if [ "$case_failures" -eq 0 ]; then summary+=("case $c: pass"); else summary+=("case $c: FAIL ($case_failures checks)"); failed_cases=$((failed_cases+1)); fi
done
printf '%s\n' "${summary[@]}"
[ "$failed_cases" -eq 0 ]
