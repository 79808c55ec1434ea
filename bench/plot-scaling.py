#!/usr/bin/env python3
"""Plots the scan scaling benchmark's JSON output to a PNG with gnuplot.

usage: plot-scaling.py SCALING.json OUT.png
Left: CPU time per scan against the number of processes (nothing matches).
Right: CPU time beyond the scan of the processes alone (the 1-match,
10-window case) against matches x windows. Dashed lines: linear growth
through the middle point. Also prints the fitted growth exponents.
"""
import json
import math
import os
import subprocess
import sys
import tempfile


def exponent(points):
    """Least-squares slope of log(time) against log(size)."""
    xs = [math.log(x) for x, _ in points]
    ys = [math.log(y) for _, y in points]
    mx, my = sum(xs) / len(xs), sum(ys) / len(ys)
    return sum((x - mx) * (y - my) for x, y in zip(xs, ys)) / sum((x - mx) ** 2 for x in xs)


def main(argv):
    if len(argv) != 3:
        print(__doc__, file=sys.stderr)
        return 2
    with open(argv[1]) as f:
        runs = [b for b in json.load(f)["benchmarks"] if b.get("run_type") == "iteration"]
    scale = {"ns": 1e-3, "us": 1.0, "ms": 1e3, "s": 1e6}
    cpu_us = lambda b: b["cpu_time"] * scale[b["time_unit"]]
    processes = sorted((int(b["processes"]), cpu_us(b)) for b in runs if b["name"].startswith("BM_ScanProcesses/"))
    product = [b for b in runs if b["name"].startswith("BM_ScanMatchesWindows/")]
    base = min(cpu_us(b) for b in product)
    walks = sorted((int(b["matches"] * b["windows"]), cpu_us(b) - base) for b in product
                   if b["matches"] * b["windows"] >= 1000)
    with tempfile.TemporaryDirectory() as tmp:
        for name, points in (("processes", processes), ("walks", walks)):
            with open(os.path.join(tmp, name + ".dat"), "w") as f:
                f.writelines(f"{x} {y}\n" for x, y in points)
        mid_p, mid_w = processes[len(processes) // 2], walks[len(walks) // 2]
        script = f"""
set terminal pngcairo size 1200,500 font ",10"
set output "{argv[2]}"
set multiplot layout 1,2 title "End action scan on the simulated platform (CPU time per scan)"
set logscale xy
set grid
set key top left
set xlabel "processes (none matches, 100 windows)"
set ylabel "microseconds"
plot "{tmp}/processes.dat" with linespoints pt 7 title "scan", \\
     {mid_p[1]}/{mid_p[0]}*x with lines dt 2 title "linear"
set xlabel "matching processes x windows (1,000 processes)"
set ylabel "microseconds beyond the scan of the processes"
plot "{tmp}/walks.dat" with points pt 7 title "walks", \\
     {mid_w[1]}/{mid_w[0]}*x with lines dt 2 title "linear in the product"
unset multiplot
"""
        subprocess.run(["gnuplot"], input=script, text=True, check=True)
    print(f"growth exponent against processes: {exponent(processes):.2f} (1 is linear)")
    print(f"growth exponent against matches x windows: {exponent(walks):.2f} (1 is linear)")
    print(f"plot: {argv[2]}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
