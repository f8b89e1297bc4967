# The front door: `make demo` and `make check` do everything on a fresh Debian/Ubuntu machine.

SHELL := /bin/bash
JOBS ?= $(shell nproc)
SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)
CMAKE_FLAGS ?=

# Everything the build, the tests and the demo need, from Debian's packages.
DEB_PACKAGES := build-essential cmake ninja-build pkg-config \
  qt6-base-dev libgl-dev libgtest-dev libgmock-dev libbenchmark-dev \
  nlohmann-json3-dev libxxhash-dev libcli11-dev libtomlplusplus-dev \
  clang-format xvfb xauth fonts-dejavu-core fonts-liberation

# sudo resets the environment, so the variable that keeps apt from asking questions goes through
# `env` on the far side of it.
APT := $(SUDO) env DEBIAN_FRONTEND=noninteractive apt-get

# A window needs a screen; without one, say in one line how to get a virtual one, before building.
screen_goal := $(firstword $(filter demo run,$(MAKECMDGOALS)))
ifneq ($(screen_goal),)
ifeq ($(DISPLAY)$(WAYLAND_DISPLAY)$(QT_QPA_PLATFORM),)
$(error No screen to show Tarnwick on: 'xvfb-run -a make $(screen_goal)' starts it on a virtual screen (make deps installs xvfb-run))
endif
endif

# Installs those of the given Debian packages that are missing; nothing at all when none is.
define install-missing
@missing=$$(for p in $(1); do \
    dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q '^install ok installed' || echo $$p; done); \
if [ -n "$$missing" ]; then \
  echo "Installing:" $$missing; \
  $(APT) update -qq && $(APT) install -y -qq --no-install-recommends $$missing; \
fi
endef

.PHONY: deps build check test asan demo run bench format clean deps-windows check-windows \
  deps-fuzz fuzz deps-package package package-check screenshot package-windows \
  windows-screenshot

deps:
	$(call install-missing,$(DEB_PACKAGES))

# The Windows build: MinGW-w64 (posix threads, for GoogleTest), Wine and a virtual screen (with
# Arial's metric twin) to run the tests and the window, GoogleTest's sources to build it for the
# target, zip for the package, and xdotool and ImageMagick for the window's picture.
WINDOWS_PACKAGES := g++-mingw-w64-x86-64-posix wine wine64 googletest cmake ninja-build \
  xvfb xauth zip unzip imagemagick xdotool fonts-liberation

deps-windows:
	$(call install-missing,$(WINDOWS_PACKAGES))

# The core rooms, the window and the command line built for Windows; the core's tests run under
# Wine in a throwaway prefix, then the two programs' own tests in another, on a virtual screen.
WINDOWS_CONFIGURE = cmake -S . -B build/windows -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DTARNWICK_CORE_ONLY=ON -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-w64-x86_64.cmake $(CMAKE_FLAGS)

check-windows: deps-windows
	$(WINDOWS_CONFIGURE)
	cmake --build build/windows -j $(JOBS)
	tests/windows/run-under-wine.sh build/windows
	tests/winapp/run-window-tests.sh build/windows

# What a Windows player downloads: build/package/tarnwick-windows-<version>.zip with the window
# program, the console program for the commands and a readme; a Release build, nothing to install.
# The programs as unzipped from it then pass the window and command-line tests under Wine.
package-windows: deps-windows
	cmake -S . -B build/windows-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DTARNWICK_CORE_ONLY=ON \
	  -DTARNWICK_TESTS=OFF -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-w64-x86_64.cmake $(CMAKE_FLAGS)
	cmake --build build/windows-release -j $(JOBS) --target tarnwick tarnwick-win
	packaging/windows-zip.sh build/windows-release build/package
	$(WINDOWS_CONFIGURE)
	cmake --build build/windows -j $(JOBS) --target console_tests winapp_tests
	rm -rf build/package/windows-unzipped
	unzip -q build/package/tarnwick-windows-*.zip -d build/package/windows-unzipped
	tests/winapp/run-window-tests.sh build/windows --programs build/package/windows-unzipped/tarnwick-windows-*

# docs/windows-screenshot.png from the window program under Wine (after make check-windows).
windows-screenshot: deps-windows
	packaging/windows-screenshot.sh build/windows

# libFuzzer and the sanitizer runtimes it links with.
FUZZ_PACKAGES := clang libfuzzer-14-dev libclang-rt-14-dev cmake ninja-build
FUZZ_SECONDS ?= 60

deps-fuzz:
	$(call install-missing,$(FUZZ_PACKAGES))

# The readers of outside bytes fuzzed for FUZZ_SECONDS each (core rooms only, no Qt); prints the
# executions and coverage each reached. The corpus grows in build/fuzz/corpus from run to run.
build/fuzz/build.ninja:
	cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_CXX_COMPILER=clang++-14 -DTARNWICK_FUZZ=ON -DTARNWICK_CORE_ONLY=ON \
	  -DTARNWICK_TESTS=OFF $(CMAKE_FLAGS)

fuzz: deps-fuzz build/fuzz/build.ninja
	cmake --build build/fuzz -j $(JOBS) --target tarnwick-fuzz-seeds package_fuzzer drs_fuzzer \
	  mod_log_fuzzer ledger_fuzzer wine_registry_fuzzer
	fuzz/run.sh build/fuzz $(FUZZ_SECONDS)

build/default/build.ninja:
	cmake --preset default $(CMAKE_FLAGS)

build: deps build/default/build.ninja
	cmake --build --preset default -j $(JOBS)

test: build
	ctest --preset default -j $(JOBS)

build/asan/build.ninja:
	cmake --preset asan $(CMAKE_FLAGS)

asan: deps build/asan/build.ninja
	cmake --build --preset asan -j $(JOBS)
	ctest --preset asan -j $(JOBS)

check: test asan

# The demo game prefix is written once; `make clean` (or removing build/demo-prefix) renews it.
# Its sample mods are built from their folders in mods/ with the packer mod makers use.
demo: build
	@[ -d build/demo-prefix ] || build/default/tools/tarnwick-sandbox build/demo-prefix
	@for mod in mods/*/; do \
	  build/default/tools/pack/tarnwick-pack build "$$mod" \
	    -o "build/demo-prefix/drive_c/Mods/$$(basename "$$mod").mpi" >/dev/null || exit 1; \
	done
	WINEPREFIX=$(CURDIR)/build/demo-prefix build/default/src/app/tarnwick

run: build
	build/default/src/app/tarnwick

bench: deps
	cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DTARNWICK_BENCH=ON
	cmake --build build/bench -j $(JOBS) --target tarnwick-bench
	build/bench/bench/tarnwick-bench

# The Debian package a player installs, and the checks a fresh machine would make of it.
# dpkg-dev and file compute the dependencies; libfile-mimeinfo-perl lets xdg-mime read the file
# type database; xdotool, x11-utils and imagemagick find and picture windows on Xvfb.
PACKAGE_PACKAGES := dpkg-dev file desktop-file-utils appstream lintian xdg-utils shared-mime-info \
  libfile-mimeinfo-perl xvfb xauth xdotool x11-utils imagemagick

deps-package: deps
	$(call install-missing,$(PACKAGE_PACKAGES))

# A Release build of the program alone, packed by CPack into build/package/tarnwick_*.deb.
package: deps-package
	cmake -S . -B build/package -G Ninja -DCMAKE_BUILD_TYPE=Release -DTARNWICK_TESTS=OFF $(CMAKE_FLAGS)
	cmake --build build/package -j $(JOBS)
	rm -f build/package/tarnwick_*.deb
	cd build/package && cpack -G DEB

# Validates, installs (through sudo when not root), runs and removes the package again.
package-check: package
	$(SUDO) env DEBIAN_FRONTEND=noninteractive packaging/check-package.sh build/package

# docs/screenshot.png, taken again from the real program on the demo game under Xvfb.
screenshot: package
	packaging/screenshot.sh build/package

format: deps
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build
