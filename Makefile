# Two commands do everything on a fresh machine:
#   make run    installs what is missing, builds, runs a bundled Java program
#   make test   installs what is missing, builds, runs every test
BUILD ?= build
JOBS  ?= $(shell nproc)
PROGRAM ?= Hello

.PHONY: all setup build run test bench clean

all: build

setup:
	@sh tests/tools/setup.sh

build: setup
	@test -f $(BUILD)/build.ninja || cmake -S . -B $(BUILD) -G Ninja
	@ninja -C $(BUILD) -j $(JOBS)

run: build
	$(BUILD)/bin/jvm -cp $(BUILD)/examples $(PROGRAM)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 300

bench: build
	sh bench/run.sh $(BUILD)

clean:
	rm -rf $(BUILD)
