#!/usr/bin/python3
"""Times the contrast adjustment composed from numpy (percentile or extremes, then a clipped linear map) on
the benchmark's images, runs dravo_contrast_bench in the same session, and prints the ratios: peer time /
block time (above 1: the block is faster) and the block's bandwidth (input + output bytes) as a fraction
of memcpy's (read + write bytes of the same image).

Usage: ratios.py PATH/TO/dravo_contrast_bench [--min-time SECONDS]
(DRAVO_PLUGIN_PATH must name the folder of merrow.so.) CPU times, medians of 5 runs, are compared, so other
load on the machine disturbs the figures less. numpy runs on one thread.
"""
import json
import subprocess
import sys
import time

import numpy as np

SIDE = 4096
FRACTION = 0.01
RANGE = (0.35, 0.65)
MODES = {1: "minmax", 2: "dialog", 3: "histogram"}


def image(dtype):
    # The same kind of picture as the C++ benchmark: washed out around the middle, with noise.
    rng = np.random.default_rng(3)
    y = np.clip(rng.normal(0.5, 0.08, SIDE * SIDE), 0.2, 0.8).reshape(SIDE, SIDE, order="F")
    return np.rint(y * 255).astype(np.uint8) if dtype == np.uint8 else y


def numpy_contrast(a, mode, top):
    if mode == 1:
        low, high = float(a.min()), float(a.max())
    elif mode == 2:
        low, high = RANGE[0] * top, RANGE[1] * top
    else:
        low, high = np.percentile(a, [100 * FRACTION, 100 * (1 - FRACTION)])
    y = np.clip((a - low) * (top / (high - low)), 0, top)
    return np.rint(y).astype(np.uint8) if a.dtype == np.uint8 else y


def numpy_seconds(a, mode, top, min_time):
    numpy_contrast(a, mode, top)
    times, spent = [], 0.0
    while spent < min_time or len(times) < 5:
        t0 = time.process_time()
        out = numpy_contrast(a, mode, top)
        t = time.process_time() - t0
        times.append(t)
        spent += t
        del out
    times.sort()
    return times[len(times) // 2]


def main():
    if len(sys.argv) < 2:
        print(__doc__)
        return 2
    bench = sys.argv[1]
    min_time = float(sys.argv[3]) if len(sys.argv) > 3 and sys.argv[2] == "--min-time" else 0.5
    run = subprocess.run([bench, "--benchmark_format=json", f"--benchmark_min_time={min_time}",
                          "--benchmark_repetitions=5", "--benchmark_enable_random_interleaving=true",
                          "--benchmark_report_aggregates_only=true"],
                         check=True, capture_output=True, text=True)
    cpu = {}
    for b in json.loads(run.stdout)["benchmarks"]:
        if b.get("aggregate_name") == "median":
            scale = {"ms": 1e-3, "us": 1e-6, "ns": 1e-9}[b["time_unit"]]
            cpu[b["run_name"]] = b["cpu_time"] * scale

    print(f"{'case':18} {'block ms':>9} {'opencv ms':>9} {'numpy ms':>9} {'vs opencv':>9} {'vs numpy':>8} "
          f"{'of memcpy bw':>12}")
    for dtype, tag, top in ((np.uint8, "uint8", 255.0), (np.float64, "double", 1.0)):
        a = image(dtype)
        t_memcpy = cpu[f"memcpyImage<{'uint8_t' if tag == 'uint8' else 'double'}>"]
        for mode, name in MODES.items():
            case = f"{tag}_{name}"
            t_block = cpu[f"block{'Uint8' if tag == 'uint8' else 'Double'}/{case}"]
            t_cv = cpu[f"opencv{'Uint8' if tag == 'uint8' else 'Double'}/{case}"]
            t_np = numpy_seconds(a, mode, top, min_time)
            print(f"{case:18} {t_block*1e3:9.3f} {t_cv*1e3:9.3f} {t_np*1e3:9.3f} {t_cv/t_block:9.2f} "
                  f"{t_np/t_block:8.2f} {t_memcpy/t_block:12.2f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
