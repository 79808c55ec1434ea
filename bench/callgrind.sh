#!/usr/bin/env bash
# Instructions per round trip, ours and pugixml's, counted by callgrind (load
# independent, unlike the timings). Usage: bench/callgrind.sh [build dir] [N]
set -euo pipefail
build=${1:-build}
n=${2:-2000}
bench="$build/bench/vesk_request_bench"
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
per_trip() {  # benchmark name, functions whose calls are counted
  local toggles=()
  for f in "${@:2}"; do toggles+=(--toggle-collect="$f"); done
  LD_BIND_NOW=1 valgrind --tool=callgrind --callgrind-out-file="$out/cg" "${toggles[@]}" \
    "$bench" --iterations="$n" --benchmark_filter="^$1(/|\$)" >/dev/null 2>&1
  local total
  total=$(callgrind_annotate "$out/cg" 2>/dev/null | awk '/PROGRAM TOTALS/ {gsub(",", "", $1); print $1}')
  echo $((total / n))
}
for name in $("$bench" --benchmark_list_tests | grep -v '_Pugi$' | grep -E "${FILTER:-.}"); do
  ours=$(per_trip "$name" 'vesk::plugin::MethodCall*' 'vesk::SettingsPanel::MethodCall*')
  twin=$(per_trip "${name}_Pugi" 'vesk::bench::PugiRoundTrip*')
  awk -v n="$name" -v a="$ours" -v b="$twin" \
    'BEGIN { printf "%-18s ours %6d  pugixml %6d  ratio %.3f\n", n, a, b, a / b }'
done
