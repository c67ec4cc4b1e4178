#!/usr/bin/env python3
"""Memory stays bounded: a 64 MiB line costs no more than a short one.

usage: memory.py PROGRAM PEAK_RSS

PEAK_RSS is the helper that runs a command and reports its peak RSS.
"""
import os
import subprocess
import sys
import tempfile
import unittest

import testing

PROGRAM = PEAK_RSS = None
MIB = 1 << 20
SLACK_KIB = 1024


def peak_rss_kib(stdin_path, stderr):
    """Runs the program on the file; checks what it says, returns its peak."""
    with open(stdin_path, "rb") as stdin, \
            tempfile.NamedTemporaryFile() as rss:
        r = subprocess.run([PEAK_RSS, rss.name, PROGRAM], stdin=stdin,
                           capture_output=True)
        assert (r.stdout, r.stderr, r.returncode) == \
            (b"3.500000\n", stderr, 0), r
        return int(rss.read())


class Memory(unittest.TestCase):
    def test_long_line_in_bounded_memory(self):
        with tempfile.TemporaryDirectory() as tmp:
            short = os.path.join(tmp, "short")
            with open(short, "wb") as f:
                f.write(b"7\n2\n")
            for name, line in [("digits", b"1234567890"), ("blanks", b" ")]:
                with self.subTest(line=name):
                    long = os.path.join(tmp, name)
                    with open(long, "wb") as f:
                        piece = line * (MIB // len(line))
                        for _ in range(64):
                            f.write(piece)
                        f.write(b"x\n7\n2\n")
                    base = peak_rss_kib(short, b"x: y: ")
                    big = peak_rss_kib(long, b"x: not a whole number, "
                                       b"try again\nx: y: ")
                    self.assertLessEqual(big, base + SLACK_KIB,
                                         "peak RSS %d KiB, a short run %d KiB"
                                         % (big, base))


if __name__ == "__main__":
    PROGRAM, PEAK_RSS = map(os.path.abspath, sys.argv[1:3])
    testing.main()
