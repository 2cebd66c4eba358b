# kvel: `make demo` runs kvel against the simulated unit, `make test` runs every test,
# `make package` builds the .deb, `make cross-check` compiles the toolkit-free sources for Windows,
# `make docs-check` follows every relative link of the pages. All but the last install the Debian
# packages they need first.

JOBS ?= $(shell nproc)
# The end-to-end tests mostly wait on the link's timers (the whole suite takes about 40 s of
# CPU), so many more of them run than there are cores.
TEST_JOBS ?= $(shell echo $$(( $(JOBS) * 5 )))
TEST_DIR := build/test
RELEASE_DIR := build/release
FUZZ_DIR := build/fuzz
# How long `make fuzz` runs each fuzzer.
FUZZ_SECONDS ?= 300
# A compiler cache, where the machine has one, makes rebuilds after a branch switch quick.
CCACHE := $(shell command -v ccache 2>/dev/null)
CMAKE_LAUNCHER := $(if $(CCACHE),-DCMAKE_CXX_COMPILER_LAUNCHER=$(CCACHE))

.PHONY: deps test demo build-test build-release build-fuzz fuzz bench package cross-check format-check docs-check clean

deps:
	@./scripts/install-deps.sh

# Line tables are all a sanitizer's report needs, and lld links the many test programs in a
# fraction of the time: together they take a third off building the tree. clang builds the
# sanitizer tree in two thirds of g++'s time; g++ still builds the release tree with every
# warning an error, and the Windows cross-check.
TEST_FLAGS := -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_CXX_FLAGS_DEBUG=-g1 \
  -DCMAKE_EXE_LINKER_FLAGS=-fuse-ld=lld

build-test: deps
	@cmake -S . -B $(TEST_DIR) -DCMAKE_BUILD_TYPE=Debug -DKVEL_SANITIZE=ON $(TEST_FLAGS) $(CMAKE_LAUNCHER) >/dev/null
	@cmake --build $(TEST_DIR) -j $(JOBS)

build-release: deps
	@cmake -S . -B $(RELEASE_DIR) -DCMAKE_BUILD_TYPE=Release -DKVEL_TESTS=OFF -DKVEL_BENCH=ON $(CMAKE_LAUNCHER) >/dev/null
	@cmake --build $(RELEASE_DIR) -j $(JOBS)

build-fuzz: deps
	@cmake -S . -B $(FUZZ_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
	  -DKVEL_FUZZ=ON -DKVEL_TESTS=OFF $(CMAKE_LAUNCHER) >/dev/null
	@cmake --build $(FUZZ_DIR) -j $(JOBS) --target fuzzers

# The fuzzers' seed corpora replay here through a plain driver; libFuzzer itself runs in `make fuzz`.
test: build-test
	@cd $(TEST_DIR) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(TEST_JOBS)

fuzz: build-fuzz
	@./fuzz/run.sh $(FUZZ_DIR) $(FUZZ_SECONDS)

demo: build-release
	@./scripts/demo.sh $(RELEASE_DIR)

bench: build-release
	@./bench/run.sh $(RELEASE_DIR)

package: build-release
	@cd $(RELEASE_DIR) && cpack -G DEB

cross-check: deps
	@./scripts/cross-check.sh

format-check: deps
	@./scripts/check-format.sh

# Plain Python; `make test` runs it too.
docs-check:
	@/usr/bin/python3 ./scripts/check-docs.py

clean:
	rm -rf build
