#!/usr/bin/python3
"""Times numpy.pad on Fortran-ordered arrays for the pad benchmark's cases, runs dravo_pad_bench in the
same session, and prints the ratios: peer time / pad time (above 1: the pad block is faster; "walk" is the
element-by-element walking fill the block copies replace) and the pad
block's bandwidth (input + output bytes) as a fraction of memcpy's (read + write bytes).

Usage: numpy_pad.py PATH/TO/dravo_pad_bench [--min-time SECONDS]
CPU times (medians of 5 runs, interleaved at random) are compared, so other load on the machine disturbs
the figures less.
"""
import json
import subprocess
import sys
import time

import numpy as np

CASES = [
    ("4096x4096_double", (4096, 4096), 32, np.float64),
    ("4096x4096_uint8", (4096, 4096), 32, np.uint8),
    ("1024x1024_double", (1024, 1024), 32, np.float64),
    ("1024x1024_uint8", (1024, 1024), 32, np.uint8),
    ("512x512x3_double", (512, 512, 3), 16, np.float64),
]
MODES = {"constant": "constant", "replicate": "edge", "symmetric": "symmetric", "circular": "wrap"}


def numpy_seconds(shape, pad, dtype, mode, min_time):
    a = np.asfortranarray((np.arange(int(np.prod(shape))) % 251).astype(dtype).reshape(shape, order="F"))
    widths = [(pad, pad), (pad, pad)] + [(0, 0)] * (len(shape) - 2)
    np.pad(a, widths, mode=mode)
    times = []
    spent = 0.0
    while spent < min_time or len(times) < 5:
        t0 = time.process_time()
        out = np.pad(a, widths, mode=mode)
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
            name = b["run_name"].replace("/real_time", "")
            scale = {"ms": 1e-3, "us": 1e-6, "ns": 1e-9}[b["time_unit"]]
            cpu[name] = b["cpu_time"] * scale

    print(f"{'case':18} {'method':10} {'pad ms':>8} {'walk ms':>8} {'opencv ms':>9} {'numpy ms':>9} "
          f"{'vs walk':>7} {'vs opencv':>9} {'vs numpy':>8} {'of memcpy bw':>12}")
    for name, shape, pad, dtype in CASES:
        elem = np.dtype(dtype).itemsize
        n_in = int(np.prod(shape)) * elem
        out_shape = (shape[0] + 2 * pad, shape[1] + 2 * pad) + tuple(shape[2:])
        n_out = int(np.prod(out_shape)) * elem
        memcpy_bw = 2 * n_out / cpu[f"memcpy/{name}"]
        for method, mode in MODES.items():
            t_pad = cpu[f"pad/{name}/{method}"]
            t_cv = cpu[f"opencv/{name}/{method}"]
            t_walk = cpu.get(f"walking/{name}/{method}", float("nan"))
            t_np = numpy_seconds(shape, pad, dtype, mode, min_time)
            pad_bw = (n_in + n_out) / t_pad
            print(f"{name:18} {method:10} {t_pad*1e3:8.3f} {t_walk*1e3:8.3f} {t_cv*1e3:9.3f} {t_np*1e3:9.3f} "
                  f"{t_walk/t_pad:7.2f} {t_cv/t_pad:9.2f} {t_np/t_pad:8.2f} {pad_bw/memcpy_bw:12.2f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
