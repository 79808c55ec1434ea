#!/usr/bin/env bash
# The end action under headless sway: 20 instances of foot ended by one
# `vesk-host end PATH`, against the route a user would script with sway's
# own tool: `swaymsg -t get_tree`, then `swaymsg '[pid=N] kill'` for each of
# the 20 pids (given to it in advance, so its own lookup is not counted).
# Before every timed run the 20 programs are started again and waited for
# in sway's tree, and given a second to settle; each command is timed as a whole process with hyperfine.
# sway refuses to run as root: run as root, the script runs again as an
# unprivileged user (VESK_TEST_USER, default vesktest, made if missing)
# with copies of what it needs.
#   usage: bench/sway-bench.sh BUILD_DIR [OUT_DIR]
# Environment: RUNS (10), COUNT (20).
set -euo pipefail
build=$(cd "${1:?usage: sway-bench.sh BUILD_DIR [OUT_DIR]}" && pwd)
out=$(mkdir -p "${2:-$build/bench}" && cd "${2:-$build/bench}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)

if [ "$(id -u)" = 0 ]; then
  user=${VESK_TEST_USER:-vesktest}
  id "$user" >/dev/null 2>&1 || useradd --no-create-home --shell /usr/sbin/nologin "$user"
  copies=$(mktemp -d)
  trap 'rm -rf "$copies"' EXIT
  mkdir "$copies/build" "$copies/bench" "$copies/out"
  cp "$build/vesk-host" "$copies/build/" && cp "$here/sway-bench.sh" "$here/ratios.py" "$copies/bench/"
  chmod -R a+rX "$copies" && chown "$user" "$copies/out"
  # The programs start in a folder the test user can enter (the build folder may not be).
  cd "$copies" || exit 1
  runuser -u "$user" -- env -i PATH="$PATH" HOME="$copies" RUNS="${RUNS:-10}" COUNT="${COUNT:-20}" \
    bash "$copies/bench/sway-bench.sh" "$copies/build" "$copies/out"
  cp "$copies/out/"sway* "$out/"
  exit 0
fi

runs=${RUNS:-10}
count=${COUNT:-20}
work=$(mktemp -d)
sway_pid=""
cleanup() {
  pkill -TERM -f "^$work/app/foot" 2>/dev/null || true
  [ -n "$sway_pid" ] && kill "$sway_pid" 2>/dev/null && wait "$sway_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/app" "$work/runtime"
cp "$(command -v foot)" "$work/app/foot"
chmod 700 "$work/runtime"
export XDG_RUNTIME_DIR=$work/runtime
unset WAYLAND_DISPLAY DISPLAY SWAYSOCK I3SOCK
: >"$work/sway.conf"
WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 sway -c "$work/sway.conf" >"$work/sway.log" 2>&1 &
sway_pid=$!
for _ in $(seq 100); do [ -S "$XDG_RUNTIME_DIR/wayland-1" ] && ls "$XDG_RUNTIME_DIR"/sway-ipc.*.sock >/dev/null 2>&1 && break; sleep 0.1; done
export WAYLAND_DISPLAY=wayland-1
SWAYSOCK=$(ls "$XDG_RUNTIME_DIR"/sway-ipc.*.sock)
export SWAYSOCK

# Starts the programs once the last round's are gone and waits for all of
# their views; their pids go to $work/pids for the swaymsg route.
cat >"$work/prepare.sh" <<PREPARE
for _ in \$(seq 100); do pgrep -f "^$work/app/foot" >/dev/null || break; sleep 0.05; done
for _ in \$(seq $count); do setsid "$work/app/foot" -e sleep 600 >/dev/null 2>&1 </dev/null & done
for _ in \$(seq 200); do
  [ "\$(swaymsg -t get_tree | grep -c '"pid":')" -ge $count ] && break
  sleep 0.05
done
pgrep -f "^$work/app/foot" >"$work/pids"
sleep 1  # the programs' start (fonts, first frames) is over before the timed run
PREPARE
cat >"$work/swaymsg-route.sh" <<'ROUTE'
swaymsg -t get_tree >/dev/null
while read -r pid; do swaymsg "[pid=$pid] kill" >/dev/null; done <"$1"
ROUTE

hyperfine --runs "$runs" --prepare "bash $work/prepare.sh" --export-json "$out/sway.json" \
  -n vesk-host "$build/vesk-host end $work/app/foot" \
  -n swaymsg "bash $work/swaymsg-route.sh $work/pids"
# Every program was asked to close by both routes (none left after the last run).
for _ in $(seq 100); do pgrep -f "^$work/app/foot" >/dev/null || break; sleep 0.05; done
if pgrep -f "^$work/app/foot" >/dev/null; then echo "programs were left running"; exit 1; fi
python3 "$here/ratios.py" "$out/sway.json" swaymsg --target vesk-host:0.2 | tee "$out/sway-ratios.txt"
