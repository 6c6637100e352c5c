# Quick start: `make run` builds and runs the product, `make test` builds and passes every test.
BUILD ?= build
JOBS  ?= $(shell nproc)

.PHONY: deps configure build run test clean

deps:
	@./scripts/install-deps

configure: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Debug -DOK_SANITIZE=ON -DOK_WERROR=ON >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	@./scripts/run-demo $(BUILD)

test: build
	@ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS) --timeout 600

clean:
	rm -rf $(BUILD)
