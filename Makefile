# The front door: `make run` plays the tuner, `make test` proves it.
BUILD      ?= build
CMAKE_ARGS ?=
JOBS       ?= $(shell nproc)

.PHONY: run test build deps clips clean

run: build
	$(BUILD)/vessandrel-tuner

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j$(JOBS)

build: deps
	cmake -S . -B $(BUILD) $(CMAKE_ARGS)
	cmake --build $(BUILD) -j$(JOBS)

deps:
	@scripts/install-deps

clips: deps
	cmake -S . -B $(BUILD) $(CMAKE_ARGS)
	cmake --build $(BUILD) -j$(JOBS) --target clipgen
	$(BUILD)/tools/clipgen/clipgen assets

clean:
	rm -rf $(BUILD)
