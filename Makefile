# Front door: make (Release binary at build/tagfmt), make test, make demo,
# make bench.
GENERATOR := $(shell command -v ninja >/dev/null 2>&1 && echo "-G Ninja")
CONFIGURE := cmake $(GENERATOR) -DTAGFMT_WERROR=ON

.PHONY: all test demo bench clean

all:
	$(CONFIGURE) -S . -B build -DCMAKE_BUILD_TYPE=Release
	cmake --build build

test: all
	$(CONFIGURE) -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DTAGFMT_SANITIZE=ON
	cmake --build build-asan
	cd build && ctest --output-on-failure
	cd build-asan && ctest --output-on-failure

demo: all
	scripts/demo.sh build/tagfmt

bench: all
	$(CONFIGURE) -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DTAGFMT_TESTS=OFF -DTAGFMT_BENCH=ON
	cmake --build build-bench
	bench/run.sh

clean:
	rm -rf build build-asan build-bench
