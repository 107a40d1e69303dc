# Two commands for a fresh Debian 12 machine: `make run` and `make test`.
# Both install what is missing (through sudo when not root), then build into
# build/.  `make test` also builds the tests with AddressSanitizer and
# UndefinedBehaviorSanitizer into build-asan/ and runs them there too.

SHELL := /bin/bash
BUILD_DIR ?= build
ASAN_DIR ?= build-asan
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
SUDO := $(shell [ "$$(id -u)" -eq 0 ] || echo sudo)
PACKAGES := $(shell grep -v -E '^\s*(\#|$$)' tools/debian-packages.txt)

.PHONY: all deps build run test check asan bench screenshots install clean

all: build

deps:
	@missing=$$(for p in $(PACKAGES); do \
	  dpkg-query -W -f='$${Status}\n' "$$p" 2>/dev/null | grep -q 'install ok installed' || echo "$$p"; \
	done); \
	if [ -n "$$missing" ]; then \
	  echo "Installing: $$missing"; \
	  $(SUDO) env DEBIAN_FRONTEND=noninteractive apt-get update -q && \
	  $(SUDO) env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends $$missing; \
	fi

build: deps
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTREL_BUILD_UI=ON
	cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	./$(BUILD_DIR)/app/vantrel

asan: deps
	cmake -S . -B $(ASAN_DIR) -DCMAKE_BUILD_TYPE=Debug -DVANTREL_SANITIZE=ON -DVANTREL_BUILD_UI=ON
	cmake --build $(ASAN_DIR) -j $(JOBS)

# The tests' runs record into a history of their own, never the user's.
TEST_ENV := XDG_STATE_HOME=$(CURDIR)/$(BUILD_DIR)/test-state

test: build asan
	$(TEST_ENV) QT_QPA_PLATFORM=offscreen ctest --test-dir $(BUILD_DIR) --output-on-failure -j $(JOBS)
	$(TEST_ENV) QT_QPA_PLATFORM=offscreen \
	  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/tools/lsan.supp:print_suppressions=0 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --test-dir $(ASAN_DIR) --output-on-failure -j $(JOBS)

check: test

bench: build
	bash bench/compare.sh

screenshots: build
	bash tools/screenshots.sh

install: build
	$(SUDO) cmake --install $(BUILD_DIR)

clean:
	rm -rf $(BUILD_DIR) $(ASAN_DIR)
