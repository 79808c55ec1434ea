#!/usr/bin/env python3
"""Prints the median wall time of each command in a hyperfine JSON export
and its ratio to a base command, and the same for the mean CPU time (user +
system, which other load on a shared machine disturbs less); --target
NAME:MAX marks whether NAME's wall-time ratio is within MAX.

usage: ratios.py EXPORT.json BASE [--target NAME:MAX ...]
"""
import json
import statistics
import sys


def main(argv):
    if len(argv) < 3:
        print(__doc__, file=sys.stderr)
        return 2
    with open(argv[1]) as f:
        results = {r["command"]: r for r in json.load(f)["results"]}
    base = argv[2]
    targets = {}
    args = argv[3:]
    while args:
        if args[0] == "--target" and len(args) > 1:
            name, limit = args[1].rsplit(":", 1)
            targets[name] = float(limit)
            args = args[2:]
        else:
            print(f"ratios.py: unexpected {args[0]}", file=sys.stderr)
            return 2
    base_median = statistics.median(results[base]["times"])
    failed = False
    for name, r in results.items():
        median = statistics.median(r["times"])
        ratio = median / base_median
        cpu_ratio = (r["user"] + r["system"]) / (results[base]["user"] + results[base]["system"])
        line = (f"{name:>10}: median {median * 1000:9.3f} ms over {len(r['times'])} runs, {ratio:6.2f}x {base};"
                f" CPU (user+sys, mean) {(r['user'] + r['system']) * 1000:8.3f} ms, {cpu_ratio:6.2f}x")
        if name in targets:
            ok = ratio <= targets[name]
            failed |= not ok
            line += f"  (target <= {targets[name]}x: {'met' if ok else 'MISSED'})"
        print(line)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
