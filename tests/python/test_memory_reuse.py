"""Repeated runs on frames of one size reuse the process's memory instead of faulting in fresh pages for
every run, from the main thread and from other threads alike (batch workers run tasks on a thread)."""
import resource
import threading

import numpy as np
import pytest

import dravo

# A 1024x1024 rotation touches about 90 MB of fresh pages (22,000 faults) per run when nothing is kept.
FAULTS_PER_RUN_LIMIT = 1500


def faults_per_run(runs, frame):
    for _ in range(2):  # let the first runs size the heap
        dravo.run("rotate", frame, angle=0.5, interpolation="bilinear")
    before = resource.getrusage(resource.RUSAGE_SELF).ru_minflt
    for _ in range(runs):
        dravo.run("rotate", frame, angle=0.5, interpolation="bilinear")
    return (resource.getrusage(resource.RUSAGE_SELF).ru_minflt - before) / runs


@pytest.mark.parametrize("where", ["main thread", "other thread"])
def test_repeated_runs_reuse_memory(rng, where):
    frame = rng.random((1024, 1024))
    result = {}
    if where == "main thread":
        result["faults"] = faults_per_run(5, frame)
    else:
        t = threading.Thread(target=lambda: result.update(faults=faults_per_run(5, frame)))
        t.start()
        t.join()
    assert result["faults"] < FAULTS_PER_RUN_LIMIT

