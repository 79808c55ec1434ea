#!/usr/bin/env bash
# Builds the project (default preset) and runs every benchmark:
#   request round trips (simulated platform, Google Benchmark),
#   the scan on this machine's /proc against pgrep and the floor program,
#   the end action under Xvfb against xdotool,
#   the end action under headless sway against swaymsg,
#   the scan's scaling on the simulated platform, plotted to build/bench/scaling.png,
#   the peak memory of large requests against their size;
# prints the ratios and writes them to bench/RESULTS.md. Timings on a shared
# machine are noisy: the ratios are of medians over repeated runs.
# Needs: scripts/install-deps.sh (hyperfine, xdotool, procps, gnuplot, Xvfb, sway, foot).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
cmake --preset default >/dev/null
cmake --build --preset default -j2 >/dev/null
out=build/bench
mkdir -p "$out"
missed=0  # 1 when a figure misses its target; the other benchmarks still run

echo "== request round trips"
"$out/vesk_request_bench" --benchmark_out="$out/request.json" --benchmark_out_format=json
echo "== scan of 1,000 idle processes"
bench/scan-bench.sh build "$out" || missed=1
echo "== end action under Xvfb"
python3 bench/window-bench.py build "$out" || missed=1
echo "== end action under headless sway"
bench/sway-bench.sh build "$out" || missed=1
echo "== scaling on the simulated platform"
"$out/vesk_scan_scaling_bench" --benchmark_out="$out/scaling.json" --benchmark_out_format=json
python3 bench/plot-scaling.py "$out/scaling.json" "$out/scaling.png" | tee "$out/scaling.txt"
echo "== peak memory of large requests"
"$out/vesk_memory_bench" --check | tee "$out/memory.txt" || missed=1

{
  echo "# Benchmark results"
  echo
  echo "Written by scripts/run-benchmarks.sh on $(date -u +%Y-%m-%d)."
  echo "Machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ //'), shared with other work"
  echo "(load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)). Medians of repeated whole-process runs (hyperfine)."
  echo
  echo "## Scan of 1,000 idle processes (vesk-host end /no/such/program; target: at most 2x the floor)"
  echo '```'; cat "$out/scan-ratios.txt"; echo '```'
  echo "## End action, 50 processes x 10 windows under Xvfb (target: at most 0.2x the xdotool route)"
  echo '```'; cat "$out/windows-ratios.txt"; echo '```'
  echo "## End action, 20 programs under headless sway (target: at most 0.2x the swaymsg route)"
  echo '```'; cat "$out/sway-ratios.txt"; echo '```'
  echo "## Scaling on the simulated platform (plot: build/bench/scaling.png)"
  echo '```'; cat "$out/scaling.txt"; echo '```'
  echo "## Peak memory of one request, above the host's baseline (target: at most 10x its size)"
  echo '```'; cat "$out/memory.txt"; echo '```'
} >bench/RESULTS.md
echo "wrote bench/RESULTS.md"
[ "$missed" -eq 0 ] || { echo "a target was missed (see above)"; exit 1; }
