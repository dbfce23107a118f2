# Entry points for building, testing and trying out rux_ppp.
#
#   make deps    install the missing Debian packages
#   make build   configure and build into build/ (Debug)
#   make test    build, then run every test headless
#   make demo    build, make a demo database and run the example script unattended
#   make fuzz    build the fuzz targets with clang into build-fuzz/ and run each
#                for FUZZ_SECONDS (default 60); fails on any finding
#   make clean   remove build/

SHELL := /bin/bash
.SHELLFLAGS := -eu -o pipefail -c

BUILD_DIR  ?= build
BUILD_TYPE ?= Debug
JOBS       ?= $(shell nproc)

DEMO_DIR    := $(BUILD_DIR)/demo
DEMO_RUN_ID ?= 1042
DEMO_STATION ?= 2

FUZZ_DIR     ?= build-fuzz
FUZZ_SECONDS ?= 60
FUZZ_TARGETS ?= cmdline discovery replaceall linesort batchtext connectionstring scriptfile

.PHONY: all deps build test demo fuzz clean

all: build

deps:
	@scripts/install-deps.sh

# $(call configure_and_build,<build dir>,<extra cmake options>)
define configure_and_build
	cmake -S . -B $(1) -G "Unix Makefiles" -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(2)
	cmake --build $(1) -j$(JOBS)
endef

# $(call run_tests,<build dir>)
define run_tests
	QT_QPA_PLATFORM=offscreen ctest --test-dir $(1) --output-on-failure
endef

build: deps
	$(call configure_and_build,$(BUILD_DIR),)

# A further build (a sanitizer build with -DRUX_SANITIZE=ON into its own
# folder, say) joins here as one more configure_and_build and run_tests pair.
test: build
	$(call run_tests,$(BUILD_DIR))

demo: build
	rm -rf $(DEMO_DIR)
	mkdir -p $(DEMO_DIR)
	sqlite3 -bail $(DEMO_DIR)/results.db < examples/demo_db.sql
	cd $(DEMO_DIR) && QT_QPA_PLATFORM=offscreen $(abspath $(BUILD_DIR))/rux_ppp \
	    DB=results.db SQL=$(abspath examples/daily_postprocessing.sql) \
	    ERR_P=$(DEMO_RUN_ID) '$$station=$(DEMO_STATION)' GO
	@echo
	@echo "Export file: $(abspath $(DEMO_DIR))/daily_summary_$(DEMO_RUN_ID).txt"
	@echo "First lines:"
	@head -n 8 $(DEMO_DIR)/daily_summary_$(DEMO_RUN_ID).txt | tr -d '\r'

# The fuzzing build needs clang and its fuzzer runtime; the normal build and
# the tests do not, so they are installed here only.
fuzz: deps
	@scripts/install-deps.sh clang libclang-rt-14-dev
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_DIR) -G "Unix Makefiles" \
	    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRUX_FUZZ=ON
	cmake --build $(FUZZ_DIR) -j$(JOBS) --target rux_fuzzers
	fuzz/run.sh $(FUZZ_DIR) $(FUZZ_SECONDS) $(FUZZ_TARGETS)

clean:
	rm -rf $(BUILD_DIR) $(FUZZ_DIR)
