# Velmora micro-client: `make run` and `make test` do everything, set-up included.
#   build/Velmora.exe   the 32-bit product
#   build/x64/          the same sources built for 64-bit Windows: the tests, and what `make run` shows
#                       (this machine's Wine cannot execute 32-bit code; see tools/deps.sh)
BUILD ?= build
X64   ?= $(BUILD)/x64
JOBS  ?= $(shell nproc)
CMAKE_ARGS = -DCMAKE_TOOLCHAIN_FILE=cmake/mingw.cmake -DCMAKE_BUILD_TYPE=Release

.PHONY: all deps build test run bench clean

all: build

deps:
	@bash tools/deps.sh

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) $(CMAKE_ARGS) -DVELMORA_ARCH=i686 -DVELMORA_TESTS=OFF >/dev/null

$(X64)/CMakeCache.txt:
	cmake -S . -B $(X64) $(CMAKE_ARGS) -DVELMORA_ARCH=x86_64 -DVELMORA_TESTS=ON >/dev/null

build: deps
	@$(MAKE) --no-print-directory $(BUILD)/CMakeCache.txt $(X64)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)
	cmake --build $(X64) -j $(JOBS)

test: build
	bash tools/session.sh ctest --test-dir $(X64) --output-on-failure --timeout 600

# Times one frame of the launcher's picture against a bare fill-and-push floor (not a test).
bench: build
	bash tools/session.sh bash -c 'cd $(X64)/bench && ../../../tools/wine.sh ./update_view_bench.exe'

run: build
	bash tools/run.sh

clean:
	rm -rf $(BUILD)
