#!/usr/bin/python3
"""A five-block model on 1024 x 1024 frames, run three ways on the same frames:

  model     `dravo model run` (every block in one process, connections passed in memory)
  one-by-one  the same five blocks as five `dravo run` commands per frame, .npy files between them
  program   the model's generated C (`dravo model codegen`, built with -O2) running its main on .npy files

The model: uint8 frame -> convert to single -> contrast stretch (histogram) -> rotate 0.3 rad bilinear
(same size) -> pad 8 on every side -> convert to uint8. Each way is run for 1 and for STEPS frames; the
time per step is (t(STEPS) - t(1)) / (STEPS - 1), so set-up and start-up are left out. Memory is the
process's peak resident size (the largest of the five for one-by-one, which holds nothing between steps
but the intermediate files, whose size is printed too). Every way's outputs are checked equal.

    bench/model/model_bench.py --dravo build/bin/dravo [--steps 5] [--size 1024] [--repeat 3]
"""
import argparse
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time

import numpy as np

BLOCKS = [
    ("c", "convert", {"outputDataType": "single"}),
    ("k", "contrast", {"inputRangeMode": "histogram"}),
    ("r", "rotate", {"angle": 0.3, "interpolation": "bilinear", "outputSize": "same as input"}),
    ("p", "pad", {"method": "constant", "padValue": 0, "rowsPadSize": 8, "colsPadSize": 8}),
    ("u", "convert", {"outputDataType": "uint8"}),
]


def run(cmd):
    """Wall time and peak resident memory (bytes) of one command, which must succeed. The memory comes
    from GNU time: a child forked from this Python process would report Python's own size."""
    with tempfile.NamedTemporaryFile("r", suffix=".rss") as rss:
        t0 = time.perf_counter()
        proc = subprocess.run(["/usr/bin/time", "-f", "%M", "-o", rss.name] + cmd, stdout=subprocess.DEVNULL,
                              stderr=subprocess.PIPE)
        elapsed = time.perf_counter() - t0
        if proc.returncode != 0:
            sys.exit("failed: %s\n%s" % (" ".join(cmd), proc.stderr.decode()))
        return elapsed, int(rss.read().split()[-1]) * 1024


def frames(folder, count, size):
    os.makedirs(folder, exist_ok=True)
    rng = np.random.default_rng(7)
    r, c = np.mgrid[0:size, 0:size]
    names = []
    for k in range(count):
        img = (60 + 100 * (c + 13 * k) / size + 20 * np.sin(r / 37.0)).astype(np.float64)
        img += rng.normal(0, 6, img.shape)
        name = os.path.join(folder, "f%02d.npy" % k)
        np.save(name, np.clip(img, 0, 255).astype(np.uint8))
        names.append(name)
    return names


def model_json(inputs, output):
    return {"blocks": {n: {"block": b, "params": p} for n, b, p in BLOCKS},
            "connections": [["%s.0" % a[0], "%s.0" % b[0]] for a, b in zip(BLOCKS, BLOCKS[1:])],
            "inputs": {"c.0": inputs}, "outputs": {"u.0": output}}


def way_model(dravo, work, names, tag):
    folder = os.path.join(work, "model_" + tag)
    os.makedirs(folder)
    path = os.path.join(folder, "model.json")
    with open(path, "w") as f:
        json.dump(model_json(names, "out.npy"), f)
    t, mem = run([dravo, "model", "run", path])
    outs = sorted(os.path.join(folder, n) for n in os.listdir(folder) if n.startswith("out"))
    return t, mem, outs


def way_one_by_one(dravo, work, names, tag):
    folder = os.path.join(work, "cli_" + tag)
    os.makedirs(folder)
    total, peak, held, outs = 0.0, 0, 0, []
    for k, frame in enumerate(names):
        src = frame
        for n, block, params in BLOCKS:
            dst = os.path.join(folder, "%s_%02d.npy" % (n, k))
            cmd = [dravo, "run", block, "-i", src, "-o", dst]
            for key, value in params.items():
                cmd += ["-s", "%s=%s" % (key, value)]
            t, mem = run(cmd)
            total += t
            peak = max(peak, mem)
            if n != BLOCKS[-1][0]:
                held += os.path.getsize(dst) if k == 0 else 0  # one frame's files
            src = dst
        outs.append(src)
    return total, peak, outs, held


def way_program(dravo, work, names, tag, cc):
    folder = os.path.join(work, "prog_" + tag)
    os.makedirs(folder)
    path = os.path.join(folder, "model.json")
    with open(path, "w") as f:
        json.dump(model_json(names, "out.npy"), f)
    code = os.path.join(folder, "code")
    run([dravo, "model", "codegen", path, "--out-dir", code])
    sources = [os.path.join(code, n) for n in sorted(os.listdir(code)) if n.endswith(".c")]
    prog = os.path.join(folder, "prog")
    subprocess.check_call([cc, "-std=c99", "-O2", "-ffp-contract=off", "-I", code, "-o", prog] + sources + ["-lm"])
    args = [prog, str(len(names))]
    outs = []
    for k, frame in enumerate(names):
        out = os.path.join(folder, "out_%02d.npy" % k)
        args += [frame, out]
        outs.append(out)
    t, mem = run(args)
    return t, mem, outs


def best(fn, repeat):
    results = [fn(i) for i in range(repeat)]
    return min(results, key=lambda r: r[0])


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--dravo", required=True)
    ap.add_argument("--steps", type=int, default=5)
    ap.add_argument("--size", type=int, default=1024)
    ap.add_argument("--repeat", type=int, default=3)
    ap.add_argument("--cc", default="cc")
    a = ap.parse_args()
    dravo = os.path.abspath(a.dravo)
    work = tempfile.mkdtemp(prefix="dravo-model-bench-")
    try:
        names = frames(os.path.join(work, "frames"), a.steps, a.size)
        rows = []
        results = {}
        for way in ("model", "one-by-one", "program"):
            per = {}
            for tag, subset in (("1", names[:1]), ("n", names)):
                def once(i, tag=tag, subset=subset):
                    t = "%s_%d" % (tag, i)
                    if way == "model":
                        return way_model(dravo, work, subset, t)
                    if way == "one-by-one":
                        return way_one_by_one(dravo, work, subset, t)
                    return way_program(dravo, work, subset, t, a.cc)
                per[tag] = best(once, a.repeat)
            step = (per["n"][0] - per["1"][0]) / (a.steps - 1)
            results[way] = per["n"][2]
            held = per["n"][3] if way == "one-by-one" else None
            rows.append((way, per["1"][0], per["n"][0], step, per["n"][1], held))
        # Every way computes the same frames.
        for k in range(a.steps):
            ref = np.load(results["one-by-one"][k])
            for way in ("model", "program"):
                got = np.load(results[way][k])
                if got.dtype != ref.dtype or got.shape != ref.shape or not np.array_equal(got, ref):
                    sys.exit("%s differs from one-by-one at step %d" % (way, k + 1))
        print("five blocks (%s), %dx%d uint8 frames, %d steps, best of %d" %
              (" -> ".join(b for _, b, _ in BLOCKS), a.size, a.size, a.steps, a.repeat))
        print("%-11s %10s %10s %12s %14s  %s" % ("way", "1 step s", "%d steps s" % a.steps, "per step ms",
                                               "peak RSS MiB", "held between steps"))
        base = rows[0][3]
        for way, t1, tn, step, mem, held in rows:
            note = "intermediate files %.1f MiB" % (held / 2**20) if held is not None else "in process"
            print("%-11s %10.3f %10.3f %12.1f %14.1f  %s (per step %.2fx model)" %
                  (way, t1, tn, step * 1e3, mem / 2**20, note, step / base if base > 0 else float("nan")))
        print("outputs equal in all three ways")
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
