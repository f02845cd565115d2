# Entry points for people and CI. Every target installs missing build packages first.
BUILD       ?= build
SAN_BUILD   ?= build-sanitize
JOBS        ?= $(shell nproc)
CTEST_FLAGS ?= --output-on-failure -j $(JOBS)

.PHONY: all deps build run test test-sanitize bench package package-check clean

all: build

deps:
	@scripts/install-deps.sh

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)

run: build
	$(BUILD)/refscope

test: build
	cd $(BUILD) && ctest $(CTEST_FLAGS)

# The whole suite again, under AddressSanitizer and UndefinedBehaviorSanitizer.
test-sanitize: deps
	cmake -S . -B $(SAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DREFSCOPE_SANITIZE=ON -DREFSCOPE_BUILD_BENCH=OFF
	cmake --build $(SAN_BUILD) -j $(JOBS)
	cd $(SAN_BUILD) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
	    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	    LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0 \
	    ctest $(CTEST_FLAGS)

# Data benchmarks beside `LC_ALL=C sort` on the same files, then the tab and start-up benchmarks.
bench: build
	bench/run.sh $(BUILD)
	$(BUILD)/bench/refscope_bench_tab

# The Debian package, $(BUILD)/refscope_<version>_<arch>.deb; dpkg-shlibdeps works out its Depends.
package: build
	@scripts/install-deps.sh dpkg-dev
	rm -f $(BUILD)/refscope_*.deb
	cd $(BUILD) && cpack -G DEB

# Builds the package and checks its control data, files, desktop entry and that the program starts.
package-check: package
	@scripts/install-deps.sh desktop-file-utils
	scripts/check-package.sh $(BUILD)/refscope_*.deb

clean:
	rm -rf $(BUILD) $(SAN_BUILD)
