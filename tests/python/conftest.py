import os
import subprocess

import numpy as np
import pytest

DRAVO_BIN = os.environ.get("DRAVO_BIN", "dravo")


def run_cli(*args, check=True):
    """Runs the dravo command line; returns the CompletedProcess."""
    p = subprocess.run([DRAVO_BIN, *map(str, args)], capture_output=True, text=True)
    if check and p.returncode != 0:
        raise AssertionError(f"dravo {' '.join(map(str, args))} exited {p.returncode}: {p.stderr}")
    return p


@pytest.fixture
def cli():
    return run_cli


@pytest.fixture
def rng():
    return np.random.default_rng(20261208)
