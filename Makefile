# Tolvarenquista: build, test, demo and benchmark on Debian 12. Every target installs what it needs.
SHELL := /bin/bash
BUILD := build
WINBUILD := build-windows
JOBS ?= $(shell nproc)
DEMO_OUT := out/demo

.PHONY: all setup setup-windows build build-windows test test-native test-windows demo bench samples clean \
	screenshot gui dist dist-check sanitize setup-fuzz build-fuzz fuzz fuzz-smoke

all: build

# Debian packages: native toolchain and GoogleTest; MinGW-w64 and Wine for the Windows side.
NATIVE_PKGS := cmake ninja-build g++ googletest libgtest-dev python3-cryptography-vectors libcli11-dev
WINDOWS_PKGS := g++-mingw-w64-x86-64-posix wine64 xvfb python3
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

build: setup
	@[ -f $(BUILD)/build.ninja ] || cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
	cmake --build $(BUILD) -j $(JOBS)

build-windows: setup-windows
	@[ -f $(WINBUILD)/build.ninja ] || cmake -S . -B $(WINBUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release \
	  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake >/dev/null
	cmake --build $(WINBUILD) -j $(JOBS)

test-native: build
	cd $(BUILD) && ctest --output-on-failure --timeout 600 -j $(JOBS)
	@# Once more with the portable SHA-256 compression instead of the x86 SHA extensions (the slow
	@# kill and full-disk scripts left out).
	cd $(BUILD) && TOLVA_PORTABLE_SHA256=1 ctest --output-on-failure --timeout 600 -j $(JOBS) -E '^cli_(kill|full_disk)$$'

test-windows: build-windows
	cd $(WINBUILD) && ctest --output-on-failure --timeout 600
	@# The record tests once more with the portable SHA-256 compression; the program must say that it
	@# ran it, which also proves that Wine handed it the variable.
	cd $(WINBUILD) && TOLVA_PORTABLE_SHA256=1 ctest -V --timeout 600 -R '^record_tests_wine$$' >record_tests_portable.log 2>&1 \
	  && grep -q 'SHA-256 compression: portable' record_tests_portable.log \
	  && grep -E 'SHA-256 compression|tests passed' record_tests_portable.log \
	  || { cat record_tests_portable.log; echo "test-windows: the run with the portable SHA-256 failed"; exit 1; }

test: test-native test-windows sanitize fuzz-smoke

# Converts the bundled sample claims into out/demo and prints the result report.
demo: build
	@rm -rf $(DEMO_OUT) out/demo-log && mkdir -p $(DEMO_OUT)
	$(BUILD)/tolvarenquista list samples/claims
	$(BUILD)/tolvarenquista convert --input samples/claims --output $(DEMO_OUT) --split 2 \
	  --log-dir out/demo-log
	@echo; echo "== $$(ls $(DEMO_OUT)/*_Result.txt)"; iconv -f CP932 -t UTF-8 $(DEMO_OUT)/*_Result.txt

# The dialog program under Wine. `screenshot` writes pictures of the main dialog (the bundled sample
# claims listed, rows ticked, a finished run) and of the About box into out/screenshots, and the same
# at 144 DPI (150 %) into out/screenshots/144dpi, drawn in a Wine prefix of its own set to that DPI;
# `gui` starts the program on the screen at $DISPLAY. Both give Wine a Japanese font first. The PNG
# files carry no date, so that the same program gives the same files.
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
# make dist: out/dist/Tolvarenquista-VERSION-win64.zip (the version is the project's, CMakeLists.txt):
# both programs, the Japanese guide with the pictures of make screenshot, README.txt and
# SHA256SUMS.txt, made by package/make_package.py with Debian's Python. The same sources give the
# same bytes. make dist-check builds the two programs once more from nothing in $(REPROBUILD)
# (about a minute on two processors) and proves that they give the same package.
DIST := out/dist
PYTHON := /usr/bin/python3
REPROBUILD := build-windows-repro
PACKAGE = $(PYTHON) package/make_package.py --source $(CURDIR) --pictures $(SCREENSHOTS)

dist: screenshot
	@rm -rf $(DIST)
	$(PACKAGE) --programs $(WINBUILD) --out $(DIST)
	@cd $(DIST) && sha256sum *.zip

dist-check: dist
	rm -rf $(REPROBUILD)
	cmake -S . -B $(REPROBUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DTOLVA_TESTS=OFF \
	  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake >/dev/null
	cmake --build $(REPROBUILD) -j $(JOBS) --target tolvarenquista_gui tolvarenquista-cli
	$(PACKAGE) --programs $(REPROBUILD) --out $(REPROBUILD)/dist
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
	@# As test-native: everything, then once more with the portable SHA-256 compression.
	@cd $(SANBUILD) && $(SAN_ENV) ctest --output-on-failure --timeout 900 -j $(JOBS) \
	  && $(SAN_ENV) TOLVA_PORTABLE_SHA256=1 ctest --output-on-failure --timeout 900 -j $(JOBS) \
	    -E '^cli_(kill|full_disk)$$'; status=$$?; \
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
	rm -rf $(BUILD) $(WINBUILD) $(SANBUILD) $(FUZZBUILD) $(REPROBUILD) out
