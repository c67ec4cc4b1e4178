#!/usr/bin/env python3
"""Memory stays bounded: a 64 MiB line costs no more than a short one.

usage: memory.py PROGRAM

Peak RSS is the child's own, from wait4(2).
"""
import os
import subprocess
import sys
import tempfile
import unittest

PROGRAM = None
MIB = 1 << 20
SLACK_KIB = 1024


def peak_rss_kib(stdin_path):
    with open(stdin_path, "rb") as stdin:
        p = subprocess.Popen([PROGRAM], stdin=stdin, stdout=subprocess.PIPE,
                             stderr=subprocess.DEVNULL)
        out = p.stdout.read()
        _, status, usage = os.wait4(p.pid, 0)
        p.returncode = os.waitstatus_to_exitcode(status)
    assert out == b"3.500000\n" and p.returncode == 0, (out, p.returncode)
    return usage.ru_maxrss


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
                    base = peak_rss_kib(short)
                    big = peak_rss_kib(long)
                    self.assertLessEqual(big, base + SLACK_KIB,
                                         "peak RSS %d KiB, a short run %d KiB"
                                         % (big, base))


if __name__ == "__main__":
    PROGRAM = os.path.abspath(sys.argv[1])
    unittest.main(argv=sys.argv[:1], verbosity=2)
