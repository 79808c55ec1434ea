#!/usr/bin/env bash
# The end action under a headless GNOME Shell with the window-closer@vesk-host
# extension (tests/lib/gnome-shell-lib.sh): COUNT instances of one Wayland
# program (a copy of weston-simple-shm) ended by one `vesk-host end PATH`,
# against the route a user would script through the same extension: one
# `gdbus call` to ListWindows, the matching pids picked from the listing by
# /proc/PID/exe, then one `gdbus call` to CloseWindow per window. Before every
# timed run the programs are started again and waited for in the listing;
# only the ending is timed (wall, and the CPU of the command and its
# children). Runs of the two alternate; medians over RUNS of each.
# Run as root, it runs again as an unprivileged user (VESK_TEST_USER).
#   usage: bench/gnome-bench.sh BUILD_DIR
# Environment: RUNS (10), COUNT (20).
set -u
here=$(cd "$(dirname "$0")" && pwd)
lib=$here/../tests/lib
[ -d "$lib" ] || lib=$here/../lib  # the copy run by the unprivileged user
# shellcheck source=../tests/lib/gnome-shell-lib.sh
source "$lib/gnome-shell-lib.sh"
# shellcheck source=../tests/lib/x-test-lib.sh
source "$lib/x-test-lib.sh"
if [ "$(id -u)" -eq 0 ]; then
  build=$(cd "${1:?usage: gnome-bench.sh BUILD_DIR}" && pwd)
  settings=$(mktemp)  # the user's environment is cleared: RUNS and COUNT go in a file
  echo "RUNS=${RUNS:-10} COUNT=${COUNT:-20}" >"$settings"
  run_as_test_user "$0" VESK_HOST="$build/vesk-host" GNOME_EXTENSION="$build/gnome/window-closer@vesk-host" \
    BENCH_SETTINGS="$settings"
  rc=$?
  rm -f "$settings"
  exit $rc
fi
[ -n "${BENCH_SETTINGS:-}" ] && eval "$(cat "$BENCH_SETTINGS")"
host=${VESK_HOST:-${1:?usage: gnome-bench.sh BUILD_DIR}/vesk-host}
extension=${GNOME_EXTENSION:-$1/gnome/window-closer@vesk-host}
runs=${RUNS:-10} count=${COUNT:-20}

work=$(mktemp -d)
cleanup() {
  pkill -KILL -f "^$work/app/simple-shm" 2>/dev/null
  gnome_shell_stop
  rm -rf "$work"
}
trap cleanup EXIT
gnome_shell_start "$extension" wl-vesk-bench || exit 1
mkdir "$work/app" && cp "$(command -v weston-simple-shm)" "$work/app/simple-shm"
sleep 1  # a Wayland client that connects the moment the shell is ready can be dropped

# Starts the programs once the last run's are gone and waits until the
# listing holds their windows.
cat >"$work/prepare.sh" <<PREPARE
for _ in \$(seq 100); do pgrep -f "^$work/app/simple-shm" >/dev/null || break; sleep 0.05; done
if pgrep -f "^$work/app/simple-shm" >/dev/null; then echo "programs were left running" >&2; exit 1; fi
for _ in \$(seq $count); do setsid "$work/app/simple-shm" >/dev/null 2>&1 </dev/null & done
for _ in \$(seq 200); do
  [ "\$(gdbus call --session --dest $GNOME_CLOSER_NAME --object-path /org/vesk/WindowCloser1 \
      --method $GNOME_CLOSER_NAME.ListWindows | grep -o -E '(true|false)\\)' | wc -l)" -ge $count ] && break
  sleep 0.05
done
sleep 0.5  # the programs' first frames are over before the timed run
PREPARE
# The route by hand: list, pick by /proc/PID/exe, close each.
cat >"$work/by-hand.sh" <<'ROUTE'
dest=(--session --dest org.vesk.WindowCloser1 --object-path /org/vesk/WindowCloser1)
gdbus call "${dest[@]}" --method org.vesk.WindowCloser1.ListWindows |
  grep -o -E '\((uint64 )?[0-9]+, (uint32 )?[0-9]+, (uint64 )?[0-9]+, false' | sed -E 's/uint(64|32) //g; s/[(),]//g' |
  while read -r id pid _; do
    [ "$(readlink "/proc/$pid/exe")" = "$1" ] &&
      gdbus call "${dest[@]}" --method org.vesk.WindowCloser1.CloseWindow "$id" "$pid" >/dev/null
  done
ROUTE

python3 - "$runs" "$work/prepare.sh" "$host" "$work/app/simple-shm" "$work/by-hand.sh" <<'PY'
import resource, statistics, subprocess, sys, time
runs, prepare, host, path, by_hand = int(sys.argv[1]), *sys.argv[2:]
commands = {"vesk-host": [host, "end", path], "gdbus": ["bash", by_hand, path]}
wall = {name: [] for name in commands}
cpu = {name: [] for name in commands}
for _ in range(runs):
    for name, command in commands.items():
        subprocess.run(["bash", prepare], check=True)
        before, began = resource.getrusage(resource.RUSAGE_CHILDREN), time.perf_counter()
        subprocess.run(command, check=True, stdout=subprocess.DEVNULL)
        wall[name].append(time.perf_counter() - began)
        after = resource.getrusage(resource.RUSAGE_CHILDREN)
        cpu[name].append(after.ru_utime - before.ru_utime + after.ru_stime - before.ru_stime)
subprocess.run(["bash", prepare], check=True)  # the last run's programs are gone too
base = {k: statistics.median(v["gdbus"]) for k, v in (("wall", wall), ("cpu", cpu))}
for name in commands:
    w, c = statistics.median(wall[name]), statistics.median(cpu[name])
    print(f"{name:>10}: wall median {w * 1000:8.1f} ms ({w / base['wall']:.2f}x gdbus),"
          f" CPU median {c * 1000:7.1f} ms ({c / base['cpu']:.2f}x gdbus) over {runs} runs")
ratio = statistics.median(wall["vesk-host"]) / base["wall"]
print(f"target: wall <= 0.2x gdbus: {'met' if ratio <= 0.2 else 'missed'}")
PY
