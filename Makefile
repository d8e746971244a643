# Tolvarenquista: build, test, demo and benchmark on Debian 12. Every target installs what it needs.
SHELL := /bin/bash
BUILD := build
WINBUILD := build-windows
JOBS ?= $(shell nproc)
DEMO_OUT := out/demo

.PHONY: all setup setup-windows build build-windows test test-native test-windows demo bench samples clean \
	screenshot gui

all: build

# Debian packages: native toolchain and GoogleTest; MinGW-w64 and Wine for the Windows side.
NATIVE_PKGS := cmake ninja-build g++ googletest libgtest-dev
WINDOWS_PKGS := g++-mingw-w64-x86-64-posix wine64 xvfb
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

test-windows: build-windows
	cd $(WINBUILD) && ctest --output-on-failure --timeout 600

test: test-native test-windows

# Converts the bundled sample claims into out/demo and prints the result report.
demo: build
	@rm -rf $(DEMO_OUT) out/demo-log && mkdir -p $(DEMO_OUT)
	$(BUILD)/tolvarenquista list samples/claims
	$(BUILD)/tolvarenquista convert --input samples/claims --output $(DEMO_OUT) --split 2 \
	  --log-dir out/demo-log
	@echo; echo "== $$(ls $(DEMO_OUT)/*_Result.txt)"; iconv -f CP932 -t UTF-8 $(DEMO_OUT)/*_Result.txt

# The dialog program under Wine. `screenshot` writes pictures of the main dialog (the bundled sample
# claims listed, rows ticked, a finished run) and of the About box into out/screenshots; `gui`
# starts the program on the screen at $DISPLAY. Both give Wine a Japanese font first.
SCREENSHOT_PKGS := imagemagick fonts-ipafont-gothic
SCREENSHOTS := out/screenshots
WINEPREFIX_DIR := $(CURDIR)/$(WINBUILD)/wineprefix
# This folder as Wine's programs see it (drive Z: is the Linux root), with Windows separators.
WIN_CURDIR = Z:$(subst /,\,$(CURDIR))

screenshot: build-windows
	$(call ensure_packages,$(SCREENSHOT_PKGS))
	cmake/wine-japanese-fonts.sh $(WINEPREFIX_DIR)
	@rm -rf $(SCREENSHOTS) && mkdir -p $(SCREENSHOTS)
	cmake/wine-gui-run.sh $(WINEPREFIX_DIR) $(WINBUILD)/dialog_screenshots.exe \
	  '$(WIN_CURDIR)\samples\claims' '$(WIN_CURDIR)\$(subst /,\,$(SCREENSHOTS))'
	@for picture in $(SCREENSHOTS)/*.bmp; do convert "$$picture" "$${picture%.bmp}.png" && rm "$$picture"; done
	@ls -1 $(SCREENSHOTS)/*.png

gui: build-windows
	$(call ensure_packages,fonts-ipafont-gothic)
	cmake/wine-japanese-fonts.sh $(WINEPREFIX_DIR)
	@[ -n "$$DISPLAY" ] || { echo "gui: no DISPLAY; run it from a graphical session (or see make screenshot)"; exit 1; }
	cmake/wine-run.sh $(WINEPREFIX_DIR) $(WINBUILD)/Tolvarenquista.exe

# Regenerates the bundled sample claims (they are committed; this is how they were made).
samples: build
	rm -rf samples/claims && mkdir -p samples/claims
	$(BUILD)/gen_claims --out samples/claims --files 3 --records 2000 --seed 2008

bench: build
	$(BUILD)/bench_convert

clean:
	rm -rf $(BUILD) $(WINBUILD) out
