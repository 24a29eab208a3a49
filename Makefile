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

test: build
	ctest --preset win64

demo: build64
	sh scripts/demo.sh

bench: build64
	cmake --build --preset win64 --target tarnwick_bench
	build/win64/wine-run.sh build/win64/bench/tarnwick_bench.exe

# The release package: build/dist/Tarnwick-<version>/ and its zip, from both presets.
dist: build
	sh scripts/dist.sh

clean:
	rm -rf build
