#!/usr/bin/env python3
"""What a run of 1division costs, beside the floor and the usual alternatives.

usage: bench.py BUILD_DIR [--out FILE]

Writes a Markdown report to stdout and to FILE (bench/results.md). Counts
instructions with callgrind, which repeat exactly on a noisy machine; times
are wall-clock, best of three, but for the 512 MiB line the median of
seven, its commands taking turns. Peak RSS is the most of the runs, from
wait4 in a small helper, and read calls come from its /proc/PID/io: both
are of the command that reads, after cat in a pipeline. Nothing here is a
pass or a fail.
"""
import argparse
import datetime
import os
import platform
import re
import statistics
import subprocess
import sys
import tempfile
import time
from collections import namedtuple

HERE = os.path.dirname(os.path.abspath(__file__))
MIB = 1 << 20
DIGITS = b"1234567890"
PEAK_RSS = None
RUNS = 7

Run = namedtuple("Run", "seconds rss reads status output")


def collected(cmd, expected, env=None, profile=None):
    """Instructions of one run answering 1 and 3, under callgrind."""
    r = subprocess.run(
        ["valgrind", "--tool=callgrind",
         "--callgrind-out-file=" + (profile or os.devnull)] + cmd,
        input=b"1\n3\n", capture_output=True, env=env, check=True)
    if r.stdout != expected:
        sys.exit("bench: %s printed %r" % (cmd[0], r.stdout))
    return int(re.search(rb"Collected : (\d+)", r.stderr).group(1))


def run_once(cmd, stdin_path, piped=False):
    """One run of cmd reading the file, or with piped, cat's copy of it
    through a pipe."""
    with open(stdin_path, "rb") as stdin, tempfile.TemporaryFile() as out, \
            tempfile.NamedTemporaryFile() as rss, \
            tempfile.NamedTemporaryFile() as reads:
        start = time.perf_counter()
        cat = subprocess.Popen(["cat", stdin_path], stdout=subprocess.PIPE) \
            if piped else None
        status = subprocess.run(
            [PEAK_RSS, "-r", reads.name, rss.name] + cmd,
            stdin=cat.stdout if cat else stdin, stdout=out,
            stderr=subprocess.DEVNULL).returncode
        if cat:
            cat.stdout.close()
            cat.wait()
        seconds = time.perf_counter() - start
        out.seek(0)
        return Run(seconds, int(rss.read()), int(reads.read()), status,
                   out.read())


def summary(runs, pick):
    """The runs as one: pick of their seconds and reads, the most RSS."""
    return Run(pick([r.seconds for r in runs]), max(r.rss for r in runs),
               int(pick([r.reads for r in runs])), runs[0].status,
               runs[0].output)


def best_of_3(cmd, stdin_path):
    return summary([run_once(cmd, stdin_path) for _ in range(3)], min)


def side_by_side(stdin_path, commands):
    """The median of RUNS runs of each (cmd, piped), taking turns, so that
    a busy moment of the machine falls on all of them alike."""
    runs = [[] for _ in commands]
    for _ in range(RUNS):
        for each, (cmd, piped) in zip(runs, commands):
            each.append(run_once(cmd, stdin_path, piped))
    return [summary(each, statistics.median) for each in runs]


def long_line_file(path, mib):
    """A line of mib MiB of digits, then 7 and 2."""
    piece = (DIGITS * (MIB // len(DIGITS) + 1))[:MIB]
    with open(path, "wb") as f:
        for _ in range(mib):
            f.write(piece)
        f.write(b"\n7\n2\n")
    return path


def machine():
    model = "unknown processor"
    with open("/proc/cpuinfo") as f:
        for line in f:
            if line.startswith("model name"):
                model = line.split(":", 1)[1].strip()
                break
    libc = os.confstr("CS_GNU_LIBC_VERSION")
    return "%s, %d cores, Linux %s, %s, Python %s" % (
        model, os.cpu_count(), platform.release(), libc,
        platform.python_version())


def table(header, rows):
    lines = ["| " + " | ".join(header) + " |",
             "|" + "---|" * len(header)]
    lines += ["| " + " | ".join(str(c) for c in row) + " |" for row in rows]
    return "\n".join(lines)


def whole_runs(build, program, work):
    floor = dict(os.environ,
                 LD_LIBRARY_PATH=os.path.join(build, "bench", "floor"))
    rows = [
        ("1division, our libqiro.so.10", [program], None),
        ("floor: 1division, a get_int that reads nothing", [program], floor),
        ("C with scanf", [os.path.join(build, "bench", "scanf_division")],
         None),
        ("Python 3", [sys.executable, os.path.join(HERE, "division.py")],
         None),
    ]
    counts = []
    for name, cmd, env in rows:
        profile = os.path.join(work, "callgrind.%d" % len(counts))
        expected = b"1.000000\n" if env is floor else b"0.333333\n"
        counts.append(collected(cmd, expected, env, profile))
    base = counts[1]
    return table(["run answering 1 and 3", "instructions", "to the floor"],
                 [(name, "{:,}".format(n), "%.3f" % (n / base))
                  for (name, _, _), n in zip(rows, counts)])


def long_line(program, normal, work):
    path = long_line_file(os.path.join(work, "line512"), 512)
    wc = ["wc", "-l"]
    ours, file_wc, piped, piped_wc = side_by_side(
        path, [([program], False), (wc, False), ([program], True),
               (wc, True)])
    python = run_once([sys.executable, os.path.join(HERE, "division.py")],
                      path)
    os.remove(path)

    def outcome(r):
        return "%s, exit %d" % (r.output.decode().strip() or "no output",
                                r.status)

    def row(name, r, to, result, note=""):
        return (name, "%.3f" % r.seconds, r.rss, "{:,}".format(r.reads),
                "%.2f%s" % (r.seconds / to.seconds, note), result)

    to_cat = " (to cat \\| wc -l)"
    rows = [
        row("1division < file", ours, file_wc, outcome(ours)),
        row("wc -l < file", file_wc, file_wc, "the limit"),
        row("cat file \\| 1division", piped, piped_wc, outcome(piped),
            to_cat),
        row("cat file \\| wc -l", piped_wc, piped_wc, "the limit", to_cat),
        row("Python 3 < file (one run)", python, file_wc, outcome(python)),
    ]
    return (table(["512 MiB line, then 7 and 2", "seconds", "peak RSS KiB",
                   "reads", "to wc -l", "result"], rows) +
            "\n\nSeconds are the median of %d runs, the first four rows "
            "taking turns. Reads are the read calls of the command that "
            "reads, loading its libraries included. A normal run (7 and 2) "
            "peaks at %d KiB; "
            "the 512 MiB line at %+d KiB from that."
            % (RUNS, normal.rss, ours.rss - normal.rss))


def growth(program, normal, work):
    base = normal.seconds
    rows = [("none (7 and 2)", "%.4f" % base, "", normal.rss)]
    for mib in (1, 16, 256):
        path = long_line_file(os.path.join(work, "line%d" % mib), mib)
        r = best_of_3([program], path)
        os.remove(path)
        rows.append(("%d MiB" % mib, "%.4f" % r.seconds,
                     "%.2f" % ((r.seconds - base) * 1e9 / (mib * MIB)),
                     r.rss))
    return table(["line before 7 and 2", "seconds",
                  "ns per byte over none", "peak RSS KiB"], rows)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("--out", default=os.path.join(HERE, "results.md"))
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    global PEAK_RSS
    PEAK_RSS = os.path.join(build, "bench", "peak_rss")
    work = os.path.join(build, "bench", "work")
    os.makedirs(work, exist_ok=True)

    program = os.path.join(build, "lectures", "1division")
    short = os.path.join(work, "short")
    with open(short, "wb") as f:
        f.write(b"7\n2\n")
    normal = best_of_3([program], short)
    report = "\n\n".join([
        "Run on %s, %s." % (datetime.date.today().isoformat(), machine()),
        "### A whole run\n\n" + whole_runs(build, program, work),
        "### Rejecting one very long line\n\n" +
        long_line(program, normal, work),
        "### How the cost grows\n\n" + growth(program, normal, work),
        "Profiles of the whole runs, for callgrind_annotate: %s/callgrind.*"
        % os.path.relpath(work),
    ]) + "\n"
    sys.stdout.write(report)
    with open(args.out, "w") as f:
        f.write(report)


if __name__ == "__main__":
    main()
