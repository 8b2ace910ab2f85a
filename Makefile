# Set-up and everyday commands; CMake does the building.
#   make run    install dependencies, build and start the game
#   make test   install dependencies, build and run every test
JOBS ?= $(shell nproc)
BUILD ?= build
XVFB := xvfb-run -a -s "-screen 0 1280x1024x24 +extension GLX +render -noreset"

.PHONY: all deps build run run-alt test test-normal test-asan test-tsan test-fuzz fuzz soak bench assets format clean

all: build

deps:
	@scripts/install-deps

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	cmake --build $(BUILD) -j $(JOBS)

run: build
	cd assets && ../$(BUILD)/apps/shooter

run-alt: build
	cd assets && ../$(BUILD)/apps/shooter-alt

test: deps test-normal test-asan test-tsan test-fuzz

# The normal build, end-to-end tests included, under a virtual X display.
test-normal: build
	$(XVFB) ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS) --timeout 600

# The same tests with AddressSanitizer and UndefinedBehaviorSanitizer. Cases
# that drive the GL driver run without leak detection: Mesa unloads its
# driver before exit, so its own leaks cannot be told apart by name. Opening
# a window loads the driver too; its allocations are told apart only by the
# system libraries further up their stacks, which the fast unwinder (frame
# pointers only) does not reach through the driver's code.
GL_CASES := Gl|/gl|VideoWindowTest
ASAN_ENV := ASAN_OPTIONS=detect_leaks=1:fast_unwind_on_malloc=0 UBSAN_OPTIONS=print_stacktrace=1 LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp
test-asan: deps
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSHOOTER_SANITIZE=ON -DSHOOTER_BENCH=OFF >/dev/null
	cmake --build build-asan -j $(JOBS)
	$(ASAN_ENV) $(XVFB) ctest --test-dir build-asan --output-on-failure -j $(JOBS) --timeout 900 -E '$(GL_CASES)'
	$(ASAN_ENV) ASAN_OPTIONS=detect_leaks=0 $(XVFB) ctest --test-dir build-asan --output-on-failure -j $(JOBS) --timeout 900 -R '$(GL_CASES)'

# Threaded code (sound streaming) under ThreadSanitizer.
test-tsan: deps
	cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=Debug -DSHOOTER_TSAN=ON -DSHOOTER_BENCH=OFF >/dev/null
	cmake --build build-tsan -j $(JOBS) --target tsan_tests
	TSAN_OPTIONS=halt_on_error=1 ctest --test-dir build-tsan --output-on-failure -L tsan --timeout 900

# libFuzzer targets for the file readers, a minute each; `make fuzz` runs
# each for ten million inputs.
FUZZ_SECONDS ?= 60
FUZZ_RUNS ?=
test-fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSHOOTER_FUZZ=ON -DSHOOTER_BENCH=OFF >/dev/null
	cmake --build build-fuzz -j $(JOBS) --target fuzz_targets
	scripts/run-fuzz build-fuzz $(FUZZ_SECONDS) $(FUZZ_RUNS)

fuzz:
	$(MAKE) test-fuzz FUZZ_RUNS=10000000

# The game for 100,000 frames of random input (`make test` runs 10,000).
soak: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	cmake --build $(BUILD) -j $(JOBS) --target game_soak
	cd /tmp && SOAK_FRAMES=100000 $(CURDIR)/$(BUILD)/tests/game_soak

bench: build
	scripts/run-bench $(BUILD)

assets: deps
	$(MAKE) -C assets/tools

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build build-asan build-tsan build-fuzz
