"""What the Python tests share: unittest's runner, with a skipped test
reported to ctest as a skip (exit status 77), not as a pass."""
import sys
import unittest

SKIPPED = 77


def main(argv=()):
    """Runs the tests; argv takes unittest's own options (-k PATTERN)."""
    result = unittest.main(argv=sys.argv[:1] + list(argv), verbosity=2,
                           exit=False).result
    if not result.wasSuccessful():
        sys.exit(1)
    sys.exit(SKIPPED if result.skipped else 0)
