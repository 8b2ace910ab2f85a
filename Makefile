# Set-up and everyday commands; CMake does the building.
#   make run       install what playing needs, build the two programs, start shooter
#   make test      install what testing needs, build and run every test
#   make install   install the game under PREFIX (default /usr/local), DESTDIR honoured
#   make package   build the Debian package shooter_<version>_<arch>.deb in $(BUILD)/package
JOBS ?= $(shell nproc)
BUILD ?= build
PREFIX ?= /usr/local
XVFB := xvfb-run -a -s "-screen 0 1280x1024x24 +extension GLX +render -noreset"
# One line a file built, without make's directory lines.
MAKEFLAGS += --no-print-directory
CCACHE := $(shell command -v ccache 2>/dev/null)
CONFIGURE = cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  $(if $(CCACHE),-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)

.PHONY: all deps deps-play build build-game run run-alt install package test test-normal \
	test-asan test-tsan test-fuzz fuzz soak bench assets format format-check lint clean

all: build

# The test builds treat warnings as errors; other builds only show them.
WERROR ?= OFF
test: WERROR := ON

deps-play:
	@scripts/install-deps play

deps:
	@scripts/install-deps test

# Everything: libraries, programs, tests and benchmarks.
build: deps
	$(CONFIGURE) -DSHOOTER_TESTS=ON -DSHOOTER_BENCH=ON -DSHOOTER_WERROR=$(WERROR) >/dev/null
	cmake --build $(BUILD) -j $(JOBS)

# Only the libraries and the two programs: no GoogleTest or benchmark needed.
build-game: deps-play
	$(CONFIGURE) -DSHOOTER_TESTS=OFF -DSHOOTER_BENCH=OFF >/dev/null
	cmake --build $(BUILD) -j $(JOBS) --target shooter shooter-alt

run: build-game
	cd assets && ../$(BUILD)/apps/shooter

run-alt: build-game
	cd assets && ../$(BUILD)/apps/shooter-alt

install: build-game
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)"

package: build-game
	@scripts/install-deps test
	cpack --config $(BUILD)/CPackConfig.cmake -B $(BUILD)/package
	@ls $(BUILD)/package/*.deb

test: deps format-check test-normal lint test-asan test-tsan test-fuzz

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
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSHOOTER_SANITIZE=ON -DSHOOTER_BENCH=OFF -DSHOOTER_WERROR=$(WERROR) >/dev/null
	cmake --build build-asan -j $(JOBS)
	$(ASAN_ENV) $(XVFB) ctest --test-dir build-asan --output-on-failure -j $(JOBS) --timeout 900 -E '$(GL_CASES)'
	$(ASAN_ENV) ASAN_OPTIONS=detect_leaks=0 $(XVFB) ctest --test-dir build-asan --output-on-failure -j $(JOBS) --timeout 900 -R '$(GL_CASES)'

# Threaded code (sound streaming) under ThreadSanitizer.
test-tsan: deps
	cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=Debug -DSHOOTER_TSAN=ON -DSHOOTER_BENCH=OFF -DSHOOTER_WERROR=$(WERROR) >/dev/null
	cmake --build build-tsan -j $(JOBS) --target tsan_tests
	TSAN_OPTIONS=halt_on_error=1 ctest --test-dir build-tsan --output-on-failure -L tsan --timeout 900

# libFuzzer targets for the file readers, a minute each; `make fuzz` runs
# each for ten million inputs.
FUZZ_SECONDS ?= 60
FUZZ_RUNS ?=
test-fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSHOOTER_FUZZ=ON -DSHOOTER_BENCH=OFF -DSHOOTER_WERROR=$(WERROR) >/dev/null
	cmake --build build-fuzz -j $(JOBS) --target fuzz_targets
	scripts/run-fuzz build-fuzz $(FUZZ_SECONDS) $(FUZZ_RUNS)

fuzz:
	$(MAKE) test-fuzz FUZZ_RUNS=10000000

# The game for 100,000 frames of random input (`make test` runs 10,000).
soak: deps
	$(CONFIGURE) -DSHOOTER_TESTS=ON >/dev/null
	cmake --build $(BUILD) -j $(JOBS) --target game_soak
	cd /tmp && SOAK_FRAMES=100000 $(CURDIR)/$(BUILD)/tests/game_soak

bench: build
	scripts/run-bench $(BUILD)

assets: deps
	$(MAKE) -C assets/tools

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

# Fails when a file is not formatted as .clang-format says.
format-check:
	git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror

# clang-tidy (.clang-tidy) over the layers and programs of the compile
# database of the normal build.
LINT_FILES := ^$(CURDIR)/(platform|runtime|window|image|sound|engine|game|apps)/
lint: build
	run-clang-tidy -p $(BUILD) -j $(JOBS) -quiet '$(LINT_FILES)' >$(BUILD)/lint.log 2>&1 || \
	  { grep -E 'error:|warning:' $(BUILD)/lint.log; exit 1; }

clean:
	rm -rf build build-asan build-tsan build-fuzz
