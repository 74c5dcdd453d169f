#!/usr/bin/env python3
"""Benchmark of kestrin and lortane against straightforward versions and the I/O floor,
and of kestrin-preview against the same floor.

Builds the tools (Release) and the benchmark's own programs, makes the inputs
(deterministic) and times every program of a case in two situations: a new
output (no earlier file) and a replaced output (an earlier output of the same
size in place, clean on disk). The runs alternate in a rotating order; the
table shows each median with the spread of its runs, its ratio to the floor in
the same situation and the peak resident size. Every output is checked byte
for byte against the straightforward version's.

The preview's cases time kestrin-preview on kestrin's headers of the same
pictures, apart from the converters; it has no straightforward version, so
its outputs are checked only for their size.

    python3 bench/run.py [--pairs N] [--quick] [--only KIND] [--baseline REV]
                         [--no-sync] [--history FILE]
"""

import argparse
import filecmp
import json
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
SITUATIONS = ("new", "replaced")
FLOOR, PLAIN = "floor", "plain version"
# Where each tool is in a build folder.
TOOL_PATHS = {"kestrin": "kestrin/kestrin", "lortane": "lortane/lortane",
              "kestrin-preview": "kestrin/preview/kestrin-preview"}


def sh(*args, **kw):
    subprocess.run(args, check=True, **kw)


def build_tools(source, build, tools=("kestrin", "lortane")):
    sh("cmake", "-S", source, "-B", build, "-DCMAKE_BUILD_TYPE=Release", "-DBUILD_TESTING=OFF",
       stdout=subprocess.DEVNULL)
    sh("cmake", "--build", build, "-j2", "--target", *tools, stdout=subprocess.DEVNULL)


def build():
    build_tools(ROOT, TOOLS, TOOL_PATHS.keys())
    sh("cmake", "-S", os.path.join(ROOT, "bench"), "-B", PROGRAMS, stdout=subprocess.DEVNULL)
    sh("cmake", "--build", PROGRAMS, "-j2", stdout=subprocess.DEVNULL)


def build_baseline(revision):
    """Builds the tools as they were at a revision; returns (short name, build folder)."""
    def git(*args):
        return subprocess.run(["git", "-C", ROOT, *args], check=True, capture_output=True,
                              text=True).stdout.strip()
    commit = git("rev-parse", "--verify", f"{revision}^{{commit}}")
    folder = os.path.join(WORK, "baseline", commit)
    source = os.path.join(folder, "src")
    if not os.path.exists(os.path.join(source, "CMakeLists.txt")):
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(source)
        archive = subprocess.Popen(["git", "-C", ROOT, "archive", commit], stdout=subprocess.PIPE)
        sh("tar", "-x", "-C", source, stdin=archive.stdout)
        if archive.wait() != 0:
            sys.exit(f"git archive {commit} failed")
    build_tools(source, os.path.join(folder, "build"))
    return git("rev-parse", "--short", commit), os.path.join(folder, "build")


def program(name):
    return os.path.join(PROGRAMS, name)


def measure(listing):
    """Runs (folder, argv) commands one after another through the measure
    program; returns (seconds, peak resident KiB) for each."""
    path = os.path.join(WORK, "commands.txt")
    with open(path, "w") as f:
        for folder, argv in listing:
            f.write(" ".join([folder, *argv]) + "\n")
    with open(path + ".out", "w+") as out:
        subprocess.run([program("measure"), path], check=True, stdout=out)
        out.seek(0)
        return [(float(seconds), int(kib)) for seconds, kib in (line.split() for line in out)]


def warm(path):
    """Reads a file so that it is in the page cache."""
    with open(path, "rb") as f:
        while f.read(1 << 20):
            pass


class Program:
    """One compared program of a case: the commands of one measurement, run in
    its own folder, and the outputs they leave there. commands(situation,
    sizes) gives the command lines; only the floor's depend on the situation
    and on the sizes of the outputs."""

    def __init__(self, label, folder, outputs, commands):
        self.label, self.folder, self.commands = label, folder, commands
        self.outputs = [os.path.join(folder, name) for name in outputs]

    def prepare(self, situation, sizes=None):
        # Outside the timed region: a new output finds no earlier file, a
        # replaced one finds the previous run's output, which has the size
        # and, but for the floor's, the bytes of the plain version's.
        for path, size in zip(self.outputs, sizes or [None] * len(self.outputs)):
            if os.path.lexists(path + ".new"):  # the floor's, if a run was cut short
                os.unlink(path + ".new")
            if situation == "new":
                if os.path.lexists(path):
                    os.unlink(path)
            elif os.path.getsize(path) != size:
                sys.exit(f"{self.label}: {path} is not an earlier output of {size} bytes")

    def run(self, situation, sizes):
        return measure([(self.folder, argv) for argv in self.commands(situation, sizes)])


def case_programs(tool, folder_of, names, argv_of, builds):
    """The programs of a case, each in its own folder: the tool of each build
    that has it, the plain version where there is one, and the floor. names
    are the (input, output) file names of one measurement; argv_of(executable,
    input, output) is a command line."""
    def converter(exe):
        return lambda situation, sizes: [argv_of(exe, i, o) for i, o in names]

    def floor(situation, sizes):
        mode = "new" if situation == "new" else "replace"
        return [[program("io_floor"), mode, i, o, str(size)] for (i, o), size in zip(names, sizes)]

    outputs = [o for _, o in names]
    programs = [Program(f"{tool}{suffix}", folder_of(key), outputs,
                        converter(os.path.join(build, TOOL_PATHS[tool])))
                for suffix, key, build in builds
                if os.path.exists(os.path.join(build, TOOL_PATHS[tool]))]
    if os.path.exists(program(f"reference_{tool}")):
        programs.append(Program(PLAIN, folder_of("plain"), outputs,
                                converter(program(f"reference_{tool}"))))
    return programs + [Program(FLOOR, folder_of("floor"), outputs, floor)]


def interleave(group, situation, sizes, round_number, block=25):
    """The (program, argv) commands of a group's programs, a block of each in
    turn, in an order that rotates from block to block and from round to round."""
    commands = {p.label: p.commands(situation, sizes) for p in group}
    listing = []
    for n, start in enumerate(range(0, len(sizes), block)):
        shift = (n + round_number) % len(group)
        for p in group[shift:] + group[:shift]:
            listing += [(p, argv) for argv in commands[p.label][start:start + block]]
    return listing


def check(case, programs, sizes):
    """Fails unless every output is the plain version's (or, without one, the
    first program's), byte for byte, and the floor's outputs have its sizes."""
    reference = next((p for p in programs if p.label == PLAIN), programs[0])
    for p in programs:
        for path, expected, size in zip(p.outputs, reference.outputs, sizes):
            if os.path.getsize(path) != size:
                sys.exit(f"{case}: {p.label} wrote {os.path.getsize(path)} bytes, not {size}")
            if p.label != FLOOR and not filecmp.cmp(path, expected, shallow=False):
                sys.exit(f"{case}: {p.label}'s output {path} differs from the plain version's")


def compare(case, programs, inputs, pairs, sync):
    """Times every program in both situations, alternately; returns
    {(label, situation): [seconds]} and {label: peak KiB}."""
    reference = next((p for p in programs if p.label == PLAIN), programs[0])
    reference.prepare("new")
    reference.run("new", [])
    sizes = [os.path.getsize(path) for path in reference.outputs]
    for p in programs:
        p.prepare("new", sizes)
        p.run("new", sizes)
    check(case, programs, sizes)

    # A program with one command is timed alone, each run after its own
    # preparation. The 500 commands of a batch are interleaved with the other
    # programs' instead, in blocks of a few, so that a slow spell of the
    # shared machine falls on all the programs alike.
    if len(sizes) == 1:
        phases = [(s, [p]) for s in SITUATIONS for p in programs]
    else:
        phases = [(s, programs) for s in SITUATIONS]
    times = {(p.label, s): [] for s in SITUATIONS for p in programs}
    peaks = {p.label: 0 for p in programs}
    for round_number in range(pairs):
        # The order rotates, so that no run always follows the same one.
        shift = round_number % len(phases)
        for situation, group in phases[shift:] + phases[:shift]:
            for p in group:
                p.prepare(situation, sizes)
            # Write-back left by earlier runs, and the journal's record of a
            # removal just made, finish before the timed run instead of in it.
            # An earlier output is then clean on disk, as in a build whose
            # previous output is old: dropping it waits for the discard of its
            # blocks (this disk is mounted with discard), which an earlier
            # output still dirty, its blocks never allocated, would hide.
            if sync:
                os.sync()
            # The page cache here is trimmed in the background; a read from
            # disk would swamp the result.
            for path in inputs:
                warm(path)
            listing = interleave(group, situation, sizes, round_number)
            measured = measure([(p.folder, argv) for p, argv in listing])
            totals = {p.label: 0.0 for p in group}
            for (p, _), (seconds, rss) in zip(listing, measured):
                totals[p.label] += seconds
                peaks[p.label] = max(peaks[p.label], rss)
            for label, seconds in totals.items():
                times[(label, situation)].append(seconds)
    check(case, programs, sizes)
    if os.environ.get("BENCH_VERBOSE"):
        print(case, {f"{label} {s}": [round(t * 1e3, 1) for t in ts]
                     for (label, s), ts in times.items()}, file=sys.stderr)
    return case, [p.label for p in programs], times, peaks


def linked_copy(source, folder):
    """Gives a program its own folder holding the same input file."""
    os.makedirs(folder, exist_ok=True)
    path = os.path.join(folder, os.path.basename(source))
    if os.path.lexists(path) and not os.path.samefile(source, path):
        os.unlink(path)
    if not os.path.lexists(path):
        os.link(source, path)


def make_inputs(quick):
    os.makedirs(DATA, exist_ok=True)
    pictures = [(640, 480), (1920, 1080)] + ([] if quick else [(4096, 4096)])
    for w, h in pictures:
        path = os.path.join(DATA, f"pic{w}x{h}", "picture.bmp")
        if not os.path.exists(path):
            os.makedirs(os.path.dirname(path), exist_ok=True)
            sh(program("make_bench_inputs"), "picture", path, str(w), str(h), str(w * h))
    batch = os.path.join(DATA, "batch", "inputs")
    if not os.path.exists(os.path.join(batch, "p499.bmp")):
        os.makedirs(batch, exist_ok=True)
        for i in range(500):
            sh(program("make_bench_inputs"), "picture", os.path.join(batch, f"p{i}.bmp"), "64", "64",
               str(i + 1))
    # Lines of any length up to 3000, and short lines.
    texts = []
    for mib in ([1, 8] if quick else [1, 64]):
        for kind, (low, high) in {"mixed": (0, 3000), "short": (30, 50)}.items():
            path = os.path.join(DATA, f"text-{mib}MiB-{kind}", "text.txt")
            if not os.path.exists(path) or os.path.getsize(path) != mib << 20:
                os.makedirs(os.path.dirname(path), exist_ok=True)
                sh(program("make_bench_inputs"), "text", path, str(mib << 20), str(low), str(high),
                   "7")
            texts.append((f"lortane {mib} MiB, {kind} lines", path))
    return pictures, batch, texts


def make_headers(pictures):
    """kestrin's header of each picture, the preview's input, in a folder of its own."""
    headers = []
    for w, h in pictures:
        folder = os.path.join(DATA, f"preview{w}x{h}")
        header = os.path.join(folder, "picture.bmp.h")
        if not os.path.exists(header):
            os.makedirs(folder, exist_ok=True)
            shutil.copy(os.path.join(DATA, f"pic{w}x{h}", "picture.bmp"), folder)
            sh(os.path.join(TOOLS, TOOL_PATHS["kestrin"]), "picture.bmp", cwd=folder,
               stdout=subprocess.DEVNULL)
            os.unlink(os.path.join(folder, "picture.bmp"))
        headers.append((w, h, header))
    return headers


def fmt_ms(seconds):
    ms = seconds * 1e3
    return f"{ms:.1f}" if ms < 100 else f"{ms:.0f}"


def table(results, pairs):
    lines = [
        f"Median of {pairs} alternating runs, the least and the most in brackets; × floor: the "
        "median over the floor's median in the same situation; × faster than plain: the plain "
        "version's median over this one.",
        "",
        "| input | program | new output, ms | × floor | × faster than plain "
        "| replaced output, ms | × floor | peak RSS, MiB |",
        "|---|---|---|---|---|---|---|---|"]
    for case, labels, times, peaks in results:
        medians = {key: statistics.median(ts) for key, ts in times.items()}
        for n, label in enumerate(labels):
            cells = [case if n == 0 else "", label]
            for situation in SITUATIONS:
                ts = times[(label, situation)]
                m = medians[(label, situation)]
                cells += [f"{fmt_ms(m)} ({fmt_ms(min(ts))}–{fmt_ms(max(ts))})",
                          f"{m / medians[(FLOOR, situation)]:.2f}"]
                if situation == "new":
                    plain = medians.get((PLAIN, situation))
                    cells.append(f"{plain / m:.1f}" if plain else "–")
            cells.append(f"{peaks[label] / 1024:.1f}")
            lines.append("| " + " | ".join(cells) + " |")
    return "\n".join(lines)


def history(path, results, pairs):
    """Adds this run's medians to a file of full runs and tells the range, over
    all the runs there, of each tool's ratios."""
    runs = []
    if os.path.exists(path):
        with open(path) as f:
            runs = [json.loads(line) for line in f if line.strip()]
    runs.append({"when": time.strftime("%Y-%m-%d %H:%M"), "pairs": pairs, "medians": {
        f"{case}|{label}|{s}": statistics.median(times[(label, s)])
        for case, labels, times, _ in results for label in labels for s in SITUATIONS}})
    with open(path, "w") as f:
        for run in runs:
            f.write(json.dumps(run) + "\n")

    def spread(case, label, situation, over):
        seen = [m[f"{case}|{label}|{situation}"] / m[f"{case}|{over}|{situation}"]
                for m in (run["medians"] for run in runs)
                if f"{case}|{label}|{situation}" in m and f"{case}|{over}|{situation}" in m]
        if not seen:
            return "–"
        if over == PLAIN:
            seen = [1 / ratio for ratio in seen]
        return f"{min(seen):.2f}–{max(seen):.2f}"

    keys = [key.split("|")[:2] for run in runs for key in run["medians"]]
    cases = list(dict.fromkeys(case for case, _ in keys))
    rows = sorted(dict.fromkeys((case, label) for case, label in keys),
                  key=lambda row: cases.index(row[0]))
    lines = [f"ratios of each tool's median over the {len(runs)} full runs in {path} (least–most)",
             "", "| input | program | new: × floor | replaced: × floor | new: × faster than plain |",
             "|---|---|---|---|---|"]
    for case, label in rows:
        if label not in (FLOOR, PLAIN):
            lines.append(f"| {case} | {label} | {spread(case, label, 'new', FLOOR)} "
                         f"| {spread(case, label, 'replaced', FLOOR)} "
                         f"| {spread(case, label, 'new', PLAIN)} |")
    return "\n".join(lines)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--pairs", type=int, default=7, help="runs of each program in each situation")
    parser.add_argument("--quick", action="store_true", help="small inputs only")
    parser.add_argument("--only", choices=["pictures", "batch", "texts", "previews"],
                        action="append",
                        help="run only these comparisons (may be repeated)")
    parser.add_argument("--baseline", metavar="REV",
                        help="also time the tools as built at this git revision")
    parser.add_argument("--no-sync", action="store_true",
                        help="no sync before each run: earlier outputs stay dirty, and write-back "
                        "of one run may fall into a later one")
    parser.add_argument("--history", metavar="FILE",
                        help="add this run's ratios to FILE and print their range over its runs")
    args = parser.parse_args()

    build()
    builds = [("", "tool", TOOLS)]
    if args.baseline:
        short, folder = build_baseline(args.baseline)
        builds.append((f" at {short}", "baseline", folder))
    pictures, batch, texts = make_inputs(args.quick)
    only = set(args.only or ["pictures", "batch", "texts", "previews"])
    keys = [key for _, key, _ in builds] + ["plain", "floor"]
    cases = []  # (name, tool, folder_of, names, argv_of, inputs)

    def kestrin_argv(exe, i, o):
        return [exe, i]

    for w, h in pictures if "pictures" in only else []:
        source = os.path.join(DATA, f"pic{w}x{h}", "picture.bmp")
        folder_of = lambda key, base=os.path.dirname(source): os.path.join(base, key)
        cases.append((f"kestrin {w}×{h}", "kestrin", folder_of, [("picture.bmp", "picture.bmp.h")],
                      kestrin_argv, [source]))
    if "batch" in only:
        folder_of = lambda key: os.path.join(os.path.dirname(batch), key)
        cases.append(("kestrin 500 × 64×64, one after another", "kestrin", folder_of,
                      [(f"p{i}.bmp", f"p{i}.bmp.h") for i in range(500)], kestrin_argv,
                      [os.path.join(batch, f"p{i}.bmp") for i in range(500)]))
    for w, h, header in make_headers(pictures) if "previews" in only else []:
        folder_of = lambda key, base=os.path.dirname(header): os.path.join(base, key)
        cases.append((f"kestrin-preview {w}×{h}", "kestrin-preview", folder_of,
                      [("picture.bmp.h", "picture.bmp.h.png")], kestrin_argv, [header]))
    for name, source in texts if "texts" in only else []:
        folder_of = lambda key, base=os.path.dirname(source): os.path.join(base, key)
        cases.append((name, "lortane", folder_of, [("text.txt", "text.c")],
                      lambda exe, i, o: [exe, "text", i, o], [source]))

    results = []
    for name, tool, folder_of, names, argv_of, sources in cases:
        start = time.monotonic()
        for key in keys:
            for source in sources:
                linked_copy(source, folder_of(key))
        programs = case_programs(tool, folder_of, names, argv_of, builds)
        results.append(compare(name, programs, sources, args.pairs, not args.no_sync))
        print(f"{name}: {time.monotonic() - start:.0f} s, load average "
              f"{os.getloadavg()[0]:.1f}", file=sys.stderr)

    print()
    print(table(results, args.pairs))
    if args.history:
        print()
        print(history(args.history, results, args.pairs))


if __name__ == "__main__":
    main()
