#!/usr/bin/python3
"""Costs of the Python module: per-call overhead of dravo.run on a 64x64 image against a step of an
already configured block, and batch throughput of a folder of frames on a local Dask cluster of
2 workers against a plain loop in one process.

    PYTHONPATH=build/python python3 bench/python/python_bench.py [--frames 200] [--size 1024]
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time

import numpy as np

import dravo


def best_per_call(f, calls, repeats=5):
    best = float("inf")
    for _ in range(repeats):
        t = time.perf_counter()
        for _ in range(calls):
            f()
        best = min(best, (time.perf_counter() - t) / calls)
    return best


def overhead():
    x = np.random.default_rng(1).random((64, 64))
    for block, params in [("pad", dict(rowsPadSize=2, colsPadSize=2)), ("rotate", dict(angle=0.5))]:
        run = best_per_call(lambda: dravo.run(block, x, **params), 300)
        with dravo.Block(block, **params) as b:
            b.step(x)
            step = best_per_call(lambda: b.step(x), 1000)
        print(f"{block:7s} 64x64: dravo.run {run * 1e6:8.1f} us, Block.step {step * 1e6:8.1f} us, "
              f"set-up and tear-down per run {(run - step) * 1e6:8.1f} us")


def batch(frames, size):
    # Frames in memory-backed storage where there is some, so the figures measure the blocks and the
    # cluster rather than the disk's write-back; each phase's outputs are removed before the next.
    shm = "/dev/shm" if os.path.isdir("/dev/shm") else None
    with tempfile.TemporaryDirectory(dir=shm) as tmp:
        src = os.path.join(tmp, "in")
        os.mkdir(src)
        rng = np.random.default_rng(2)
        for k in range(frames):
            np.save(os.path.join(src, f"f{k:04d}.npy"), rng.random((size, size)))
        params = ["-s", "angle=0.5", "-s", "interpolation=bilinear"]

        t = time.perf_counter()
        out1 = os.path.join(tmp, "loop")
        os.mkdir(out1)
        for n in sorted(os.listdir(src)):
            dravo.save(os.path.join(out1, n), dravo.run("rotate", dravo.load(os.path.join(src, n)),
                                                        angle=0.5, interpolation="bilinear"))
        loop = time.perf_counter() - t
        shutil.rmtree(out1)

        t = time.perf_counter()
        p = subprocess.run([sys.executable, "-m", "dravo.batch", "rotate", *params, src, os.path.join(tmp, "dask"),
                            "--workers", "2"], capture_output=True, text=True)
        dask = time.perf_counter() - t
        if p.returncode != 0:
            print(p.stderr, file=sys.stderr)
            sys.exit(1)
        shutil.rmtree(os.path.join(tmp, "dask"))
        # The same work on a cluster that is already up: what a long batch sees once it is running.
        from dravo.batch import local_cluster, run_batch

        client, lc = local_cluster(2)
        with lc, client:
            client.run(lambda: __import__("dravo").run("rotate", np.zeros((8, 8)), angle=0.5))
            t = time.perf_counter()
            done, _, failures = run_batch("rotate", {"angle": "0.5", "interpolation": "bilinear"}, src,
                                          os.path.join(tmp, "warm"), client=client, stream=open(os.devnull, "w"))
            warm = time.perf_counter() - t
        assert done == frames and not failures
        print(f"batch {frames} frames {size}x{size}: one-process loop {loop:.2f} s; local cluster of 2: "
              f"{dask:.2f} s with its start ({loop / dask:.2f}x), {warm:.2f} s once running ({loop / warm:.2f}x)")


if __name__ == "__main__":
    ap = argparse.ArgumentParser()
    ap.add_argument("--frames", type=int, default=200)
    ap.add_argument("--size", type=int, default=1024)
    ap.add_argument("--skip-batch", action="store_true")
    a = ap.parse_args()
    overhead()
    if not a.skip_batch:
        batch(a.frames, a.size)
