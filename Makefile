# Velmora: `make run` starts the window, `make test` runs every test, `make bench`
# prints the performance figures. Each first installs whatever Debian packages are
# missing (scripts/install-deps.sh).

JOBS       ?= $(shell nproc)
BUILD      ?= build
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
BENCH_BUILD ?= build-bench
CMAKE_GEN  := -G "Unix Makefiles"
CTEST      := ctest --output-on-failure --timeout 300 -j $(JOBS)

.PHONY: deps build run test test-plain test-asan test-tsan bench format clean

deps:
	@bash scripts/install-deps.sh

build: deps
	@cmake -S . -B $(BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	@if [ -z "$$DISPLAY" ] && [ -z "$$WAYLAND_DISPLAY" ]; then \
	  echo "make run: no display to open the window on; run it under a virtual one: xvfb-run -a make run"; \
	  exit 1; \
	fi
	@./$(BUILD)/src/app/velmora

test: deps test-plain test-asan test-tsan

test-plain:
	@cmake -S . -B $(BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)
	@cd $(BUILD) && $(CTEST)

# AddressSanitizer and UndefinedBehaviorSanitizer over the whole suite.
test-asan:
	@cmake -S . -B $(ASAN_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug \
	  -DVELMORA_SANITIZE="address;undefined" >/dev/null
	@cmake --build $(ASAN_BUILD) -j $(JOBS)
	@cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 $(CTEST)

# ThreadSanitizer over the tests of the parts that run threads: only those test
# executables are built here, and the placeholders of the others are skipped.
test-tsan:
	@cmake -S . -B $(TSAN_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug \
	  -DVELMORA_SANITIZE=thread >/dev/null
	@cmake --build $(TSAN_BUILD) -j $(JOBS) --target threaded_tests
	@cd $(TSAN_BUILD) && TSAN_OPTIONS=suppressions=$(CURDIR)/tests/tsan.supp:halt_on_error=1:second_deadlock_stack=1 \
	  $(CTEST) -E '_NOT_BUILT$$'

bench: deps
	@cmake -S . -B $(BENCH_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release \
	  -DVELMORA_BUILD_TESTS=ON -DVELMORA_BUILD_BENCH=ON >/dev/null
	@cmake --build $(BENCH_BUILD) -j $(JOBS) --target benchmarks velmora velmora-cli
	@bash bench/run-all.sh $(BENCH_BUILD)

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD) $(BENCH_BUILD)
