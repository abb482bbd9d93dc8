# The README's commands. Each target installs what is missing first.
.PHONY: deps configure build test test-default test-asan windows test-windows demo run bench fuzz format clean

JOBS ?= $(shell nproc)

deps:
	@bash scripts/install-deps

configure: deps
	cmake --preset default

build: configure
	cmake --build --preset default -j $(JOBS)

test-default: build
	ctest --preset default -j $(JOBS)

test-asan: deps
	cmake --preset asan
	cmake --build --preset asan -j $(JOBS)
	ctest --preset asan -j $(JOBS)

test: test-default test-asan test-windows

# The Windows programs, cross-built: build-windows/bin/Quillbox.exe and quillbox-cli.exe.
windows: deps
	cmake --preset windows
	cmake --build --preset windows -j $(JOBS)

# Their test suites under Wine, then the same folders through both command lines and a start of
# the dialog program.
test-windows: windows build
	ctest --preset windows
	bash scripts/test-windows

demo: build
	@bash scripts/run-demo build/bin/quillbox-cli examples build/demo

run: build
	build/bin/quillbox

# FUZZ_SECONDS=600 make fuzz runs each target for ten minutes.
fuzz: deps
	cmake --preset fuzz
	cmake --build --preset fuzz -j $(JOBS)
	bash scripts/run-fuzzers

# The benchmark on an optimised build: the corpus is made once under build-release/bench-corpus,
# quillbox-cli is timed against the floor program, then the engine's inner pieces are measured.
BENCH_SEED ?= 20090318
BENCH_MESSAGES ?= 100000
BENCH_CARDS ?= 10000
BENCH_RUNS ?= 5
BENCH_TARGETS = quillbox-cli quillbox_bench_corpus quillbox_bench_floor quillbox_bench_run \
                quillbox_bench_micro

bench: deps
	cmake --preset release
	cmake --build --preset release -j $(JOBS) --target $(BENCH_TARGETS)
	build-release/bin/quillbox_bench_run --bin build-release/bin \
	    --corpus-root build-release/bench-corpus --seed $(BENCH_SEED) \
	    --messages $(BENCH_MESSAGES) --cards $(BENCH_CARDS) --runs $(BENCH_RUNS) \
	    --report build-release/bench-report.txt
	build-release/bin/quillbox_bench_micro

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build build-asan build-release build-fuzz
