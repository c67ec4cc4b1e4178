#!/usr/bin/env python3
"""Drive 1division at a pseudo-terminal, as a person at a keyboard.

usage: terminal.py [--wrap COMMAND] [-k PATTERN]... [--caller CALLER] PROGRAM

The program runs as a shell with job control runs it: in a process group of
its own, in the terminal's foreground, below a session leader that waits for
it. After every session the terminal's settings must be as they were before.
What it writes goes to a model of a terminal's screen (pyte), which also
answers where the cursor is.
--wrap runs the program under COMMAND (valgrind, say); -k runs only the tests
that match. CALLER is tests/caller.c, for callers other than 1division.
"""
import argparse
import atexit
import fcntl
import os
import re
import resource
import select
import shlex
import signal
import struct
import sys
import termios
import time
import unittest

import testing

try:
    import pyte
except ImportError:  # Debian's, where another Python runs the tests
    sys.path.append("/usr/lib/python3/dist-packages")
    import pyte

ARGS = None
RUNNING = set()  # programs a failed test left behind, killed at exit
atexit.register(lambda: [os.kill(pid, signal.SIGKILL) for pid in RUNNING])
UP, DOWN, RIGHT, LEFT = b"\x1b[A", b"\x1b[B", b"\x1b[C", b"\x1b[D"
HOME, END, DELETE = b"\x1b[H", b"\x1b[F", b"\x1b[3~"


def setUpModule():
    try:
        for fd in os.openpty():
            os.close(fd)
    except OSError as e:
        raise unittest.SkipTest("no pseudo-terminal: %s" % e)


def ctrl(c):
    return bytes([ord(c) & 0x1f])


class Session:
    """The program (or argv) at a pseudo-terminal, below a session leader.
    With shell, the leader acts as a job-control shell when the program
    stops: it takes the terminal back in a mode of its own (SHELL_MODE)
    and waits for job(): "f" gives the terminal back as it was before and
    continues the job in the foreground, "b" in the background; as "bare"
    (dash), it sets no mode, its own or the job's. Started in
    background, the program never has the terminal; err_pty puts its
    stderr on a terminal of its own (self.err). cc sets terminal keys
    (termios.VKILL: ctrl("T"), say); the terminal answers where its
    cursor is "now", "late" (after the next keys typed) or "never"."""

    def __init__(self, term="xterm", typed_ahead=b"", argv=None,
                 shell=False, background=False, err_pty=False, prompt=b"x: ",
                 wrap=True, answers="now", cc=None):
        self.fd, self.tty = os.openpty()
        self.err, err = os.openpty() if err_pty else (None, self.tty)
        self.term = pyte.Screen(80, 24)
        self.answers, self.held, self.shell = answers, b"", shell
        self.term.write_process_input = self._answer
        self.stream = pyte.ByteStream(self.term)
        self.resize(80)
        mode = termios.tcgetattr(self.tty)
        for key, value in (cc or {}).items():
            mode[6][key] = value
        termios.tcsetattr(self.tty, termios.TCSANOW, mode)
        self.before = termios.tcgetattr(self.tty)
        mode = termios.tcgetattr(self.tty)
        mode[3] &= ~(termios.ICANON | termios.ECHO)
        termios.tcsetattr(self.tty, termios.TCSANOW, mode)
        self.shell_mode = termios.tcgetattr(self.tty)  # as tcgetattr gives it
        termios.tcsetattr(self.tty, termios.TCSANOW, self.before)
        os.write(self.fd, typed_ahead)
        self.screen = self.seen = b""
        self.report, report = os.pipe()
        control, self.control = os.pipe()
        argv = argv or [ARGS.program]
        if os.fork() == 0:
            if wrap:
                argv = shlex.split(ARGS.wrap) + argv
            self._lead(term, argv, report, control, shell, background, err)
        os.close(report)
        os.close(control)
        self.pid = int(self._report())
        RUNNING.add(self.pid)
        if prompt:
            self.expect(prompt)

    def _lead(self, term, argv, report, control, shell, background, err):
        """The session leader: starts the program, reports its pid, as a
        shell each stop once it has the terminal back, and, when the
        program ends, its wait status."""
        try:
            # The test's ends: its exit must end a wait for a command.
            os.close(self.report)
            os.close(self.control)
            os.setsid()
            fcntl.ioctl(self.tty, termios.TIOCSCTTY, 0)
            signal.signal(signal.SIGTTOU, signal.SIG_IGN)
            pid = os.fork()
            if pid == 0:
                os.setpgid(0, 0)
                if not background:
                    os.tcsetpgrp(self.tty, os.getpid())
                for sig in [signal.SIGINT, signal.SIGQUIT, signal.SIGTERM,
                            signal.SIGHUP, signal.SIGTSTP, signal.SIGTTIN,
                            signal.SIGTTOU, signal.SIGPIPE]:
                    if sig != signal.SIGTTOU or not background:
                        signal.signal(sig, signal.SIG_DFL)
                resource.setrlimit(resource.RLIMIT_CORE, (0, 0))
                for fd in (0, 1, 2):
                    os.dup2(err if fd == 2 else self.tty, fd)
                os.execvpe(argv[0], argv, dict(os.environ, TERM=term))
            os.write(report, b"%d\n" % pid)
            while True:
                status = os.waitpid(pid, os.WUNTRACED if shell else 0)[1]
                if not os.WIFSTOPPED(status):
                    break
                os.tcsetpgrp(self.tty, os.getpgrp())
                if shell != "bare":
                    termios.tcsetattr(self.tty, termios.TCSANOW,
                                      self.shell_mode)
                os.write(report, b"stopped\n")
                command = os.read(control, 1)
                if not command:
                    os.kill(-pid, signal.SIGKILL)
                elif command == b"f":
                    if shell != "bare":
                        termios.tcsetattr(self.tty, termios.TCSANOW,
                                          self.before)
                    os.tcsetpgrp(self.tty, pid)
                os.kill(-pid, signal.SIGCONT)
            os.write(report, b"%d\n" % status)
        finally:
            os._exit(0)

    def _answer(self, answer):
        """Where the cursor is; late, after the next keys typed."""
        if self.answers == "late":
            self.held += answer.encode()
        elif self.answers == "now":
            os.write(self.fd, answer.encode())

    def job(self, command):
        os.write(self.control, command)

    def _report(self):
        """A line from the leader, the screen read meanwhile, as a
        terminal reads it all the time."""
        line = b""
        while not line.endswith(b"\n"):
            ready = select.select([self.report, self.fd], [], [], 60)[0]
            if not ready:
                raise AssertionError("the program did not end; screen: %r"
                                     % self.screen)
            if self.fd in ready:
                self.read()
                continue
            byte = os.read(self.report, 1)
            if not byte:
                raise AssertionError("the session leader failed")
            line += byte
        return line

    def expect(self, text, timeout=60):
        """Reads until text shows; returns what came before it."""
        while text not in self.screen:
            if not select.select([self.fd], [], [], timeout)[0]:
                raise AssertionError("%r never showed; screen: %r"
                                     % (text, self.screen))
            self.read()
        before, _, self.screen = self.screen.partition(text)
        return before

    def read(self):
        data = os.read(self.fd, 4096)
        self.screen += data
        self.seen += data
        self.stream.feed(data)

    def resize(self, columns):
        fcntl.ioctl(self.fd, termios.TIOCSWINSZ,
                    struct.pack("HHHH", 24, columns, 0, 0))
        self.term.resize(24, columns)

    def row(self):
        """The screen's row the cursor is on, and the cursor's column."""
        return self.term.display[self.term.cursor.y].rstrip(), \
            self.term.cursor.x

    def shows(self, text, timeout=10):
        """Reads until the cursor's row is text, the cursor after it."""
        deadline = time.monotonic() + timeout
        while self.row() != (text.rstrip(), len(text)):
            if not select.select([self.fd], [], [],
                                 deadline - time.monotonic())[0]:
                raise AssertionError("%r never showed; row %r, screen:\n%s"
                                     "\nfrom %r"
                                     % (text, self.row(),
                                        "\n".join(self.term.display),
                                        self.seen[-300:]))
            self.read()

    def type(self, keys):
        while select.select([self.fd], [], [], 0)[0]:
            self.read()
        os.write(self.fd, keys)
        if self.held:
            time.sleep(0.5)
            os.write(self.fd, self.held)
            self.held = b""

    def settings(self):
        return termios.tcgetattr(self.tty)

    def editing(self, on=True):
        """Until the editor has the terminal (not canonical), or on=False,
        until it has given it back."""
        for _ in range(6000):
            if bool(self.settings()[3] & termios.ICANON) != on:
                return
            time.sleep(0.01)
        raise AssertionError("the editor's mode never came or went")

    def wait_stopped(self):
        """Until the program stops; as a shell, until the leader has taken
        the terminal back too."""
        if self.shell:
            if self._report() != b"stopped\n":
                raise AssertionError("the program ended")
            return
        for _ in range(1200):
            with open("/proc/%d/stat" % self.pid) as f:
                if f.read().rsplit(")", 1)[1].split()[0] == "T":
                    return
            time.sleep(0.05)
        raise AssertionError("the program did not stop")

    def drain(self):
        """Reads what the program wrote until it writes no more."""
        while select.select([self.fd], [], [], 0.2)[0]:
            self.read()

    def finish(self, left=None):
        """Waits for the program's end; returns the rest of the screen and
        the exit status, once the terminal is seen to be given back (or
        left as the shell left it)."""
        status = int(self._report())
        RUNNING.discard(self.pid)
        self.drain()
        assert self.settings() == (left or self.before), \
            "terminal left changed"
        for fd in (self.fd, self.tty, self.report, self.control, self.err):
            if fd is not None:
                os.close(fd)
        return self.screen, os.waitstatus_to_exitcode(status)

    def answer(self, keys_x, keys_y=b"1\r"):
        """Types keys_x at x: and keys_y at y:; returns the result line."""
        self.type(keys_x)
        if keys_y:
            self.expect(b"y: ")
            self.type(keys_y)
        rest, status = self.finish()
        assert status == 0, (rest, status)
        return rest.split()[-1].decode()


class Editing(unittest.TestCase):
    # keys typed at x: (y is 1), the x they give, and the terminal's keys
    # where stty changed them
    CASES = [
        (b"12" + LEFT + b"3\r", 132),
        (b"12\x1bOD3\r", 132),                      # Left as SS3
        (b"12" + ctrl("B") + b"3\r", 132),
        (b"12" + LEFT + LEFT + RIGHT + b"3\r", 132),
        (b"12" + ctrl("A") + ctrl("F") + b"3\r", 132),
        (b"12\x1bOD\x1bOC3\r", 123),                # Right as SS3
        (b"23" + HOME + b"1\r", 123),
        (b"23\x1bOH1\r", 123),
        (b"23\x1b[1~1\r", 123),
        (b"23\x1b[7~1\r", 123),
        (b"23" + ctrl("A") + b"1\r", 123),
        (b"12" + HOME + END + b"3\r", 123),
        (b"12" + HOME + b"\x1bOF3\r", 123),
        (b"12" + HOME + b"\x1b[4~3\r", 123),
        (b"12" + HOME + b"\x1b[8~3\r", 123),
        (b"12" + HOME + ctrl("E") + b"3\r", 123),
        (b"124\x7f3\r", 123),                       # Backspace as DEL
        (b"124" + ctrl("H") + b"3\r", 123),
        (b"1243" + LEFT + LEFT + DELETE + b"\r", 123),
        (b"1243" + LEFT + LEFT + ctrl("D") + b"\r", 123),
        (b"5512" + LEFT + LEFT + ctrl("U") + b"\r", 12),
        (b"1299" + LEFT + LEFT + ctrl("K") + b"\r", 12),
        (b"7 12" + ctrl("W") + b"\r", 7),
        (b"\t7\t\r", 7),                            # Tab is a blank
        (b"4x5\r" + UP + LEFT + b"\x7f\r", 45),     # refused, then mended
        (b"8x\r9" + UP + DOWN + b"\r", 9),          # back to the line typed
        (b"8x\r9x\r" + ctrl("P") + ctrl("P") + ctrl("N") + b"\x7f\r", 9),
        (b"12" + ctrl("L") + b"3\r", 123),
        (b"\x1b[1;5C7\x1b[99~\x1b[?25h\x1bx\x1b[5;2~\r", 7),  # unknown
        (b"\x00\x07\x0f\x187\r", 7),                # other control keys
        # y: a NUL typed, not Ctrl-D, with more keys still to read
        (b"5\r\x00\r" + b"\x7f" * 2000, 5),
        (b"\xc3\xa9\x7f7\r", 7),                    # é is one character
        (b"5\xe2\x82\xac" + LEFT + b"4" + ctrl("E") + b"\x7f\r", 54),
        # too long, refused, and not brought back by Up
        (b"0" * 5000 + b"\r" + UP + b"\r7\r", 7),
        (b"99" + ctrl("T") + b"7\r", 7, {termios.VKILL: ctrl("T")}),
        (b"7 12" + ctrl("T") + b"\r", 7, {termios.VWERASE: ctrl("T")}),
        (b"124" + ctrl("X") + b"3\r", 123, {termios.VERASE: ctrl("X")}),
        (ctrl("D") + b"7\r", 7, {termios.VEOF: b"\0"}),  # eof undef
    ]

    def test_keys(self):
        for keys, x, *cc in self.CASES:
            with self.subTest(keys=keys[:40], cc=cc):
                s = Session(cc=cc[0] if cc else None)
                self.assertEqual(s.answer(keys), "%d.000000" % x)
                if len(keys) < 40:  # short: no question where the row is
                    self.assertNotIn(b"\x1b[6n", s.seen)

    def test_asks_again_with_reasons(self):
        s = Session()
        s.type(b"seven\r")
        self.assertIn(b"not a whole number", s.expect(b"x: "))
        s.type(b"99999999999\r")
        self.assertIn(b"out of range", s.expect(b"x: "))
        s.type(b"0" * 5000 + b"\r")
        self.assertIn(b"line too long", s.expect(b"x: "))
        self.assertEqual(s.answer(b"7\r", b"2\r"), "3.500000")

    def test_both_answers_at_once(self):
        self.assertEqual(Session().answer(b"6\r3\r", None), "2.000000")
        typed_ahead = Session(typed_ahead=b"8\r2\r")
        self.assertEqual(typed_ahead.answer(b"", None), "4.000000")


class EndOfInput(unittest.TestCase):
    # typed before the editor's mode, at x:, and the terminal's keys
    CASES = [
        (b"", ctrl("D"), None),
        (ctrl("D"), b"", None),
        (b"5\r" + ctrl("D"), b"", None),  # read with x's answer: y: ends
        (b"", ctrl("X"), {termios.VEOF: ctrl("X")}),
    ]

    def test_eof_on_an_empty_line(self):
        for ahead, typed, cc in self.CASES:
            with self.subTest(ahead=ahead, typed=typed):
                s = Session(typed_ahead=ahead, cc=cc)
                s.type(typed)
                rest, status = s.finish()
                self.assertIn(b"end of input", rest)
                self.assertEqual(status, 1)

    def test_belongs_to_one_call(self):
        # 12, Ctrl-D twice, Enter: x is 12 and y waits, with the editor
        # and without it
        for term in ["xterm", "dumb"]:
            with self.subTest(term=term):
                s = Session(term)
                keys = b"12" + ctrl("D") + ctrl("D") + b"\r"
                self.assertEqual(s.answer(keys), "12.000000")


class Interrupted(unittest.TestCase):
    # a key, or a signal from another process; how the program ends
    ENDS = [
        (ctrl("C"), None, -signal.SIGINT),
        (b"\x1c", None, -signal.SIGQUIT),
        (None, signal.SIGINT, -signal.SIGINT),
        (None, signal.SIGTERM, -signal.SIGTERM),
        (None, signal.SIGHUP, -signal.SIGHUP),
    ]

    @staticmethod
    def interrupted(key, sig, shell=False):
        """A session with 12 typed at x:, then the key or the signal."""
        s = Session(shell=shell)
        s.type(b"12")
        s.expect(b"12")
        if key:
            s.type(key)
        else:
            os.kill(s.pid, sig)
        return s

    def test_ends(self):
        for key, sig, status in self.ENDS:
            with self.subTest(key=key, signal=sig):
                s = self.interrupted(key, sig)
                self.assertEqual(s.finish()[1], status)

    def test_stop_and_continue(self):
        for key, sig in [(ctrl("Z"), None), (None, signal.SIGTSTP)]:
            with self.subTest(key=key, signal=sig):
                s = self.interrupted(key, sig)
                s.wait_stopped()
                self.assertEqual(s.settings(), s.before)
                os.kill(s.pid, signal.SIGCONT)
                s.expect(b"x: ")  # the prompt and the line drawn again
                s.shows("x: 12")
                self.assertFalse(s.settings()[3] & termios.ICANON)
                self.assertEqual(s.answer(b"3\r"), "123.000000")


class Screen(unittest.TestCase):
    """What the screen shows after the keys, as a terminal draws it: the
    row, the cursor at its end; then Enter takes that line. Steps: bytes
    typed, the terminal's new width, or a row to wait for."""
    NINES = b"9" * 80
    CASES = [
        ([b"1234567890" + NINES + b"\x7f" * 80], "x: 1234567890"),
        ([b"12345", "x: 12345", 6, END, "12345", 80, END], "x: 12345"),
        ([b"0" * 100 + b"\x7f" * 60], "x: " + "0" * 40),
        (["\uff11\uff12\uff13".encode() + b"\x7f" * 3 + b"42"], "x: 42"),
        ([b"12\x1b" + LEFT + b"3" + END], "x: 132"),
    ]

    def test_rows(self):
        for steps, row in self.CASES:
            with self.subTest(steps=steps):
                s = Session()
                for step in steps:
                    if isinstance(step, int):
                        s.resize(step)
                    elif isinstance(step, str):
                        s.shows(step)
                    else:
                        s.type(step)
                s.shows(row)
                x = struct.unpack("f", struct.pack("f", int(row[3:])))[0]
                self.assertEqual(s.answer(b"\r"), "%.6f" % x)

    def test_text_before_the_prompt(self):
        """The caller writes "Number: ", then get_int(""), twice. The row
        never wraps, and the terminal is asked where it begins only once
        the line is wider than a number, once a call, and no more once it
        has not answered: in time, late (its answer to the second call
        after Enter, and taken), never; and with keys typed before the
        call. Until it answers, the row is a number wide."""
        for answers, ahead in (("now", False), ("late", False),
                               ("never", False), ("now", True)):
            with self.subTest(answers=answers, ahead=ahead):
                s = Session(argv=[ARGS.caller, "n"], prompt=None,
                            answers=answers,
                            typed_ahead=b"777" if ahead else b"")
                echoed = "777" if ahead else ""  # by the terminal
                s.expect(b"Number: ")
                s.editing()
                s.type(b"" if ahead else b"777")
                s.shows(echoed + "Number: 777")
                s.type(b"7" * 87)
                s.expect(b"\x1b[6n")
                s.type(b"")  # a late answer comes now
                room = 10 if answers == "never" else 70 - len(echoed)
                s.shows(echoed + "Number: <" + "7" * room)
                s.type(b"\r2\r")
                s.expect(b"Number: ")
                s.editing()
                s.type(b"0" * 84 + b"3")
                room = 70 if answers == "now" else 10
                s.shows("Number: <" + ("0" * 84 + "3")[-room:])
                s.type(b"\r")
                s.editing(False)
                s.type(b"z\r")
                s.finish()
                self.assertIn(b"out of range", s.seen)
                self.assertIn(b"rest=z\r\n3 int", s.seen)
                self.assertEqual(s.seen.count(b"\x1b[6n"),
                                 1 if answers == "never" else 2)


class Callers(unittest.TestCase):
    """tests/caller.c: callers with handlers, threads and settings of
    their own. What is done at x: (bytes typed, a signal sent, seconds
    waited, text awaited), what the terminal shows, and how it ends."""
    XOFF, XON = ctrl("S"), ctrl("Q")
    CASES = [
        # the caller's handler runs with its settings, the line is dropped,
        # and the handler is still its own after the call
        ("h", [b"12", "12", ctrl("C"), b"5\r"],
         rb"caught, canonical(.|\s)*\n5 int=caught", 0),
        ("h", [b"12", "12", b"\x1c", b"5\r"],
         rb"caught, canonical(.|\s)*\n5 int=caught", 0),
        # from another process: the line is kept, and drawn again
        ("h", [b"12", "12", signal.SIGINT, "canonical\r\n", "x: ", b"5\r"],
         rb"\n125 int=caught", 0),
        ("xw", [b"12", ctrl("C")], b"", 130),  # its handler _exits
        ("bw", [b"12", signal.SIGINT], b"", -signal.SIGINT),  # main takes it
        ("i", [b"12", ctrl("C"), b"\r"], b"12 int=default", 0),
        ("e", [b"12\r"], b"x: 12 int", 0),  # nothing echoed, Enter neither
        # reads interrupted by a handler without SA_RESTART, or that would
        # block: read again, as the editor does
        ("re", [b"12", 0.3, b"\r"], b"12 int=default", 0),
        ("oe", [0.3, b"7\r"], b"7 int=default", 0),
        ("o", [0.3, b"7\r"], b"7 int=default", 0),
        ("d", [b"12" + LEFT + b"3\r"], b"132 int=default", 0),  # /dev/tty
        ("a", [], b"", -signal.SIGALRM),
        ("ts", [b"12", ctrl("C")], b"", 0),  # a sigwait thread exits
        ("ts", [b"12", signal.SIGTERM], b"", 0),
        ("t", [b"12", signal.SIGUSR1], b"", 0),
        # a program started meanwhile inherits no descriptor of ours; no
        # SIGWINCH handler; a handler set meanwhile is not undone
        ("t", [signal.SIGUSR2, "0  1  2  3\r\n", b"7\r"],
         rb"winch=default\r\n(.|\s)*0  1  2  3\r\n(.|\s)*7 int=late", 0),
        # writes held by Ctrl-S, and interrupted: the row, and after Enter
        # its newline, go out once Ctrl-Q lets them
        ("r", [b"12", XOFF, b"3\r", 0.3, XON], rb"\n123 int=default", 0),
        ("c", ["let go", b"7\r"], b"\n7 int=default", 0),
        ("f", ["forked\r\n", b"7\r"], b"7 int=default", 0),  # not its mode
        ("l", [b"7\r", "y: ", b"8\r"], b"8 int=default", 0),
        ("lc", [b"7\r"], rb"let go(.|\s)*7 int=default", 0),
        ("k", [0.4, b"5\r", "y: ", b"12", ctrl("C")], b"", -signal.SIGINT),
        # exit and quick_exit from another thread; the call waiting its
        # turn asks nothing; a call an atexit handler makes
        ("q", [0.6], rb"^(?![\s\S]*b: )", 9),
        ("Q", [0.6], b"", 8),
        ("z", [b"3\r", "bye: ", b"4\r"], rb"3 int=default(.|\s)*bye 4", 0),
        # qiro_ask_int: a range, then the end of input left to the caller,
        # and a terminal asked again after it
        ("A", [b"11\r", "from 1 to 10\r\n", b"2\r3\r", ctrl("D"), "again: ",
               b"5\r"], rb"x: (\x1b\[K)?\r+\nagain: (.|\s)*\n10 int", 0),
        # a prompt that leaves less room than a number needs asks where the
        # row begins, one that leaves it does not; nothing is asked through
        # an unbuffered stdin, but through one with a buffer of the caller's
        ("p", ["\x1b[6n", b"7\r"], b"7 int=default", 0),
        ("P", [b"7\r"], rb"^(?![\s\S]*\x1b\[6n)[\s\S]*\n7 int", 0),
        ("u", [b"0" * 39 + b"7", 0.3, b"\r"],
         rb"^(?![\s\S]*\x1b\[6n)[\s\S]*\n7 int", 0),
        ("U", [b"0" * 39 + b"7", "\x1b[6n", b"\r"], b"\n7 int", 0),
        ("iW", [b"7 12" + ctrl("T") + b"\r"], b"7 int=default", 0),
        # a real-time signal's handler runs in the editor's mode
        ("R", [b"12", "12", signal.SIGUSR1, "caught", b"5\r"],
         rb"caught\r\n(.|\s)*125 int", 0),
    ]

    def test_callers(self):
        for flags, steps, shown, status in self.CASES:
            if "c" in flags and os.environ.get("QIRO_NO_CANCEL"):
                print("not here: a cancelled caller (QIRO_NO_CANCEL)")
                continue
            with self.subTest(flags=flags, steps=steps):
                s = Session(argv=[ARGS.caller, flags])
                for step in steps:
                    if isinstance(step, bytes):
                        s.type(step)
                    elif isinstance(step, str):
                        s.expect(step.encode())
                    elif isinstance(step, float):
                        time.sleep(step)
                    else:
                        os.kill(s.pid, step)
                code = s.finish()[1]
                self.assertEqual(code, status, s.seen)
                self.assertTrue(re.search(shown, s.seen), s.seen)


class Jobs(unittest.TestCase):
    """As a shell moves jobs, and with what surrounds the program."""

    def test_in_the_background(self):
        """Started there, or sent there with 12 typed (Ctrl-Z, bg): the
        call stops when it would read, writes nothing there, and never
        sets the shell's mode."""
        for typed in (b"", b"12"):
            with self.subTest(typed=typed):
                if typed:
                    s = Interrupted.interrupted(ctrl("Z"), None, shell=True)
                    s.wait_stopped()
                    s.drain()
                    s.resize(4)  # past the cursor: a question not written
                    s.job(b"b")
                else:
                    s = Session(shell=True, background=True, prompt=None)
                shown = len(s.seen)
                s.wait_stopped()
                s.drain()
                self.assertEqual(s.seen[shown:], b"")
                self.assertEqual(s.settings(), s.shell_mode)
                s.resize(80)
                s.job(b"f")
                s.expect(b"x: ")
                s.shows("x: " + typed.decode())
                s.type(b"3\r")
                s.expect(b"y: ")
                s.type(b"0" * 20)
                s.expect(b"\x1b[6n")  # none is owed from the background
                self.assertEqual(s.answer(b"1\r", None),
                                 typed.decode() + "3.000000")

    def test_ended_in_the_background(self):
        """SIGSTOP leaves the editor's mode on, and a signal ends the job
        in the background: a shell's own mode stays; where the shell set
        none, the caller's settings are given back."""
        for shell in (True, "bare"):
            with self.subTest(shell=shell):
                s = Interrupted.interrupted(None, signal.SIGSTOP, shell=shell)
                s.wait_stopped()
                os.kill(s.pid, signal.SIGTERM)
                s.job(b"b")
                left = s.shell_mode if shell is True else s.before
                self.assertEqual(s.finish(left=left)[1], -signal.SIGTERM)

    def test_read_error_in_the_background(self):
        """SIGTTIN ignored: a read there fails (EIO). Started there, the
        call writes nothing before get_int's message, not even a newline;
        sent there (SIGSTOP, bg) with 12 shown, it ends that row first."""
        error = rb"1division: read error: Input/output error\r\n$"
        for typed, shown in ((b"", b"^" + error),
                             (b"12", rb"12(\x1b\[K)?\r+\n" + error)):
            with self.subTest(typed=typed):
                s = Session(argv=["sh", "-c", "trap '' TTIN; exec \"$@\"",
                                  "sh"] + shlex.split(ARGS.wrap)
                            + [ARGS.program], wrap=False, shell="bare",
                            background=not typed, prompt=typed and b"x: ")
                if typed:
                    s.type(typed)
                    s.expect(typed)
                    os.kill(s.pid, signal.SIGSTOP)
                    s.wait_stopped()
                    s.job(b"b")
                    s.type(b"3")
                self.assertEqual(s.finish()[1], 1)
                self.assertTrue(re.search(shown, s.seen), s.seen)

    def test_key_read_in_the_background(self):
        """SIGSTOP under a shell that sets no mode: the editor's stays on.
        A key read in the background stops the call; back in front, the
        caller's settings are still the ones to give back."""
        s = Interrupted.interrupted(None, signal.SIGSTOP, shell="bare")
        s.wait_stopped()
        s.job(b"b")
        s.type(b"2")
        s.wait_stopped()
        s.job(b"f")
        self.assertEqual(s.answer(b"3\r"), "1223.000000")

    def test_settings_changed_while_stopped(self):
        s = Interrupted.interrupted(ctrl("Z"), None)
        s.wait_stopped()
        s.before[6][termios.VINTR] = ctrl("G")
        termios.tcsetattr(s.tty, termios.TCSANOW, s.before)
        os.kill(s.pid, signal.SIGCONT)
        s.expect(b"x: ")
        s.shows("x: 12")
        self.assertEqual(s.answer(b"3\r"), "123.000000")

    def test_stderr_on_another_terminal(self):
        s = Session(err_pty=True, prompt=None)
        s.type(b"12\r1\r")
        err = b""
        while (not err.endswith(b"y: ")
               and select.select([s.err], [], [], 10)[0]):
            err += os.read(s.err, 4096)
        self.assertEqual(err, b"x: y: ")
        self.assertEqual(s.answer(b"", None), "12.000000")

    def test_ctrl_c_reaches_the_whole_pipeline(self):
        script = ('"$@" | { trap "echo got-int >&2" INT; echo trapped >&2;'
                  ' cat; }')
        s = Session(argv=["sh", "-c", script, "sh"] + shlex.split(ARGS.wrap)
                    + [ARGS.program], wrap=False, prompt=None)
        for text in (b"trapped", b"x: "):  # in either order
            if text not in s.seen:
                s.expect(text)
        s.type(ctrl("C"))
        screen, status = s.finish()
        self.assertIn(b"got-int", screen)
        self.assertEqual(status, -signal.SIGINT)

    def test_dumb_terminal_draws_nothing(self):
        s = Session("dumb")
        self.assertEqual(s.answer(b"12\r"), "12.000000")
        self.assertNotIn(b"\x1b", s.screen)


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--wrap", default="")
    parser.add_argument("-k", dest="patterns", action="append", default=[])
    parser.add_argument("--caller", type=os.path.abspath)
    parser.add_argument("program", type=os.path.abspath)
    ARGS = parser.parse_args()
    testing.main([a for p in ARGS.patterns for a in ("-k", p)])
