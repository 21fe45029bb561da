# Front door: make (Release binary at build/tagfmt), make test, make demo.
GENERATOR := $(shell command -v ninja >/dev/null 2>&1 && echo "-G Ninja")
CONFIGURE := cmake $(GENERATOR) -DTAGFMT_WERROR=ON

.PHONY: all test demo clean fuzz memcheck hostile

all:
	$(CONFIGURE) -S . -B build -DCMAKE_BUILD_TYPE=Release
	cmake --build build

test: all
	$(CONFIGURE) -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DTAGFMT_SANITIZE=ON
	cmake --build build-asan
	cd build && ctest --output-on-failure
	cd build-asan && ctest --output-on-failure
	scripts/fuzz.sh 25 smoke

demo: all
	scripts/demo.sh build/tagfmt

# Huge and hostile input, with time and peak memory for each case.
hostile: all
	scripts/hostile.sh build/tagfmt

# Each fuzz target runs FUZZ_SECONDS; make test runs a short smoke of them.
FUZZ_SECONDS ?= 150
fuzz:
	scripts/fuzz.sh $(FUZZ_SECONDS)

clean:
	rm -rf build build-asan build-fuzz
