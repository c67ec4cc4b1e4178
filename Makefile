# A thin front over CMake: the build lives in build/$(PRESET).
PRESET ?= default
BUILD := build/$(PRESET)
FUZZ_SECONDS ?= 60

.PHONY: all run test test-sanitized memcheck fuzz bench clean

all: $(BUILD)/CMakeCache.txt
	cmake --build --preset $(PRESET)

build/%/CMakeCache.txt:
	cmake --preset $*

# Configures if need be and builds preset $(1), talking on stderr, so that
# stdout carries only what the recipe runs afterwards.
build_quietly = test -f build/$(1)/CMakeCache.txt || cmake --preset $(1) >&2; \
	cmake --build --preset $(1) >&2

run:
	@$(call build_quietly,$(PRESET))
	@./$(BUILD)/lectures/1division

test: all
	ctest --preset $(PRESET)

test-sanitized: build/sanitize/CMakeCache.txt
	cmake --build --preset sanitize
	ctest --preset sanitize

memcheck: build/default/CMakeCache.txt
	cmake --build --preset default
	ctest --preset memcheck

# New inputs go to build/fuzz/corpus; the seeds in fuzz/corpus stay as they are.
fuzz:
	@command -v clang++ >/dev/null || { echo "make fuzz: clang++ not found;" \
	  "install clang and libclang-rt-14-dev" >&2; exit 1; }
	$(MAKE) --no-print-directory PRESET=fuzz all
	mkdir -p build/fuzz/corpus
	build/fuzz/fuzz/fuzz_get_int -max_total_time=$(FUZZ_SECONDS) \
	  -max_len=16384 -print_final_stats=1 -artifact_prefix=build/fuzz/ \
	  build/fuzz/corpus fuzz/corpus

bench:
	@command -v valgrind >/dev/null || { echo "make bench: valgrind not found" >&2; exit 1; }
	@$(call build_quietly,default)
	@python3 bench/bench.py build/default

clean:
	rm -rf build
