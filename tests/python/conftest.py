"""Shared by the Python module's tests: the runner binary to compare with,
and the repository's root. CTest passes both in the environment."""

import os
import subprocess

import matplotlib
import pytest

matplotlib.use("Agg")

ROOT = os.environ.get("IMPACTSIM_SOURCE_DIR",
                      os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))))


@pytest.fixture(scope="session")
def impactsim_cli():
    """Runs the impactsim binary; returns its completed process (stdout as text)."""
    binary = os.environ.get("IMPACTSIM_BINARY", os.path.join(ROOT, "build", "bin", "impactsim"))
    assert os.access(binary, os.X_OK), f"no impactsim binary at {binary}"

    def call(*args):
        done = subprocess.run([binary, *map(str, args)], capture_output=True, text=True)
        assert done.returncode == 0, done.stderr
        return done

    call.binary = binary
    return call
