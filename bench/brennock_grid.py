#!/usr/bin/env python3
"""The speed grid: whole automatic runs over the cells a user meets, each
against the floor of the same frames' decoding and crop writing.

    bench/brennock_grid.py [--build DIR] [--threads N] [--rounds K]
                           [--cells NAME,...] [--library DIR] [--keep DIR]
                           [--search]

Every cell runs in a process of its own (brennock_run --baseline), so its
peak memory is its own. The frames come from brennock_make_series, made once
per series into a cache folder (DIR/bench/grid-series) and reused by every
later call. Each cell alternates K rounds of the run and of its baseline
(all frames read and one crop of each written on as many threads); the
table gives the medians of the rounds: the run's seconds and the median of
the rounds' own run / baseline ratios, so a machine that slows down
between rounds does not tilt the ratio.

--library runs the cells on another build of the engine library (its
folder goes first in LD_LIBRARY_PATH), to measure a build from before a
change with the same driver. --keep leaves each cell's crops in
DIR/<cell>, to compare two builds' outputs file by file. --search adds the
time of one frame's search alone (brennock_search_cell, one thread).
"""

import argparse
import os
import re
import statistics
import subprocess
import sys
import tempfile
import time
from dataclasses import dataclass

TYPE_CODES = {"jpeg": 1021, "bmp": 1022, "tiff": 1025}
EXTENSIONS = {"jpeg": ".jpg", "bmp": ".bmp", "tiff": ".tif"}


@dataclass(frozen=True)
class Series:
    width: int
    height: int
    format: str
    count: int
    star_scale: float = 1.0  # brennock_make_series --star-scale

    @property
    def name(self):
        stars = "" if self.star_scale == 1.0 else f"-stars{self.star_scale:g}"
        return f"{self.width}x{self.height}-{self.format}-{self.count}{stars}"


@dataclass(frozen=True)
class Cell:
    name: str
    series: Series
    crop: tuple  # x, y (0-based top-left corner), width, height
    perimeter: int
    frames: int  # the series' first frames, the reference included


def centred(width, height, crop_width, crop_height):
    return ((width - crop_width) // 2, (height - crop_height) // 2, crop_width, crop_height)


# Frame counts: enough for a round of a few tenths of a second or more at
# 6 threads, and at least a few batches, few enough for the whole grid to
# stay well inside five minutes. The series' frames are shifted by up to 8
# pixels each way; every crop lies inside its frames by more than that
# plus the perimeter.
JPEG_1600 = Series(1600, 1200, "jpeg", 120)
CELLS = [
    Cell("default", JPEG_1600, centred(1600, 1200, 200, 150), 10, 120),
    Cell("crop1200x900", JPEG_1600, centred(1600, 1200, 1200, 900), 10, 60),
    Cell("small300x220", Series(300, 220, "jpeg", 400), centred(300, 220, 120, 90), 10, 400),
    Cell("bmp1600", Series(1600, 1200, "bmp", 80), centred(1600, 1200, 200, 150), 10, 80),
    Cell("jpeg640x480", Series(640, 480, "jpeg", 300), centred(640, 480, 200, 150), 10, 300),
    Cell("tiff1600", Series(1600, 1200, "tiff", 80), centred(1600, 1200, 200, 150), 10, 80),
    Cell("perimeter60", JPEG_1600, centred(1600, 1200, 200, 150), 60, 120),
    # The sky of the 1600 x 1200 series on a sensor of 3.75 times the
    # pixels across: with stars of the 1600 series' size, the coarse copy
    # (one pixel of every 19 across) would keep almost none of them, and no
    # coarse-to-fine search could find the crop.
    Cell("6000x4000", Series(6000, 4000, "jpeg", 19, 3.75), centred(6000, 4000, 750, 500), 30,
         19),
]


def frames_of(folder, series):
    extension = EXTENSIONS[series.format]
    return sorted(
        os.path.join(folder, name) for name in os.listdir(folder) if name.endswith(extension)
    )


def ensure_series(bench, cache, series):
    """The series' frames, made on first use."""
    folder = os.path.join(cache, series.name)
    done = os.path.join(folder, ".complete")
    if not os.path.exists(done):
        os.makedirs(folder, exist_ok=True)
        started = time.monotonic()
        subprocess.run(
            [os.path.join(bench, "brennock_make_series"), "--out", folder, "--count",
             str(series.count), "--width", str(series.width), "--height", str(series.height),
             "--format", series.format, "--star-scale", str(series.star_scale)],
            check=True)
        open(done, "w").close()
        print(f"# made {series.name} in {time.monotonic() - started:.1f} s", file=sys.stderr)
    return frames_of(folder, series)


def figure(text, key):
    found = re.search(r"\b" + re.escape(key) + r":\s*([-0-9.]+)", text)
    if not found:
        raise RuntimeError(f"no {key} in:\n{text}")
    return float(found.group(1))


def run_cell(bench, environment, cell, frames, threads, rounds, out):
    os.makedirs(out, exist_ok=True)
    x, y, width, height = cell.crop
    command = [os.path.join(bench, "brennock_run"), "--type", str(TYPE_CODES[cell.series.format]),
               "--crop", str(x), str(y), str(width), str(height), "--perimeter",
               str(cell.perimeter), "--threads", str(threads), "--baseline", "--repeat",
               str(rounds), "--out", out] + frames
    result = subprocess.run(command, env=environment, capture_output=True, text=True)
    if result.returncode != 0:
        raise RuntimeError(f"{cell.name}: brennock_run failed:\n{result.stdout}{result.stderr}")
    text = result.stdout
    return {
        "frames": int(figure(text, "frames")),
        "run_s": figure(text, "median_seconds"),
        "floor_s": figure(text, "baseline_median_queue_seconds"),
        "ratio": figure(text, "median_run_over_queue"),
        "fps": figure(text, "median_frames_per_second"),
        "faults": figure(text, "faults_per_frame"),
        "floor_faults": figure(text, "baseline_faults_per_frame"),
        "peak_mb": figure(text, "peak_rss_mb"),
    }


def search_cell(bench, environment, cell, frames):
    x, y, width, height = cell.crop
    command = [os.path.join(bench, "brennock_search_cell"), "--type",
               str(TYPE_CODES[cell.series.format]), "--crop", str(x), str(y), str(width),
               str(height), "--perimeter", str(cell.perimeter), frames[0]] + frames[1:4]
    result = subprocess.run(command, env=environment, capture_output=True, text=True)
    if result.returncode != 0:
        raise RuntimeError(f"{cell.name}: brennock_search_cell failed:\n"
                           f"{result.stdout}{result.stderr}")
    return figure(result.stdout, "median_ms")


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", default=os.path.join(here, "..", "build", "release"),
                        help="build folder whose bench/ holds the drivers")
    parser.add_argument("--threads", type=int, default=6)
    parser.add_argument("--rounds", type=int, default=7, help="rounds per cell (median)")
    parser.add_argument("--cells", help="comma-separated cell names (default: all)")
    parser.add_argument("--library", help="folder of another libBrennock.so to run on")
    parser.add_argument("--keep", help="leave each cell's crops in KEEP/<cell>")
    parser.add_argument("--cache", help="series folder (default BUILD/bench/grid-series)")
    parser.add_argument("--search", action="store_true",
                        help="add one frame's search time (one thread)")
    args = parser.parse_args()

    bench = os.path.join(os.path.abspath(args.build), "bench")
    cache = args.cache or os.path.join(bench, "grid-series")
    cells = CELLS
    if args.cells:
        wanted = args.cells.split(",")
        unknown = set(wanted) - {cell.name for cell in CELLS}
        if unknown:
            parser.error(f"unknown cells: {', '.join(sorted(unknown))}; "
                         f"cells: {', '.join(cell.name for cell in CELLS)}")
        cells = [cell for cell in CELLS if cell.name in wanted]
    environment = dict(os.environ)
    if args.library:
        environment["LD_LIBRARY_PATH"] = os.pathsep.join(
            filter(None, [os.path.abspath(args.library), environment.get("LD_LIBRARY_PATH")]))

    started = time.monotonic()
    print(f"threads {args.threads}, {args.rounds} rounds per cell, medians; floor = the same "
          f"frames read and one crop of each written, same process, same threads")
    header = (f"{'cell':<14} {'frames':>6} {'run s':>8} {'floor s':>8} {'run/floor':>9} "
              f"{'frames/s':>9} {'faults/fr':>9} {'floor f/fr':>10} {'peak MB':>8}")
    if args.search:
        header += f" {'search ms':>9}"
    print(header)
    with tempfile.TemporaryDirectory(prefix="brennock-grid-") as scratch:
        for cell in cells:
            frames = ensure_series(bench, cache, cell.series)[:cell.frames]
            out = os.path.join(args.keep or scratch, cell.name)
            row = run_cell(bench, environment, cell, frames, args.threads, args.rounds, out)
            line = (f"{cell.name:<14} {row['frames']:>6} {row['run_s']:>8.3f} "
                    f"{row['floor_s']:>8.3f} {row['ratio']:>9.2f} {row['fps']:>9.1f} "
                    f"{row['faults']:>9.1f} {row['floor_faults']:>10.1f} {row['peak_mb']:>8.1f}")
            if args.search:
                line += f" {search_cell(bench, environment, cell, frames):>9.3f}"
            print(line, flush=True)
    print(f"# {time.monotonic() - started:.0f} s")


if __name__ == "__main__":
    main()
