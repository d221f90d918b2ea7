#!/usr/bin/python3
"""quadfind-cli's batch job as a user would write it with Python and OpenCV.

For each picture: the blue channel's two 3 x 3 gradients (|S| div 4), an edge
where their sum is at least 1, the first and last edge pixel in raster order
as corners 1 and 3, the interior painted blue on black, the two diagonals, a
24-bit BMP overlay, and one line of figures on standard output. The
comparison the whole-process batch benchmark makes (batch_bench.py).

usage: batch_opencv.py OVERLAY_FOLDER PICTURE...
"""
import os
import sys

import cv2
import numpy as np

KY = np.array([[-1, -1, -1], [0, 0, 0], [1, 1, 1]], np.float32)
KX = np.array([[1, 0, -1], [1, 0, -1], [1, 0, -1]], np.float32)


def detect(path, out_folder):
    picture = cv2.imread(path, cv2.IMREAD_COLOR)
    if picture is None:
        raise OSError(f"cannot load {path}")
    h, w = picture.shape[:2]
    work = picture.copy()
    blue = picture[:, :, 0]
    sy = np.abs(cv2.filter2D(blue, cv2.CV_16S, KY, borderType=cv2.BORDER_REPLICATE)) >> 2
    sx = np.abs(cv2.filter2D(blue, cv2.CV_16S, KX, borderType=cv2.BORDER_REPLICATE)) >> 2
    mask = ((sy + sx) >= 1)[1:h - 1, 1:w - 1]
    inner = work[1:h - 1, 1:w - 1]
    inner[:] = 0
    inner[mask] = (255, 0, 0)
    points = cv2.findNonZero(mask.astype(np.uint8))
    first = last = (0, 0)
    count = 0 if points is None else len(points)
    if count:
        first = tuple(int(v) + 1 for v in points[0][0])
        last = tuple(int(v) + 1 for v in points[-1][0])
    cv2.line(work, first, last, (0, 255, 0))
    cv2.line(work, (last[0], first[1]), (first[0], last[1]), (0, 0, 255))
    name = os.path.splitext(os.path.basename(path))[0] + ".bmp"
    if not cv2.imwrite(os.path.join(out_folder, name), work):
        raise OSError(f"cannot write {name}")
    box = (last[0] - first[0], last[1] - first[1])
    return (f"{path}: {w} x {h}, {count} edge pixels, corners {first} {last}, "
            f"box {box}, half {box[0] / 2} {box[1] / 2}\n")


def main():
    out_folder = sys.argv[1]
    os.makedirs(out_folder, exist_ok=True)
    for path in sys.argv[2:]:
        sys.stdout.write(detect(path, out_folder))


if __name__ == "__main__":
    main()
