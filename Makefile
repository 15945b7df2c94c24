# The two commands a newcomer needs:
#   make       installs missing packages (as root), builds into build/, runs the demo
#   make test  the same set-up and build, then every test: the debug build's, the
#              sanitizer build's and the 32-bit build's
# Others: make install [PREFIX=/usr/local] [SYSCONFDIR=] [DESTDIR=], make static, make fuzz
# [FUZZ_SECONDS=60], make coverage, make release.
PREFIX ?= /usr/local
DESTDIR ?=
# kwed's system key map: $(PREFIX)/etc, or /etc for PREFIX=/usr, unless set.
SYSCONFDIR ?= etc
FUZZ_SECONDS ?= 60
export PREFIX DESTDIR FUZZ_SECONDS
# Builds and test runs use every core unless these say otherwise; the tests
# that must run alone say so themselves (RUN_SERIAL, resource locks).
CORES := $(shell nproc 2>/dev/null || echo 2)
export CMAKE_BUILD_PARALLEL_LEVEL ?= $(CORES)
export CTEST_PARALLEL_LEVEL ?= $(CORES)

.PHONY: all deps build demo test test-dev test-asan test-i386 test-kernel release install static fuzz coverage clean

all: build demo

deps:
	@scripts/install-deps

build: deps
	cmake --preset dev >/dev/null
	cmake --build --preset dev

demo: build
	scripts/demo

release: deps
	cmake --preset release -DCMAKE_INSTALL_PREFIX=$(PREFIX) -DCMAKE_INSTALL_SYSCONFDIR=$(SYSCONFDIR) >/dev/null
	cmake --build --preset release

test-dev: build
	ctest --preset dev

test-i386: deps
	cmake --preset i386 >/dev/null
	cmake --build --preset i386
	scripts/test-i386

test-asan: deps
	cmake --preset asan >/dev/null
	cmake --build --preset asan
	ctest --preset asan

# The kernel stage alone (make test runs it after the others): the suite's
# programs and 32-bit tests on real kernels in qemu. It needs the 32-bit build
# and the debug build's Tcl extension.
test-kernel: deps
	cmake --preset i386 >/dev/null
	cmake --build --preset i386
	cmake --preset dev >/dev/null
	cmake --build --preset dev --target sonarel
	scripts/test-kernel

# The kernel stage comes last, so the output ends with its "N passed, N
# failed" line.
test: test-dev test-i386 test-asan test-kernel

install: release
	scripts/install build-release

static: deps
	scripts/static-sizes

fuzz: deps
	cmake --preset asan >/dev/null
	cmake --build --preset asan
	scripts/fuzz build-asan

coverage: deps
	scripts/coverage

clean:
	rm -rf build build-asan build-release build-i386 build-static build-coverage build-kernel
