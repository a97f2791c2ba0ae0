# Quick start: `make run` sets up, builds the demo alone and runs it; `make test` sets up, builds and
# runs every test, plainly and under AddressSanitizer and UndefinedBehaviorSanitizer.

JOBS ?= $(shell nproc)
# Mesa's drivers are kept loaded under the sanitizers: unloaded at exit, their live allocations
# would be reported as leaks with no names to them.
LIBDIR = /usr/lib/$(shell gcc -print-multiarch)
MESA_PRELOAD = $(wildcard $(LIBDIR)/dri/swrast_dri.so $(LIBDIR)/libEGL_mesa.so.0 $(LIBDIR)/libGLX_mesa.so.0)
SANITIZER_ENV = LD_PRELOAD="$(MESA_PRELOAD)" \
	ASAN_OPTIONS=detect_leaks=1:verify_asan_link_order=0 \
	LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0 \
	UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

.PHONY: run test test-plain test-sanitize bench fuzz setup setup-test build build-demo build-test build-sanitize clean

run: build-demo
	./build/kelvo

test: test-plain test-sanitize

setup:
	bash tools/setup.sh

setup-test:
	bash tools/setup.sh --test

build: setup
	cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build build -j $(JOBS)

# The demo alone, with what its build needs (the icon maker): no test program, tool or benchmark.
build-demo: setup
	cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build build -j $(JOBS) --target kelvo

# The same build with the test tools installed first.
build-test: setup-test
	$(MAKE) build

build-sanitize: setup-test
	cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DKELVO_SANITIZE=ON
	cmake --build build-sanitize -j $(JOBS)

test-plain: build-test web-for-tests
	cd build && ctest --output-on-failure

test-sanitize: build-sanitize
	cd build-sanitize && $(SANITIZER_ENV) ctest --output-on-failure

# Every benchmark in build/bench, one after the other, from the repository root.
bench: build
	@for b in build/bench/bench_*; do [ -x "$$b" ] && echo "== $$b" && "$$b"; done; true

# The web build's figures in one run (make web first): its frame time in headless Chromium with
# and without the glow beside a bare WebGL replay of the same frame, the native bench_frame, the
# wasm and JS sizes raw and gzipped, and the time from the click to the first frame.
.PHONY: bench-web
bench-web: build web-test-deps
	@[ -f build-web/index.html ] || { echo "make bench-web: no build-web/index.html; make web first" >&2; exit 1; }
	node bench/web_bench.mjs --site build-web --bench-frame build/bench/bench_frame

# The fuzz targets, one after the other, each for FUZZ_SECONDS: the PNG loader's, seeded with
# every PNG the loader's tests load, then the sound layer's, seeded with small files joined end to
# end and with tests/data's MP3s, on inputs of at most 8 KiB (a few parts of a fifth of a second),
# then the joined-file splitter's on the same seeds, whole; findings land in build-fuzz/ as crash-*,
# leak-* or timeout-* files.
FUZZ_SECONDS ?= 300
fuzz: build
	bash tools/setup.sh --fuzz
	CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKELVO_FUZZ=ON -DKELVO_TESTS=OFF
	cmake --build build-fuzz -j $(JOBS) --target fuzz_png fuzz_mp3 fuzz_mp3_parts
	rm -rf build-fuzz/seeds && mkdir -p build-fuzz/seeds build-fuzz/corpus
	cd build && KELVO_SEED_DIR=$(CURDIR)/build-fuzz/seeds SDL_VIDEODRIVER=offscreen ./tests/kelvo_texload_tests >/dev/null 2>&1
	cd build-fuzz && $(SANITIZER_ENV) SDL_VIDEODRIVER=offscreen ./tests/fuzz/fuzz_png corpus seeds \
		-max_total_time=$(FUZZ_SECONDS) -rss_limit_mb=4096 -close_fd_mask=2 -print_final_stats=1
	mkdir -p build-fuzz/corpus-mp3
	cd build-fuzz && $(SANITIZER_ENV) ./tests/fuzz/fuzz_mp3 corpus-mp3 $(CURDIR)/tests/fuzz/mp3_seeds $(CURDIR)/tests/data \
		-max_total_time=$(FUZZ_SECONDS) -max_len=8192 -rss_limit_mb=4096 -print_final_stats=1
	mkdir -p build-fuzz/corpus-mp3-parts
	cd build-fuzz && $(SANITIZER_ENV) ./tests/fuzz/fuzz_mp3_parts corpus-mp3-parts $(CURDIR)/tests/fuzz/mp3_seeds \
		$(CURDIR)/tests/data -max_total_time=$(FUZZ_SECONDS) -max_len=65536 -rss_limit_mb=4096 -print_final_stats=1

# The app's sources against the real Win32, GL and GLU headers of the mingw-w64 cross compiler:
# they compile, app/ and render/ link into a Windows executable, and the constants of
# platform/win32_api/win32_api.h agree with the real header.
# Then the real Windows build (make windows), both programs: their format, machine type,
# imports, resources and zips, and their runs under Wine (the picture against the Linux frame
# tool's, the music through waveOut, the keys and exit codes, the display-mode change, the failure
# boxes, the screen-saver requests, joined MP3s, sound under load), all in tools/check_windows.sh.
# The 64-bit program runs under 64-bit Wine (amd64 packages only) everywhere; the 32-bit one
# where 32-bit Wine can be installed and the kernel runs 32-bit programs, else its run is skipped
# with one line saying why, kept in build-win32/wine-skipped.txt. A Wine run that fails fails.
.PHONY: check-windows check-win32
check-windows:
	bash tools/setup.sh --windows --win32-headers
	bash tools/check_win32.sh
	$(MAKE) windows
	bash tools/check_windows.sh
# The name it had when there was one Windows program.
check-win32: check-windows

# The demo for Windows, two programs from the same sources, cross-compiled with mingw-w64: for
# 32-bit x86 (build-win32/) and for x86-64 (build-win64/), each kelvo.exe one file with everything
# linked in, and its zip, kelvo-<version>-win32.zip and kelvo-<version>-win64.zip. libpng is built
# from LIBPNG_SOURCE (a folder or an archive of its source), else taken from CMAKE_PREFIX_PATH,
# else from its release archive, found or fetched as LIBRARY_SOURCES says.
LIBPNG_SOURCE ?=
WINDOWS_PROGRAMS = win32:cmake/mingw-i686.cmake win64:cmake/mingw-x86_64.cmake
.PHONY: windows
windows:
	bash tools/setup.sh --windows
	@set -e; for program in $(WINDOWS_PROGRAMS); do \
		kind=$${program%%:*}; toolchain=$${program#*:}; \
		echo "== kelvo.exe for $$kind"; \
		cmake -S . -B build-$$kind -DCMAKE_TOOLCHAIN_FILE=$$toolchain -DCMAKE_BUILD_TYPE=Release \
			-DLIBPNG_SOURCE=$(if $(LIBPNG_SOURCE),$(abspath $(LIBPNG_SOURCE))) $(LIBRARY_SOURCES) \
			$(if $(CMAKE_PREFIX_PATH),-DCMAKE_PREFIX_PATH=$(CMAKE_PREFIX_PATH)); \
		cmake --build build-$$kind -j $(JOBS); \
	done

# The Windows programs' frame time under Wine beside the Linux build's on the same X server and
# Mesa, and the F1 switch's time (make windows first).
.PHONY: bench-windows
bench-windows: build
	bash tools/setup.sh --windows --wine
	$(MAKE) windows
	bash bench/windows_bench.sh

# libpng's and zlib's release archives, for the Windows and web builds, when LIBPNG_SOURCE and
# ZLIB_SOURCE name none: the copy in ../shared/deps where this machine keeps one, else the one
# an earlier build fetched into KELVO_SOURCES_CACHE (~/.cache/kelvo/sources), else downloaded
# from KELVO_SOURCES_URL (a URL or folder; empty: the projects' own), each checked against its
# pinned SHA-256 (cmake/library_sources.cmake).
KELVO_SOURCES_URL ?=
KELVO_SOURCES_COPY ?=
KELVO_SOURCES_CACHE ?=
LIBRARY_SOURCES = -UKELVO_SOURCES_URL -UKELVO_SOURCES_COPY -UKELVO_SOURCES_CACHE \
	$(if $(KELVO_SOURCES_URL),-DKELVO_SOURCES_URL=$(KELVO_SOURCES_URL)) \
	$(if $(KELVO_SOURCES_COPY),-DKELVO_SOURCES_COPY=$(abspath $(KELVO_SOURCES_COPY))) \
	$(if $(KELVO_SOURCES_CACHE),-DKELVO_SOURCES_CACHE=$(abspath $(KELVO_SOURCES_CACHE)))

# The demo in a web page: build-web/, a static site (index.html, the page's script and style,
# kelvo.js, kelvo.wasm, data/, the licence notices) that any static web server serves, compiled
# with Debian's emscripten in build-wasm/. libpng and zlib are built for WebAssembly from
# LIBPNG_SOURCE and ZLIB_SOURCE (each a folder or an archive of the library's released source),
# else from their release archives, found or fetched as LIBRARY_SOURCES says.
ZLIB_SOURCE ?=
WEB_PORT ?= 8000
EMSCRIPTEN_ENV = NODE_PATH=/usr/share/nodejs
.PHONY: web serve-web
web:
	bash tools/setup.sh --web
	$(EMSCRIPTEN_ENV) emcmake cmake -S . -B build-wasm -DCMAKE_BUILD_TYPE=Release \
		-DLIBPNG_SOURCE=$(if $(LIBPNG_SOURCE),$(abspath $(LIBPNG_SOURCE))) \
		-DZLIB_SOURCE=$(if $(ZLIB_SOURCE),$(abspath $(ZLIB_SOURCE))) $(LIBRARY_SOURCES) \
		-DKELVO_WEB_SITE=$(CURDIR)/build-web
	$(EMSCRIPTEN_ENV) cmake --build build-wasm -j $(JOBS)

# For make test: the web build and the browser driver of its tests (npm ci in tests/web, from its
# lock file). Where libpng's and zlib's sources cannot be had, the one line saying so is printed
# again and the web tests are skipped with it; any other failure of the web build fails.
.PHONY: web-for-tests web-test-deps
web-for-tests:
	@rm -f build-wasm/library-sources-missing.txt
	@if $(MAKE) web; then $(MAKE) web-test-deps; \
	elif [ -f build-wasm/library-sources-missing.txt ]; then \
		echo "make test: $$(cat build-wasm/library-sources-missing.txt); the web tests are skipped" \
			"(unless build-web/ is there from an earlier make web, which they then test)"; \
	else exit 1; fi
web-test-deps: tests/web/node_modules/.installed
tests/web/node_modules/.installed: tests/web/package.json tests/web/package-lock.json
	cd tests/web && npm ci --no-audit --no-fund --loglevel=error
	touch $@

# The page's Lighthouse scores, as a phone and as a desktop, in Debian's Chromium (make web first;
# Lighthouse comes from npm at the version bench/lighthouse/package-lock.json locks).
.PHONY: audit-web
audit-web: bench/lighthouse/node_modules/.installed
	@[ -f build-web/index.html ] || { echo "make audit-web: no build-web/index.html; make web first" >&2; exit 1; }
	node bench/lighthouse/audit_web.mjs --site build-web
bench/lighthouse/node_modules/.installed: bench/lighthouse/package.json bench/lighthouse/package-lock.json
	bash tools/setup.sh --web
	cd bench/lighthouse && PUPPETEER_SKIP_DOWNLOAD=1 npm ci --no-audit --no-fund --loglevel=error
	touch $@

# Serves build-web/ on http://localhost:$(WEB_PORT)/ for trying the page (make web first).
serve-web:
	@[ -f build-web/index.html ] || { echo "make serve-web: no build-web/index.html; make web first" >&2; exit 1; }
	node tools/serve_web.mjs build-web $(WEB_PORT)

clean:
	rm -rf build build-sanitize build-fuzz build-win32 build-win64 build-windows build-wasm build-web

# Installs the demo, its tools, data, desktop entry, metainfo, icons and manual pages under
# PREFIX (programs in PREFIX/games, data in PREFIX/share/games/kelvo); DESTDIR stages it.
PREFIX ?= /usr/local
.PHONY: install package
install: build
	cmake --install build --prefix $(PREFIX)

# The Debian package kelvo_<version>_<arch>.deb, in the repository root; its dependencies are
# computed from the programs by dpkg-shlibdeps.
package: build
	bash tools/setup.sh --package
	rm -f build/kelvo_*.deb
	cd build && cpack -G DEB
	mv build/kelvo_*.deb .
