# The front door: `make run` plays the tuner, `make test` proves it.
BUILD      ?= build
CMAKE_ARGS ?=
JOBS       ?= $(shell nproc)

.PHONY: run test check build build-with-handheld deps clips clean bench mipsel deb demo bench-mipsel handheld
.PHONY: test-debian13 bench-here bench-web web-demo web web-run web-test-build build-everything

# Only what a player needs: the compiler, CMake and the SDL libraries installed (no sudo
# when they are there), and only the program built, in a folder of its own, so that it
# leaves the tests' build as it was.
RUN_BUILD ?= build-run
run:
	@scripts/install-deps run
	cmake -S . -B $(RUN_BUILD) -DTUNER_TESTS=OFF -DTUNER_TOOLS=OFF $(CMAKE_ARGS)
	cmake --build $(RUN_BUILD) -j$(JOBS) --target vessandrel-tuner
	$(RUN_BUILD)/vessandrel-tuner

# Every test: the desktop's, the handheld's executable run as a release 1 core without an
# FPU under qemu and booted in an emulated MIPS machine, and the browser build in headless
# Chromium and Firefox and in WebKitGTK, read by Orca in Firefox ESR, and its site served
# on 127.0.0.1. The same on Debian 12 and 13: what Debian 13 lacks (SDL 1.2.15's source,
# mipsel's packages) comes from Debian 12's archive on both (scripts/debian12-apt).
CTEST_ARGS ?=
test: build-everything
	ctest --test-dir $(BUILD) --output-on-failure -j$(JOBS) $(CTEST_ARGS)

# The quick loop for a change to the program: the desktop's build (make test's own folder,
# so a tree make test has built stays warm) and its unit and end-to-end tests, but not the
# memory check under valgrind, the handheld's, the browsers' or the screen reader's;
# installing only what those need.
check:
	@scripts/install-deps check
	cmake -S . -B $(BUILD) $(CMAKE_ARGS)
	cmake --build $(BUILD) -j$(JOBS)
	ctest --test-dir $(BUILD) --output-on-failure -j$(JOBS) -L 'unit|e2e' -LE memcheck $(CTEST_ARGS)

# The desktop's build told where the handheld's executable and the browser's page are,
# which adds their tests.
build-everything: build handheld web-test-build
	cmake -S . -B $(BUILD) -DTUNER_HANDHELD_EXE=$(abspath $(HANDHELD_BUILD))/vessandrel-tuner \
	      -DTUNER_WEB_PAGE=$(abspath $(WEB_BUILD))/vessandrel-tuner.html $(CMAKE_ARGS)
	cmake --build $(BUILD) -j$(JOBS)

# The whole suite again on Debian 13, where SDL 1.2 is sdl12-compat over SDL 2 and the
# cross compiler is GCC 14: the README's own set-up (install-deps, make test) in a Debian
# 13 root made with debootstrap and kept in .cache/debian13 (scripts/debian13), Debian's
# mipsel build and its unit tests under qemu (make mipsel), then make deb there and the
# package's checks: lintian, blhc, rebuilt byte for byte, autopkgtest, the installed
# program started once (scripts/deb-check).
DEBIAN13 ?= .cache/debian13
test-debian13:
	@scripts/install-deps debian13
	scripts/debian13 $(DEBIAN13) sh -c 'scripts/install-deps && make test CMAKE_ARGS="$$1" && \
	  make mipsel CMAKE_ARGS="$$1" && scripts/deb-check CMAKE_ARGS="$$1"' sh "$(CMAKE_ARGS)"

# The desktop's build told where the handheld's executable is, which adds its tests.
build-with-handheld: build handheld
	cmake -S . -B $(BUILD) -DTUNER_HANDHELD_EXE=$(abspath $(HANDHELD_BUILD))/vessandrel-tuner \
	      $(CMAKE_ARGS)
	cmake --build $(BUILD) -j$(JOBS)

build: deps
	cmake -S . -B $(BUILD) $(CMAKE_ARGS)
	cmake --build $(BUILD) -j$(JOBS)

deps:
	@scripts/install-deps

clips: deps
	cmake -S . -B $(BUILD) $(CMAKE_ARGS)
	cmake --build $(BUILD) -j$(JOBS) --target clipgen
	$(BUILD)/tools/clipgen/clipgen assets

# A scripted session of the real tuner in a private X server: pictures of the credits,
# the tuner view, a string playing and the volume overlay, and a WAV of the note.
demo: build
	mkdir -p docs/demo
	$(BUILD)/tests/tuner-session --demo docs/demo

# Figures, not tests: what a pass, start-up, decoding and the first note cost, the
# instruction counts under callgrind, and the peak memory of a scripted session.
BENCH      ?= build-bench
BENCH_ARGS ?= --benchmark_repetitions=3 --benchmark_enable_random_interleaving=true
bench: bench-here
	@$(MAKE) --no-print-directory bench-web || echo "No browser figures: make bench-web failed"
	@if [ -d $(DEBIAN13)/root ]; then \
	   echo "=== The same on Debian 13: sdl12-compat 1.2.68 over SDL 2 ==="; \
	   scripts/debian13 $(DEBIAN13) make bench-here BENCH_ARGS="$(BENCH_ARGS)"; \
	 else echo "No figures of sdl12-compat: make test-debian13 first"; fi

bench-here: deps
	cmake -S . -B $(BENCH) -DTUNER_BENCH=ON -DTUNER_TESTS=OFF -DTUNER_TOOLS=OFF \
	      -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_ARGS)
	cmake --build $(BENCH) -j$(JOBS)
	$(BENCH)/bench/tuner-bench $(BENCH_ARGS)
	scripts/bench-callgrind $(BENCH)
	scripts/bench-memory $(BENCH)
	@$(MAKE) --no-print-directory bench-mipsel || echo "No MIPS figures: make bench-mipsel failed"

# The same instruction counts from the MIPS builds under qemu: the handheld's own
# (make handheld first) and Debian's glibc one (make mipsel first), side by side.
bench-mipsel:
	@if [ -d .cache/handheld/sysroot ]; then scripts/bench-mipsel --handheld; \
	 else echo "No figures of the handheld's build: make handheld first"; fi
	@if [ -d "$(MIPSEL_SYSROOT)" ]; then scripts/bench-mipsel $(MIPSEL_SYSROOT); \
	 else echo "No figures of Debian's mipsel build: make mipsel first"; fi

# The handheld's own build: one static executable for any MIPS32 little-endian Linux
# (release 1 instructions, no FPU, musl linked in), made with a toolchain built from
# Debian's source packages (handheld/toolchain, cached in .cache/handheld, which
# `make clean` keeps) and checked instruction by instruction. Leaves the program, the
# device tarball and the application bundle in $(HANDHELD_BUILD). All of the port is in
# handheld/.
HANDHELD_BUILD ?= build-handheld
handheld:
	@scripts/install-deps handheld
	handheld/toolchain .cache/handheld
	cmake -S . -B $(HANDHELD_BUILD) --toolchain handheld/toolchain.cmake \
	      -DTUNER_HANDHELD_ROOT=$(abspath .cache/handheld/sysroot) -DCMAKE_BUILD_TYPE=Release \
	      -DTUNER_TESTS=ON -DTUNER_TOOLS=OFF $(CMAKE_ARGS)
	cmake --build $(HANDHELD_BUILD) -j$(JOBS)
	handheld/check-isa $(HANDHELD_BUILD)/vessandrel-tuner

# The glibc cross build, the way the unit tests run on the MIPS instruction set: built
# against a sysroot of Debian's mipsel packages (downloaded once into .cache/), the unit
# tests run under qemu. Debian's mipsel is release 2 with an FPU: not for the device.
MIPSEL_BUILD   ?= build-mipsel
MIPSEL_SYSROOT ?= .cache/mipsel-sysroot
mipsel:
	@scripts/install-deps cross
	handheld/mipsel-sysroot $(MIPSEL_SYSROOT)
	cmake -S . -B $(MIPSEL_BUILD) --toolchain handheld/cross-toolchain.cmake \
	      -DTUNER_TARGET=mipsel-linux-gnu -DTUNER_SYSROOT=$(abspath $(MIPSEL_SYSROOT)) -DTUNER_TESTS=ON \
	      -DTUNER_TOOLS=OFF $(CMAKE_ARGS)
	cmake --build $(MIPSEL_BUILD) -j$(JOBS)
	ctest --test-dir $(MIPSEL_BUILD) --output-on-failure -j$(JOBS)

# The desktop's Debian package, the Debian way: dpkg-buildpackage makes the source package
# (debian/) and the binary package from it, with Debian's hardening flags. It writes them
# beside the tree it builds, so it builds a copy of this one in $(DEB_BUILD), which gets
# the .dsc, the .tar.xz, the .debs, the .buildinfo, the .changes and the build's log
# (build.log). The copy leaves out what is no source: the builds, the caches (the Debian 13
# root among them) and the browser tests' installed packages. CMAKE_ARGS reach CMake
# through TUNER_CMAKE_ARGS (debian/rules).
DEB_BUILD   ?= build-deb
DEB_VERSION := $(shell sed -n '1s/^[^(]*(\([^)]*\)).*/\1/p' debian/changelog)
DEB_TREE     = $(DEB_BUILD)/vessandrel-tuner-$(DEB_VERSION)
deb: deps
	@scripts/install-deps deb
	rm -rf $(DEB_BUILD)
	mkdir -p $(DEB_TREE)
	tar -c --exclude-vcs --exclude='./build*' --exclude=./.cache --exclude=./tests/web/node_modules \
	    --exclude=./bench/lighthouse/node_modules --exclude='./docs/demo/*.tmp' . | tar -x -C $(DEB_TREE)
	cd $(DEB_TREE) && TUNER_CMAKE_ARGS="$(CMAKE_ARGS)" \
	  bash -o pipefail -c 'dpkg-buildpackage -us -uc -J$(JOBS) 2>&1 | tee ../build.log'

clean:
	rm -rf $(BUILD) $(RUN_BUILD) $(MIPSEL_BUILD) $(DEB_BUILD) $(HANDHELD_BUILD) $(WEB_BUILD)

# The tuner in a browser: the program's own sources built with Debian's emscripten over
# the browser's SDL 1.2 and the port in web/, packed into one self-contained page,
# $(WEB_BUILD)/vessandrel-tuner.html, that opens from disk or from any web server.
# Debian's emcc runs its JavaScript parts with the node on PATH, which finds Debian's acorn
# only through NODE_PATH when that node is not Debian's own.
WEB_BUILD ?= build-web
EMSDK_ENV := NODE_PATH=/usr/share/nodejs
web:
	@scripts/install-deps web
	web/fetch-libraries .cache/web
	$(EMSDK_ENV) emcmake cmake -S web -B $(WEB_BUILD) -DTUNER_WEB_LIBRARIES=$(abspath .cache/web) $(CMAKE_ARGS)
	$(EMSDK_ENV) cmake --build $(WEB_BUILD) -j$(JOBS)
	@echo "The tuner in one file: $(WEB_BUILD)/vessandrel-tuner.html"
	@echo "The tuner as a site to host, installable and working offline: $(WEB_BUILD)/site/"

# The browser build's pictures as its tests take them: a desktop window and a phone's
# screen, kept in docs/web.
web-demo: build-everything
	mkdir -p docs/web
	TUNER_WEB_PICTURES=$(abspath docs/web) ctest --test-dir $(BUILD) -R web.chromium --output-on-failure

# The browser build's figures in headless Chromium (bench/web.mjs): the page's, and the site's,
# and Lighthouse's mobile report on the site (bench/lighthouse, pinned by its lockfile). With
# BEFORE, another build's folder like $(WEB_BUILD) (an older commit's), its figures too, from
# the same run, beside these.
BEFORE ?=
bench-web: web-test-build
	@[ bench/lighthouse/node_modules/.package-lock.json -nt bench/lighthouse/package-lock.json ] || \
	  (cd bench/lighthouse && npm ci --no-audit --no-fund)
	node bench/web.mjs $(abspath $(WEB_BUILD))/vessandrel-tuner.html $(abspath $(WEB_BUILD))/site \
	  $(if $(BEFORE),$(abspath $(BEFORE))/vessandrel-tuner.html $(abspath $(BEFORE))/site)
	node bench/lighthouse/report.mjs $(abspath $(WEB_BUILD))/site "this build"
	$(if $(BEFORE),node bench/lighthouse/report.mjs $(abspath $(BEFORE))/site before)

# The site served on this machine only, for a browser here: 127.0.0.1 is a secure context,
# so its worker runs and the browser offers to install it.
WEB_PORT ?= 8320
web-run: web
	@echo "The tuner at http://127.0.0.1:$(WEB_PORT)/ (Ctrl+C ends)"
	python3 -m http.server $(WEB_PORT) --bind 127.0.0.1 --directory $(WEB_BUILD)/site

# What the browser tests need besides the page: a page with a broken note, the browsers,
# a sound server for Firefox and WebKit, an X server for WebKit, and the drivers, installed
# from the lockfile in tests/web.
web-test-build:
	@$(MAKE) --no-print-directory web CMAKE_ARGS="$(CMAKE_ARGS) -DTUNER_WEB_BROKEN_CLIP=ON"
	@scripts/install-deps web-test
	@[ tests/web/node_modules/.package-lock.json -nt tests/web/package-lock.json ] || \
	  (cd tests/web && npm ci --no-audit --no-fund)

# The handheld's own build in an emulated handheld: Debian's mipsel Malta kernel under
# qemu-system-mipsel, the tuner on its frame buffer with OSS sound (handheld/device-machine).
# device-test plays the scripted session through qemu's monitor (CTest label `device`,
# part of `make test` too); device-run opens the same machine in a window for a person.
.PHONY: device-test device-run
device-test: build-with-handheld
	ctest --test-dir $(BUILD) -L device --output-on-failure

device-run: handheld
	@scripts/install-deps window
	handheld/device-machine window $(HANDHELD_BUILD)/vessandrel-tuner
