#!/usr/bin/env bash
# Scan benchmark on this machine's /proc: starts IDLE idle processes (1000 by
# default) in a process group of their own, then times, each as a whole
# process with hyperfine,
#   vesk-host end /no/such/program   (the end action; nothing matches)
#   vesk-host end /bin/true          (an existing file, reached through a
#                                     link on merged-/usr systems; nothing
#                                     matches and no process shares its name)
#   vesk-host end COPY/sleep         (a copy of sleep: every idle process has
#                                     its file name, so each one's file
#                                     identity is looked at; nothing matches)
#   pgrep -f /no/such/program        (procps)
#   scan_floor                       (only lists /proc and reads each exe link)
# and prints the ratios of the medians. The idle processes are killed and
# reaped on every exit path.
#   usage: bench/scan-bench.sh BUILD_DIR [OUT_DIR]
# Environment: IDLE (1000), RUNS (40), WARMUP (5).
set -euo pipefail
build=$(cd "${1:?usage: scan-bench.sh BUILD_DIR [OUT_DIR]}" && pwd)
out=${2:-$build/bench}
idle=${IDLE:-1000}
runs=${RUNS:-40}
warmup=${WARMUP:-5}
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$out"
copy_dir=$(mktemp -d)
cp "$(readlink -f "$(command -v sleep)")" "$copy_dir/sleep"

group=""       # the group leader's pid, as it wrote it itself
starter=""     # the background job that became the leader (setsid may fork)
leader_file=$(mktemp)
cleanup() {
  [ -z "$group" ] && [ -s "$leader_file" ] && group=$(cat "$leader_file")
  if [ -n "$group" ]; then
    kill -TERM "$group" 2>/dev/null || true
    # The leader reaps its sleepers, then exits; wait for it to be gone.
    for _ in $(seq 100); do kill -0 "$group" 2>/dev/null || break; sleep 0.05; done
    group=""
  fi
  [ -n "$starter" ] && wait "$starter" 2>/dev/null
  starter=""
  rm -f "$leader_file"
  rm -rf "$copy_dir"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

limit=$(ulimit -u)
if [ "$limit" != unlimited ] && [ "$limit" -lt $((idle + 200)) ]; then
  echo "scan-bench: ulimit -u is $limit, too low for $idle idle processes" >&2; exit 1
fi
# The group leader starts the sleepers and waits; on TERM it signals its whole
# group, reaps every sleeper, and exits. sleep 600 bounds their life anyway.
before=$(ls /proc | grep -c '^[0-9]')
setsid bash -c 'echo $$ >"$1"
                trap "trap \"\" TERM; kill -TERM 0; wait; exit 0" TERM
                for _ in $(seq '"$idle"'); do sleep 600 & done
                wait' leader "$leader_file" &
starter=$!
for _ in $(seq 100); do [ -s "$leader_file" ] && break; sleep 0.05; done
group=$(cat "$leader_file")
for _ in $(seq 100); do
  now=$(ls /proc | grep -c '^[0-9]')
  [ "$now" -ge $((before + idle)) ] && break
  sleep 0.1
done
echo "processes in /proc: $(ls /proc | grep -c '^[0-9]') ($idle idle ones started)"
echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ //')"

# No match: the end action must not reach for the display either.
hyperfine -N -i --warmup "$warmup" --runs "$runs" --export-json "$out/scan.json" \
  -n vesk-host "$build/vesk-host end /no/such/program" \
  -n vesk-file "$build/vesk-host end /bin/true" \
  -n vesk-same-name "$build/vesk-host end $copy_dir/sleep" \
  -n pgrep "pgrep -f /no/such/program" \
  -n floor "$build/bench/scan_floor"
cleanup
python3 "$here/ratios.py" "$out/scan.json" floor --target vesk-host:2.0 --target vesk-file:2.0 | tee "$out/scan-ratios.txt"
