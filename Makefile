# SPDX-License-Identifier: MIT
# The README's commands. Each target installs what it is missing first, and only that
# (scripts/install-deps names the groups).
.PHONY: deps configure build check test test-default test-asan test-tsan windows test-windows test-package demo \
        run bench fuzz package format clean

JOBS ?= $(shell nproc)
DEPS = bash scripts/install-deps

deps:
	@$(DEPS)

configure:
	@$(DEPS) build dialog test
	cmake --preset default

build: configure
	cmake --build --preset default -j $(JOBS)

test-default: build
	@$(DEPS) browser
	ctest --preset default -j $(JOBS)

# The default build's tests alone, for the edit-test loop; the other build configurations are
# left to make test.
check: build
	ctest --preset default -j $(JOBS) -E '^build\.options$$'

test-asan:
	@$(DEPS) build dialog test browser
	cmake --preset asan
	cmake --build --preset asan -j $(JOBS)
	ctest --preset asan -j $(JOBS)

# The engine's tests under ThreadSanitizer: the reading threads share nothing unguarded; and the
# dialog's logic, whose run goes on a thread of its own.
test-tsan:
	@$(DEPS) build test
	cmake --preset tsan
	cmake --build --preset tsan -j $(JOBS)
	TSAN_OPTIONS=halt_on_error=1 build-tsan/bin/quillbox_engine_tests --gtest_brief=1
	TSAN_OPTIONS=halt_on_error=1 build-tsan/bin/quillbox_safety_tests --gtest_brief=1
	TSAN_OPTIONS=halt_on_error=1 build-tsan/bin/quillbox_dialog_tests --gtest_brief=1

test: deps test-default test-asan test-tsan test-windows test-package

# The Windows programs, cross-built: build-windows/bin/Quillbox.exe and quillbox-cli.exe.
windows:
	@$(DEPS) build windows
	cmake --preset windows
	cmake --build --preset windows -j $(JOBS)

# Their test suites under Wine, then the same folders through both command lines and a start of
# the dialog program.
test-windows: windows build
	ctest --preset windows
	bash scripts/test-windows

# build-packages/: the .deb and the Windows zip.
package:
	@$(DEPS) build dialog windows package
	JOBS=$(JOBS) bash scripts/make-packages

# The .deb through lintian, unpacked into a scratch root and run on the samples.
test-package:
	@$(DEPS) build dialog test package
	JOBS=$(JOBS) bash scripts/make-packages deb
	bash packaging/check-deb build-packages/quillbox_*_$$(dpkg --print-architecture).deb \
	    examples tests/data/examples

# quillbox-cli alone, optimised, and the archives of the samples in build-demo/archives/.
demo:
	@$(DEPS) build
	cmake --preset demo
	cmake --build --preset demo -j $(JOBS)
	@bash scripts/run-demo build-demo/bin/quillbox-cli examples build-demo/archives

run: build
	build/bin/quillbox

# FUZZ_SECONDS=600 make fuzz runs each target for ten minutes.
fuzz:
	@$(DEPS) build fuzz
	cmake --preset fuzz
	cmake --build --preset fuzz -j $(JOBS)
	bash scripts/run-fuzzers

# The benchmark on an optimised build: the corpus is made once under build-release/bench-corpus,
# quillbox-cli is timed against the floor program, then the engine's inner pieces are measured.
BENCH_SEED ?= 20090318
BENCH_MESSAGES ?= 100000
BENCH_CARDS ?= 10000
BENCH_RUNS ?= 5
# The Android backup: 10,000 SMS and 1,000 MMS with pictures (about 100 MB) by default;
# BENCH_ANDROID_SMS=100000 BENCH_ANDROID_MMS=10000 for the 1 GB backup.
BENCH_ANDROID_SMS ?= 10000
BENCH_ANDROID_MMS ?= 1000
# The archive folder: 100,000 messages in 2,000 conversations with 5,000 pictures by default.
BENCH_SPLIT_CONVERSATIONS ?= 2000
BENCH_SPLIT_PICTURES ?= 5000
BENCH_TARGETS = quillbox-cli quillbox_bench_corpus quillbox_bench_floor quillbox_bench_run \
                quillbox_bench_micro quillbox_bench_iphone \
                quillbox_bench_android quillbox_bench_split

bench:
	@$(DEPS) build dialog test
	cmake --preset release
	cmake --build --preset release -j $(JOBS) --target $(BENCH_TARGETS)
	build-release/bin/quillbox_bench_run --bin build-release/bin \
	    --corpus-root build-release/bench-corpus --seed $(BENCH_SEED) \
	    --messages $(BENCH_MESSAGES) --cards $(BENCH_CARDS) --runs $(BENCH_RUNS) \
	    --report build-release/bench-report.txt
	build-release/bin/quillbox_bench_android --bin build-release/bin \
	    --corpus-root build-release/bench-corpus --seed $(BENCH_SEED) \
	    --sms $(BENCH_ANDROID_SMS) --mms $(BENCH_ANDROID_MMS) --runs $(BENCH_RUNS)
	build-release/bin/quillbox_bench_split --bin build-release/bin \
	    --corpus-root build-release/bench-corpus --seed $(BENCH_SEED) \
	    --messages $(BENCH_MESSAGES) --conversations $(BENCH_SPLIT_CONVERSATIONS) \
	    --pictures $(BENCH_SPLIT_PICTURES) --runs $(BENCH_RUNS)
	build-release/bin/quillbox_bench_micro
	build-release/bin/quillbox_bench_iphone --messages $(BENCH_MESSAGES) --runs $(BENCH_RUNS) \
	    --seed $(BENCH_SEED) build-release/bench-corpus/iphone

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build build-asan build-tsan build-release build-fuzz build-demo build-deb build-windows build-packages
