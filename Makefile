# The two README commands: `make run` (set up, build, start TIK) and `make test` (set up, build, run every
# test); `make package` builds the Debian package.
JOBS ?= $(shell nproc)
BUILD := build
ASAN_BUILD := build-asan

.PHONY: run test setup build build-asan bench package clean

setup:
	@scripts/setup.sh

build: setup
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

build-asan: setup
	@cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++ \
		-DTIK_SANITIZE=ON -DTIK_FUZZ=ON -DTIK_GUI=OFF >/dev/null
	@cmake --build $(ASAN_BUILD) -j $(JOBS)

run: build
	@scripts/run.sh $(BUILD)

test: build build-asan
	@cd $(BUILD) && ctest --output-on-failure
	@cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure

bench: build
	@$(BUILD)/tik_bench

# The Debian package of an installed TIK: $(BUILD)/tik_VERSION_ARCH.deb.
package: build
	@cd $(BUILD) && cpack -G DEB

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)
