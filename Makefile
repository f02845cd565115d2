# Entry points for people and CI. Every target installs missing build packages first.
BUILD       ?= build
SAN_BUILD   ?= build-sanitize
FUZZ_BUILD  ?= build-fuzz
FUZZ_TARGETS = fuzz_reference_parse fuzz_reference_list fuzz_branch_keys fuzz_update_document fuzz_record_writer fuzz_api_document fuzz_udp_message
# Seconds each fuzz target runs: short in CI (fuzz-smoke), longer when asked for (make fuzz FUZZ_SECONDS=600).
FUZZ_SECONDS ?= 30
JOBS        ?= $(shell nproc)
CTEST_FLAGS ?= --output-on-failure -j $(JOBS)
# The Windows build: its tree, the static Qt kit it links (scripts/build-qt-windows.sh makes it) and,
# when set, a ready kit archive to unpack instead of building one.
WIN_BUILD   ?= build-windows
QT_WINDOWS  ?= $(or $(XDG_CACHE_HOME),$(HOME)/.cache)/refscope/qt5-mingw64-static
QT_WINDOWS_ARCHIVE ?=

.PHONY: all deps build run test test-sanitize bench package package-check fuzz-deps fuzz-build fuzz fuzz-smoke clean
.PHONY: windows-deps qt-windows build-windows test-windows package-windows

all: build

deps:
	@scripts/install-deps.sh

.PHONY: configure
configure: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: configure
	cmake --build $(BUILD) -j $(JOBS)

# Builds the program alone, so the first window does not wait for the tests and benchmarks.
run: configure
	cmake --build $(BUILD) --target refscope -j $(JOBS)
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

# libFuzzer targets, built with clang in their own directory. Each run starts from the committed seed
# inputs; what it learns goes to $(FUZZ_BUILD)/corpus, what breaks the program to $(FUZZ_BUILD)/findings.
fuzz-deps:
	@scripts/install-deps.sh clang libclang-rt-14-dev

fuzz-build: fuzz-deps
	cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
	    -DREFSCOPE_BUILD_FUZZ=ON -DREFSCOPE_BUILD_TESTS=OFF -DREFSCOPE_BUILD_BENCH=OFF
	cmake --build $(FUZZ_BUILD) -j $(JOBS)

fuzz: fuzz-build
	@for t in $(FUZZ_TARGETS); do \
	    mkdir -p $(FUZZ_BUILD)/corpus/$$t $(FUZZ_BUILD)/findings && \
	    echo "== $$t, $(FUZZ_SECONDS) s" && \
	    ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0 \
	    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	    $(FUZZ_BUILD)/fuzz/$$t -max_total_time=$(FUZZ_SECONDS) -timeout=30 -rss_limit_mb=2048 -print_final_stats=1 \
	        -artifact_prefix=$(FUZZ_BUILD)/findings/$$t- $(FUZZ_BUILD)/corpus/$$t fuzz/corpus/$$t \
	        || exit 1; \
	done

# What CI runs: every target briefly on its seed inputs.
fuzz-smoke: FUZZ_SECONDS = 30
fuzz-smoke: fuzz

# Every benchmark beside its reference command (sort, grep) on the same files, in one run, then
# refscope-cli beside sort, grep and comm, and its sim commands against the stand-in simulator beside
# curl. With BENCH_EARLIER=<build dir of an earlier revision>,
# that build is measured in the same run as well.
bench: build
	@scripts/install-deps.sh curl
	bench/run.sh $(BUILD) $(BENCH_EARLIER)
	bench/cli.sh $(BUILD)
	bench/sim.sh $(BUILD)

# The Debian package, $(BUILD)/refscope_<version>_<arch>.deb; dpkg-shlibdeps works out its Depends.
package: build
	@scripts/install-deps.sh dpkg-dev
	rm -f $(BUILD)/refscope_*.deb
	cd $(BUILD) && cpack -G DEB

# Builds the package and checks it: lintian (no error, no warning), its control data and files, the
# desktop entry, the AppStream listing, the manual pages, and that the program starts.
package-check: package
	@scripts/install-deps.sh desktop-file-utils lintian appstream
	scripts/check-package.sh $(BUILD)/refscope_*.deb

# The Windows program, cross-built with MinGW-w64 against the static Qt kit; its tests run under Wine.
windows-deps:
	@scripts/install-deps.sh g++-mingw-w64-x86-64-posix wine wine64

qt-windows: windows-deps
	scripts/build-qt-windows.sh $(QT_WINDOWS) $(QT_WINDOWS_ARCHIVE)

build-windows: qt-windows
	cmake -S . -B $(WIN_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
	    -DCMAKE_PREFIX_PATH=$(QT_WINDOWS) -DCMAKE_BUILD_TYPE=Release
	cmake --build $(WIN_BUILD) -j $(JOBS)

test-windows: build-windows
	cd $(WIN_BUILD) && ctest $(CTEST_FLAGS)

# $(WIN_BUILD)/refscope-<version>-win64.zip: the two programs, the example lists, a short readme and
# the release notes.
package-windows: build-windows
	rm -f $(WIN_BUILD)/refscope-*-win64.zip
	cd $(WIN_BUILD) && cpack -G ZIP

clean:
	rm -rf $(BUILD) $(SAN_BUILD) $(FUZZ_BUILD) $(WIN_BUILD)
