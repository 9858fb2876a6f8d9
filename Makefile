# TarnKit: make test runs every test on x86 and x64; make demo runs the tour.
.PHONY: all setup test demo demo-dialog receiver screenshots bench format clean

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

# The typical request with the library's message box, under Xvfb; the box's
# screenshot lands in build/$(ARCH)/bin/tour-dialog.bmp.
demo-dialog: setup
	@cmake --preset $(ARCH) >build/$(ARCH)-configure.log 2>&1 || (cat build/$(ARCH)-configure.log; exit 1)
	@cmake --build --preset $(ARCH) --target tour >build/$(ARCH)-demo-build.log 2>&1 || (cat build/$(ARCH)-demo-build.log; exit 1)
	@TARNKIT_UNMANAGED=tour.exe ./scripts/run-wine.sh $(ARCH) build/$(ARCH)/bin/tour.exe --dialog --auto

# The receiver console against the fake receiver: the window on a display; without one
# the scripted session under Xvfb, its screenshots into docs/screenshots/receiver_*.png.
receiver: setup
	@cmake --preset $(ARCH) >build/$(ARCH)-configure.log 2>&1 || (cat build/$(ARCH)-configure.log; exit 1)
	@cmake --build --preset $(ARCH) --target receiver fake_receiver receiver_test >build/$(ARCH)-receiver-build.log 2>&1 || (cat build/$(ARCH)-receiver-build.log; exit 1)
	@./scripts/run-receiver.sh $(ARCH)

# Runs the dialog test under Xvfb and refreshes docs/dialogs.md and its pictures.
screenshots: setup
	@cmake --preset $(ARCH) >build/$(ARCH)-configure.log 2>&1 || (cat build/$(ARCH)-configure.log; exit 1)
	@cmake --build --preset $(ARCH) --target dialogs_test >build/$(ARCH)-screenshots-build.log 2>&1 || (cat build/$(ARCH)-screenshots-build.log; exit 1)
	@cd build/$(ARCH) && xvfb-run -a -s '-screen 0 1280x1024x24' ctest -R 'dialogs_test|wine' >../$(ARCH)-screenshots.log 2>&1 || (tail -n 40 ../$(ARCH)-screenshots.log; exit 1)
	@python3 tools/screenshots.py build/$(ARCH)/test-output/dialogs_test docs
	@echo "docs/dialogs.md and docs/screenshots/ refreshed"

bench: setup
	@cmake --preset $(ARCH) >build/$(ARCH)-configure.log 2>&1 || (cat build/$(ARCH)-configure.log; exit 1)
	@cmake --build --preset $(ARCH) --target tarnkit_bench >build/$(ARCH)-bench-build.log 2>&1 || (cat build/$(ARCH)-bench-build.log; exit 1)
	@./scripts/run-wine.sh $(ARCH) build/$(ARCH)/bin/tarnkit_bench.exe

format:
	@git ls-files '*.h' '*.cpp' | xargs clang-format -i

clean:
	rm -rf build
