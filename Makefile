# Thin wrapper over CMake: the two commands of the quick start and a few more.
BUILD      ?= build
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
CMAKE_ARGS ?=
JOBS       ?= $(shell nproc)
# make test checks the formatting of the sources; FORMAT_CHECK=0 leaves that out.
FORMAT_CHECK ?= 1

.PHONY: all deps build run screenshot check test test-asan test-tsan check-includes format format-check lint bench fuzz package install clean

all: build

deps:
	@bash scripts/install-deps.sh

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_ARGS)

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

run: build
	@bash scripts/run.sh $(BUILD) $(ARGS)

# docs/screenshot.png, the README's picture of the window, made under Xvfb and openbox.
screenshot: build
	cmake --build $(BUILD) -j $(JOBS) --target larkpad_screenshot
	@bash scripts/screenshot.sh $(BUILD) docs/screenshot.png

# The inner loop: the include check, the build and its ctest.
check: check-includes build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# The full run that CI makes: the format check, check, then the sanitizer builds.
test: $(if $(filter 1,$(FORMAT_CHECK)),format-check) check
	@$(MAKE) --no-print-directory test-asan
	@$(MAKE) --no-print-directory test-tsan

# No include runs against the layers (document -> editing, search, finder -> files, desktop -> main, cli).
check-includes:
	@bash scripts/check-includes.sh

# Sources formatted with .clang-format: `make format` rewrites them, `make format-check`
# lists those that are not.
format:
	@bash scripts/format.sh
format-check:
	@bash scripts/format.sh --check

# clang-tidy (.clang-tidy) over the build's compile database, then the format check.
lint: build
	cmake --build $(BUILD) -j $(JOBS) --target benchmarks
	@bash scripts/lint.sh $(BUILD)
	@bash scripts/format.sh --check

# Core tests again under AddressSanitizer and UndefinedBehaviorSanitizer, plus the fuzz smoke run.
# clang when present: its libFuzzer runtime builds the fuzz target (FUZZ_SECONDS bounds the run).
HAVE_CLANG     := $(shell command -v clang++ >/dev/null 2>&1 && command -v clang >/dev/null 2>&1 && echo yes)
ASAN_ENV       ?= $(if $(HAVE_CLANG),CC=clang CXX=clang++)
ASAN_COMPILERS ?= $(if $(HAVE_CLANG),-DCMAKE_CXX_COMPILER=clang++)
test-asan: deps
	$(ASAN_ENV) cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DLARKPAD_SANITIZE=ON -DLARKPAD_GUI=OFF -DLARKPAD_BENCH=OFF $(ASAN_COMPILERS) $(CMAKE_ARGS)
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ctest --output-on-failure -j $(JOBS)

# The tests that run the core on more than one thread, under ThreadSanitizer (core only).
test-tsan: deps
	$(ASAN_ENV) cmake -S . -B $(TSAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DLARKPAD_TSAN=ON -DLARKPAD_GUI=OFF -DLARKPAD_BENCH=OFF $(ASAN_COMPILERS) $(CMAKE_ARGS)
	cmake --build $(TSAN_BUILD) -j $(JOBS) --target larkpad_threaded_tests
	cd $(TSAN_BUILD) && TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" ./tests/larkpad_threaded_tests

# The Debian package (build/larkpad_<version>_<arch>.deb) and the installation under a prefix.
package: build
	cd $(BUILD) && cpack -G DEB

PREFIX ?= /usr/local
install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

bench: build
	cmake --build $(BUILD) -j $(JOBS) --target benchmarks
	@bash scripts/bench.sh $(BUILD)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD)
