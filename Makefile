# Kestrine: the quick start is `make run` and `make test`.
BUILD_DIR   ?= build
BUILD_TYPE  ?= RelWithDebInfo
JOBS        ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS ?=
BENCH_DIR   ?= build-bench
BENCH_ARGS  ?=
# SANITIZER_SUITES=yes makes `make test` also run the suite under both sanitizers (about 9
# minutes more on 2 cores from a clean clone; see RELIABILITY.md). CI always does.
ifeq ($(CI),true)
CMAKE_FLAGS += -DKESTRINE_WERROR=ON
SANITIZER_SUITES ?= yes
endif
SANITIZER_SUITES ?= no
# A sanitizer report ends a program with status 86, so that it fails a test also in a child
# program whose own exit status the test reads (kestrine-cli exits 1 when a file failed).
ASAN_ENV = ASAN_OPTIONS=exitcode=86:detect_leaks=1 UBSAN_OPTIONS=exitcode=86:print_stacktrace=1 \
           LSAN_OPTIONS=suppressions=$(CURDIR)/tests/LsanSuppressions.txt
TSAN_ENV = TSAN_OPTIONS=exitcode=86:second_deadlock_stack=1
TEST_ENV ?=

.PHONY: all deps configure build run test test-asan test-tsan bench fuzz format format-check install clean

all: build

deps:
	@./scripts/deps.sh

configure: deps
	@cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	@if [ -z "$$DISPLAY" ] && [ -z "$$WAYLAND_DISPLAY" ]; then \
	    echo "make run: no display. Start one with 'Xvfb :99 & export DISPLAY=:99', or run in a desktop session."; \
	    exit 1; \
	fi
	@$(BUILD_DIR)/app/kestrine

test: build
	@cd $(BUILD_DIR) && $(TEST_ENV) QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)
	@if [ "$(SANITIZER_SUITES)" = yes ]; then $(MAKE) --no-print-directory test-asan test-tsan; fi

test-asan:
	@$(MAKE) --no-print-directory test SANITIZER_SUITES=no TEST_ENV="$(ASAN_ENV)" BUILD_DIR=build-asan BUILD_TYPE=Debug CMAKE_FLAGS="$(CMAKE_FLAGS) -DKESTRINE_ASAN=ON"

test-tsan:
	@$(MAKE) --no-print-directory test SANITIZER_SUITES=no TEST_ENV="$(TSAN_ENV)" BUILD_DIR=build-tsan BUILD_TYPE=Debug CMAKE_FLAGS="$(CMAKE_FLAGS) -DKESTRINE_TSAN=ON"

# The benchmark figures, in a release build of their own (-O2: GCC 12 at -O3 reports a false
# -Wrestrict in base/). BENCH_ARGS goes to kestrine_bench, e.g. BENCH_ARGS="--only 1,4".
bench: deps
	@cmake -S . -B $(BENCH_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG" \
	    -DKESTRINE_TESTS=OFF -DKESTRINE_BENCH=ON $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(BENCH_DIR) -j $(JOBS) --target kestrine_bench
	@$(BENCH_DIR)/bench/kestrine_bench $(BENCH_ARGS)

fuzz: deps
	@./scripts/fuzz.sh

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

format-check:
	@git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror

install: build
	@cmake --install $(BUILD_DIR)

clean:
	@rm -rf build build-asan build-tsan build-fuzz $(BENCH_DIR)
