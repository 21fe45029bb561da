# Front door: make (Release binary at build/tagfmt), make test, make demo,
# make bench, make playground (the page in build-web/).
GENERATOR := $(shell command -v ninja >/dev/null 2>&1 && echo "-G Ninja")
CONFIGURE := cmake $(GENERATOR) -DTAGFMT_WERROR=ON

.PHONY: all test test-deps demo bench bench-build clean fuzz memcheck hostile playground

# Each target first checks for what it needs from Debian (scripts/deps.sh):
# as root it installs what is missing, otherwise it prints the apt-get line.
all:
	@scripts/deps.sh build
	$(CONFIGURE) -S . -B build -DCMAKE_BUILD_TYPE=Release
	cmake --build build

# The corpus tests read real pages from ../shared/corpus, or from the folder
# that CORPUS names (make test CORPUS=DIR); ctest shows no reason for a
# skipped test, so the line before the tests says which folder is used.
ifdef CORPUS
export TAGFMT_TEST_CORPUS := $(abspath $(CORPUS))
endif
CORPUS_USED := $(abspath $(or $(CORPUS),$(CURDIR)/../shared/corpus))

test: test-deps all
	$(CONFIGURE) -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DTAGFMT_SANITIZE=ON
	cmake --build build-asan
	@if [ -d "$(CORPUS_USED)" ]; then echo "Corpus tests read $(CORPUS_USED)"; \
	else echo "Corpus tests will be skipped: no folder $(CORPUS_USED) (make test CORPUS=DIR names one)"; fi
	@[ "$$(id -u)" = 0 ] || echo "Not root: the file-system fault tests (mounts, immutable files) will be skipped"
	cd build && ctest --output-on-failure
	cd build-asan && ctest --output-on-failure
	scripts/fuzz.sh 25 smoke

# GoogleTest is for the tests alone; the build tree takes it up once there.
test-deps:
	@scripts/deps.sh test

demo: all
	scripts/demo.sh build/tagfmt

bench: all bench-build
	bench/run.sh

# The benchmark programs alone, which CI builds so that they keep building.
bench-build:
	@scripts/deps.sh bench
	$(CONFIGURE) -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DTAGFMT_TESTS=OFF -DTAGFMT_BENCH=ON
	cmake --build build-bench

clean:
	rm -rf build build-asan build-bench build-fuzz build-memcheck build-web

# The playground: index.html with the engine in WebAssembly, opened straight
# from disk. Needs emscripten (apt-get install emscripten).
playground:
	web/build.sh build-web

# make test builds the page too when emscripten is there; its browser test
# builds a copy of its own in the build tree.
test: playground-if-possible
.PHONY: playground-if-possible
playground-if-possible:
	@if command -v em++ >/dev/null; then $(MAKE) --no-print-directory playground; \
	else echo "skipping the playground: no emscripten (apt-get install emscripten)"; fi

# Shipping: make install [PREFIX=/usr/local] [DESTDIR=...], make package
# (build/tagfmt_<version>_<arch>.deb) and make windows
# (build-windows/tagfmt.exe, cross-built with MinGW-w64).
PREFIX ?= /usr/local
MINGW_CXX := x86_64-w64-mingw32-g++

.PHONY: install package windows windows-if-possible clean-windows

install: all
	DESTDIR="$(DESTDIR)" cmake --install build --prefix "$(PREFIX)"

package: all
	cd build && cpack -G DEB
	@ls build/*.deb

windows:
	@command -v $(MINGW_CXX) >/dev/null || \
	  { echo "make windows needs $(MINGW_CXX): apt-get install g++-mingw-w64-x86-64"; exit 1; }
	$(CONFIGURE) -S . -B build-windows -DCMAKE_BUILD_TYPE=Release -DTAGFMT_TESTS=OFF \
	  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
	cmake --build build-windows
	@echo "built build-windows/tagfmt.exe, build-windows/tagfmt-check.exe and build-windows/lsp/tagfmt-lsp.exe"

# make test builds tagfmt.exe when it can, so that its tests run.
test: windows-if-possible
clean: clean-windows

clean-windows:
	rm -rf build-windows

windows-if-possible:
	@if command -v $(MINGW_CXX) >/dev/null; then $(MAKE) --no-print-directory windows; \
	else echo "skipping the Windows build: no $(MINGW_CXX) (apt-get install g++-mingw-w64-x86-64)"; fi
	@command -v wine64 >/dev/null || command -v /usr/lib/wine/wine64 >/dev/null || \
	  command -v wine >/dev/null || \
	  echo "Shipping.WindowsExe will not run tagfmt.exe: no wine (apt-get install wine64)"

# All tests under valgrind's memcheck, the tool they start included, in a
# build without sanitizers. System programs the tests call are not traced.
VALGRIND := valgrind --error-exitcode=1 --leak-check=full --trace-children=yes \
	--trace-children-skip='/bin/*,/sbin/*,/usr/*' --quiet
memcheck:
	$(CONFIGURE) -S . -B build-memcheck -DCMAKE_BUILD_TYPE=Debug
	cmake --build build-memcheck -j2
	$(VALGRIND) build-memcheck/tagfmt_tests --gtest_brief=1

# Huge and hostile input, with time and peak memory for each case.
hostile: all
	scripts/hostile.sh build/tagfmt

# Each fuzz target runs FUZZ_SECONDS; make test runs a short smoke of them.
FUZZ_SECONDS ?= 150
fuzz:
	scripts/fuzz.sh $(FUZZ_SECONDS)
