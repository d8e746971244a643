# Tolvarenquista: build, test, demo and benchmark on Debian 12. Every target installs what it needs.
SHELL := /bin/bash
BUILD := build
WINBUILD := build-windows
WINBUILD32 := build-windows32
JOBS ?= $(shell nproc)
DEMO_OUT := out/demo

.PHONY: all setup setup-windows setup-windows32 build build-windows build-windows32 test test-native test-windows \
	test-windows32 demo bench samples clean \
	screenshot gui dist dist-check sanitize setup-fuzz build-fuzz fuzz fuzz-smoke format format-check

all: build

# Debian packages: native toolchain, GoogleTest and GNU parallel (the README's recipe for batches
# larger than one machine is run as a test); for the Windows side, MinGW-w64 for 64-bit and
# 32-bit Windows, Wine, Python's pefile (which reads the built programs) and osslsigncode with
# openssl (the package signed with a certificate of the test's own).
NATIVE_PKGS := cmake ninja-build g++ googletest libgtest-dev python3-cryptography-vectors libcli11-dev clang-format \
	parallel
WINDOWS_PKGS := g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix wine64 xvfb python3 python3-pefile \
	osslsigncode openssl
define ensure_packages
	@missing=""; for p in $(1); do dpkg -s $$p >/dev/null 2>&1 || missing="$$missing $$p"; done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing:$$missing"; \
	  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $$missing >/dev/null; \
	fi
endef

setup:
	$(call ensure_packages,$(NATIVE_PKGS))

setup-windows: setup
	$(call ensure_packages,$(WINDOWS_PKGS))

# 32-bit Wine (Debian's wine32, of the i386 architecture) for the 32-bit suite: only on a machine that
# runs 32-bit x86 programs, which wine32 is made of (cmake/runs-32-bit.sh); elsewhere it could not
# start, and nothing is installed.
setup-windows32: setup-windows
	@if cmake/runs-32-bit.sh && ! dpkg -s wine32:i386 >/dev/null 2>&1; then \
	  dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386; \
	  echo "Installing: wine32:i386"; \
	  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
	    wine32:i386 >/dev/null; \
	fi

CONFIGURE_NATIVE = [ -f $(BUILD)/build.ninja ] || cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null

build: setup
	@$(CONFIGURE_NATIVE)
	cmake --build $(BUILD) -j $(JOBS)

build-windows: setup-windows
	@[ -f $(WINBUILD)/build.ninja ] || cmake -S . -B $(WINBUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release \
	  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake >/dev/null
	cmake --build $(WINBUILD) -j $(JOBS)

# The 32-bit programs (the package holds both architectures); their tests too where 32-bit Wine runs.
WINDOWS32_PROGRAMS := tolvarenquista_gui tolvarenquista-cli
build-windows32: setup-windows32
	@[ -f $(WINBUILD32)/build.ninja ] || cmake -S . -B $(WINBUILD32) -G Ninja -DCMAKE_BUILD_TYPE=Release \
	  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake >/dev/null
	cmake --build $(WINBUILD32) -j $(JOBS) $$(cmake/runs-32-bit.sh || echo --target $(WINDOWS32_PROGRAMS))

# Every test, and every test once more with the portable SHA-256 (the portable_sha256.* tests).
test-native: build
	cd $(BUILD) && ctest --output-on-failure --timeout 600 -j $(JOBS)

# (The package test makes the package of both architectures; the console test compares a conversion
# with the native program's.)
test-windows: build-windows build-windows32 build
	cd $(WINBUILD) && ctest --output-on-failure --timeout 600
	@# The record tests once more with the portable SHA-256 compression; the program must say that it
	@# ran it, which also proves that Wine handed it the variable.
	cd $(WINBUILD) && TOLVA_PORTABLE_SHA256=1 ctest -V --timeout 600 -R '^record_tests_wine$$' >record_tests_portable.log 2>&1 \
	  && grep -q 'SHA-256 compression: portable' record_tests_portable.log \
	  && grep -E 'SHA-256 compression|tests passed' record_tests_portable.log \
	  || { cat record_tests_portable.log; echo "test-windows: the run with the portable SHA-256 failed"; exit 1; }

# The 32-bit suite under 32-bit Wine, as the 64-bit one. A machine whose kernel runs no 32-bit program
# cannot run 32-bit Wine: there the 32-bit programs are checked as files only, and it says so.
test-windows32: build-windows32
	@if cmake/runs-32-bit.sh; then \
	  cd $(WINBUILD32) && ctest --output-on-failure --timeout 600; \
	else \
	  echo "test-windows32: this machine runs no 32-bit x86 program, so no 32-bit Wine: the 32-bit programs"; \
	  echo "test-windows32: are checked as files only (windows_programs); their tests under Wine are not run."; \
	  cd $(WINBUILD32) && ctest --output-on-failure --timeout 600 -R '^windows_programs$$'; \
	fi

test: format-check test-native test-windows test-windows32 sanitize fuzz-smoke

# make format lays out our C++ sources by .clang-format; make format-check (part of make test) fails,
# naming the files, when one is laid out otherwise.
FORMATTED = $(shell git ls-files '*.cpp' '*.h' | grep -v '^tests/data/')
format: setup
	clang-format -i $(FORMATTED)

format-check: setup
	@clang-format --dry-run --Werror $(FORMATTED) 2>&1 | grep -o '^[^:]*\.\(cpp\|h\):' | sort -u | sed 's/:$$//' \
	  | { if read -r first; then echo "format-check: not laid out by .clang-format (make format):"; \
	      { echo "$$first"; cat; } | sed 's/^/  /'; exit 1; else echo "format-check: every source as .clang-format lays it out"; fi; }

# Converts the bundled sample claims into out/demo and prints the result report. It builds the
# program alone (no test, no GoogleTest), and shows the compiler's output only when that fails.
demo: setup
	@$(CONFIGURE_NATIVE)
	@cmake --build $(BUILD) -j $(JOBS) --target tolvarenquista >$(BUILD)/demo-build.log 2>&1 \
	  || { cat $(BUILD)/demo-build.log; echo "demo: the program could not be built"; exit 1; }
	@rm -rf $(DEMO_OUT) $(DEMO_OUT)-log && mkdir -p $(DEMO_OUT)
	$(BUILD)/tolvarenquista list samples/claims
	$(BUILD)/tolvarenquista convert --input samples/claims --output $(DEMO_OUT) --split 2 \
	  --log-dir $(DEMO_OUT)-log
	@echo; echo "== $$(ls $(DEMO_OUT)/*_Result.txt)"; iconv -f CP932 -t UTF-8 $(DEMO_OUT)/*_Result.txt

# The dialog program under Wine. `screenshot` writes pictures of the main dialog (the bundled sample
# claims listed, rows ticked, a finished run, a run that rejected a file with faulty records), of the
# About box and of the verification dialog (the run's disc passed, then failed) into out/screenshots,
# and the same at 144 DPI (150 %) into out/screenshots/144dpi, drawn in a Wine prefix of its own set to
# that DPI; `gui` starts the program on the screen at $DISPLAY. Both give Wine a Japanese font first.
# The PNG files carry no date, so that the same program gives the same files.
SCREENSHOT_PKGS := imagemagick fonts-ipafont-gothic
SCREENSHOTS := out/screenshots
WINEPREFIX_DIR := $(CURDIR)/$(WINBUILD)/wineprefix
WINEPREFIX_144DPI := $(CURDIR)/$(WINBUILD)/wineprefix-144dpi
# This folder as Wine's programs see it (drive Z: is the Linux root), with Windows separators.
WIN_CURDIR = Z:$(subst /,\,$(CURDIR))

screenshot: build-windows
	$(call ensure_packages,$(SCREENSHOT_PKGS))
	cmake/wine-japanese-fonts.sh $(WINEPREFIX_DIR)
	cmake/wine-dpi.sh $(WINEPREFIX_144DPI) 144
	cmake/wine-japanese-fonts.sh $(WINEPREFIX_144DPI)
	@rm -rf $(SCREENSHOTS) && mkdir -p $(SCREENSHOTS)/144dpi
	cmake/wine-gui-run.sh $(WINEPREFIX_DIR) $(WINBUILD)/dialog_screenshots.exe \
	  '$(WIN_CURDIR)\samples\claims' '$(WIN_CURDIR)\$(subst /,\,$(SCREENSHOTS))'
	cmake/wine-gui-run.sh $(WINEPREFIX_144DPI) $(WINBUILD)/dialog_screenshots.exe \
	  '$(WIN_CURDIR)\samples\claims' '$(WIN_CURDIR)\$(subst /,\,$(SCREENSHOTS))\144dpi'
	@for picture in $(SCREENSHOTS)/*.bmp $(SCREENSHOTS)/144dpi/*.bmp; do \
	  convert "$$picture" -strip -define png:exclude-chunks=date,time "$${picture%.bmp}.png" && rm "$$picture"; \
	done
	@ls -1 $(SCREENSHOTS)/*.png $(SCREENSHOTS)/144dpi/*.png

gui: build-windows
	$(call ensure_packages,fonts-ipafont-gothic)
	cmake/wine-japanese-fonts.sh $(WINEPREFIX_DIR)
	@[ -n "$$DISPLAY" ] || { echo "gui: no DISPLAY; run it from a graphical session (or see make screenshot)"; exit 1; }
	cmake/wine-run.sh $(WINEPREFIX_DIR) $(WINBUILD)/Tolvarenquista.exe

# ---- The Windows package ----
# make dist: out/dist/Tolvarenquista-VERSION-windows.zip (the version is the project's,
# CMakeLists.txt), whose one folder Tolvarenquista-VERSION/ holds both programs for 64-bit Windows in
# x64/ and for 32-bit Windows in x86/, the Japanese guide with the pictures of make screenshot,
# README.txt and SHA256SUMS.txt, made by package/make_package.py with Debian's Python. The same sources give the same bytes. make dist-check
# builds the programs once more from nothing in $(REPROBUILD) (a few minutes on two processors) and
# proves that they give the same package.
# A site with a code-signing certificate signs its package's programs with osslsigncode:
#   make dist SIGN_CERT=cert.pem SIGN_KEY=key.pem [SIGN_PASS=passphrase-file] [SIGN_TIMESTAMP=URL]
# (PEM files; the certificate file may hold its chain). A signature holds its own time: a signed
# package is not reproducible.
DIST := out/dist
PYTHON := /usr/bin/python3
REPROBUILD := build-windows-repro
PACKAGE = $(PYTHON) package/make_package.py --source $(CURDIR) --pictures $(SCREENSHOTS)
SIGNING = $(if $(SIGN_CERT),--sign-cert $(abspath $(SIGN_CERT)) --sign-key $(abspath $(SIGN_KEY)) \
	$(if $(SIGN_PASS),--sign-pass $(abspath $(SIGN_PASS))) $(if $(SIGN_TIMESTAMP),--sign-timestamp $(SIGN_TIMESTAMP)))

dist: screenshot build-windows32
	@rm -rf $(DIST)
	$(PACKAGE) --x64 $(WINBUILD) --x86 $(WINBUILD32) $(SIGNING) --out $(DIST)
	@cd $(DIST) && sha256sum *.zip

dist-check: dist
	$(if $(SIGN_CERT),$(error dist-check proves the unsigned package: leave SIGN_CERT out))
	rm -rf $(REPROBUILD) $(REPROBUILD)32
	cmake -S . -B $(REPROBUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DTOLVA_TESTS=OFF \
	  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake >/dev/null
	cmake -S . -B $(REPROBUILD)32 -G Ninja -DCMAKE_BUILD_TYPE=Release -DTOLVA_TESTS=OFF \
	  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake >/dev/null
	cmake --build $(REPROBUILD) -j $(JOBS) --target tolvarenquista_gui tolvarenquista-cli
	cmake --build $(REPROBUILD)32 -j $(JOBS) --target tolvarenquista_gui tolvarenquista-cli
	$(PACKAGE) --x64 $(REPROBUILD) --x86 $(REPROBUILD)32 --out $(REPROBUILD)/dist
	@cd $(REPROBUILD)/dist && sha256sum *.zip
	cmp $(DIST)/*.zip $(REPROBUILD)/dist/*.zip && echo "dist-check: the rebuilt programs give the same package"

# Regenerates the bundled sample claims (they are committed; this is how they were made).
samples: build
	rm -rf samples/claims && mkdir -p samples/claims
	$(BUILD)/gen_claims --out samples/claims --files 3 --records 2000 --seed 2008

bench: build
	$(call ensure_packages,python3 linux-perf)
	$(BUILD)/bench_convert

# ---- Sanitizers and fuzzing ----
# make sanitize: every native test (the end-to-end script too) built with GCC under AddressSanitizer
# and UndefinedBehaviorSanitizer, GoogleTest included. Every report aborts its process. ASan's and
# LSan's reports go into $(SAN_REPORTS), so that one from a child whose exit status a test ignores
# still fails the target; UBSan's stay on standard error (see CMakeLists.txt).
SANBUILD := build-sanitize
SAN_REPORTS := $(CURDIR)/$(SANBUILD)/sanitizer-reports
SAN_ENV := ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1:log_path=$(SAN_REPORTS)/asan \
	UBSAN_OPTIONS=halt_on_error=1:abort_on_error=1:print_stacktrace=1:log_path=$(SAN_REPORTS)/ubsan

sanitize: setup
	@[ -f $(SANBUILD)/build.ninja ] || cmake -S . -B $(SANBUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DTOLVA_SANITIZE=ON >/dev/null
	cmake --build $(SANBUILD) -j $(JOBS)
	@rm -rf $(SAN_REPORTS) && mkdir -p $(SAN_REPORTS)
	@# As test-native: everything, the portable SHA-256 tests included.
	@cd $(SANBUILD) && $(SAN_ENV) ctest --output-on-failure --timeout 900 -j $(JOBS); status=$$?; \
	if [ -n "$$(ls -A $(SAN_REPORTS))" ]; then \
	  echo "sanitize: sanitizer reports:"; cat $(SAN_REPORTS)/*; exit 1; \
	fi; exit $$status

# make fuzz: the libFuzzer targets of fuzz/, built with clang, each run for FUZZ_SECONDS seconds
# from its committed seeds (fuzz/corpus/NAME) into a working corpus that grows from run to run
# (out/fuzz/NAME/corpus). A crash, leak, timeout or sanitizer report fails the target and leaves the
# reproducer in out/fuzz/NAME/. Replay one with: build-fuzz/fuzz/fuzz_NAME out/fuzz/NAME/crash-...
FUZZBUILD := build-fuzz
FUZZ_PKGS := clang libclang-rt-14-dev
FUZZ_TARGETS := record_reader conversion verify
FUZZ_SECONDS ?= 60

setup-fuzz: setup
	$(call ensure_packages,$(FUZZ_PKGS))

build-fuzz: setup-fuzz
	@[ -f $(FUZZBUILD)/build.ninja ] || cmake -S . -B $(FUZZBUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DTOLVA_FUZZ=ON -DTOLVA_TESTS=OFF >/dev/null
	cmake --build $(FUZZBUILD) -j $(JOBS) --target $(addprefix fuzz_,$(FUZZ_TARGETS))

fuzz: build-fuzz
	@failed=""; for target in $(FUZZ_TARGETS); do \
	  fuzz/run-fuzzer.sh $(FUZZBUILD)/fuzz/fuzz_$$target fuzz/corpus/$$target out/fuzz/$$target \
	    $(FUZZ_SECONDS) || failed="$$failed $$target"; \
	done; \
	if [ -n "$$failed" ]; then echo "fuzz: FAILED:$$failed (reproducers in out/fuzz/)"; exit 1; fi

# The short run that make test includes: 25 seconds a target.
fuzz-smoke:
	$(MAKE) --no-print-directory fuzz FUZZ_SECONDS=25

clean:
	rm -rf $(BUILD) $(WINBUILD) $(WINBUILD32) $(SANBUILD) $(FUZZBUILD) $(REPROBUILD) $(REPROBUILD)32 out
