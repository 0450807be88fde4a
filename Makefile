# Entry points: `make demo` runs the filter on a built-in sample, `make test` builds and runs
# every test: the release suite, the same suite under ASan + UBSan, the concurrency tests under
# ThreadSanitizer, and bounded fuzz runs.
JOBS ?= $(shell nproc)
FUZZ_SECONDS ?= 20

.PHONY: all deps build deb test test-release test-asan test-tsan fuzz fuzz-run demo clean windows bench bench-run bench-peers
.PHONY: library wheel dist arm64 arm64-library test-arm64 bench-arm64

all: build

deps:
	@bash tools/install-deps.sh

build: deps
	@cmake --preset release >/dev/null
	@cmake --build --preset release -j $(JOBS)

test: test-release test-asan test-tsan test-arm64 fuzz-run

# The optimised suite includes the checks of the Windows DLLs (under Wine), so it needs them built.
test-release: build windows
	@ctest --preset release -j $(JOBS)

# The sanitizer builds compile at -O1 with line tables only (CMakePresets.json): the same checks in a
# third of the compile time of -O2 -g.
test-asan: deps
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

# The Debian package build/sorvan_<version>_<arch>.deb, made by CPack from the release build;
# `make deb ARCH=arm64`: build/arm64/sorvan_<version>_arm64.deb from the ARM64 build.
ARCH ?= native
deb_dir = $(if $(filter arm64,$(ARCH)),build/arm64,build)
deb: $(if $(filter arm64,$(ARCH)),arm64,build)
	@cd $(deb_dir) && cpack -G DEB

# The Windows plug-ins, cross-compiled with clang and lld: sorvan.dll for 32-bit hosts into
# build/win32, sorvan64.dll for 64-bit hosts into build/win64; beside each, the test programs
# that run it under Wine (the C interfaces' drivers and our hosts built with mingw-w64).
windows: deps
	@cmake -S plugin/windows -B build/win32 -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/plugin/windows/toolchain-i686-msvc.cmake \
	  -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build build/win32 -j $(JOBS)
	@cmake -S plugin/windows -B build/win64 -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/plugin/windows/toolchain-x86_64-msvc.cmake \
	  -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build build/win64 -j $(JOBS)
	@cmake -S tests/windows/drivers -B build/win32/drivers \
	  -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/tests/windows/toolchain-mingw-i686.cmake >/dev/null
	@cmake --build build/win32/drivers -j $(JOBS)
	@cmake -S tests/windows/drivers -B build/win64/drivers \
	  -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/tests/windows/toolchain-mingw-x86_64.cmake >/dev/null
	@cmake --build build/win64/drivers -j $(JOBS)

# 64-bit ARM Linux, cross-compiled with Debian's aarch64-linux-gnu toolchain into build/arm64:
# the plug-in build/arm64/lib/libsorvan.so (every binding), the command build/arm64/bin/sorvan,
# the tests and the instruction counter. Its tests run under qemu-aarch64, the plug-in's frames
# checked against the native release build's (so `build` comes first).
arm64: deps
	@cmake --preset arm64 >/dev/null
	@cmake --build --preset arm64 -j $(JOBS)

test-arm64: build arm64
	@ctest --preset arm64 -j $(JOBS)

arm64-library: deps
	@cmake --preset arm64 >/dev/null
	@cmake --build --preset arm64 --target sorvan -j $(JOBS)

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
WHEEL_LIBRARIES := library:build/lib/libsorvan.so windows:build/win64/sorvan64.dll \
  arm64-library:build/arm64/lib/libsorvan.so
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

# Guest instructions of a 1080p frame per path under qemu-aarch64 (counted, not timed), for the
# reference and every ARM64 level the build has.
bench-arm64: deps
	@cmake --preset arm64 >/dev/null
	@cmake --build --preset arm64 --target sorvan_frame_instructions sorvan_count_plugin -j $(JOBS)
	@bash bench/instructions/count.sh build/arm64/bin/sorvan_frame_instructions \
	  build/arm64/bench/instructions/count_plugin.so qemu-aarch64

bench-peers: build
	@bash bench/peers.sh

clean:
	rm -rf build
