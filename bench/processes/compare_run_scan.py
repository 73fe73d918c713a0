#!/usr/bin/env python3
"""Whole processes of two engine builds, alternating (A B, B A, ...): the median of the
per-pair ratios B / A of wall and processor time, and whether the profiles are byte-identical.

Build the driver against each tree's static core (in each tree, after
`cmake --build build/default --target fringe_scan`):

    g++ -O2 -std=c++20 -I$T -I$T/scan -I$T/scan/include [-DWITH_HWY] bench/processes/run_scan_15.cpp \
        $T/build/default/scan/libfringe_scan.a $T/build/default/common/libfringe_common.a [-lhwy] -o run_scan_15

and run, with the picture and the parameter file on a tmpfs:

    compare_run_scan.py PAIRS A B /dev/shm/x/sim00.bmp /dev/shm/x/scnmod.ini
"""
import os
import statistics
import sys
import time


def run(exe, args, out):
    start = time.perf_counter()
    pid = os.spawnv(os.P_NOWAIT, exe, [exe, args[0], args[1], out] + args[2:])
    _, status, usage = os.wait4(pid, 0)
    if status != 0:
        sys.exit(f"{exe} failed")
    return time.perf_counter() - start, usage.ru_utime + usage.ru_stime


def main():
    pairs, a, b, args = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4:]
    folder = os.path.dirname(os.path.abspath(args[0]))
    outs = {a: os.path.join(folder, "profile_a.txt"), b: os.path.join(folder, "profile_b.txt")}
    wall = {a: [], b: []}
    cpu = {a: [], b: []}
    for i in range(pairs):
        for exe in (a, b) if i % 2 == 0 else (b, a):
            w, c = run(exe, args, outs[exe])
            wall[exe].append(w)
            cpu[exe].append(c)
    ratio = statistics.median(y / x for x, y in zip(wall[a], wall[b]))
    cpu_ratio = statistics.median(y / x for x, y in zip(cpu[a], cpu[b]))
    print(f"{pairs} pairs: wall A {statistics.median(wall[a]) * 1000:.1f} ms, B {statistics.median(wall[b]) * 1000:.1f} ms,"
          f" B/A {ratio:.3f}; processor A {statistics.median(cpu[a]) * 1000:.1f} ms,"
          f" B {statistics.median(cpu[b]) * 1000:.1f} ms, B/A {cpu_ratio:.3f}")
    with open(outs[a], "rb") as fa, open(outs[b], "rb") as fb:
        print("profiles byte-identical" if fa.read() == fb.read() else "PROFILES DIFFER")


if __name__ == "__main__":
    main()
