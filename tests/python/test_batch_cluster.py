"""The batch runner's local cluster and its handling of tasks, on one cluster of two workers."""

import numpy as np
import pytest

from dravo.batch import FrameFailed, _failure, local_cluster, run_batch

# A 1024x1024 rotation faults in about 22,000 fresh pages when freed buffers go back to the system.
FAULTS_PER_RUN_LIMIT = 1500


@pytest.fixture(scope="module")
def client():
    c, cluster = local_cluster(2)
    with cluster, c:
        yield c


def test_workers_keep_freed_frames_and_run_one_task_at_a_time(client):
    def faults_per_run():
        import resource

        import dravo

        frame = np.random.default_rng(3).random((1024, 1024))
        for _ in range(2):
            dravo.run("rotate", frame, angle=0.5, interpolation="bilinear")
        before = resource.getrusage(resource.RUSAGE_SELF).ru_minflt
        for _ in range(3):
            dravo.run("rotate", frame, angle=0.5, interpolation="bilinear")
        return (resource.getrusage(resource.RUSAGE_SELF).ru_minflt - before) / 3

    faults = client.run(faults_per_run)
    assert len(faults) == 2 and all(f < FAULTS_PER_RUN_LIMIT for f in faults.values()), faults
    assert sorted(client.nthreads().values()) == [1, 1]


def _refuse(*_):
    raise FrameFailed("f.npy", "dravo::cli::malformedFile", "bad magic")


def _break(*_):
    raise RuntimeError("the worker gave up")


@pytest.mark.parametrize("task, expected", [
    (_refuse, ("f.npy", "dravo::cli::malformedFile", "bad magic")),
    (_break, ("g.npy", "RuntimeError", "the worker gave up")),
    (None, ("g.npy", "CancelledError", None)),
])
def test_unfinished_tasks_are_reported_with_their_frame(client, task, expected):
    from dask.distributed import wait

    if task is None:
        fut = client.submit(__import__("time").sleep, 30, pure=False)
        fut.cancel()
    else:
        fut = client.submit(task, pure=False)
        wait(fut)
    name, cls, text = _failure(fut, "g.npy")
    assert (name, cls) == expected[:2]
    assert text == expected[2] if expected[2] else text


@pytest.mark.parametrize("layout", ["every output written", "no frames"])
def test_nothing_to_do_starts_no_cluster(tmp_path, layout):
    src, dst = tmp_path / "in", tmp_path / "out"
    src.mkdir()
    dst.mkdir()
    (src / "notes.txt").write_text("not a frame")
    if layout == "every output written":
        for n in ("a.npy", "b.png"):
            (src / n).write_bytes(b"x")
            (dst / n).write_bytes(b"y")
    # Nothing listens there: connecting would fail.
    done, skipped, failures = run_batch("rotate", {}, str(src), str(dst), scheduler="tcp://127.0.0.1:9",
                                        resume=True)
    assert (done, skipped, failures) == (0, 2 if layout == "every output written" else 0, [])
