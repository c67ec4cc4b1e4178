#!/usr/bin/env python3
"""What a run of 1division costs, beside the floor and the usual alternatives.

usage: bench.py BUILD_DIR [--out FILE]

Writes a Markdown report to stdout and to FILE (bench/results.md). Counts
instructions with callgrind, which repeat exactly on a noisy machine; times
are wall-clock, best of three, and peak RSS is the most of three, from
wait4 in a small helper (for a pipeline, the most of its processes).
Nothing here is a pass or a fail.
"""
import argparse
import datetime
import os
import platform
import re
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
MIB = 1 << 20
DIGITS = b"1234567890"
PEAK_RSS = None


def collected(cmd, expected, env=None, profile=None):
    """Instructions of one run answering 1 and 3, under callgrind."""
    r = subprocess.run(
        ["valgrind", "--tool=callgrind",
         "--callgrind-out-file=" + (profile or os.devnull)] + cmd,
        input=b"1\n3\n", capture_output=True, env=env, check=True)
    if r.stdout != expected:
        sys.exit("bench: %s printed %r" % (cmd[0], r.stdout))
    return int(re.search(rb"Collected : (\d+)", r.stderr).group(1))


def run_once(cmd, stdin_path):
    """Seconds, peak RSS in KiB, exit status and output of one run."""
    with open(stdin_path, "rb") as stdin, tempfile.TemporaryFile() as out, \
            tempfile.NamedTemporaryFile() as rss:
        start = time.perf_counter()
        status = subprocess.run([PEAK_RSS, rss.name] + cmd, stdin=stdin,
                                stdout=out, stderr=subprocess.DEVNULL
                                ).returncode
        seconds = time.perf_counter() - start
        out.seek(0)
        return seconds, int(rss.read()), status, out.read()


def best_of_3(cmd, stdin_path):
    runs = [run_once(cmd, stdin_path) for _ in range(3)]
    return (min(r[0] for r in runs), max(r[1] for r in runs),
            runs[0][2], runs[0][3])


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
    ours = best_of_3([program], path)
    wc = best_of_3(["wc", "-l"], path)
    piped = best_of_3(["sh", "-c", 'cat "$0" | "$1"', path, program], path)
    piped_wc = best_of_3(["sh", "-c", 'cat "$0" | wc -l', path], path)
    python = run_once([sys.executable, os.path.join(HERE, "division.py")],
                      path)
    os.remove(path)

    def outcome(r):
        return "%s, exit %d" % (r[3].decode().strip() or "no output", r[2])

    rows = [
        ("1division < file", "%.3f" % ours[0], ours[1],
         "%.2f" % (ours[0] / wc[0]), outcome(ours)),
        ("wc -l < file", "%.3f" % wc[0], wc[1], "1.00", "the limit"),
        ("cat file \\| 1division", "%.3f" % piped[0], piped[1],
         "%.2f" % (piped[0] / piped_wc[0]) + " (to cat \\| wc -l)",
         outcome(piped)),
        ("cat file \\| wc -l", "%.3f" % piped_wc[0], piped_wc[1], "", ""),
        ("Python 3 < file (one run)", "%.3f" % python[0], python[1],
         "%.2f" % (python[0] / wc[0]), outcome(python)),
    ]
    return (table(["512 MiB line, then 7 and 2", "seconds", "peak RSS KiB",
                   "to wc -l", "result"], rows) +
            "\n\nA normal run (7 and 2) peaks at %d KiB; the 512 MiB line "
            "at %+d KiB from that." % (normal[1], ours[1] - normal[1]))


def growth(program, normal, work):
    base = normal[0]
    rows = [("none (7 and 2)", "%.4f" % base, "", normal[1])]
    for mib in (1, 16, 256):
        path = long_line_file(os.path.join(work, "line%d" % mib), mib)
        seconds, rss, _, _ = best_of_3([program], path)
        os.remove(path)
        rows.append(("%d MiB" % mib, "%.4f" % seconds,
                     "%.2f" % ((seconds - base) * 1e9 / (mib * MIB)), rss))
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
