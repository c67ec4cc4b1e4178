#!/usr/bin/env python3
"""Use an installed tree as a user would: link to it, read its manuals and
build the program against it, in place and after moving it; use the build
tree as a package, and this project as another project's subproject.

usage: install.py PREFIX LIBDIR SOURCE_DIR BUILD_DIR [FLAGS]

FLAGS are the compiler flags the library was built with (sanitizers, say),
for building what links to it.
"""
import glob
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

import testing


def sh(*cmd, env=None, check=True, **kw):
    """Runs a tool; when it fails as it must not, what it said is shown."""
    r = subprocess.run(cmd, capture_output=True, env=env, timeout=300, **kw)
    if check and r.returncode != 0:
        raise AssertionError("%s exited with %d:\n%s%s" % (
            " ".join(cmd), r.returncode, r.stdout.decode(errors="replace"),
            r.stderr.decode(errors="replace")))
    return r


def env_for(prefix):
    """pkg-config and CMake look in the prefix first."""
    return dict(os.environ,
                PKG_CONFIG_PATH=os.path.join(prefix, LIBDIR, "pkgconfig"),
                CMAKE_PREFIX_PATH=prefix)


def configure(build, *args, env=None, check=True):
    return sh("cmake", "-S", os.path.join(SOURCE, "tests", "consumer"),
              "-B", build, "-DCMAKE_C_FLAGS=" + FLAGS, *args, env=env,
              check=check)


class Base(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, self.tmp)

    def assertRuns(self, program, stdin, stdout, env=None):
        r = subprocess.run([program], input=stdin, capture_output=True,
                           env=env, timeout=60)
        self.assertEqual((r.stdout, r.returncode), (stdout, 0), r.stderr)

    def assertPromptsAfterOutput(self, consumer, env=None):
        """stdout and stderr on one pipe: the prompt after what came first."""
        r = subprocess.run([consumer], input=b"21\n", stdout=subprocess.PIPE,
                           stderr=subprocess.STDOUT, env=env, timeout=60)
        self.assertEqual(r.stdout, b"twice n: 42\n")

    def trees(self):
        """The installed tree, and a copy of it moved elsewhere."""
        moved = os.path.join(self.tmp, "moved")
        shutil.copytree(PREFIX, moved, symlinks=True)
        return [PREFIX, moved]


class Consumers(Base):
    def test_pkg_config(self):
        for prefix in self.trees():
            with self.subTest(prefix=prefix):
                env = env_for(prefix)
                flags = sh("pkg-config", "--cflags", "--libs", "qiro",
                           env=env).stdout.decode().split()
                self.assertIn("-I" + os.path.join(prefix, "include"),
                              [os.path.normpath(f) for f in flags])
                exe = os.path.join(self.tmp, "consumer")
                sh("cc", "-Wall", "-Werror", *FLAGS.split(), "-o", exe,
                   os.path.join(SOURCE, "tests", "consumer", "consumer.c"),
                   *flags)
                env["LD_LIBRARY_PATH"] = os.path.join(prefix, LIBDIR)
                self.assertRuns(exe, b"-2147483648\n",
                                b"twice -4294967296\n", env)
                self.assertPromptsAfterOutput(exe, env)

    def test_find_package(self):
        for prefix in self.trees():
            with self.subTest(prefix=prefix):
                build = tempfile.mkdtemp(dir=self.tmp)
                configure(build, env=env_for(prefix))
                sh("cmake", "--build", build)
                self.assertRuns(os.path.join(build, "consumer"), b"21\n",
                                b"twice 42\n")
                self.assertPromptsAfterOutput(os.path.join(build, "consumer"))

    def test_find_package_in_the_build_tree(self):
        build = os.path.join(self.tmp, "build")
        configure(build, "-Dqiro_DIR=" + os.path.join(BUILD, "qiro"))
        sh("cmake", "--build", build)
        self.assertRuns(os.path.join(build, "consumer"), b"21\n",
                        b"twice 42\n")

    def test_find_package_refuses(self):
        # what is wrong, the damage done to a copy of the tree, arguments,
        # what CMake says
        cases = [
            ("another major", None, ["-DQIRO_WANT=11"], b"version: 10.1.0"),
            ("a component", None, ["-DQIRO_COMPONENTS=nosuch"],
             b"no components; asked for nosuch"),
            ("no targets file", "remove", [], b"defines no qiro::qiro"),
            ("an empty targets file", "empty", [], b"defines no qiro::qiro"),
            ("no targets file, QUIET", "remove", ["-DQIRO_HOW=QUIET"],
             b"consumer: qiro not found"),
        ]
        for name, damage, args, said in cases:
            with self.subTest(name):
                prefix = tempfile.mkdtemp(dir=self.tmp)
                shutil.copytree(PREFIX, prefix, symlinks=True,
                                dirs_exist_ok=True)
                targets = os.path.join(prefix, LIBDIR, "cmake", "qiro",
                                       "qiroTargets.cmake")
                if damage == "remove":
                    os.remove(targets)
                elif damage == "empty":
                    open(targets, "w").close()
                r = configure(os.path.join(prefix, "build"), *args,
                              env=env_for(prefix), check=False)
                self.assertNotEqual(r.returncode, 0)
                self.assertIn(said, r.stderr)
                self.assertNotIn(b"qiroConfig.cmake:", r.stderr)  # no error in it

    def test_subproject_brings_only_the_library(self):
        build = os.path.join(self.tmp, "build")
        configure(build, "-DQIRO_SOURCE_DIR=" + SOURCE,
                  "-DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON")
        targets = sh("cmake", "--build", build, "--target",
                     "help").stdout.decode().split()
        self.assertIn("qiro", targets)
        for other in ["1division", "parse_test", "fuzz_replay", "peak_rss"]:
            self.assertNotIn(other, targets)
        sh("cmake", "--build", build)
        self.assertRuns(os.path.join(build, "consumer"), b"21\n",
                        b"twice 42\n")

    def test_program_against_installed_library(self):
        build = os.path.join(self.tmp, "build")
        sh("cmake", "-S", SOURCE, "-B", build, "-DQIRO_BUNDLED=OFF",
           "-DBUILD_TESTING=OFF", "-DCMAKE_CXX_FLAGS=" + FLAGS,
           env=env_for(PREFIX))
        sh("cmake", "--build", build, "--target", "1division")
        self.assertEqual(glob.glob(build + "/**/libqiro.so*",
                                   recursive=True), [])
        self.assertRuns(os.path.join(build, "lectures", "1division"),
                        b"1\n3\n", b"0.333333\n")


class Program(Base):
    def test_runs_from_a_moved_tree(self):
        for prefix in self.trees():
            with self.subTest(prefix=prefix):
                self.assertRuns(os.path.join(prefix, "bin", "1division"),
                                b"22\n7\n", b"3.142857\n")


class Library(unittest.TestCase):
    def test_soname_and_exports(self):
        lib = os.path.join(PREFIX, LIBDIR, "libqiro.so.10")
        dynamic = sh("readelf", "-d", lib).stdout
        self.assertIn(b"Library soname: [libqiro.so.10]", dynamic)
        symbols = sh("nm", "-D", "--defined-only", lib).stdout.split()
        # address, type, name
        self.assertEqual(symbols[1::3], [b"T", b"T"], symbols)
        self.assertEqual(symbols[2::3], [b"get_int", b"qiro_ask_int"])


class Manuals(Base):
    def test_render_without_warnings(self):
        for page in ["man1/1division.1", "man3/get_int.3",
                     "man3/qiro_ask_int.3"]:
            with self.subTest(page=page):
                path = os.path.join(PREFIX, "share", "man", page)
                r = sh("groff", "-man", "-Tutf8", "-ww", "-z", path)
                self.assertEqual(r.stderr, b"")

    def test_example_adds_until_the_end_of_input(self):
        """qiro_ask_int(3)'s first example, built against the tree with
        pkg-config: the sum, from a pipe and at a terminal (Ctrl-D)."""
        with open(os.path.join(PREFIX, "share", "man", "man3",
                               "qiro_ask_int.3")) as f:
            code = f.read().split(".EX\n")[2].split(".EE")[0]
        source = os.path.join(self.tmp, "sum.c")
        with open(source, "w") as f:
            f.write(code.replace("\\e", "\\").replace("\\-", "-"))
        env = env_for(PREFIX)
        flags = sh("pkg-config", "--cflags", "--libs", "qiro",
                   env=env).stdout.decode().split()
        exe = os.path.join(self.tmp, "sum")
        sh("cc", "-Wall", "-Werror", *FLAGS.split(), "-o", exe, source,
           *flags)
        env = dict(env, LD_LIBRARY_PATH=os.path.join(PREFIX, LIBDIR),
                   TERM="xterm")
        self.assertRuns(exe, b"2\n3\n", b"5\n", env)
        tty, keys = os.openpty()  # stdin and stderr on it, keys typed ahead
        os.write(tty, b"2\r3\r\x04")
        r = subprocess.run([exe], stdin=keys, stderr=keys,
                           stdout=subprocess.PIPE, env=env, timeout=60)
        os.close(keys)
        os.close(tty)
        self.assertEqual((r.stdout, r.returncode), (b"5\n", 0))


if __name__ == "__main__":
    PREFIX, SOURCE, BUILD = map(os.path.abspath, sys.argv[1:2] + sys.argv[3:5])
    LIBDIR = sys.argv[2]
    FLAGS = sys.argv[5] if len(sys.argv) > 5 else ""
    testing.main()
