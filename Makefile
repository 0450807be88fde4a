# Entry points: `make demo` runs the filter on a built-in sample, `make test` builds and runs every test.
JOBS ?= $(shell nproc)

.PHONY: all deps build test demo clean windows

all: build

deps:
	@bash tools/install-deps.sh

build: deps
	@cmake --preset release >/dev/null
	@cmake --build --preset release -j $(JOBS)

test: build windows
	@ctest --preset release -j $(JOBS)

# sorvan.dll for 32-bit Windows hosts, cross-compiled with clang and lld into build/win32.
windows: deps
	@cmake -S host/win32 -B build/win32 -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/host/win32/toolchain-i686-msvc.cmake \
	  -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build build/win32 -j $(JOBS)

demo: build
	@echo "The command-line tool is not built yet; 'make demo' arrives with it."

clean:
	rm -rf build
