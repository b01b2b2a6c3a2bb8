#!/usr/bin/env python3
"""Times `palettrix render` over PNG sequences next to FFmpeg's paletteuse writing the same sequences.

Usage: sequence_bench.py PALETTRIX OUT_DIR DOC [--before OLD_PALETTRIX [--before-label TEXT]] [--runs N]

Makes the inputs once (in OUT_DIR/sequence-inputs): 40 frames of FFmpeg's testsrc2 at 1920x1080 and 20 at
3840x2160, written as RGB PNG. For each, runs in turn (A B A B ...) after one untimed warm-up each:
  palettrix render f.%04d.png o.%04d.png --pattern bayer-8x8 --swatch pico-8
  ffmpeg -i f.%04d.png -i pico.png -lavfi paletteuse=dither=bayer o.%04d.png
and, with --before, the same palettrix command with an older build. Records the median wall and processor
seconds of each and the total bytes of each output, into OUT_DIR/sequence.json and the "Image sequences"
section of DOC.
"""
import json
import os
import re
import shutil
import statistics
import subprocess
import sys
import time

PICO8 = ["000000", "1D2B53", "7E2553", "008751", "AB5236", "5F574F", "C2C3C7", "FFF1E8",
         "FF004D", "FFA300", "FFEC27", "00E436", "29ADFF", "83769C", "FF77A8", "FFCCAA"]
JOBS = [("1920×1080", "1920x1080", 40), ("3840×2160", "3840x2160", 20)]
SECTION = "## Image sequences next to FFmpeg"


def run(cmd, quiet=True):
    subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL if quiet else None,
                   stderr=subprocess.DEVNULL if quiet else None)


def make_inputs(folder):
    os.makedirs(folder, exist_ok=True)
    # paletteuse takes a palette of exactly 256 entries: the 16 colours, 16 times over.
    pico = os.path.join(folder, "pico.png")
    if not os.path.exists(pico):
        ppm = os.path.join(folder, "pico.ppm")
        with open(ppm, "wb") as f:
            f.write(b"P6\n16 16\n255\n" + b"".join(bytes.fromhex(c) for c in PICO8) * 16)
        run(["ffmpeg", "-loglevel", "error", "-y", "-i", ppm, pico])
    for _, size, frames in JOBS:
        src = os.path.join(folder, size)
        if len([n for n in os.listdir(src) if n.endswith(".png")] if os.path.isdir(src) else []) != frames:
            shutil.rmtree(src, ignore_errors=True)
            os.makedirs(src)
            run(["ffmpeg", "-loglevel", "error", "-f", "lavfi", "-i", f"testsrc2=size={size}:rate=25",
                 "-frames:v", str(frames), "-pix_fmt", "rgb24", os.path.join(src, "f.%04d.png")])
    return pico


def timed(cmd, out):
    """Wall and processor seconds of one run writing into a fresh `out`, and the bytes it wrote."""
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    start = time.monotonic()
    child = subprocess.Popen(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    _, status, usage = os.wait4(child.pid, 0)
    wall = time.monotonic() - start
    err = child.stderr.read().decode(errors="replace")
    child.stderr.close()
    if status != 0:
        sys.exit(f"sequence_bench: {' '.join(cmd)} failed:\n{err}")
    size = sum(os.path.getsize(os.path.join(out, n)) for n in os.listdir(out))
    return wall, usage.ru_utime + usage.ru_stime, size


def main():
    args = sys.argv[1:]
    before, runs, before_label = None, 5, "an older build"
    if "--before-label" in args:
        i = args.index("--before-label")
        before_label = args[i + 1]
        del args[i:i + 2]
    if "--before" in args:
        i = args.index("--before")
        before = args[i + 1]
        del args[i:i + 2]
    if "--runs" in args:
        i = args.index("--runs")
        runs = int(args[i + 1])
        del args[i:i + 2]
    palettrix, out_dir, doc = args
    inputs = os.path.join(out_dir, "sequence-inputs")
    pico = make_inputs(inputs)
    scratch = os.path.join(out_dir, "sequence-outputs")
    results = []
    for label, size, frames in JOBS:
        src = os.path.join(inputs, size, "f.%04d.png")
        commands = [("palettrix", [palettrix, "render", src, None, "--pattern", "bayer-8x8", "--swatch", "pico-8"]),
                    ("ffmpeg", ["ffmpeg", "-loglevel", "error", "-y", "-i", src, "-i", pico, "-lavfi",
                                "paletteuse=dither=bayer", None])]
        if before:
            commands.append(("before", [before, "render", src, None, "--pattern", "bayer-8x8", "--swatch", "pico-8"]))
        samples = {name: [] for name, _ in commands}
        for turn in range(runs + 1):
            for name, cmd in commands:
                out = os.path.join(scratch, name)
                figures = timed([os.path.join(out, "o.%04d.png") if a is None else a for a in cmd], out)
                if turn > 0:  # the first turn warms the caches
                    samples[name].append(figures)
        row = {"label": label, "frames": frames}
        for name, values in samples.items():
            row[name] = {"wall": statistics.median(v[0] for v in values),
                         "cpu": statistics.median(v[1] for v in values),
                         "bytes": values[-1][2]}
            print(f"{label} {name}: {row[name]['wall']:.2f} s, {row[name]['cpu']:.2f} s processor, "
                  f"{row[name]['bytes']} bytes", flush=True)
        results.append(row)
    shutil.rmtree(scratch, ignore_errors=True)
    commit = subprocess.run(["git", "rev-parse", "--short", "HEAD"], capture_output=True, text=True).stdout.strip()
    ffmpeg = subprocess.run(["ffmpeg", "-version"], capture_output=True, text=True).stdout.split("\n")[0]
    ffmpeg = " ".join(ffmpeg.split()[:3])  # "ffmpeg version N"
    with open(os.path.join(out_dir, "sequence.json"), "w") as f:
        json.dump({"commit": commit, "ffmpeg": ffmpeg, "runs": runs, "cores": os.cpu_count(),
                   "date": time.strftime("%Y-%m-%d"), "results": results}, f, indent=1)
    write_section(doc, results, runs, commit, ffmpeg, before_label if before else None)


def write_section(doc, results, runs, commit, ffmpeg, before_label):
    with_before = before_label is not None
    mb = lambda b: f"{b / 1e6:.2f} MB"
    lines = [SECTION, "",
             "`bench/sequence_bench.py` (`scripts/bench sequence`): `palettrix render f.%04d.png o.%04d.png --pattern",
             "bayer-8x8 --swatch pico-8` next to `ffmpeg -i f.%04d.png -i pico.png -lavfi paletteuse=dither=bayer",
             "o.%04d.png` on RGB PNG frames of FFmpeg's `testsrc2`, both writing indexed PNGs. Whole processes, run in",
             f"turn after a warm-up; the median of {runs} runs, seconds on the clock (processor seconds in brackets),",
             f"and the total bytes of the frames written. {os.cpu_count()} cores; commit {commit}; {ffmpeg}."]
    if with_before:
        lines.append(f"\"palettrix before\" is {before_label}.")
    lines.append("")
    head = "| frames | palettrix | ffmpeg | palettrix / ffmpeg |"
    rule = "|---|---|---|---|"
    if with_before:
        head = "| frames | palettrix before | palettrix | ffmpeg | palettrix / ffmpeg |"
        rule = "|---|---|---|---|---|"
    lines += [head, rule]
    for r in results:
        cell = lambda k: f"{r[k]['wall']:.2f} s ({r[k]['cpu']:.2f}), {mb(r[k]['bytes'])}"
        ratio = f"{r['palettrix']['wall'] / r['ffmpeg']['wall']:.2f} time, " \
                f"{r['palettrix']['bytes'] / r['ffmpeg']['bytes']:.2f} bytes"
        cells = [f"{r['frames']} × {r['label']}"] + ([cell("before")] if with_before else []) + \
                [cell("palettrix"), cell("ffmpeg"), ratio]
        lines.append("| " + " | ".join(cells) + " |")
    lines += ["",
              "The frames differ: FFmpeg's `bayer` is its own ordered dither (`bayer_scale` 2), so the bytes compare",
              "two encoders on two pictures of the same input. palettrix writes frames of at most 256 colours as indexed",
              "PNGs with as few bits an index as they need, unfiltered, compressed by libdeflate at level 6 (on these",
              "frames about a fifth smaller than zlib's default level in a quarter of its time; levels above 7 cost",
              "several times as much for a few per cent). Reading ahead and encoding run on a thread a core, so on a",
              "machine others are busy on the clock gains less than the processor time; both are shown.",
              ""]
    section = "\n".join(lines) + "\n"
    text = open(doc).read() if os.path.exists(doc) else "# Benchmarks\n\n"
    pattern = re.compile(re.escape(SECTION) + r"\n.*?(?=^## |\Z)", re.S | re.M)
    if pattern.search(text):
        text = pattern.sub(lambda _: section, text)
    elif "## Running the suites" in text:
        text = text.replace("## Running the suites", section + "## Running the suites")
    else:
        text += "\n" + section
    with open(doc, "w") as f:
        f.write(text)
    print(f"wrote {doc}")


if __name__ == "__main__":
    main()
