# TarnKit: make test runs every test on x86 and x64; make demo runs the tour.
.PHONY: all setup test demo bench format clean

ARCH ?= x64

all: test

setup:
	@./scripts/setup.sh

test: setup
	@./scripts/test-all.sh

demo: setup
	@cmake --preset $(ARCH) >build/$(ARCH)-configure.log 2>&1 || (cat build/$(ARCH)-configure.log; exit 1)
	@cmake --build --preset $(ARCH) --target tour >build/$(ARCH)-demo-build.log 2>&1 || (cat build/$(ARCH)-demo-build.log; exit 1)
	@./scripts/run-wine.sh $(ARCH) build/$(ARCH)/bin/tour.exe

bench: setup
	@cmake --preset $(ARCH) >build/$(ARCH)-configure.log 2>&1 || (cat build/$(ARCH)-configure.log; exit 1)
	@cmake --build --preset $(ARCH) --target tarnkit_bench >build/$(ARCH)-bench-build.log 2>&1 || (cat build/$(ARCH)-bench-build.log; exit 1)
	@./scripts/run-wine.sh $(ARCH) build/$(ARCH)/bin/tarnkit_bench.exe

format:
	@git ls-files '*.h' '*.cpp' | xargs clang-format -i

clean:
	rm -rf build
