#!/usr/bin/python3
"""Times fringe.measure on the default settings (a 1280 x 1024 picture of the 7.5 mm sphere),
as bench/measurement.cpp times the core's measure(): the two figures side by side show what
the module adds to the core.

    PYTHONPATH=build/default/python /usr/bin/python3 python/bench_measure.py [REPEATS]
"""
import statistics
import sys
import tempfile
import time

import fringe


def main():
    repeats = int(sys.argv[1]) if len(sys.argv) > 1 else 30
    with tempfile.TemporaryDirectory() as folder:
        workspace = fringe.init_workspace(folder)
        for noise in (0.0, 0.5):
            fringe.measure(workspace, seed=1, noise=noise)  # the thread's context, made once
            times, cpu_times = [], []
            for _ in range(repeats):
                start, cpu_start = time.perf_counter(), time.process_time()
                fringe.measure(workspace, seed=1, noise=noise)
                times.append((time.perf_counter() - start) * 1000.0)
                cpu_times.append((time.process_time() - cpu_start) * 1000.0)
            # The processor time as well: on a machine shared with other work the
            # wall time says more about the others than about the measurement.
            print(f"fringe.measure noise {noise}: median {statistics.median(times):.1f} ms "
                  f"(processor {statistics.median(cpu_times):.1f} ms), min {min(times):.1f} ms "
                  f"over {repeats} runs")


if __name__ == "__main__":
    main()
