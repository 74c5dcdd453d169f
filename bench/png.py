#!/usr/bin/env python3
"""kestrin-preview's PNGs against two PNG writers: their sizes, and the time and
peak memory of a large one.

Sizes: the preview of each of five pictures (a 64 x 48 sprite of flat shapes
on the key, at scale 1 and 8 and compared at scale 4, a 2048 x 1536 sheet of
such sprites, all with --transparent, and a 2048 x 2048 grainy picture), and
of a sheet of more colours than a palette holds, against the same pixels
written by ImageMagick at zlib's level 9 (convert x.png -define
png:compression-level=9 y.png) and by optipng -o2 (-force, so that its own
best trial is what it writes).

Time: the 4096 x 4096 previews with --transparent, of a grainy picture and of
a sheet of sprites, against ImageMagick writing the same pixels as a PNG at
its default settings, from raw RGBA (the format it reads fastest), with
hyperfine; a new output (none before each run) and a replaced one (the
previous run's in place) timed apart. Before each run, outside the timing,
the file system is synced and the input read into the page cache, as in
run.py. Peak memory is the resident size's peak (/usr/bin/time).

    python3 bench/png.py [--runs N] [--sizes-only]
"""

import argparse
import json
import os
import subprocess
import sys

import run  # the tools' build and the benchmark's programs

CONVERT = "/usr/bin/convert"
DATA = os.path.join(run.WORK, "png")
LIMITS = {"ImageMagick level 9": 1.05, "optipng -o2": 1.5}


def sh(*args, **kw):
    return subprocess.run(args, check=True, **kw)


def picture(name, kind, width, height, seed, magic_pink):
    """Draws a picture and converts it with kestrin; returns the header's path."""
    bmp = os.path.join(DATA, f"{name}.bmp")
    if not os.path.exists(bmp + ".h"):
        sh(run.program("make_bench_inputs"), kind, bmp, str(width), str(height), str(seed))
        options = ["-MP"] if magic_pink else []
        sh(os.path.join(run.TOOLS, run.TOOL_PATHS["kestrin"]), *options, bmp, cwd=DATA,
           stdout=subprocess.DEVNULL)
    return bmp + ".h"


def preview(*args):
    sh(os.path.join(run.TOOLS, run.TOOL_PATHS["kestrin-preview"]), *args, cwd=DATA,
       stdout=subprocess.DEVNULL)


def size(path):
    return os.path.getsize(os.path.join(DATA, path))


def sizes():
    sprite = picture("sprite", "sprites", 64, 48, 1, True)
    sheet = picture("sheet", "sprites", 2048, 1536, 1, True)
    grain = picture("grain", "grain", 2048, 2048, 7, False)
    tinted = picture("tinted", "tinted", 2048, 1536, 1, True)
    cases = [
        ("64 × 48 sprite, `--transparent`", ["--transparent", sprite]),
        ("64 × 48 sprite, `--transparent --scale 8`", ["--transparent", "--scale", "8", sprite]),
        ("64 × 48 sprite, `--transparent --scale 4 --compare`",
         ["--transparent", "--scale", "4", "--compare", sprite[:-2], sprite]),
        ("2048 × 1536 sheet of sprites, `--transparent`", ["--transparent", sheet]),
        ("2048 × 2048 grainy picture", [grain]),
        # Not one of the five: flat colours, but too many for a palette.
        ("2048 × 1536 sheet of tinted sprites, `--transparent`", ["--transparent", tinted]),
    ]
    lines = ["| preview | kestrin-preview, B | ImageMagick level 9, B | × | optipng -o2, B | × |",
             "|---|---|---|---|---|---|"]
    failed = False
    for n, (label, args) in enumerate(cases):
        ours = f"case{n}.png"
        preview(*args, ours)
        sh(CONVERT, ours, "-define", "png:compression-level=9", f"case{n}.im9.png", cwd=DATA)
        # optipng keeps what it is given when none of its trials does better:
        # -force makes it write its own best.
        sh("cp", ours, f"case{n}.opt.png", cwd=DATA)
        sh("optipng", "-quiet", "-force", "-o2", f"case{n}.opt.png", cwd=DATA)
        cells = [label, f"{size(ours):,}".replace(",", " ")]
        for other, limit in zip((f"case{n}.im9.png", f"case{n}.opt.png"), LIMITS.values()):
            ratio = size(ours) / size(other)
            failed |= ratio > limit and n < 5  # the five pictures the limits are for
            cells += [f"{size(other):,}".replace(",", " "), f"{ratio:.3f}"]
        lines.append("| " + " | ".join(cells) + " |")
    print("\n".join(lines))
    return failed


def peak_kib(argv):
    """The peak resident size of one run, in KiB."""
    result = subprocess.run(["/usr/bin/time", "-f", "%M", *argv], cwd=DATA, check=True,
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    return int(result.stderr.strip().splitlines()[-1])


def timing(runs):
    rows = ["| 4096 × 4096, `--transparent` | program | new output, ms | replaced output, ms "
            "| peak RSS, MiB |", "|---|---|---|---|---|"]
    for name, kind, seed in (("grain4k", "grain", 11), ("sheet4k", "sprites", 3)):
        header = picture(name, kind, 4096, 4096, seed, True)
        preview("--transparent", header, f"{name}.png")
        raw = os.path.join(DATA, f"{name}.rgba")
        if not os.path.exists(raw):
            sh(CONVERT, f"{name}.png", "-depth", "8", f"rgba:{raw}", cwd=DATA)
        programs = {
            "kestrin-preview": [os.path.join(run.TOOLS, run.TOOL_PATHS["kestrin-preview"]),
                                "--transparent", header, f"{name}.out.png"],
            "ImageMagick": [CONVERT, "-size", "4096x4096", "-depth", "8", f"rgba:{raw}",
                            f"{name}.out.png"],
        }
        inputs = {"kestrin-preview": header, "ImageMagick": raw}
        results = {}
        for situation in ("new", "replaced"):
            commands = []
            for label, argv in programs.items():
                remove = f"rm -f {name}.out.png; " if situation == "new" else ""
                commands += ["--prepare", f"{remove}sync; cat {inputs[label]} >/dev/null",
                             " ".join(argv)]
            # Through a shell, whose start hyperfine measures and takes off:
            # the preparations need one.
            export = os.path.join(DATA, f"{name}-{situation}.json")
            sh("hyperfine", "-w", "1", "-r", str(runs), "--export-json", export, *commands,
               cwd=DATA, stdout=subprocess.DEVNULL)
            with open(export) as f:
                for label, result in zip(programs, json.load(f)["results"]):
                    times = result["times"]
                    results[(label, situation)] = (result["median"], min(times), max(times))
        for n, (label, argv) in enumerate(programs.items()):
            cells = [f"{kind}" if n == 0 else "", label]
            for situation in ("new", "replaced"):
                median, least, most = (t * 1e3 for t in results[(label, situation)])
                cells.append(f"{median:.0f} ({least:.0f}–{most:.0f})")
            cells.append(f"{peak_kib(argv) / 1024:.1f}")
            rows.append("| " + " | ".join(cells) + " |")
    print("\n".join(rows))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=10, help="timed runs of each program")
    parser.add_argument("--sizes-only", action="store_true", help="leave the timing out")
    args = parser.parse_args()
    run.build()
    os.makedirs(DATA, exist_ok=True)
    failed = sizes()
    if not args.sizes_only:
        print()
        timing(args.runs)
    if failed:
        sys.exit("a preview is larger than its limit: 1.05 x ImageMagick's, 1.5 x optipng's")


if __name__ == "__main__":
    main()
