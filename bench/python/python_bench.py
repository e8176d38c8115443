#!/usr/bin/python3
"""Costs of the Python module: per-call overhead of dravo.run on a 64x64 image against a step of an
already configured block, and batch throughput of a folder of frames on a local Dask cluster of
2 workers against a plain loop in one process.

    PYTHONPATH=build/python python3 bench/python/python_bench.py [--frames 200] [--size 1024] [--rounds 3]

The batch goal is 1.7x a plain loop in one process on 2 cores; the two-process figure is the ceiling
for any cluster on the machine, and is printed beside it.
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


ROTATE = {"angle": "0.5", "interpolation": "bilinear"}
ROTATE_ARGS = ["-s", "angle=0.5", "-s", "interpolation=bilinear"]

# One half of the frames through the batch runner's own per-frame function, in a process of its own;
# it reports when it is ready and starts on a line from its parent, so the two halves start together.
HALF = """
import os, sys, time
from dravo.batch import process_frame
src, dst, part = sys.argv[1], sys.argv[2], int(sys.argv[3])
names = sorted(os.listdir(src))[part::2]
print("ready", flush=True)
sys.stdin.readline()
cpu = time.process_time()
for n in names:
    name, err = process_frame("rotate", {"angle": "0.5", "interpolation": "bilinear"}, {}, False,
                              os.path.join(src, n), os.path.join(dst, n))
    assert err is None, err
print(time.process_time() - cpu, flush=True)
"""


def process_cpu():
    return time.process_time()


def load_average():
    try:
        with open("/proc/loadavg") as f:
            return float(f.read().split()[0])
    except OSError:
        return float("nan")


def batch(frames, size, rounds):
    """Each round times, one after the other: the plain loop a user writes (dravo.load, run, save), the
    batch runner's per-frame function in a loop, two processes each doing half of that loop (what two
    cores can give at best), the local cluster once it is running, and the batch command with its
    cluster's start. The best of the rounds is reported."""
    from dravo.batch import local_cluster, process_frame, run_batch

    # Frames in memory-backed storage where there is some, so the figures measure the blocks and the
    # cluster rather than the disk's write-back; each phase's outputs are removed before the next.
    shm = "/dev/shm" if os.path.isdir("/dev/shm") else None
    with tempfile.TemporaryDirectory(dir=shm) as tmp:
        src = os.path.join(tmp, "in")
        os.mkdir(src)
        rng = np.random.default_rng(2)
        for k in range(frames):
            np.save(os.path.join(src, f"f{k:04d}.npy"), rng.random((size, size)))
        names = sorted(os.listdir(src))
        out = os.path.join(tmp, "out")

        def user_loop():
            cpu = time.process_time()
            os.mkdir(out)
            for n in names:
                dravo.save(os.path.join(out, n), dravo.run("rotate", dravo.load(os.path.join(src, n)), **ROTATE))
            return None, time.process_time() - cpu

        def task_loop():
            cpu = time.process_time()
            os.mkdir(out)
            for n in names:
                assert process_frame("rotate", ROTATE, {}, False, os.path.join(src, n), os.path.join(out, n))[1] is None
            return None, time.process_time() - cpu

        def two_processes():
            os.mkdir(out)
            ps = [subprocess.Popen([sys.executable, "-c", HALF, src, out, str(k)], stdin=subprocess.PIPE,
                                   stdout=subprocess.PIPE, text=True) for k in (0, 1)]
            for p in ps:
                assert p.stdout.readline().strip() == "ready"
            t = time.perf_counter()
            for p in ps:
                p.stdin.write("go\n")
                p.stdin.flush()
            cpu = sum(float(p.stdout.readline()) for p in ps)
            for p in ps:
                p.wait()
                assert p.returncode == 0
            return time.perf_counter() - t, cpu

        def running_cluster():
            client, lc = local_cluster(2)
            with lc, client:
                client.run(lambda: __import__("dravo").run("rotate", np.zeros((8, 8)), angle=0.5))
                workers = client.run(process_cpu)
                cpu = time.process_time()
                t = time.perf_counter()
                with open(os.devnull, "w") as quiet:
                    done, _, failures = run_batch("rotate", ROTATE, src, out, client=client, stream=quiet)
                elapsed = time.perf_counter() - t
                # The workers' processes, and this one's scheduler and client.
                cpu = time.process_time() - cpu + sum(v - workers[k] for k, v in client.run(process_cpu).items())
            assert done == frames and not failures
            return elapsed, cpu

        def batch_command():
            p = subprocess.run([sys.executable, "-m", "dravo.batch", "rotate", *ROTATE_ARGS, src, out, "--workers", "2"],
                               capture_output=True, text=True)
            if p.returncode != 0:
                print(p.stderr, file=sys.stderr)
                sys.exit(1)

        phases = [("loop (dravo.load, run, save)", user_loop), ("loop of the batch task", task_loop),
                  ("two processes, half each", two_processes), ("cluster of 2, running", running_cluster),
                  ("batch command, with start", batch_command)]
        best = {name: float("inf") for name, _ in phases}
        cpu_best = {name: float("inf") for name, _ in phases}
        loads = []
        for r in range(rounds):
            loads.append(load_average())
            for name, f in phases:
                t = time.perf_counter()
                elapsed, cpu = f() or (None, float("nan"))
                elapsed = elapsed or time.perf_counter() - t
                shutil.rmtree(out)
                best[name] = min(best[name], elapsed)
                counted = cpu == cpu  # the batch command's workers are not this process's children
                if counted:
                    cpu_best[name] = min(cpu_best[name], cpu)
                cpu_text = f", processor time {cpu:6.2f} s" if counted else ""
                print(f"  round {r + 1}: {name:32s} {elapsed:6.2f} s{cpu_text} (load {load_average():.1f})",
                      file=sys.stderr, flush=True)
        loads.append(load_average())
        loop, task = best[phases[0][0]], best[phases[1][0]]
        print(f"batch {frames} frames {size}x{size}, best of {rounds} interleaved rounds "
              f"(1-minute load {min(loads):.1f} to {max(loads):.1f}):")
        for name, _ in phases:
            t, cpu = best[name], cpu_best[name]
            cpu_text = f"  processor time {cpu / frames * 1e3:6.1f} ms/frame" if cpu != float("inf") else ""
            print(f"  {name:32s} {t:6.2f} s  {t / frames * 1e3:6.1f} ms/frame  {loop / t:5.2f}x the loop  "
                  f"{task / t:5.2f}x the task loop{cpu_text}")


if __name__ == "__main__":
    ap = argparse.ArgumentParser()
    ap.add_argument("--frames", type=int, default=200)
    ap.add_argument("--size", type=int, default=1024)
    ap.add_argument("--rounds", type=int, default=3)
    ap.add_argument("--skip-batch", action="store_true")
    ap.add_argument("--skip-overhead", action="store_true")
    a = ap.parse_args()
    if not a.skip_overhead:
        overhead()
    if not a.skip_batch:
        batch(a.frames, a.size, a.rounds)
