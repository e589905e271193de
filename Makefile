# Short names for the README's commands; CMake does the real work.
BUILD := build

.PHONY: all deps build run test bench clean

all: build

deps:
	@scripts/install-deps

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD) -j 2

# The toy reads its pictures from the working directory.
run: build
	cd pictures && ../$(BUILD)/dressup

test: build
	cd $(BUILD) && ctest --output-on-failure -j 2

bench:
	scripts/bench

clean:
	rm -rf $(BUILD)
