"""The kernel choice at import: IMPACTSIM_KERNEL, where set, must name a
kernel this processor runs, as for the programs; otherwise the import fails
with the runner's one-line problem."""

import os
import subprocess
import sys

import pytest


def import_with_kernel(value):
    env = dict(os.environ, IMPACTSIM_KERNEL=value)
    return subprocess.run([sys.executable, "-c", "import impactsim"], env=env,
                          capture_output=True, text=True)


@pytest.mark.parametrize("value", ["avx9", "SCALAR"])
def test_a_kernel_the_processor_lacks_fails_the_import(value):
    done = import_with_kernel(value)
    assert done.returncode != 0
    assert done.stderr.splitlines()[-1] == (
        f"ImportError: IMPACTSIM_KERNEL={value}: not a kernel this processor runs")


def test_a_kernel_it_runs_is_taken():
    assert import_with_kernel("scalar").returncode == 0
