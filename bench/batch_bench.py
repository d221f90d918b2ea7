#!/usr/bin/python3
"""Whole-process batch benchmark of quadfind-cli.

Times, in one run and on the same files (warm page cache, median of several
runs): quadfind-cli with and without overlays, with one job and with the
default, against cp and cat of the same files and against the same job
written with Python and OpenCV (batch_opencv.py). Then peak memory as the
batch grows. Prints the ratios next to their goals; it reports, it does not
fail.

usage: batch_bench.py QUADFIND_CLI WORK_FOLDER
"""
import os
import shutil
import statistics
import subprocess
import sys
import time

import cv2
import numpy as np

PICTURES = 40
WIDTH, HEIGHT = 1920, 480
RUNS = 7
HERE = os.path.dirname(os.path.abspath(__file__))


def make_pictures(folder, count):
    """Dark pictures with one bright quadrilateral each, placed at random."""
    os.makedirs(folder, exist_ok=True)
    rng = np.random.default_rng(14)
    names = []
    for i in range(count):
        name = os.path.join(folder, f"p{i:04d}.bmp")
        names.append(name)
        if os.path.exists(name):
            continue
        picture = np.full((HEIGHT, WIDTH, 3), 16, np.uint8)
        x, y = int(rng.integers(10, 1000)), int(rng.integers(10, 200))
        corners = np.array([[x, y], [x + 700, y + 30], [x + 650, y + 250], [x - 5, y + 200]], np.int32)
        cv2.fillPoly(picture, [corners], (200, 180, 160))
        cv2.imwrite(name, picture)
    return names


def run(command, out_folder=None):
    """Wall time of one run of `command`."""
    if out_folder:
        shutil.rmtree(out_folder, ignore_errors=True)
        os.makedirs(out_folder)
    with open(os.devnull, "wb") as null:
        start = time.perf_counter()
        status = subprocess.call(command, stdout=null)
        seconds = time.perf_counter() - start
    if status != 0:
        sys.exit(f"failed ({status}): {' '.join(command[:4])} ...")
    return seconds


def peak_kb(command, out_folder=None):
    """Peak resident memory of `command`. Through /usr/bin/time: a child
    forked from this process would report this process's own peak."""
    if out_folder:
        shutil.rmtree(out_folder, ignore_errors=True)
        os.makedirs(out_folder)
    with open(os.devnull, "wb") as null:
        report = subprocess.run(["/usr/bin/time", "-f", "%M"] + command, stdout=null, stderr=subprocess.PIPE,
                                check=True, text=True).stderr
    return int(report.split()[-1])


def median_time(command, out_folder=None):
    run(command, out_folder)  # warms the page cache and the libraries
    return statistics.median(run(command, out_folder) for _ in range(RUNS))


def main():
    cli, work = sys.argv[1], os.path.abspath(sys.argv[2])
    pictures = make_pictures(os.path.join(work, "pictures"), PICTURES)
    out = os.path.join(work, "out")
    python = [sys.executable, os.path.join(HERE, "batch_opencv.py"), out]

    t = {
        "cp": median_time(["cp"] + pictures + [out], out),
        # What --sync asks for besides copying: each file is on the disk
        # before its name appears.
        "cp, then sync the copies": median_time(
            ["sh", "-c", 'cp "$@" "$0" && sync "$0"/*', out] + pictures, out),
        "cat": median_time(["sh", "-c", 'exec cat "$@" > /dev/null', "cat"] + pictures),
        "overlays": median_time([cli, "--overlay", out] + pictures, out),
        "overlays, --jobs 1": median_time([cli, "--jobs", "1", "--overlay", out] + pictures, out),
        "overlays, --sync": median_time([cli, "--sync", "--overlay", out] + pictures, out),
        "no overlays": median_time([cli] + pictures),
        "no overlays, --jobs 1": median_time([cli, "--jobs", "1"] + pictures),
        "Python + OpenCV": median_time(python + pictures, out),
    }
    print(f"quadfind-cli batch: {PICTURES} pictures of {WIDTH} x {HEIGHT}, 24-bit BMP "
          f"({PICTURES * (WIDTH * HEIGHT * 3 + 54) / 1e6:.0f} MB), median of {RUNS} runs, "
          f"{os.cpu_count()} cores")
    for name, seconds in t.items():
        print(f"  {name:24s} {seconds * 1000:8.1f} ms  {seconds * 1000 / PICTURES:6.2f} ms a picture")
    goals = [
        ("overlays / cp", t["overlays"] / t["cp"], "at most 2"),
        ("--sync / (cp, then sync)", t["overlays, --sync"] / t["cp, then sync the copies"], ""),
        ("overlays / Python + OpenCV", t["overlays"] / t["Python + OpenCV"], "at most 0.05"),
        ("no overlays / cat", t["no overlays"] / t["cat"], "at most 1.5"),
        ("--jobs 1 / default, overlays", t["overlays, --jobs 1"] / t["overlays"], ""),
    ]
    for name, ratio, goal in goals:
        print(f"  {name:30s} {ratio:6.2f}  {goal}")

    # Memory as the batch grows: the same pictures listed again and again
    # (without overlays, whose names would clash), and more distinct
    # pictures with overlays.
    print("peak memory (ru_maxrss)")
    for count in (10, 40, 400, 4000):
        listing = os.path.join(work, f"list{count}")
        with open(listing, "w") as f:
            f.writelines(pictures[i % PICTURES] + "\n" for i in range(count))
        kb = peak_kb([cli, "--files-from", listing])
        print(f"  {count:5d} pictures, no overlays:  {kb / 1024:7.1f} MB")
    for count in (10, PICTURES):
        kb = peak_kb([cli, "--overlay", out] + pictures[:count], out)
        print(f"  {count:5d} pictures, overlays:     {kb / 1024:7.1f} MB")
    shutil.rmtree(out, ignore_errors=True)


if __name__ == "__main__":
    main()
