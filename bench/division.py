"""The same job in Python: input(), and struct for binary32 rounding."""
import struct
import sys


def f32(v):
    return struct.unpack("f", struct.pack("f", v))[0]


def ask(prompt):
    while True:
        print(prompt, end="", file=sys.stderr, flush=True)
        try:
            line = input()
        except EOFError:
            sys.exit("\nend of input")
        try:
            n = int(line)
        except ValueError:
            print("not a whole number, try again", file=sys.stderr)
            continue
        if -2**31 <= n < 2**31:
            return n
        print("out of range", file=sys.stderr)


x = ask("x: ")
y = ask("y: ")
print("%f" % f32(f32(x) / f32(y)))  # y = 0 raises: no IEEE quotient here
