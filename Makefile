# A thin front door: everything real happens in CMake (see CMakePresets.json).
PRESET ?= dev

.PHONY: all deps build test demo asan tsan fuzz format clean

all: build

deps:
	scripts/install-deps

build: deps
	cmake --preset $(PRESET)
	cmake --build --preset $(PRESET)

test: build
	ctest --preset $(PRESET)

demo: build
	scripts/demo build/$(PRESET)

asan:
	$(MAKE) test PRESET=asan

tsan:
	$(MAKE) test PRESET=tsan

fuzz: deps
	cmake --preset fuzz
	cmake --build --preset fuzz

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build
