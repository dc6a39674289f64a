#!/usr/bin/env python3
"""One frame's search in every cell of the speed grid, by the engine and by a
straightforward OpenCV script, side by side.

    /usr/bin/python3 bench/brennock_matchtemplate.py [--build DIR] [--cells NAME,...]
                                                      [--frames N] [--repeat K]

The script does what a competent user of OpenCV would: cv2.matchTemplate
with TM_CCOEFF_NORMED, coarse to fine like the engine. The template and
its coarse copy are made once, from the reference frame (frame 0); each
frame is then searched on a copy 320 pixels wide (240 high for frames not
wider than high; nearest-neighbour, as the engine resamples), and again at
full resolution in a window of the crop plus the perimeter on every side
around the coarse hit. Frames narrower than 320 or lower than 240 pixels
are searched once at full resolution. Like the engine it correlates one
sample of each pixel (the first byte, as the frame's codec stores it).
Decoding is left out of both timings; the frame's coarse copy and the
window are inside them, as they are in the engine's.

Times are medians in milliseconds: of K searches of a frame, then over
the frames. The engine's time is brennock_search_cell's (one thread);
OpenCV's is taken on one thread and on OpenCV's own thread pool. Each
search is also checked against the frame's known shift (shifts.txt).

Needs OpenCV's Python module (Debian: apt-get install python3-opencv) and
the series that bench/brennock_grid.py makes (it makes any that are
missing). Not part of any test.
"""

import argparse
import os
import statistics
import subprocess
import sys
import time

import cv2
import numpy as np

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import brennock_grid as grid  # noqa: E402

COARSE_BOX = (320, 240)


def coarse_scale(width, height):
    """The engine's fit of a frame to the coarse box; None when it fits."""
    box_width, box_height = COARSE_BOX
    if width <= box_width and height <= box_height:
        return None
    return box_width / width if width > height else box_height / height


def first_sample(image):
    """The first byte of every pixel, as the engine correlates."""
    return np.ascontiguousarray(image[:, :, 0])


def read_frame(path):
    # OpenCV hands every format out as blue-green-red; the engine's first
    # byte is red for JPEG and TIFF frames and blue for BMP frames.
    image = cv2.imread(path, cv2.IMREAD_COLOR)
    if image is None:
        raise RuntimeError(f"cannot read {path}")
    if not path.endswith(".bmp"):
        image = image[:, :, ::-1]
    return np.ascontiguousarray(image)


def best_position(searched, template):
    scores = cv2.matchTemplate(searched, template, cv2.TM_CCOEFF_NORMED)
    _, _, _, (x, y) = cv2.minMaxLoc(scores)
    return x, y


class Search:
    """The search of one cell, its templates made once from the reference."""

    def __init__(self, reference, cell):
        self.cell = cell
        x, y, width, height = cell.crop
        self.template = first_sample(reference[y:y + height, x:x + width])
        frame_height, frame_width = reference.shape[:2]
        self.scale = coarse_scale(frame_width, frame_height)
        if self.scale is None:
            return
        self.coarse_size = (round(frame_width * self.scale), round(frame_height * self.scale))
        coarse = cv2.resize(reference, self.coarse_size, interpolation=cv2.INTER_NEAREST)
        cx, cy = round(x * self.scale), round(y * self.scale)
        cw, ch = max(1, round(width * self.scale)), max(1, round(height * self.scale))
        self.coarse_template = first_sample(coarse[cy:cy + ch, cx:cx + cw])

    def __call__(self, frame):
        """The crop's 0-based top-left corner in frame."""
        if self.scale is None:
            return best_position(first_sample(frame), self.template)
        coarse = cv2.resize(frame, self.coarse_size, interpolation=cv2.INTER_NEAREST)
        bx, by = best_position(first_sample(coarse), self.coarse_template)
        x, y, width, height = self.cell.crop
        p = self.cell.perimeter
        frame_height, frame_width = frame.shape[:2]
        left = min(max(0, round(bx / self.scale) - p), frame_width - width - 2 * p)
        top = min(max(0, round(by / self.scale) - p), frame_height - height - 2 * p)
        window = frame[top:top + height + 2 * p, left:left + width + 2 * p]
        fx, fy = best_position(first_sample(window), self.template)
        return left + fx, top + fy


def shifts_of(folder):
    shifts = {}
    with open(os.path.join(folder, "shifts.txt")) as lines:
        for line in lines:
            name, dx, dy = line.split()
            shifts[name] = (int(dx), int(dy))
    return shifts


def median_ms(search, frame, repeat):
    times = []
    for _ in range(repeat):
        started = time.perf_counter()
        found = search(frame)
        times.append((time.perf_counter() - started) * 1000)
    return statistics.median(times), found


def opencv_times(cell, frames, repeat):
    """Median search times on one thread and on OpenCV's pool, and misses."""
    shifts = shifts_of(os.path.dirname(frames[0]))
    search = Search(read_frame(frames[0]), cell)
    single, pooled, misses = [], [], 0
    for path in frames[1:]:
        frame = read_frame(path)
        dx, dy = shifts[os.path.basename(path)]
        expected = (cell.crop[0] + dx, cell.crop[1] + dy)
        cv2.setNumThreads(1)
        ms, found = median_ms(search, frame, repeat)
        single.append(ms)
        cv2.setNumThreads(-1)
        pooled.append(median_ms(search, frame, repeat)[0])
        misses += found != expected
    return statistics.median(single), statistics.median(pooled), misses


def engine_time(bench, cell, frames, repeat):
    x, y, width, height = cell.crop
    command = [os.path.join(bench, "brennock_search_cell"), "--type",
               str(grid.TYPE_CODES[cell.series.format]), "--crop", str(x), str(y), str(width),
               str(height), "--perimeter", str(cell.perimeter), "--repeat", str(repeat)] + frames
    result = subprocess.run(command, capture_output=True, text=True, check=True)
    return grid.figure(result.stdout, "median_ms")


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", default=os.path.join(here, "..", "build", "release"))
    parser.add_argument("--cells", help="comma-separated cell names (default: all)")
    parser.add_argument("--frames", type=int, default=5, help="frames searched per cell")
    parser.add_argument("--repeat", type=int, default=9, help="searches per frame (median)")
    args = parser.parse_args()

    bench = os.path.join(os.path.abspath(args.build), "bench")
    cache = os.path.join(bench, "grid-series")
    wanted = args.cells.split(",") if args.cells else None
    print(f"one frame's search, median ms; OpenCV {cv2.__version__}, "
          f"its pool {cv2.getNumThreads()} threads")
    print(f"{'cell':<14} {'engine':>8} {'OpenCV 1':>9} {'OpenCV 1/engine':>15} "
          f"{'OpenCV pool':>11} {'OpenCV misses':>13}")
    for cell in grid.CELLS:
        if wanted and cell.name not in wanted:
            continue
        frames = grid.ensure_series(bench, cache, cell.series)[:args.frames + 1]
        engine = engine_time(bench, cell, frames, args.repeat)
        single, pooled, misses = opencv_times(cell, frames, args.repeat)
        print(f"{cell.name:<14} {engine:>8.3f} {single:>9.3f} {single / engine:>15.2f} "
              f"{pooled:>11.3f} {misses:>13}", flush=True)


if __name__ == "__main__":
    main()
