# A thin front over CMake: the build lives in build/$(PRESET). Each target
# first installs the Debian packages it needs and the machine lacks
# (tools/packages), so the first `make run` or `make test` on a bare system
# does all the set-up.
PRESET ?= default
FUZZ_SECONDS ?= 60
need := tools/need
build := tools/cmake-build
MAKEFLAGS += --no-print-directory

.PHONY: all run test test-sanitized memcheck test-cross fuzz bench abi width \
  deb test-fresh clean

all:
	@$(need) build
	@$(build) $(PRESET)

# Nothing but the program's own output on stdout.
run:
	@$(need) build
	@$(build) $(PRESET) 1division
	@./build/$(PRESET)/lectures/1division

# Configures again, for the tests whose packages were just installed.
test:
	@$(need) build test
	@$(build) -r $(PRESET)
	ctest --preset $(PRESET)

test-sanitized:
	@$(need) build test
	@$(build) -r sanitize
	ctest --preset sanitize

memcheck:
	@$(need) build test
	@$(build) -r default
	ctest --preset memcheck

# Other architectures, compilers and C libraries (tests/cross).
test-cross:
	@$(need) build test cross
	tests/cross

# New inputs go to build/fuzz/corpus and line-corpus; the corpora in fuzz/
# stay as they are. A line holds 4095 bytes: longer inputs add nothing.
fuzz:
	@$(need) build fuzz
	@$(build) fuzz
	mkdir -p build/fuzz/corpus build/fuzz/line-corpus
	build/fuzz/fuzz/fuzz_get_int -max_total_time=$(FUZZ_SECONDS) \
	  -max_len=16384 -print_final_stats=1 -artifact_prefix=build/fuzz/ \
	  build/fuzz/corpus fuzz/corpus
	build/fuzz/fuzz/fuzz_line -max_total_time=$(FUZZ_SECONDS) \
	  -max_len=4200 -print_final_stats=1 -artifact_prefix=build/fuzz/line- \
	  build/fuzz/line-corpus fuzz/line-corpus

bench:
	@$(need) build test
	@$(build) default
	@python3 bench/bench.py build/default

# Renews the stored description of libqiro.so.10's interface, which the
# abi test compares the library with: only for a change made on purpose.
# abidiff first shows what changes (its status 4 or more: a change, not
# an error).
abi:
	@$(need) build test
	@$(build) default qiro
	abidw --no-corpus-path --no-comp-dir-path --no-show-locs \
	  --headers-dir qiro/include --drop-private-types --drop-undefined-syms \
	  --exported-interfaces-only --out-file build/default/libqiro.abi \
	  build/default/qiro/libqiro.so.10
	abidiff qiro/libqiro.abi build/default/libqiro.abi || [ $$? -ge 4 ]
	sed "s|path='$(CURDIR)/|path='|" build/default/libqiro.abi >qiro/libqiro.abi

# Writes qiro/src/width_table.inc again from the installed Unicode data;
# the build uses the committed file and never needs the data.
width:
	@$(need) width
	tools/gen-width

# The Debian packages, built from a copy of the tree, into build/deb.
deb:
	@$(need) deb build
	rm -rf build/deb && mkdir -p build/deb/src
	tar -c --exclude=./build --exclude-vcs . | tar -x -C build/deb/src
	cd build/deb/src && dpkg-buildpackage -b -us -uc
	lintian --fail-on error,warning --info build/deb/*.changes

# The README's two commands on a bare Debian 12, as a new user meets them.
test-fresh:
	@$(need) fresh
	tests/fresh

clean:
	rm -rf build
