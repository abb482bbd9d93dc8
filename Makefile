# The README's commands. Each target installs what is missing first.
.PHONY: deps configure build test test-default test-asan demo run fuzz format clean

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

test: test-default test-asan

demo: build
	@bash scripts/run-demo build/bin/quillbox-cli examples build/demo

run: build
	build/bin/quillbox

# FUZZ_SECONDS=600 make fuzz runs each target for ten minutes.
fuzz: deps
	cmake --preset fuzz
	cmake --build --preset fuzz -j $(JOBS)
	bash scripts/run-fuzzers

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build build-asan build-release build-fuzz
