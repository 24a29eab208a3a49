# The two commands: `make demo` shows the store at work, `make test` passes the tests.
# Both install what is missing, then build the two presets.

.PHONY: all deps build build32 build64 test demo bench dist clean

all: build

deps:
	@sh scripts/install-deps.sh

build32: deps
	cmake --preset win32 >/dev/null
	cmake --build --preset win32

build64: deps
	cmake --preset win64 >/dev/null
	cmake --build --preset win64

build: build32 build64

# The 32-bit deliverable first, then the 64-bit twin; the package test unpacks what
# make dist assembled.
test: dist
	@sh scripts/test.sh

# Builds only what it runs (the DLL and the C++ client), logging the build.
demo: deps
	@sh scripts/demo.sh

bench: build
	@sh scripts/bench.sh

# The release package: build/dist/Tarnwick-<version>/ and its zip, from both presets.
dist: build
	sh scripts/dist.sh

clean:
	rm -rf build
