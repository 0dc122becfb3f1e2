#!/usr/bin/python3
"""The four conversions of an 8192x8192 image through the Python module qyn, against the
same conversions in C++ (bench_convert's first runs into new destinations, run here in
the same session) and against OpenCV's Python module on the same arrays.

Every qyn call makes new destination arrays, as bench_convert's first-run table does with
new slots, so both include the page faults of the new image.

  bench_python.py --bench-convert BUILD/bench/bench_convert [--scale S]
  (PYTHONPATH=BUILD/python; cmake --build BUILD --target bench_python runs it)
"""

import argparse
import os
import re
import statistics
import subprocess
import time

import cv2
import numpy as np

import qyn

SIDE = 8192


def timed(repetitions, call):
    """Median and minimum in ms, after one untimed run."""
    call()
    times = []
    for _ in range(repetitions):
        start = time.perf_counter()
        call()
        times.append((time.perf_counter() - start) * 1e3)
    return statistics.median(times), min(times)


def cpp_first_runs(bench_convert, scale):
    """bench_convert's table of first runs into new destinations at 8192x8192:
    conversion -> (ours ms, OpenCV ms), medians."""
    output = subprocess.run([bench_convert, str(scale)], check=True, capture_output=True, text=True).stdout
    first = output[output.index("First run into new destinations"):]
    rows = {}
    for match in re.finditer(r"^\| (\w[\w ]*?)\s+\| +([\d.]+) / +[\d.]+ \| [\w+]+ +\| +([\d.]+) /", first, re.M):
        rows[match.group(1)] = (float(match.group(2)), float(match.group(3)))
    return output.splitlines()[0], rows


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--bench-convert", required=True)
    parser.add_argument("--scale", type=float, default=1.0, help="repetition scale for both")
    args = parser.parse_args()
    repetitions = max(3, round(6 * args.scale))
    cores = os.cpu_count()
    cv2.setNumThreads(cores)

    rng = np.random.default_rng(1)
    colour = rng.integers(0, 256, (SIDE, SIDE, 4), dtype=np.uint8)
    colour[..., 3] = 0
    red, green, blue = (rng.integers(0, 256, (SIDE, SIDE), dtype=np.uint8) for _ in range(3))
    zero = np.zeros((SIDE, SIDE), np.uint8)
    weights = (299 * 0.001, 587 * 0.001, 144 * 0.001)
    table = qyn.standard_table()
    lut = np.array(table, np.int32)
    # cv2.transform rounds a float sum: the nearest OpenCV call, not bit for bit the same.
    matrix = np.array([[weights[2], weights[1], weights[0], 0]], np.float32)

    cases = [
        ("compose", lambda: qyn.compose(red, green, blue), "merge", lambda: cv2.merge([blue, green, red, zero])),
        ("decompose", lambda: qyn.decompose(colour), "split", lambda: cv2.split(colour)),
        ("to gray", lambda: qyn.gray(colour, weights), "transform", lambda: cv2.transform(colour, matrix)),
        ("to colour", lambda: qyn.color(red), "LUT", lambda: cv2.LUT(red, lut)),
    ]
    exact = {
        "compose": np.array_equal(qyn.compose(red, green, blue), cv2.merge([blue, green, red, zero])),
        "decompose": all(np.array_equal(a, b) for a, b in zip(qyn.decompose(colour), cv2.split(colour)[2::-1])),
        "to gray": np.array_equal(qyn.gray(colour, weights), cv2.transform(colour, matrix)),
        "to colour": np.array_equal(qyn.color(red).view(np.int32)[..., 0], cv2.LUT(red, lut)),
    }
    measured = [(name, timed(repetitions, ours), route, timed(repetitions, peer)) for name, ours, route, peer in cases]
    cpu, cpp = cpp_first_runs(args.bench_convert, args.scale)

    print(f"{cpu}; numpy {np.__version__}, cv2 {cv2.__version__}, {cores} threads each")
    print(f"8192x8192, new destinations every call; ms median / minimum of {repetitions}\n")
    print("| conversion | qyn ms | C++ ms | qyn/C++ | cv2 route | cv2 ms | cv2/qyn | OpenCV/ours in C++ | cv2 same bytes |")
    print("|---|---|---|---|---|---|---|---|---|")
    for name, (ours, ours_min), route, (peer, peer_min) in measured:
        cpp_ours, cpp_opencv = cpp[name]
        print(f"| {name} | {ours:.2f} / {ours_min:.2f} | {cpp_ours:.2f} | {ours / cpp_ours:.2f} | {route} "
              f"| {peer:.2f} / {peer_min:.2f} | {peer / ours:.2f} | {cpp_opencv / cpp_ours:.2f} "
              f"| {'yes' if exact[name] else 'no'} |")


if __name__ == "__main__":
    main()
