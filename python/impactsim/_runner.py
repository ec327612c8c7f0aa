"""The "impactsim" command of a pip install: the runner built with the
module, started in place of the Python process with the same arguments, so
that its output, exit status and signals are the runner's own."""

import os
import sys


def main():
    """Replaces this process by the runner in the package's bin/."""
    runner = os.path.join(os.path.dirname(os.path.abspath(__file__)), "bin", "impactsim")
    if not os.access(runner, os.X_OK):
        sys.stderr.write(f"impactsim: the runner {runner} is missing: "
                         "this installation of the package has no command-line runner\n")
        return 1
    os.execv(runner, [runner] + sys.argv[1:])
    return 1  # not reached: execv returns only by raising


if __name__ == "__main__":
    sys.exit(main())
