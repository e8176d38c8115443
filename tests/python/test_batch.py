"""The batch runner on a local cluster: a bad frame in the middle, the others written, --resume."""
import os
import subprocess
import sys

import numpy as np


def batch(*args):
    env = dict(os.environ)
    return subprocess.run([sys.executable, "-m", "dravo.batch", *map(str, args)], capture_output=True,
                          text=True, env=env, timeout=600)


def test_batch_with_a_bad_frame_then_resume(tmp_path, rng, cli):
    src, dst = tmp_path / "in", tmp_path / "out"
    src.mkdir()
    frames = {}
    # Element types and memory orders the runner reads and writes itself, and one it leaves to dravo.load.
    kinds = [("f8", "C"), ("f4", "F"), ("u1", "C"), ("i2", "F"), ("u4", "C"), ("f8", "F"), (">f8", "C")]
    for k, (dtype, order) in enumerate(kinds):
        name = f"frame_{k:02d}.npy"
        frames[name] = np.asarray(rng.random((12, 9)) * 200, order=order).astype(dtype, order=order)
        np.save(src / name, frames[name])
    (src / "frame_03.npy").write_bytes(b"\x93NUMPY not really")  # corrupt, in the middle
    (src / "notes.txt").write_text("not a frame")

    p = batch("rotate", "-s", "angle=0.25", "-s", "interpolation=bilinear", src, dst, "--workers", "2")
    assert p.returncode == 1, p.stderr
    assert "frame_03.npy" in p.stderr and "[dravo::cli::malformedFile]" in p.stderr
    written = sorted(os.listdir(dst))
    assert written == sorted(n for n in frames if n != "frame_03.npy")
    for n in written:
        cli("run", "rotate", "-s", "angle=0.25", "-s", "interpolation=bilinear", "-i", src / n, "-o", tmp_path / n)
        assert (dst / n).read_bytes() == (tmp_path / n).read_bytes(), n

    before = {n: os.stat(dst / n).st_mtime_ns for n in written}
    np.save(src / "frame_03.npy", frames["frame_03.npy"])
    p = batch("rotate", "-s", "angle=0.25", "-s", "interpolation=bilinear", src, dst, "--workers", "2", "--resume")
    assert p.returncode == 0, p.stderr
    assert "1 written, 6 skipped, 0 failed" in p.stderr
    assert all(os.stat(dst / n).st_mtime_ns == t for n, t in before.items())
    cli("run", "rotate", "-s", "angle=0.25", "-s", "interpolation=bilinear", "-i", src / "frame_03.npy",
        "-o", tmp_path / "frame_03.npy")
    assert (dst / "frame_03.npy").read_bytes() == (tmp_path / "frame_03.npy").read_bytes()


def test_batch_usage_errors(tmp_path):
    (tmp_path / "in").mkdir()
    assert batch("rotate", "-s", "angle", tmp_path / "in", tmp_path / "out").returncode == 2
    assert batch("rotate", "-s", "noSuchThing=1", tmp_path / "in", tmp_path / "out").returncode == 2
    assert batch("no-such-block", tmp_path / "in", tmp_path / "out").returncode == 2
    assert batch("rotate", tmp_path / "missing", tmp_path / "out").returncode == 2
    p = batch("--help")
    assert p.returncode == 0 and "--resume" in p.stdout
