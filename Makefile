# Entry points for building, testing and trying out rux_ppp.
#
#   make deps    install the missing Debian packages
#   make build   configure and build into build/ (Debug)
#   make test    build, then run every test headless, in build/ and once
#                more in build-asan/ (AddressSanitizer + UBSan + LeakSanitizer)
#   make demo    build the program, make a demo database and run the example
#                script unattended
#   make bench   Release build into build-release/, then the benchmark suite
#   make package Release build into build-package/, then the Debian package
#                build/rux-ppp_<version>_<arch>.deb (CPack)
#   make package-check
#                build the package, install it into this system with apt,
#                run it on the demo, check its desktop entry and manual page,
#                remove it and check that nothing is left (needs root or sudo)
#   make fuzz    build the fuzz targets with clang into build-fuzz/ and run each
#                for FUZZ_SECONDS (default 60); fails on any finding
#   make clean   remove build/, build-asan/, build-release/, build-package/
#                and build-fuzz/

SHELL := /bin/bash
.SHELLFLAGS := -eu -o pipefail -c

BUILD_DIR  ?= build
SANITIZE_BUILD_DIR ?= build-asan
BUILD_TYPE ?= Debug
JOBS       ?= $(shell nproc)

DEMO_DIR    := $(BUILD_DIR)/demo
BENCH_DIR   ?= build-release
BENCH_TARGETS := rux_ppp bench_export_floor bench_substitution_floor bench_qt_startup bench_table_editing bench_window_load bench_stop_latency
DEMO_RUN_ID ?= 1042
DEMO_STATION ?= 2

PACKAGE_DIR ?= build-package

FUZZ_DIR     ?= build-fuzz
FUZZ_SECONDS ?= 60
FUZZ_TARGETS ?= cmdline discovery replaceall linesort batchtext connectionstring scriptfile accessfile

.PHONY: all deps build test demo bench package package-check fuzz clean

all: build

deps:
	@scripts/install-deps.sh

# $(call configure_and_build,<build dir>,<extra cmake options>[,<targets>])
# Without targets everything is built: the program, the tests, the benchmarks.
define configure_and_build
	cmake -S . -B $(1) -G "Unix Makefiles" -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(2)
	cmake --build $(1) -j$(JOBS) $(if $(3),--target $(3))
endef

# $(call run_tests,<build dir>)
# The tests run next to a private PostgreSQL server (RUX_PG_URI), which is
# stopped when they end, pass or fail.
define run_tests
	scripts/with-postgres.sh env QT_QPA_PLATFORM=offscreen ctest --test-dir $(1) --output-on-failure
endef

build: deps
	$(call configure_and_build,$(BUILD_DIR),)

# The whole suite runs twice: on the plain build, then on a sanitizer
# build in its own folder, where any report fails the test that caused it
# (the options are set on each test by tests/CMakeLists.txt).
test: build
	$(call run_tests,$(BUILD_DIR))
	$(call configure_and_build,$(SANITIZE_BUILD_DIR),-DRUX_SANITIZE=ON)
	$(call run_tests,$(SANITIZE_BUILD_DIR))

# The demo builds the program alone (its Access reader comes with it).
demo: deps
	$(call configure_and_build,$(BUILD_DIR),,rux_ppp)
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

# Timed on an optimised build without sanitizers; bench/run exits 0 whatever
# holds and fails only when the suite cannot run.
bench: deps
	cmake -S . -B $(BENCH_DIR) -G "Unix Makefiles" -DCMAKE_BUILD_TYPE=Release \
	    -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" -DRUX_SANITIZE=OFF
	cmake --build $(BENCH_DIR) -j$(JOBS) --target $(BENCH_TARGETS)
	bench/run $(BENCH_DIR)

# The package holds the program alone, so its build leaves the tests and
# the benchmark programs out. dpkg-shlibdeps (dpkg-dev) finds the libraries
# it links against; CPack uses `file` to find what to look at.
package: deps
	@scripts/install-deps.sh dpkg-dev file
	cmake -S . -B $(PACKAGE_DIR) -G "Unix Makefiles" -DCMAKE_BUILD_TYPE=Release \
	    -DRUX_TESTS=OFF -DRUX_SANITIZE=OFF -DCMAKE_INSTALL_PREFIX=/usr
	cmake --build $(PACKAGE_DIR) -j$(JOBS)
	rm -f $(PACKAGE_DIR)/rux-ppp_*.deb $(BUILD_DIR)/rux-ppp_*.deb
	cd $(PACKAGE_DIR) && cpack
	mkdir -p $(BUILD_DIR)
	mv $(PACKAGE_DIR)/rux-ppp_*.deb $(BUILD_DIR)/
	@ls $(BUILD_DIR)/rux-ppp_*.deb

# Installs into the system, so `make test` never runs it; .ci/run does.
package-check: package
	scripts/package-check.sh $(BUILD_DIR)/rux-ppp_*.deb

# The fuzzing build needs clang and its fuzzer runtime; the normal build and
# the tests do not, so they are installed here only.
fuzz: deps
	@scripts/install-deps.sh clang libclang-rt-14-dev
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_DIR) -G "Unix Makefiles" \
	    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRUX_FUZZ=ON
	cmake --build $(FUZZ_DIR) -j$(JOBS) --target rux_fuzzers
	fuzz/run.sh $(FUZZ_DIR) $(FUZZ_SECONDS) $(FUZZ_TARGETS)

clean:
	rm -rf $(BUILD_DIR) $(SANITIZE_BUILD_DIR) $(BENCH_DIR) $(PACKAGE_DIR) $(FUZZ_DIR)
