#!/usr/bin/python3
"""Cost of a run on files: `dravo run` against the same job in Python with OpenCV, one thread each.

For rotate (4096 x 4096 double, 30 degrees, bilinear, trigonometric sine, expanded), pad (symmetric, 64
on every side) and convert (double to uint8) it times the whole command (load, compute, save) and its
peak resident memory, best of --repeat runs, and prints the ratios dravo / OpenCV. Goals: rotate at most
1.3x the wall time and 1.5x the peak memory; pad and convert of the same order.

    bench/cli/run_files_bench.py --dravo build/bin/dravo [--before /path/to/older/dravo] [--size 4096]
"""
import argparse
import math
import os
import subprocess
import sys
import tempfile

import numpy as np

ANGLE = math.pi / 6

# The peer jobs: load, compute, save, on one thread.
PEER_SCRIPTS = {
    "rotate": """
import sys, math, numpy as np, cv2
cv2.setNumThreads(1)
a = np.load(sys.argv[1])
rows, cols = a.shape
t = {angle}
out_rows = 2 * math.ceil((rows * math.cos(t) + cols * math.sin(t)) / 2)
out_cols = 2 * math.ceil((rows * math.sin(t) + cols * math.cos(t)) / 2)
m = cv2.getRotationMatrix2D(((cols - 1) / 2, (rows - 1) / 2), math.degrees(t), 1.0)
m[0, 2] += (out_cols - cols) / 2
m[1, 2] += (out_rows - rows) / 2
b = cv2.warpAffine(a, m, (out_cols, out_rows), flags=cv2.INTER_LINEAR, borderMode=cv2.BORDER_CONSTANT, borderValue=0)
np.save(sys.argv[2], b)
""".replace("{angle}", repr(ANGLE)),
    "pad": """
import sys, numpy as np, cv2
cv2.setNumThreads(1)
a = np.load(sys.argv[1])
b = cv2.copyMakeBorder(a, 64, 64, 64, 64, cv2.BORDER_REFLECT)
np.save(sys.argv[2], b)
""",
    "convert": """
import sys, numpy as np, cv2
cv2.setNumThreads(1)
a = np.load(sys.argv[1])
b = cv2.convertScaleAbs(a, alpha=255.0)
np.save(sys.argv[2], b)
""",
}

DRAVO_ARGS = {
    "rotate": ["rotate", "-s", "outputSize=expanded", "-s", "angleSource=dialog", "-s", "angle=%.17g" % ANGLE,
               "-s", "sineMethod=trigonometric", "-s", "interpolation=bilinear"],
    "pad": ["pad", "-s", "form=2-D", "-s", "method=symmetric", "-s", "sizeSpec=pad size", "-s", "rowsWhere=both",
            "-s", "rowsPadSize=64", "-s", "colsWhere=both", "-s", "colsPadSize=64"],
    "convert": ["convert", "-s", "outputDataType=uint8"],
}


def measure(cmd, env=None):
    """(wall seconds, peak resident MB) of one run, through /usr/bin/time."""
    with tempfile.NamedTemporaryFile(mode="r") as report:
        full = ["/usr/bin/time", "-o", report.name, "-f", "%e %M"] + cmd
        r = subprocess.run(full, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True, env=env)
        if r.returncode != 0:
            sys.exit("failed: %s\n%s" % (" ".join(cmd), r.stderr))
        wall, rss = report.read().split()[-2:]
        return float(wall), int(rss) / 1024.0


def best(cmd, repeat, env=None):
    runs = [measure(cmd, env) for _ in range(repeat)]
    return min(w for w, _ in runs), min(m for _, m in runs)


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--dravo", required=True)
    ap.add_argument("--before", help="an older dravo binary to compare with")
    ap.add_argument("--size", type=int, default=4096)
    ap.add_argument("--repeat", type=int, default=3)
    ap.add_argument("--jobs", default="rotate,pad,convert")
    args = ap.parse_args()

    with tempfile.TemporaryDirectory(prefix="dravo-bench-") as tmp:
        image = os.path.join(tmp, "in.npy")
        rng = np.random.default_rng(7)
        np.save(image, rng.random((args.size, args.size)))
        print("%d x %d double, best of %d; wall seconds and peak resident MB" % (args.size, args.size, args.repeat))
        print("%-8s %-8s %8s %8s %8s %8s" % ("job", "tool", "wall", "peak", "t/peer", "m/peer"))
        for job in args.jobs.split(","):
            script = os.path.join(tmp, job + "_peer.py")
            with open(script, "w") as f:
                f.write(PEER_SCRIPTS[job])
            peer = best(["/usr/bin/python3", script, image, os.path.join(tmp, "peer.npy")], args.repeat)
            print("%-8s %-8s %8.2f %8.0f" % (job, "opencv", peer[0], peer[1]))
            tools = [("dravo", args.dravo)] + ([("before", args.before)] if args.before else [])
            for name, binary in tools:
                env = dict(os.environ)
                # An older binary finds its own plug-ins and dialogs beside it.
                env.pop("DRAVO_PLUGIN_PATH", None)
                env.pop("DRAVO_DIALOG_PATH", None)
                cmd = [binary, "run"] + DRAVO_ARGS[job] + ["-i", image, "-o", os.path.join(tmp, "out.npy")]
                t = best(cmd, args.repeat, env)
                print("%-8s %-8s %8.2f %8.0f %8.2f %8.2f" % (job, name, t[0], t[1], t[0] / peer[0], t[1] / peer[1]))


if __name__ == "__main__":
    main()
