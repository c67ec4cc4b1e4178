# A thin front over CMake: the build lives in build/$(PRESET).
PRESET ?= default
BUILD := build/$(PRESET)

.PHONY: all run test clean

all: $(BUILD)/CMakeCache.txt
	cmake --build --preset $(PRESET)

$(BUILD)/CMakeCache.txt:
	cmake --preset $(PRESET)

# The build talks on stderr here, so stdout carries only the program's line.
run: $(BUILD)/CMakeCache.txt
	@cmake --build --preset $(PRESET) >&2
	@./$(BUILD)/lectures/1division

test: all
	ctest --preset $(PRESET)

clean:
	rm -rf build
