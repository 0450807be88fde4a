# Entry points: `make demo` runs the filter on a built-in sample, `make test` builds and runs
# every test: the release suite, the same suite under ASan + UBSan, the concurrency tests under
# ThreadSanitizer, and bounded fuzz runs.
JOBS ?= $(shell nproc)
FUZZ_SECONDS ?= 60

.PHONY: all deps build deb test test-release test-asan test-tsan fuzz fuzz-run demo clean windows bench bench-run bench-peers
.PHONY: library wheel dist

all: build

deps:
	@bash tools/install-deps.sh

build: deps
	@cmake --preset release >/dev/null
	@cmake --build --preset release -j $(JOBS)

test: test-release test-asan test-tsan fuzz-run

# Both suites include the checks of the Windows DLL, so both need it built.
test-release: build windows
	@ctest --preset release -j $(JOBS)

test-asan: deps windows
	@cmake --preset asan >/dev/null
	@cmake --build --preset asan -j $(JOBS)
	@ctest --preset asan -j $(JOBS)

# Threads on one plan and on one plug-in instance, under ThreadSanitizer.
test-tsan: deps
	@cmake --preset tsan >/dev/null
	@cmake --build --preset tsan -j $(JOBS)
	@ctest --preset tsan -j $(JOBS)

fuzz: deps
	@cmake --preset fuzz >/dev/null
	@cmake --build --preset fuzz -j $(JOBS)

fuzz-run: fuzz
	@bash tools/run-fuzz.sh $(FUZZ_SECONDS)

# The Debian package build/sorvan_<version>_<arch>.deb, made by CPack from the release build.
deb: build
	@cd build && cpack -G DEB

# The Windows plug-ins, cross-compiled with clang and lld: sorvan.dll for 32-bit hosts into
# build/win32, sorvan64.dll for 64-bit hosts into build/win64.
windows: deps
	@cmake -S plugin/windows -B build/win32 -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/plugin/windows/toolchain-i686-msvc.cmake \
	  -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build build/win32 -j $(JOBS)
	@cmake -S plugin/windows -B build/win64 -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/plugin/windows/toolchain-x86_64-msvc.cmake \
	  -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build build/win64 -j $(JOBS)

# Builds only what the demo runs: the command (which also draws the picture) and the sample maker.
demo: deps
	@cmake --preset release >/dev/null
	@cmake --build --preset release --target sorvan_cli sorvan_sample -j $(JOBS)
	@bash tools/demo.sh build

# Packages for users, into build/dist (tools/package.py; checked by `make test`): a VapourSynth
# wheel per platform's plug-in library, its platform tag read from the library; the Windows
# archive of both DLLs; the source archive of the committed tree.
VERSION := $(shell sed -n 's/^project.sorvan VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
# One wheel per entry, "make target that builds the library:the library"; another platform is one
# more entry.
WHEEL_LIBRARIES := library:build/lib/libsorvan.so windows:build/win64/sorvan64.dll
wheel_target = $(word 1,$(subst :, ,$(1)))
wheel_library = $(word 2,$(subst :, ,$(1)))

library: deps
	@cmake --preset release >/dev/null
	@cmake --build --preset release --target sorvan -j $(JOBS)

wheel: $(foreach w,$(WHEEL_LIBRARIES),$(call wheel_target,$(w)))
	@$(foreach w,$(WHEEL_LIBRARIES),/usr/bin/python3 tools/package.py wheel $(call wheel_library,$(w)) $(VERSION) build/dist &&) true

dist: windows
	@/usr/bin/python3 tools/package.py windows-zip $(VERSION) build/win32/sorvan.dll build/win64/sorvan64.dll build/dist
	@/usr/bin/python3 tools/package.py source $(VERSION) build/dist

# Benchmarks: the fast paths against the reference and a plain frame copy, and whole commands
# against other filters (bench/peers.sh installs ffmpeg and hyperfine for that).
bench: deps
	@cmake --preset bench >/dev/null
	@cmake --build --preset bench -j $(JOBS)

bench-run: bench
	@build/bench/bin/sorvan_bench $(BENCH_ARGS)
	@build/bench/bin/sorvan_depth_bench $(BENCH_ARGS)

bench-peers: build
	@bash bench/peers.sh

clean:
	rm -rf build
