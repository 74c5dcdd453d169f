#!/usr/bin/env python3
"""Benchmark of kestrin and lortane against straightforward versions and the I/O floor.

Builds the tools (Release) and the benchmark's own programs, makes the inputs
(deterministic), runs each comparison as alternating pairs and prints a table of
median wall times, ratios, output MB/s and peak resident size. Every output is
checked byte for byte against the straightforward version's.

    python3 bench/run.py [--pairs N] [--quick]
"""

import argparse
import filecmp
import os
import shutil
import statistics
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
WORK = os.path.join(ROOT, "build-bench")
TOOLS = os.path.join(WORK, "tools")
PROGRAMS = os.path.join(WORK, "programs")
DATA = os.path.join(WORK, "data")


def sh(*args, **kw):
    subprocess.run(args, check=True, **kw)


def build():
    sh("cmake", "-S", ROOT, "-B", TOOLS, "-DCMAKE_BUILD_TYPE=Release", "-DBUILD_TESTING=OFF",
       stdout=subprocess.DEVNULL)
    sh("cmake", "--build", TOOLS, "-j2", "--target", "kestrin", "lortane", stdout=subprocess.DEVNULL)
    sh("cmake", "-S", os.path.join(ROOT, "bench"), "-B", PROGRAMS, stdout=subprocess.DEVNULL)
    sh("cmake", "--build", PROGRAMS, "-j2", stdout=subprocess.DEVNULL)


def tool(name):
    return os.path.join(TOOLS, name, name)


def program(name):
    return os.path.join(PROGRAMS, name)


def run_batch(argvs, cwd):
    """Runs the commands one after another as one measurement, through the
    measure program; returns (seconds, peak resident KiB)."""
    listing = os.path.join(WORK, "commands.txt")
    with open(listing, "w") as f:
        for argv in argvs:
            f.write(" ".join(argv) + "\n")
    out = subprocess.run([program("measure"), cwd, listing], check=True, capture_output=True,
                         text=True).stdout.split()
    return float(out[0]), int(out[1])


def run(argv, cwd):
    return run_batch([argv], cwd)


def warm(path):
    """Reads a file so that it is in the page cache."""
    with open(path, "rb") as f:
        while f.read(1 << 20):
            pass


def compare(commands, pairs, inputs=()):
    """commands: {label: callable() -> (seconds, rss)}; runs them alternately."""
    times = {label: [] for label in commands}
    peaks = {label: 0 for label in commands}
    labels = list(commands)
    for round_number in range(pairs):
        # The order rotates, so that no command always follows the same one.
        shift = round_number % len(labels)
        for label in labels[shift:] + labels[:shift]:
            command = commands[label]
            # Each run starts with the previous run's output on disk, so that
            # write-back of one command's output is not charged to the next,
            # and with its input cached: this machine's page cache is trimmed
            # in the background, and a read from disk would swamp the result.
            os.sync()
            for path in inputs:
                warm(path)
            seconds, rss = command()
            times[label].append(seconds)
            peaks[label] = max(peaks[label], rss)
    if os.environ.get("BENCH_VERBOSE"):
        print({label: [round(t * 1e3, 1) for t in ts] for label, ts in times.items()}, file=sys.stderr)
    return {label: (statistics.median(times[label]), peaks[label]) for label in commands}


def make_inputs(quick):
    os.makedirs(DATA, exist_ok=True)
    pictures = [(640, 480), (1920, 1080)] + ([] if quick else [(4096, 4096)])
    for w, h in pictures:
        for side in ("tool", "ref"):
            folder = os.path.join(DATA, f"pic{w}x{h}", side)
            os.makedirs(folder, exist_ok=True)
            path = os.path.join(folder, "picture.bmp")
            if not os.path.exists(path):
                sh(program("make_bench_inputs"), "picture", path, str(w), str(h), str(w * h))
    batch = os.path.join(DATA, "batch")
    if not os.path.exists(os.path.join(batch, "p499.bmp")):
        os.makedirs(batch, exist_ok=True)
        for i in range(500):
            sh(program("make_bench_inputs"), "picture", os.path.join(batch, f"p{i}.bmp"), "64", "64",
               str(i + 1))
    size = (8 if quick else 64) << 20
    texts = {"mixed": (0, 3000), "short": (30, 50)}
    for name, (low, high) in texts.items():
        path = os.path.join(DATA, f"text-{name}.txt")
        if not os.path.exists(path) or os.path.getsize(path) != size:
            sh(program("make_bench_inputs"), "text", path, str(size), str(low), str(high), "7")
    return pictures, texts


def mb_per_s(path, seconds):
    return os.path.getsize(path) / seconds / 1e6


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--pairs", type=int, default=7)
    parser.add_argument("--quick", action="store_true", help="small inputs only")
    parser.add_argument("--only", choices=["pictures", "batch", "texts"], action="append",
                        help="run only these comparisons (may be repeated)")
    args = parser.parse_args()

    build()
    pictures, texts = make_inputs(args.quick)
    rows = []

    only = set(args.only or ["pictures", "batch", "texts"])
    for w, h in pictures if "pictures" in only else []:
        base = os.path.join(DATA, f"pic{w}x{h}")
        tool_dir, ref_dir = os.path.join(base, "tool"), os.path.join(base, "ref")
        run([tool("kestrin"), "picture.bmp"], tool_dir)
        run([program("reference_kestrin"), "picture.bmp"], ref_dir)
        out = os.path.join(tool_dir, "picture.bmp.h")
        if not filecmp.cmp(out, os.path.join(ref_dir, "picture.bmp.h"), shallow=False):
            sys.exit(f"kestrin output differs from the reference on {w}x{h}")
        out_bytes = os.path.getsize(out)
        r = compare({
            "kestrin": lambda: run([tool("kestrin"), "picture.bmp"], tool_dir),
            "reference": lambda: run([program("reference_kestrin"), "picture.bmp"], ref_dir),
            "floor": lambda: run([program("io_floor"), "picture.bmp", "floor.out", str(out_bytes)],
                                 tool_dir),
        }, args.pairs, [os.path.join(d, "picture.bmp") for d in (tool_dir, ref_dir)])
        r.update(compare({
            "xxd -i": lambda: run(["xxd", "-i", "picture.bmp", "xxd.out"], tool_dir),
        }, 3, [os.path.join(tool_dir, "picture.bmp")]))
        rows.append((f"kestrin {w}x{h}", r, out, os.path.join(tool_dir, "xxd.out")))

    for name in texts if "texts" in only else []:
        text = f"text-{name}.txt"
        run([tool("lortane"), "text", text, "tool.c"], DATA)
        run([program("reference_lortane"), "text", text, "ref.c"], DATA)
        if not filecmp.cmp(os.path.join(DATA, "tool.c"), os.path.join(DATA, "ref.c"), shallow=False):
            sys.exit(f"lortane output differs from the reference on {text}")
        out_bytes = os.path.getsize(os.path.join(DATA, "tool.c"))
        r = compare({
            "lortane": lambda: run([tool("lortane"), "text", text, "tool.c"], DATA),
            "reference": lambda: run([program("reference_lortane"), "text", text, "ref.c"], DATA),
            "floor": lambda: run([program("io_floor"), text, "floor.out", str(out_bytes)], DATA),
        }, args.pairs, [os.path.join(DATA, text)])
        r.update(compare({
            "xxd -i": lambda: run(["xxd", "-i", text, "xxd.out"], DATA),
        }, 3, [os.path.join(DATA, text)]))
        rows.append((f"lortane {name} lines", r, os.path.join(DATA, "tool.c"),
                     os.path.join(DATA, "xxd.out")))

    # Last: its 500 replaced files keep the file system busy for a while after.
    if "batch" in only:
        batch = os.path.join(DATA, "batch")
        names = [f"p{i}.bmp" for i in range(500)]
        r = compare({
            "kestrin": lambda: run_batch([[tool("kestrin"), n] for n in names], batch),
            "true": lambda: run_batch([["true"]] * len(names), batch),
        }, max(3, args.pairs // 2))
        rows.append(("kestrin 500 x 64x64", r, None, None))


    print(f"\nmedian of {args.pairs} alternating runs; times in ms; peak RSS in MiB\n")
    print("| input | tool | reference | × faster | I/O floor | × floor | tool MB/s out "
          "| xxd -i | xxd MB/s out | tool peak RSS |")
    print("|---|---|---|---|---|---|---|---|---|---|")
    for label, r, out, xxd_out in rows:
        name = "kestrin" if label.startswith("kestrin") else "lortane"
        t, rss = r[name]
        if "true" in r:
            start = r["true"][0]
            print(f"| {label} | {t*1e3:.0f} | `true` × 500: {start*1e3:.0f} | — | — "
                  f"| {t/start:.2f}× process start | — | — | — | {rss/1024:.1f} |")
            continue
        ref, floor, xxd = r["reference"][0], r["floor"][0], r["xxd -i"][0]
        print(f"| {label} | {t*1e3:.1f} | {ref*1e3:.1f} | {ref/t:.1f} | {floor*1e3:.1f} "
              f"| {t/floor:.2f} | {mb_per_s(out, t):.0f} | {xxd*1e3:.1f} "
              f"| {mb_per_s(xxd_out, xxd):.0f} | {rss/1024:.1f} |")


if __name__ == "__main__":
    main()
