# Entry points for building, testing and trying out rux_ppp.
#
#   make deps    install the missing Debian packages
#   make build   configure and build into build/ (Debug)
#   make test    build, then run every test headless, in build/ and once
#                more in build-asan/ (AddressSanitizer + UBSan + LeakSanitizer)
#   make demo    build, make a demo database and run the example script unattended
#   make clean   remove build/

SHELL := /bin/bash
.SHELLFLAGS := -eu -o pipefail -c

BUILD_DIR  ?= build
SANITIZE_BUILD_DIR ?= build-asan
BUILD_TYPE ?= Debug
JOBS       ?= $(shell nproc)

DEMO_DIR    := $(BUILD_DIR)/demo
DEMO_RUN_ID ?= 1042
DEMO_STATION ?= 2

.PHONY: all deps build test demo clean

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

# The whole suite runs twice: on the plain build, then on a sanitizer
# build in its own folder, where any report fails the test that caused it
# (the options are set on each test by tests/CMakeLists.txt).
test: build
	$(call run_tests,$(BUILD_DIR))
	$(call configure_and_build,$(SANITIZE_BUILD_DIR),-DRUX_SANITIZE=ON)
	$(call run_tests,$(SANITIZE_BUILD_DIR))

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

clean:
	rm -rf $(BUILD_DIR) $(SANITIZE_BUILD_DIR)
