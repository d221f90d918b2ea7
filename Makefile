# Quick start: `make run` (build and open the window) and `make test`.
# Both install the Debian packages they lack first.

PACKAGES := qt6-base-dev libgtest-dev libgmock-dev libbenchmark-dev cmake ninja-build g++ \
            clang libclang-rt-dev zlib1g-dev libtiff-dev libgif-dev \
            xvfb xdotool openbox xclip libx11-dev locales openssh-server openssh-client parallel rsync \
            help2man dpkg-dev file desktop-file-utils appstream lintian clang-format
BENCH_PACKAGES := libopencv-dev python3-opencv time
# Root installs directly, others through sudo. Without either, or when the
# install fails (sudo refuses a user who may not use it), the missing packages
# and the one command line that installs them (apt's lists are refreshed
# first: a fresh container image has none) are named instead.
SUDO := $(shell [ "$$(id -u)" -eq 0 ] || { command -v sudo >/dev/null && echo sudo; } || echo none)
BUILD := build/default

.PHONY: all deps build run test sanitize tsan bench fuzz package package-check tidy clean

# From 6.5 on every Qt program says on stderr, in four lines, that the
# character type is not UTF-8 when the locale is C or POSIX, as on a fresh
# Debian where none is set: uic during the build, the suites as they list
# their tests. Building and testing then run under C.UTF-8 (the suites pin
# the locales they test); make run keeps the user's.
ifneq ($(shell locale charmap 2>/dev/null),UTF-8)
build test sanitize tsan bench fuzz package: export LC_ALL := C.UTF-8
endif

all: build

# Only asks apt when something is missing, so repeated runs stay offline.
deps:
	@missing=$$(for p in $(PACKAGES) $(EXTRA_PACKAGES); do \
	    dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q 'install ok installed' || echo $$p; done); \
	[ -z "$$missing" ] && exit 0; \
	if [ "$(SUDO)" != none ]; then \
	    echo "Installing:" $$missing; \
	    $(SUDO) apt-get update -qq && \
	    $(SUDO) env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $$missing && exit 0; \
	fi; \
	echo "Missing Debian packages:" $$missing; \
	echo "Install them as root, then run make again:"; \
	echo "    apt-get update && apt-get install -y" $$missing; \
	exit 1

# After deps even under make -j: cmake may be one of the missing packages.
$(BUILD)/build.ninja: CMakeLists.txt CMakePresets.json | deps
	cmake --preset default

build: deps $(BUILD)/build.ninja
	cmake --build --preset default

# Opens the window; without a display it says how to start it on a virtual one.
run: build
	@if [ -x $(BUILD)/app/quadfind ]; then \
	    if [ -z "$$DISPLAY$$WAYLAND_DISPLAY" ]; then \
	        echo "No display found (DISPLAY and WAYLAND_DISPLAY are unset), so the window cannot open here."; \
	        echo "To run it on a virtual X display (Debian package xvfb):"; \
	        echo "    xvfb-run -a $(BUILD)/app/quadfind"; \
	        echo "To see it, take a picture of it: scripts/screenshot.sh"; \
	    else exec $(BUILD)/app/quadfind; fi; \
	else echo "The window was not built (QUADFIND_ENABLE_GUI=OFF); running the command line instead."; \
	    $(BUILD)/cli/quadfind-cli samples/quadrilateral.bmp; fi

test: build
	ctest --preset default

sanitize: deps
	cmake --preset sanitize
	cmake --build --preset sanitize
	ctest --preset sanitize

# The core's suites under ThreadSanitizer, for the pass that splits large
# pictures over two threads (GCC's ThreadSanitizer misses races here; clang's does not).
tsan: deps
	cmake --preset tsan
	cmake --build --preset tsan
	ctest --preset tsan

bench:
	$(MAKE) deps EXTRA_PACKAGES="$(BENCH_PACKAGES)"
	cmake --preset bench
	cmake --build --preset bench
	@for b in build/bench/bench/*_bench; do [ -x "$$b" ] && "$$b" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true; done
	/usr/bin/python3 bench/batch_bench.py build/bench/cli/quadfind-cli build/bench/batch

# Long fuzzing of the BMP reader and the edge-detection command on one core
# (`make test` runs the same target briefly); FUZZ_TARGET=qt fuzzes the
# loader's Qt side instead, from fuzz/corpus-qt. New inputs collect in
# build/fuzz/corpus(-qt), crashes in build/fuzz/artifacts; the committed seeds
# are only read. FUZZ_SECONDS=0 runs until stopped.
FUZZ_SECONDS ?= 600
FUZZ_TARGET ?= bmp
FUZZ_SEEDS := $(if $(filter qt,$(FUZZ_TARGET)),corpus-qt,corpus)
fuzz: deps
	cmake --preset fuzz
	cmake --build --preset fuzz
	mkdir -p build/fuzz/$(FUZZ_SEEDS) build/fuzz/artifacts
	cd build/fuzz && QT_QPA_PLATFORM=offscreen ./fuzz/quadfind_$(FUZZ_TARGET)_fuzz -jobs=1 -workers=1 -max_len=16384 \
	    -max_total_time=$(FUZZ_SECONDS) -artifact_prefix=artifacts/ $(FUZZ_SEEDS) ../../fuzz/$(FUZZ_SEEDS); \
	status=$$?; tail -n 3 fuzz-0.log; exit $$status

# build/package/quadfind_VERSION_amd64.deb, built with Debian's hardening
# flags, then lintian's verdict on it (the package is kept either way).
package: deps
	flags() { DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get $$1; }; \
	cmake --preset package -DCMAKE_CXX_FLAGS="$$(flags CPPFLAGS) $$(flags CXXFLAGS)" \
	    -DCMAKE_EXE_LINKER_FLAGS="$$(flags LDFLAGS)"
	cmake --build --preset package
	rm -f build/package/quadfind_*_amd64.deb
	cd build/package && cpack -G DEB
	@# lintian leaves a file in TMPDIR behind at every run.
	tmp=$$(mktemp -d) && TMPDIR=$$tmp lintian --fail-on error build/package/quadfind_*_amd64.deb; \
	status=$$?; rm -rf "$$tmp"; exit $$status

# Installs the package into a fresh minimal Debian root as a user would and
# checks it there (scripts/package_check.sh). DEBIAN picks the release; for
# one other than the host's the package is built in a root of that release.
# Downloads a root the first time (kept in build/package-check), takes minutes.
package-check: DEBIAN ?= bookworm
package-check:
	$(MAKE) deps EXTRA_PACKAGES="debootstrap man-db"
	if [ "$(DEBIAN)" = "$$(. /etc/os-release && echo "$$VERSION_CODENAME")" ]; then $(MAKE) package; fi
	scripts/package_check.sh $(DEBIAN)

# clang-tidy with .clang-tidy's checks over every source the default build
# compiles; any finding fails. Takes minutes, so make test does not run it.
tidy: build
	$(MAKE) deps EXTRA_PACKAGES=clang-tidy
	run-clang-tidy -p $(BUILD) -quiet -extra-arg=-Wno-unknown-warning-option '^$(CURDIR)/(detect|io|report|app|cli|tests|bench|fuzz)/'

clean:
	rm -rf build
