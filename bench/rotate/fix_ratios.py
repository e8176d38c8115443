#!/usr/bin/env python3
"""Time ratios of the fixed-point rotate engine from dravo_rotate_fix_bench's JSON output.

Usage: dravo_rotate_fix_bench --benchmark_repetitions=5 --benchmark_format=json > fix.json
       python3 fix_ratios.py fix.json
With repetitions the medians are compared.
Ratios are CPU time per step: fixed-point engine / double engine and fixed-point engine / warpAffine on
uint8 (same interpolation). Goal: at most 3 for both.
"""
import json
import sys

IMAGES = {"1": "uint8", "2": "fixed:s16:8"}
METHODS = {"2": "bilinear", "3": "bicubic"}


def main(path):
    benchmarks = json.load(open(path))["benchmarks"]
    medians = [b for b in benchmarks if b.get("aggregate_name") == "median"]
    chosen = medians if medians else [b for b in benchmarks if b.get("run_type") != "aggregate"]
    runs = {"/".join(p for p in b.get("run_name", b["name"]).split("/") if ":" not in p): b for b in chosen}
    print(f"{'case':24} {'ms':>8} {'/double':>8} {'/OpenCV':>8}  goal")
    for image, image_name in IMAGES.items():
        for method, method_name in METHODS.items():
            ours = runs.get(f"BM_RotateBlock/{image}/{method}")
            double = runs.get(f"BM_RotateBlock/0/{method}")
            peer = runs.get(f"BM_OpenCVWarpAffineUint8/{method}")
            if not (ours and double and peer):
                continue
            a = ours["cpu_time"] / double["cpu_time"]
            b = ours["cpu_time"] / peer["cpu_time"]
            met = "met" if a <= 3 and b <= 3 else "not met"
            print(f"{image_name + ' ' + method_name:24} {ours['cpu_time']:8.2f} {a:8.2f} {b:8.2f}  {met}")


if __name__ == "__main__":
    main(sys.argv[1])
