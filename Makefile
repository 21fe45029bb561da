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

clean:
	rm -rf build build-asan build-fuzz build-memcheck
