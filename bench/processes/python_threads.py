#!/usr/bin/env python3
"""Two Python threads measuring side by side against one thread measuring the same runs one
after the other: the median over rounds of (time of one thread) / (time of two), each round
alternating the two ways. The target is 1.8 on two free cores: the module holds the
interpreter's lock only to take its arguments and to hand over its results.

    PYTHONPATH=build/default/python python3 bench/processes/python_threads.py [ROUNDS] [RUNS]

RUNS (default 16) measurements per way and round of the default workspace with noise 0.2, each
touching its residual map and statistics as a script would.
"""
import statistics
import sys
import tempfile
import threading
import time

import fringe


def measure(workspace, seeds):
    for seed in seeds:
        m = fringe.measure(workspace, seed=seed, noise=0.2)
        m.residual.sum()
        m.rms_um


def one_thread(workspace, runs):
    start = time.perf_counter()
    measure(workspace, range(runs))
    return time.perf_counter() - start


def two_threads(workspace, runs):
    halves = [range(0, runs, 2), range(1, runs, 2)]
    threads = [threading.Thread(target=measure, args=(workspace, half)) for half in halves]
    start = time.perf_counter()
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    return time.perf_counter() - start


def main():
    rounds = int(sys.argv[1]) if len(sys.argv) > 1 else 5
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 16
    with tempfile.TemporaryDirectory() as folder:
        workspace = fringe.init_workspace(folder)
        measure(workspace, range(4))  # each thread's context and the caches warm
        ratios = []
        for k in range(rounds):
            if k % 2 == 0:
                serial, parallel = one_thread(workspace, runs), two_threads(workspace, runs)
            else:
                parallel, serial = two_threads(workspace, runs), one_thread(workspace, runs)
            ratios.append(serial / parallel)
            print(f"round {k}: one thread {1000 * serial / runs:.1f} ms a run, two {1000 * parallel / runs:.1f} ms,"
                  f" speed-up {serial / parallel:.2f}")
    print(f"median speed-up of two threads over {rounds} rounds: {statistics.median(ratios):.2f}")


if __name__ == "__main__":
    main()
