#!/usr/bin/env python3
"""impactsim.sweep against "impactsim sweep": the same 1000 default halvorn
runs on two threads, timed in turn several times; the minimum of each is
reported with their ratio (the machine may be shared, and the minimum is the
time least disturbed by others).

    ./scripts/run python3 bench/python_sweep_bench.py [--repeats 5] [--seeds 1000] [--jobs 2]

The runner's time is that of the whole process, as a user would run it, with
its rows written to /dev/null; the module's is that of the call, its rows
made into a DataFrame.
"""

import argparse
import os
import subprocess
import time

import impactsim

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--repeats", type=int, default=5)
    parser.add_argument("--seeds", type=int, default=1000)
    parser.add_argument("--jobs", type=int, default=2)
    parser.add_argument("--impactsim", default=os.path.join(ROOT, "build", "bin", "impactsim"))
    args = parser.parse_args()

    command = [args.impactsim, "sweep", "--seeds", f"0-{args.seeds - 1}", "--jobs",
               str(args.jobs), "--quiet"]
    cli, module = [], []
    for _ in range(args.repeats):
        started = time.perf_counter()
        with open(os.devnull, "wb") as devnull:
            subprocess.run(command, stdout=devnull, check=True)
        cli.append(time.perf_counter() - started)

        started = time.perf_counter()
        df = impactsim.sweep(seeds=range(args.seeds), jobs=args.jobs)
        module.append(time.perf_counter() - started)
        assert len(df) == args.seeds

    print(f"{args.seeds} default halvorn runs, jobs={args.jobs}, {args.repeats} repeats")
    print(f"impactsim sweep (CLI):  min {min(cli):.3f} s   all {' '.join(f'{t:.3f}' for t in cli)}")
    print(f"impactsim.sweep:        min {min(module):.3f} s   all "
          f"{' '.join(f'{t:.3f}' for t in module)}")
    print(f"ratio module / CLI (min): {min(module) / min(cli):.3f}")


if __name__ == "__main__":
    main()
