# Quick start: `make run` builds and runs the product, `make test` builds and passes every test.
BUILD ?= build
JOBS  ?= $(shell nproc)
# `make run` has its own optimised build without sanitizers or tests, and builds only what it
# starts: the window with a display, the command line without one.
RUN_BUILD ?= build-run
RUN_TARGETS := $(if $(DISPLAY)$(WAYLAND_DISPLAY),ostrelkalvexa,ostrelkalvexa-cli) ok_profiles

.PHONY: deps configure build run test clean

deps:
	@./scripts/install-deps

configure: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Debug -DOK_SANITIZE=ON -DOK_WERROR=ON >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

run: deps
	@cmake -S . -B $(RUN_BUILD) -DCMAKE_BUILD_TYPE=Release -DOK_SANITIZE=OFF -DOK_TESTS=OFF >/dev/null
	@cmake --build $(RUN_BUILD) -j $(JOBS) --target $(RUN_TARGETS)
	@./scripts/run-demo $(RUN_BUILD)

test: build
	@ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS) --timeout 600

clean:
	rm -rf $(BUILD) $(RUN_BUILD)
