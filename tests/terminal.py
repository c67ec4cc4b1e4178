#!/usr/bin/env python3
"""Drive 1division through a pseudo-terminal, as a person at a keyboard.

usage: terminal.py PROGRAM
"""
import os
import pty
import re
import select
import sys
import unittest

import testing

PROGRAM = None


class Session:
    def __init__(self):
        self.pid, self.fd = pty.fork()
        if self.pid == 0:
            os.execv(PROGRAM, [PROGRAM])
        self.screen = b""

    def expect(self, text, timeout=20):
        """Reads until text shows; returns what came before it."""
        while text not in self.screen:
            ready, _, _ = select.select([self.fd], [], [], timeout)
            if not ready:
                raise AssertionError("%r never showed; screen: %r"
                                     % (text, self.screen))
            try:
                chunk = os.read(self.fd, 4096)
            except OSError:  # EIO: the program has gone
                chunk = b""
            if not chunk:
                raise AssertionError("program ended before %r; screen: %r"
                                     % (text, self.screen))
            self.screen += chunk
        before, _, self.screen = self.screen.partition(text)
        return before

    def type(self, keys):
        os.write(self.fd, keys)

    def finish(self):
        """Reads the rest of the screen, returns (rest, exit status)."""
        rest = b""
        while True:
            try:
                chunk = os.read(self.fd, 4096)
            except OSError:
                break
            if not chunk:
                break
            rest += chunk
        _, status = os.waitpid(self.pid, 0)
        os.close(self.fd)
        return self.screen + rest, os.waitstatus_to_exitcode(status)


class Terminal(unittest.TestCase):
    def test_asks_again_then_divides(self):
        s = Session()
        s.expect(b"x: ")
        s.type(b"seven\n")
        self.assertIn(b"not a whole number", s.expect(b"x: "))
        s.type(b"99999999999\n")
        self.assertIn(b"out of range", s.expect(b"x: "))
        s.type(b"7\n")
        s.expect(b"y: ")
        s.type(b"2\n")
        rest, status = s.finish()
        self.assertEqual(rest.split(), [b"2", b"3.500000"])  # echo, result
        self.assertEqual(status, 0)

    def test_ctrl_d_at_the_prompt(self):
        s = Session()
        s.expect(b"x: ")
        s.type(b"\x04")
        rest, status = s.finish()
        self.assertIn(b"end of input", rest)
        self.assertIsNone(re.search(rb"\d\.\d{6}|inf|nan", rest))
        self.assertEqual(status, 1)


if __name__ == "__main__":
    PROGRAM = os.path.abspath(sys.argv[1])
    testing.main()
