#!/usr/bin/env python3
"""Use an installed tree as a user would: link to it, read its manuals,
build the program against it, and package it.

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



def sh(*cmd, env=None, **kw):
    return subprocess.run(cmd, check=True, capture_output=True, env=env,
                          timeout=300, **kw)


def env_for_prefix():
    """pkg-config and CMake look in the installed prefix first."""
    return dict(os.environ,
                PKG_CONFIG_PATH=os.path.join(PREFIX, LIBDIR, "pkgconfig"),
                CMAKE_PREFIX_PATH=PREFIX)


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


class Consumers(Base):
    def test_pkg_config(self):
        env = env_for_prefix()
        flags = sh("pkg-config", "--cflags", "--libs", "qiro",
                   env=env).stdout.decode().split()
        exe = os.path.join(self.tmp, "consumer")
        sh("cc", "-Wall", "-Werror", *FLAGS.split(), "-o", exe,
           os.path.join(SOURCE, "tests", "consumer", "consumer.c"), *flags)
        env["LD_LIBRARY_PATH"] = os.path.join(PREFIX, LIBDIR)
        self.assertRuns(exe, b"-2147483648\n", b"twice -4294967296\n", env)
        self.assertPromptsAfterOutput(exe, env)

    def test_find_package(self):
        build = os.path.join(self.tmp, "build")
        sh("cmake", "-S", os.path.join(SOURCE, "tests", "consumer"),
           "-B", build, "-DCMAKE_C_FLAGS=" + FLAGS, env=env_for_prefix())
        sh("cmake", "--build", build)
        self.assertRuns(os.path.join(build, "consumer"), b"21\n",
                        b"twice 42\n")
        self.assertPromptsAfterOutput(os.path.join(build, "consumer"))

    def test_find_package_refuses_another_major(self):
        r = subprocess.run(
            ["cmake", "-S", os.path.join(SOURCE, "tests", "consumer"),
             "-B", os.path.join(self.tmp, "build"), "-DQIRO_WANT=11"],
            capture_output=True, env=env_for_prefix(), timeout=300)
        self.assertNotEqual(r.returncode, 0)
        self.assertIn(b"version: 10.0.0", r.stderr)  # seen, not taken

    def test_program_against_installed_library(self):
        build = os.path.join(self.tmp, "build")
        sh("cmake", "-S", SOURCE, "-B", build, "-DQIRO_BUNDLED=OFF",
           "-DBUILD_TESTING=OFF", "-DCMAKE_CXX_FLAGS=" + FLAGS,
           env=env_for_prefix())
        sh("cmake", "--build", build, "--target", "1division")
        self.assertEqual(glob.glob(build + "/**/libqiro.so*",
                                   recursive=True), [])
        self.assertRuns(os.path.join(build, "lectures", "1division"),
                        b"1\n3\n", b"0.333333\n")


class Library(unittest.TestCase):
    def test_soname_and_exports(self):
        lib = os.path.join(PREFIX, LIBDIR, "libqiro.so.10")
        dynamic = sh("readelf", "-d", lib).stdout
        self.assertIn(b"Library soname: [libqiro.so.10]", dynamic)
        symbols = sh("nm", "-D", "--defined-only", lib).stdout.split()
        self.assertEqual(symbols[-2:], [b"T", b"get_int"])
        self.assertEqual(len(symbols), 3, symbols)  # address, type, name


class Manuals(unittest.TestCase):
    def test_render_without_warnings(self):
        for page in ["man1/1division.1", "man3/get_int.3"]:
            with self.subTest(page=page):
                path = os.path.join(PREFIX, "share", "man", page)
                r = sh("groff", "-man", "-Tutf8", "-ww", "-z", path)
                self.assertEqual(r.stderr, b"")


class Packages(Base):
    def test_unpack_and_run(self):
        out = os.path.join(self.tmp, "out")
        sh("cpack", "-G", "DEB", "-B", out, cwd=BUILD)
        root = os.path.join(self.tmp, "root")
        fields = {}
        for deb in glob.glob(os.path.join(out, "*.deb")):
            sh("dpkg-deb", "-x", deb, root)
            name, depends = sh("dpkg-deb", "-f", deb, "Package",
                               "Depends").stdout.decode().splitlines()
            fields[name.split(": ")[1]] = depends
        self.assertEqual(sorted(fields), ["1division", "libqiro-dev",
                                          "libqiro10"])
        self.assertIn("libqiro10 (>= 10.0.0)", fields["1division"])
        self.assertIn("libc6", fields["1division"])
        self.assertIn("libqiro10 (= 10.0.0)", fields["libqiro-dev"])
        self.assertRuns(os.path.join(root, "usr", "bin", "1division"),
                        b"22\n7\n", b"3.142857\n")


if __name__ == "__main__":
    PREFIX, SOURCE, BUILD = map(os.path.abspath, sys.argv[1:2] + sys.argv[3:5])
    LIBDIR = sys.argv[2]
    FLAGS = sys.argv[5] if len(sys.argv) > 5 else ""
    unittest.main(argv=sys.argv[:1], verbosity=2)
