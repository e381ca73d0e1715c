# make test   install what is missing, build, run every test but the benchmarks
# make run    install what is missing, build the application and its local peers only (target
#             run-app), start it against the local catalogue backend and ad server (ADS=0: ads
#             off, no ad server)
# make bench  build an optimised tree and run the benchmarks, printing each one's table
# make fuzz   install clang when missing, build the libFuzzer harnesses in build-fuzz/ and run each
#             for FUZZ_SECONDS (FUZZ=name runs one, FUZZ_FLAGS adds libFuzzer flags); inputs
#             that break one land in fuzz/regressions/
# SANITIZE=address,undefined (or thread) builds a sanitized tree in its own folder;
# BUILD_TYPE=RelWithDebInfo (or Release) an optimised one (build-relwithdebinfo/).

SANITIZE ?=
JOBS ?= $(shell nproc)
ROOT := $(abspath $(dir $(lastword $(MAKEFILE_LIST))))

ifeq ($(SANITIZE),)
BUILD_TYPE ?= Debug
ifeq ($(BUILD_TYPE),Debug)
BUILD ?= $(ROOT)/build
else
BUILD ?= $(ROOT)/build-$(shell echo $(BUILD_TYPE) | tr A-Z a-z)
endif
else
BUILD ?= $(ROOT)/build-$(subst $(comma),-,$(SANITIZE))
BUILD_TYPE ?= Debug
endif
comma := ,

export CCACHE_BASEDIR := $(ROOT)
export CCACHE_NOHASHDIR := 1
export CCACHE_SLOPPINESS := include_file_mtime,include_file_ctime,time_macros

ADS ?= 1
FUZZ_SECONDS ?= 60
FUZZ ?=

.PHONY: deps configure build test run bench fuzz clean

deps:
	@$(ROOT)/scripts/install-deps

configure: deps
	@cmake -S $(ROOT) -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DQUORVANE_SANITIZE=$(SANITIZE) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

test: build
	@cd $(BUILD) && ctest -LE bench --output-on-failure -j $(JOBS) --timeout 600

run: configure
	@cmake --build $(BUILD) -j $(JOBS) --target run-app
	@ADS=$(ADS) $(ROOT)/scripts/run-app $(BUILD)

# ctest shows a test's output only with -V; the filter keeps each benchmark's
# own lines (without ctest's "N: " prefix), its start and result lines and the
# summary, and drops ctest's bookkeeping. pipefail keeps ctest's status.
BENCH_FILTER := -e '/^(UpdateCTestConfiguration|Constructing a list|Done constructing|Updating test list|Added [0-9]+ tests? to meet|Checking test dependency|test [0-9]+$$)/d' \
	-e '/^[0-9]+: (Test command|Working Directory|Test timeout computed)/d' -e 's/^[0-9]+: //'
bench: SHELL := /bin/bash
bench: .SHELLFLAGS := -o pipefail -c
bench:
	@$(MAKE) --no-print-directory build BUILD=$(ROOT)/build-release BUILD_TYPE=Release
	@cd $(ROOT)/build-release && ctest -L bench -j 1 -V | sed -u -E $(BENCH_FILTER)

fuzz:
	@$(ROOT)/scripts/install-deps
	@$(ROOT)/scripts/install-deps --fuzz
	@CC=clang CXX=clang++ cmake -S $(ROOT) -B $(ROOT)/build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=Debug \
		-DCMAKE_CXX_FLAGS_DEBUG="-g -O1" -DCMAKE_C_FLAGS_DEBUG="-g -O1" \
		-DQUORVANE_FUZZ=ON -DQUORVANE_WERROR=OFF >/dev/null
	@cmake --build $(ROOT)/build-fuzz -j $(JOBS)
	@FUZZ_FLAGS="$(FUZZ_FLAGS)" $(ROOT)/fuzz/run-fuzzers $(ROOT)/build-fuzz $(FUZZ_SECONDS) $(FUZZ)

clean:
	rm -rf $(ROOT)/build $(ROOT)/build-*
