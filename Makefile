# The two commands of the README: `make run` and `make test`. Both install what is missing first.
BUILD_DIR ?= build
GENERATOR := $(shell command -v ninja >/dev/null 2>&1 && echo Ninja || echo "Unix Makefiles")
JOBS ?= $(shell nproc)

.PHONY: deps configure build run test bench sanitize clean

deps:
	@bash scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD_DIR) -G "$(GENERATOR)" $(CMAKE_ARGS) >/dev/null

build: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	@bash scripts/demo.sh $(BUILD_DIR)

test: build
	@cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS) --timeout 1500

bench: build
	@bash scripts/bench.sh $(BUILD_DIR)

# Address/undefined build in its own folder; `make sanitize SAN=thread` for the thread sanitizer.
SAN ?= address,undefined
sanitize:
	@$(MAKE) test BUILD_DIR=build-$(subst $(comma),-,$(SAN)) CMAKE_ARGS="-DQUOVO_SANITIZE=$(SAN) -DCMAKE_BUILD_TYPE=Debug"

comma := ,

clean:
	rm -rf build build-*
