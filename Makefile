# Quick start: `make demo` and `make test`. Both install missing Debian
# packages (deps/debian-packages.txt), configure and build first.
BUILD     ?= build
JOBS      ?= $(shell nproc)
WERROR    ?= OFF
CMAKE_ARGS ?=

.PHONY: all deps configure build test hwtest hwtest-station demo bench screenshots package tsan \
        asan fuzz mutate format clean

all: build

deps:
	@scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD) -DCORVANE_WERROR=$(WERROR) $(CMAKE_ARGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

test: build
	@ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

# The command line against the kernel's own serial drivers (ftdi_sio, 8250, cdc_acm)
# and udev in a QEMU virtual machine; see tests/hw/run.sh.
hwtest: configure
	@cmake --build $(BUILD) -j $(JOBS) --target corvane-cli corvane-sim
	@tests/hw/run.sh $(BUILD)

# The station as the packaged systemd service, in the same virtual machine
# booted with systemd as its first process; see tests/hw/station-guest.sh.
hwtest-station: configure
	@cmake --build $(BUILD) -j $(JOBS) --target corvane-cli corvane-sim
	@tests/hw/run.sh $(BUILD) station

demo: build
	@scripts/demo.sh $(BUILD)

bench: build
	@scripts/bench.sh $(BUILD)

# The Debian packages (corvane-cli, corvane, their -dbgsym) into $(BUILD)/packages,
# built by dpkg-buildpackage from a scratch copy of the sources.
package: deps
	@scripts/build-package.sh $(BUILD)/packages

# The port setup's and the bench window's pictures in docs/.
screenshots: build
	@scripts/screenshots.sh $(BUILD) docs

# The serial link, the protocol and the bench again under the sanitizers (no window);
# only their test programs are built.
SANITIZED_TESTS = serial_tests protocol_unit_tests protocol_line_tests history_tests bench_tests

tsan: deps
	@cmake -S . -B build-tsan -DCORVANE_SANITIZE_THREAD=ON -DCORVANE_BUILD_GUI=OFF \
	    -DCORVANE_BUILD_BENCH=OFF -DCORVANE_WERROR=$(WERROR) >/dev/null
	@cmake --build build-tsan -j $(JOBS) --target $(SANITIZED_TESTS)
	@TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
	    ctest --test-dir build-tsan --output-on-failure -j $(JOBS) -L 'serial|protocol|history|bench'

asan: deps
	@cmake -S . -B build-asan -DCORVANE_SANITIZE_ADDRESS=ON -DCORVANE_BUILD_GUI=OFF \
	    -DCORVANE_BUILD_BENCH=OFF -DCORVANE_WERROR=$(WERROR) >/dev/null
	@cmake --build build-asan -j $(JOBS) --target $(SANITIZED_TESTS)
	@ASAN_OPTIONS="detect_leaks=1" UBSAN_OPTIONS="print_stacktrace=1" \
	    ctest --test-dir build-asan --output-on-failure -j $(JOBS) -L 'serial|protocol|history|bench'

# The parsers of outside input under libFuzzer (clang, ASan+UBSan), each for
# FUZZ_SECONDS; see scripts/fuzz.sh.
FUZZ_SECONDS ?= 60
fuzz: deps
	@FUZZ_SECONDS=$(FUZZ_SECONDS) scripts/fuzz.sh build-fuzz

# Plants one mistake at a time in the lines of src/ changed since BASE and
# runs the tests that could notice it; see tools/mutate.py.
mutate: deps
	@python3 tools/mutate.py $(if $(BASE),--base $(BASE)) $(MUTATE_ARGS)

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	@rm -rf $(BUILD) build-tsan build-asan build-fuzz build-mutate
