#!/usr/bin/env python3
"""Throughput ratios from the corner metric benchmark's JSON output: the block's floating kernels over
OpenCV (cornerHarris / cornerMinEigenVal, single precision, one thread), and the fixed-point path's time
over the double path's (both through the host).

Usage: dravo_cornermetric_bench --benchmark_format=json > corner.json && python3 ratios.py corner.json ...
Several files (runs taken in turn) and repetitions are allowed: each case keeps its best (fastest) run.
"""
import json
import sys

METHODS = {"1": "Harris", "2": "min. eigenvalue"}


def best_runs(paths):
    runs = {}
    for path in paths:
        for b in json.load(open(path))["benchmarks"]:
            if b.get("run_type") == "aggregate":
                continue
            name = "/".join(p for p in b["name"].split("/") if ":" not in p)
            if name not in runs or b["cpu_time"] < runs[name]["cpu_time"]:
                runs[name] = b
    return runs


def main(paths):
    runs = best_runs(paths)
    print(f"{'case':36} {'ours Mpix/s':>12} {'OpenCV Mpix/s':>14} {'ratio':>7}  goal (>= 1)")
    for name, run in sorted(runs.items()):
        if not name.startswith("BM_Kernel<"):
            continue
        kind = name[len("BM_Kernel<"):name.index(">")]
        size, method = name.split("/")[1:3]
        peer = runs.get(f"BM_OpenCV/{size}/{method}")
        if peer is None:
            continue
        a, b = run["items_per_second"] / 1e6, peer["items_per_second"] / 1e6
        print(f"{size}x{size} {METHODS[method]:16} {kind:7} {a:12.1f} {b:14.1f} {a / b:7.2f}  "
              f"{'met' if a >= b else 'not met'}")
    print()
    print(f"{'case':36} {'fixed ms':>12} {'double ms':>14} {'ratio':>7}  goal (<= 3)")
    for name, run in sorted(runs.items()):
        parts = name.split("/")
        if parts[0] != "BM_HostBlock" or parts[3] != "1":
            continue
        peer = runs.get(f"BM_HostBlock/{parts[1]}/{parts[2]}/0")
        if peer is None:
            continue
        a, b = run["cpu_time"], peer["cpu_time"]
        print(f"{parts[1]}x{parts[1]} {METHODS[parts[2]]:24} {a:12.1f} {b:14.1f} {a / b:7.1f}  "
              f"{'met' if a <= 3 * b else 'not met'}")


if __name__ == "__main__":
    main(sys.argv[1:])
