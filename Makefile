# Entry points: `make demo` runs the filter on a built-in sample, `make test` builds and runs every test.
JOBS ?= $(shell nproc)

.PHONY: all deps build test demo clean bench bench-run bench-peers

all: build

deps:
	@bash tools/install-deps.sh

build: deps
	@cmake --preset release >/dev/null
	@cmake --build --preset release -j $(JOBS)

test: build
	@ctest --preset release -j $(JOBS)

demo: build
	@echo "The command-line tool is not built yet; 'make demo' arrives with it."

# Benchmarks: the fast paths against the reference and a plain frame copy, and whole commands
# against other filters (bench/peers.sh installs ffmpeg and hyperfine for that).
bench: deps
	@cmake --preset bench >/dev/null
	@cmake --build --preset bench -j $(JOBS)

bench-run: bench
	@build/bench/bin/sorvan_bench $(BENCH_ARGS)

bench-peers: build
	@bash bench/peers.sh

clean:
	rm -rf build
