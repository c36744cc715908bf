# The two commands of the README: `make run` and `make test`. Both install what is missing first.
BUILD_DIR ?= build
GENERATOR := $(shell command -v ninja >/dev/null 2>&1 && echo Ninja || echo "Unix Makefiles")
JOBS ?= $(shell nproc)

.PHONY: deps configure build run demo install test bench check-formats sanitize clean

deps:
	@bash scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD_DIR) -G "$(GENERATOR)" $(CMAKE_ARGS) >/dev/null

build: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	@$(BUILD_DIR)/src/app/quovo

# Converts a generated clip with the engine alone, without windows.
demo: build
	@bash scripts/demo.sh $(BUILD_DIR)

# Installs into CMAKE_INSTALL_PREFIX (default /usr/local), or PREFIX=…; DESTDIR=… stages it.
install: build
	@DESTDIR=$(DESTDIR) cmake --install $(BUILD_DIR) $(if $(PREFIX),--prefix $(PREFIX))

test: build
	@cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS) --timeout 1500

bench: build
	@bash scripts/bench.sh $(BUILD_DIR)

# Every choice of every catalogue format converted and checked, in JOBS processes at once; long
# (the fast subset runs in `make test`). FORMATS=1400,2301 sweeps only those.
check-formats: build
	@nice $(BUILD_DIR)/tools/quovo-format-sweep --jobs $(JOBS) $(if $(FORMATS),--formats $(FORMATS))

# Address/undefined build in its own folder; `make sanitize SAN=thread` for the thread sanitizer.
SAN ?= address,undefined
sanitize:
	@$(MAKE) test BUILD_DIR=build-$(subst $(comma),-,$(SAN)) CMAKE_ARGS="-DQUOVO_SANITIZE=$(SAN) -DCMAKE_BUILD_TYPE=Debug"

comma := ,

clean:
	rm -rf build build-*
