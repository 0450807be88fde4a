# Entry points: `make demo` runs the filter on a built-in sample, `make test` builds and runs every test.
JOBS ?= $(shell nproc)

.PHONY: all deps build test demo clean

all: build

deps:
	@bash tools/install-deps.sh

build: deps
	@cmake --preset release >/dev/null
	@cmake --build --preset release -j $(JOBS)

test: build
	@ctest --preset release -j $(JOBS)

demo: build
	@bash tools/demo.sh build

clean:
	rm -rf build
