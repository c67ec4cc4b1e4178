#!/usr/bin/env python3
"""End-to-end tests: run the built 1division through pipes.

usage: e2e.py [--wrap COMMAND] [--processor NAME] [--fail-close HELPER]
              [-k PATTERN]... PROGRAM [OTHER_LIB_DIR]

--wrap runs the program under COMMAND (valgrind or an emulator, say), which
must keep the program's output and status as they are. NAME is the processor
the program was built for (this machine's by default). HELPER runs a command
whose close of standard output fails. -k runs only the tests that match. With OTHER_LIB_DIR, also
check that LD_LIBRARY_PATH=OTHER_LIB_DIR puts the libqiro.so.10 there in
place of the one the program's RUNPATH names.
"""
import argparse
import os
import platform
import re
import shlex
import subprocess
import sys
import tempfile
import unittest

import testing

ARGS = None
PROMPTS = b"x: y: "
RANGE = b"out of range, enter a whole number from -2147483648 to 2147483647\n"
NOT_NUMBER = b"not a whole number, try again\n"
END = b"\n1division: end of input, no whole number given\n"


def nan(processor):
    """0 / 0 gives the processor's default NaN: its sign is set on x86."""
    x86 = re.fullmatch(r"x86_64|amd64|i[3-6]86|x86", processor, re.I)
    return "-nan" if x86 else "nan"


def run(stdin=b"", redirect="", env=None, under=()):
    """Runs the program under the commands given, if any; redirect, in sh
    syntax, closes or reroutes streams."""
    cmd = list(under) + shlex.split(ARGS.wrap) + [ARGS.program]
    if redirect:
        cmd = ["/bin/sh", "-c", 'exec "$@" ' + redirect, "sh"] + cmd
    return subprocess.run(cmd, input=stdin, capture_output=True, env=env,
                          timeout=120)


class Quotient(unittest.TestCase):
    # x, y, the line written
    CASES = [
        (1, 3, "0.333333"),
        (2, 3, "0.666667"),            # sixth decimal rounded
        (22, 7, "3.142857"),
        (7, 2, "3.500000"),            # no integer division
        (-7, 2, "-3.500000"),
        (5, -2, "-2.500000"),
        (0, 5, "0.000000"),
        (0, -5, "-0.000000"),          # negative zero keeps its sign
        (1, -2147483648, "-0.000000"),
        (100000000, 3, "33333334.000000"),  # binary32, not binary64
        (123456789, 1000, "123456.789062"),  # tie at the sixth decimal
        (16777217, 1, "16777216.000000"),  # x rounds on conversion
        (16777217, 5, "3355443.250000"),  # ... before the division
        (2147483647, 1, "2147483648.000000"),
        (-2147483648, -1, "2147483648.000000"),  # no overflow, no trap
        (1, 0, "inf"),
        (-1, 0, "-inf"),
        (0, 0, "NAN"),                 # the processor's default NaN
        (10, 4, "2.500000"),
        (1, 10, "0.100000"),           # 0.1f is 0.100000001490116...
        (16777215, 16777216, "1.000000"),  # quotient rounds up to 1
    ]

    def test_table(self):
        for x, y, line in self.CASES:
            line = nan(ARGS.processor) if line == "NAN" else line
            with self.subTest(x=x, y=y):
                r = run(b"%d\n%d\n" % (x, y))
                self.assertEqual(r.stdout, line.encode() + b"\n")
                self.assertEqual(r.stderr, PROMPTS)
                self.assertEqual(r.returncode, 0)


class Input(unittest.TestCase):
    # stdin, stdout, what stderr shows between the prompts
    CASES = [
        (b"7\r\n2\r\n", b"3.500000\n", PROMPTS),
        (b"  +7\t\n\t-2 \n", b"-3.500000\n", PROMPTS),
        (b"7\n2", b"3.500000\n", PROMPTS),  # last line without '\n'
        (b"abc\n7\n2\n", b"3.500000\n", b"x: " + NOT_NUMBER + PROMPTS),
        (b"7\n\n2\n", b"3.500000\n", b"x: y: " + NOT_NUMBER + b"y: "),
        (b"2147483648\n7\n2\n", b"3.500000\n", b"x: " + RANGE + PROMPTS),
        (b"-2147483649\n7\n2\n", b"3.500000\n", b"x: " + RANGE + PROMPTS),
        (b"1\x002\n7\n2\n", b"3.500000\n", b"x: " + NOT_NUMBER + PROMPTS),
        (b"0x10\n1e3\n3.5\n4 2\n+-5\n-\n7\n2\n", b"3.500000\n",
         (b"x: " + NOT_NUMBER) * 6 + PROMPTS),
        (b"0" * 1000000 + b"7\n2\n", b"3.500000\n", PROMPTS),
        # '\n' last in stdio's first buffer through a pipe, first in its next
        (b" " * 4094 + b"7\n2\n", b"3.500000\n", PROMPTS),
        (b" " * 4095 + b"7\n2\n", b"3.500000\n", PROMPTS),
        # what follows a long line, in the larger buffer it was read with
        (b" " * 5000 + b"7\n2\n", b"3.500000\n", PROMPTS),
        (b"9" * 70000 + b"\n" + b"0" * 70000 + b"7\n2\n", b"3.500000\n",
         b"x: " + RANGE + PROMPTS),
        (b"9" * 1000000 + b"\n7\n2\n", b"3.500000\n", b"x: " + RANGE + PROMPTS),
    ]

    def test_table(self):
        for stdin, stdout, stderr in self.CASES:
            with self.subTest(stdin=stdin[:40]):
                r = run(stdin)
                self.assertEqual(r.stdout, stdout)
                self.assertEqual(r.stderr, stderr)
                self.assertEqual(r.returncode, 0)

    def test_same_under_a_decimal_comma_locale(self):
        if not os.path.isdir("/usr/share/i18n/locales"):
            self.skipTest("no locale sources to build de_DE.UTF-8 from")
        with tempfile.TemporaryDirectory() as tmp:
            made = subprocess.run(["localedef", "-i", "de_DE", "-f", "UTF-8",
                                   os.path.join(tmp, "de_DE.UTF-8")],
                                  capture_output=True)
            self.assertEqual(made.returncode, 0, made.stderr)
            env = dict(os.environ, LOCPATH=tmp, LC_ALL="de_DE.UTF-8")
            r = run(b" -7\n2\n", env=env)
            self.assertEqual(r.stdout, b"-3.500000\n")
            self.assertEqual(r.returncode, 0)

    def test_bytes_never_echoed(self):
        evil = b"\x1b]0;owned\x07\x1b[2J%s%n"
        r = run(evil + b"\n" + evil + b"9" * 20 + b"\n")
        self.assertNotIn(b"\x1b", r.stderr)
        self.assertNotIn(b"owned", r.stderr)
        self.assertNotIn(b"%n", r.stderr)
        self.assertEqual(r.returncode, 1)


class EndOfInput(unittest.TestCase):
    # stdin, stderr; each run ends with status 1 and writes no result
    CASES = [
        (b"", b"x: " + END),
        (b"7\n", b"x: y: " + END),
        (b"7", b"x: y: " + END),  # the end found with x's line is y's too
        (b"7\nabc", b"x: y: " + NOT_NUMBER + b"y: " + END),
        (b"9999999999", b"x: " + RANGE + b"x: " + END),
    ]

    def test_table(self):
        for stdin, stderr in self.CASES:
            with self.subTest(stdin=stdin):
                r = run(stdin)
                self.assertEqual(r.stdout, b"")
                self.assertEqual(r.stderr, stderr)
                self.assertEqual(r.returncode, 1)

    def test_stdin_closed(self):
        r = run(redirect="<&-")
        self.assertEqual(r.stdout, b"")
        self.assertEqual(
            r.stderr, b"x: \n1division: read error: Bad file descriptor\n")
        self.assertEqual(r.returncode, 1)


class WriteError(unittest.TestCase):
    # how stdout is lost, what the program runs under, the reason given
    CASES = [
        (">/dev/full", [], b"No space left on device"),
        (">&-", [], b"Bad file descriptor"),
        # the failed write happens inside printf: only ferror tells
        (">/dev/full", ["stdbuf", "-oL"], b"No space left on device"),
        # written, but the close fails
        ("", ["FAIL_CLOSE"], b"Input/output error"),
    ]

    def test_table(self):
        for redirect, under, reason in self.CASES:
            under = [ARGS.fail_close if u == "FAIL_CLOSE" else u
                     for u in under]
            with self.subTest(redirect=redirect, under=under):
                r = run(b"1\n3\n", redirect=redirect, under=under)
                self.assertEqual(
                    r.stderr, PROMPTS + b"1division: write error: " + reason
                    + b"\n")
                self.assertEqual(r.returncode, 1)


class Runpath(unittest.TestCase):
    def test_ld_library_path_wins(self):
        if not ARGS.other_lib_dir:
            self.skipTest("no other libqiro.so.10 given")
        env = dict(os.environ, LD_LIBRARY_PATH=ARGS.other_lib_dir)
        r = run(b"", env=env)  # it reads nothing: every answer is 1
        self.assertEqual(r.stdout, b"1.000000\n")
        self.assertEqual(r.returncode, 0)


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--wrap", default="")
    parser.add_argument("--processor", default=platform.machine())
    parser.add_argument("-k", dest="patterns", action="append", default=[])
    parser.add_argument("--fail-close")
    parser.add_argument("program", type=os.path.abspath)
    parser.add_argument("other_lib_dir", nargs="?")
    ARGS = parser.parse_args()
    testing.main([a for p in ARGS.patterns for a in ("-k", p)])
