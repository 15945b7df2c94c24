# The two commands a newcomer needs:
#   make       installs missing packages (as root), builds into build/, runs the demo
#   make test  the same set-up and build, then every test: the debug build's and
#              the sanitizer build's
.PHONY: all deps build demo test test-dev test-asan release clean

all: build demo

deps:
	@scripts/install-deps

build: deps
	cmake --preset dev >/dev/null
	cmake --build --preset dev

demo: build
	scripts/demo

release: deps
	cmake --preset release >/dev/null
	cmake --build --preset release

test-dev: build
	ctest --preset dev

test-asan: deps
	cmake --preset asan >/dev/null
	cmake --build --preset asan
	ctest --preset asan

test: test-dev test-asan

clean:
	rm -rf build build-asan build-release
