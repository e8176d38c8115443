#!/usr/bin/env python3
"""Throughput ratios (ours / OpenCV) from the rotate benchmark's JSON output.

Usage: dravo_rotate_bench --benchmark_format=json > rotate.json && python3 ratios.py rotate.json
"""
import json
import sys

METHODS = {"1": "nearest", "2": "bilinear", "3": "bicubic"}


def main(path):
    # Names without options such as "min_time:1.000": BM_ThreeShears/1024/2.
    runs = {"/".join(p for p in b["name"].split("/") if ":" not in p): b
            for b in json.load(open(path))["benchmarks"] if b.get("run_type") != "aggregate"}
    pairs = []
    for name, run in runs.items():
        if name.startswith("BM_ThreeShears/"):
            args = name.split("/")[1:3]
            peer = runs.get("BM_OpenCVWarpAffine/" + "/".join(args))
            pairs.append((f"{args[0]}x{args[0]} {METHODS[args[1]]}", run, peer))
        elif name.startswith("BM_QuarterTurn/"):
            size = name.split("/")[1]
            pairs.append((f"{size}x{size} quarter turn", run, runs.get("BM_OpenCVRotate/" + size)))
    print(f"{'case':28} {'ours Mpix/s':>12} {'OpenCV Mpix/s':>14} {'ratio':>7}  goal")
    for label, ours, peer in pairs:
        if peer is None:
            continue
        a, b = ours["items_per_second"] / 1e6, peer["items_per_second"] / 1e6
        print(f"{label:28} {a:12.1f} {b:14.1f} {a / b:7.2f}  {'met' if a >= b else 'not met'}")


if __name__ == "__main__":
    main(sys.argv[1])
