# Entry points for people and CI. See README.md.
JOBS ?= 2
BUILD_TYPE ?= RelWithDebInfo
CMAKE_FLAGS ?=

.PHONY: all deps build test tsan demo run bench fuzz install package clean

all: build

deps:
	bash scripts/install-deps.sh

build: deps
	cmake -S . -B build -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(CMAKE_FLAGS)
	cmake --build build -j$(JOBS)

# A separate sanitizer build: the tests always run under ASan + UBSan.
test: deps
	cmake -S . -B build-test -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZR_SANITIZE=ON $(CMAKE_FLAGS)
	cmake --build build-test -j$(JOBS)
	cd build-test && ctest --output-on-failure -j$(JOBS)

# The threaded tests under ThreadSanitizer, in a build of their own (no GUI).
tsan: deps
	cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZR_TSAN=ON -DZR_GUI=OFF $(CMAKE_FLAGS)
	cmake --build build-tsan -j$(JOBS) --target test_mpeg test_output test_cli zerarive-cli
	bash tests/tsan.sh build-tsan

demo: build
	bash scripts/demo.sh

run: build
	./build/bin/zerarive

bench: build
	bash bench/run.sh

FUZZ_SECONDS ?= 60
fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZR_FUZZ=ON
	cmake --build build-fuzz -j$(JOBS)
	bash fuzz/run.sh build-fuzz/bin $(FUZZ_SECONDS)

install: build
	cmake --install build

# zerarive_VERSION_amd64.deb in build/.
package: build
	cd build && cpack -G DEB

clean:
	rm -rf build build-test build-tsan build-fuzz out
