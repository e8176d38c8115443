#!/usr/bin/env python3
"""Cost of the local intensity comparison metric beside its peers, in one run.

Runs dravo_lic_bench (our kernel in double and uint8, OpenCV FAST on uint8 with no non-maximum
suppression and one thread) and times scikit-image's corner_fast (dense, double) on the same scene, then
prints CPU milliseconds per image and the ratios. The scores differ from both peers: this compares cost.

uint8 runs with the dialog's default metric output (s64:-1) and with a 16-bit one (s16:0).

Usage: python3 lic_ratios.py path/to/dravo_lic_bench [--sizes 1024 4096] [--repeats 3]
"""
import argparse
import json
import subprocess
import time

import numpy as np
from skimage.feature import corner_fast

THRESHOLD8 = 20.0  # as in lic_bench.cpp
ARC = 9


def scene(n):
    """The benchmark scene of lic_scene.h, row-major (the same picture)."""
    r = np.arange(n, dtype=np.int64)[:, None]
    c = np.arange(n, dtype=np.int64)[None, :]
    block = ((r // 64) + (c // 48)) % 2
    ramp = ((r + c) % 256) // 8
    h = ((r * 7919 + c * 104729) * 2654435761) & 0xFFFFFFFF
    return (60 + 120 * block + ramp + (h >> 29)).astype(np.uint8)


def skimage_ms(n, repeats):
    img = scene(n).astype(np.float64) / 255.0
    best = float("inf")
    for _ in range(repeats):
        t0 = time.process_time()
        corner_fast(img, n=ARC, threshold=THRESHOLD8 / 255.0)
        best = min(best, time.process_time() - t0)
    return best * 1e3


def ours_ms(binary, repeats):
    out = subprocess.run([binary, "--benchmark_format=json", f"--benchmark_repetitions={repeats}",
                          "--benchmark_min_time=0.3"], check=True, capture_output=True, text=True).stdout
    best = {}
    for b in json.loads(out)["benchmarks"]:
        if b.get("run_type") == "aggregate":
            continue
        name = b["run_name"]
        ms = b["cpu_time"] * {"ms": 1.0, "us": 1e-3, "ns": 1e-6, "s": 1e3}[b["time_unit"]]
        best[name] = min(best.get(name, float("inf")), ms)
    return best


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("binary")
    ap.add_argument("--sizes", type=int, nargs="+", default=[1024, 4096])
    ap.add_argument("--repeats", type=int, default=3)
    a = ap.parse_args()
    ours = ours_ms(a.binary, a.repeats)
    print(f"{'size':>6} {'ours double':>12} {'corner_fast':>12} {'ratio':>6}   {'ours uint8':>11} {'FAST':>8} {'ratio':>6}"
          f"   {'s16 output':>11} {'ratio':>6}")
    for n in a.sizes:
        # uint8: the screen the processor runs (32-byte vectors when it has them).
        d, u, f = ours[f"BM_LicDouble/{n}"], ours[f"BM_LicUint8/{n}/1/64"], ours[f"BM_OpenCVFast/{n}"]
        # The same with a 16-bit metric output: an eighth of the output to clear.
        u16 = ours[f"BM_LicUint8/{n}/1/16"]
        s = skimage_ms(n, a.repeats)
        # Ratios are peer time over ours (above 1: we are faster) and ours over FAST (goal: at most 2).
        print(f"{n:>6} {d:10.2f}ms {s:10.2f}ms {s / d:6.1f}x   {u:9.2f}ms {f:6.2f}ms {u / f:6.1f}x"
              f"   {u16:9.2f}ms {u16 / f:6.1f}x")
    print("CPU time, best of the repeats. Goals: corner_fast / ours above 1; ours / FAST at most 2.")


if __name__ == "__main__":
    main()
