# Thin wrappers over the CMake presets (CMakePresets.json). Each target installs what it needs
# first (scripts/setup.sh does nothing when everything is there): `make demo` only the demo's
# packages (scripts/setup.sh demo), every other target all of them.
#
#   make demo     build the Linux module, quillstreak-info and the renderer in build/dev (the
#                 demo preset: unity build, no debug info, no test suites) and render the demo
#                 scene to out/demo/
#   make test     build and run the suites: Linux (g++), Linux with ASan+UBSan, the host, render
#                 and robustness suites with ThreadSanitizer (clang), Windows under Wine, and each
#                 fuzz target briefly over its corpus (clang, libFuzzer)
#   make soak-windows
#                 the soak scene in the Windows build under Wine, SOAK_FRAMES frames (default 600)
#                 played twice, with the process's memory and handle counts after each pass
#   make windows  build the Windows module and install it to build/windows/install/Plug-ins
#   make guide    render every picture of the user guide (docs/guide/) and the demo's contact sheet
#   make package  build the Windows module and pack build/windows/Quillstreak-<version>-win64.zip
#                 and the installer build/windows/Quillstreak-<version>-win64-setup.exe, with
#                 SHA256SUMS beside them; signed when QS_SIGN_PKCS12 and QS_SIGN_PASSWORD_FILE
#                 name a certificate (packaging/README.md)
#   make reproduce
#                 build the module, zip and installer twice, in two folders, and fail unless the
#                 two builds are the same byte for byte (CI runs it after make test)
#   make bench    build and run the benchmarks
#   make fuzz     build the fuzz targets and run each for FUZZ_SECONDS
#   make format   clang-format every C++ file of ours

SHELL := /bin/bash
JOBS ?= 2
TEST_PRESETS ?= dev asan tsan windows fuzz
SOAK_FRAMES ?= 600
FUZZ_SECONDS ?= 30
FORMAT_DIRS := src host hostapi resources tools tests bench fuzz

.PHONY: all setup setup-demo demo test soak-windows windows guide package reproduce bench fuzz \
  format

all: test

setup:
	@bash scripts/setup.sh

setup-demo:
	@bash scripts/setup.sh demo

# The demo preset builds in build/dev like dev, but without the tests (so that GoogleTest need
# not be installed), as a unity build and without debug information, and only the programs the
# demo runs (its build preset names them): under half the dev build's compile time. The dev
# preset sets all three back, so a later `make test` (or `cmake --preset dev`) rebuilds the
# same folder as a normal dev build with the tests.
demo: setup-demo
	cmake --preset demo
	cmake --build --preset demo -j$(JOBS)
	build/dev/host/quillstreak-info build/dev/src/Quillstreak.so
	build/dev/tools/quillstreak-render --out out/demo --contact-sheet --overwrite
	@echo "demo: frames in out/demo/, contact sheet out/demo/contact_sheet.png"

# Every preset runs even when an earlier one fails; the target fails at the end if any did.
test: setup
	@failed=""; for preset in $(TEST_PRESETS); do \
	  echo "=== $$preset ==="; \
	  start=$$(date +%s); \
	  if cmake --preset $$preset && cmake --build --preset $$preset -j$(JOBS) && \
	     ctest --preset $$preset --output-on-failure -j$(JOBS); then \
	    echo "=== $$preset: passed in $$(( $$(date +%s) - start )) s ==="; \
	  else \
	    echo "=== $$preset: FAILED ==="; failed="$$failed $$preset"; \
	  fi; \
	done; \
	if [ -n "$$failed" ]; then echo "make test: failed presets:$$failed"; exit 1; fi

# The test prints what it measured; it fails when anything grew over the second pass.
soak-windows: setup
	cmake --preset windows
	cmake --build --preset windows -j$(JOBS) --target robustness_soak_tests
	QS_SOAK_FRAMES=$(SOAK_FRAMES) ctest --preset windows -R '^robustness_soak_tests$$' -V

windows: setup
	cmake --preset windows
	cmake --build --preset windows -j$(JOBS)
	cmake --install build/windows --prefix build/windows/install
	@echo "Module: build/windows/install/Plug-ins/Quillstreak/Quillstreak.aex"

guide: setup
	cmake --preset dev
	cmake --build --preset dev -j$(JOBS)
	bash scripts/guide.sh

# CPack packs the windows preset's install rules into the zip and the installer (test
# package_build, which `make test` runs as well), signing them when the environment names a
# certificate; package_contents then opens the archive, compares its module with the one the
# Windows tests ran and checks SHA256SUMS, and package_installer_payload installs the installer
# silently under Wine and compares what it installed with the archive.
package: setup
	cmake --preset windows
	cmake --build --preset windows -j$(JOBS)
	ctest --preset windows -R '^package_' --output-on-failure
	@echo "Package: $$(ls build/windows/Quillstreak-*-win64.zip)"
	@echo "Installer: $$(ls build/windows/Quillstreak-*-win64-setup.exe)"
	@echo "Checksums: build/windows/SHA256SUMS"
	@if [ -n "$${QS_SIGN_PKCS12:-}" ]; then echo "Signed with $$QS_SIGN_PKCS12"; \
	else echo "Unsigned: set QS_SIGN_PKCS12 and QS_SIGN_PASSWORD_FILE to sign"; fi

# Two builds of the module and what else the packages hold, and two packages: about a minute
# on two busy cores.
reproduce: setup
	JOBS=$(JOBS) bash scripts/reproduce.sh

bench: setup
	cmake --preset bench
	cmake --build --preset bench -j$(JOBS)
	@set -e; found=0; \
	for exe in $$(find build/bench/bench -maxdepth 1 -type f -perm -u+x 2>/dev/null | sort); do \
	  found=1; echo "=== $$exe ==="; "$$exe"; \
	done; \
	if [ $$found -eq 0 ]; then echo "bench: no benchmark programs in build/bench/bench"; exit 1; fi

fuzz: setup
	cmake --preset fuzz
	cmake --build --preset fuzz -j$(JOBS)
	@set -e; found=0; \
	for exe in $$(find build/fuzz/fuzz -maxdepth 1 -type f -perm -u+x 2>/dev/null | sort); do \
	  found=1; echo "=== $$exe ($(FUZZ_SECONDS) s) ==="; \
	  corpus=build/fuzz/corpus/$$(basename $$exe); mkdir -p $$corpus; \
	  "$$exe" -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 $$corpus fuzz/corpus/$$(basename $$exe); \
	done; \
	if [ $$found -eq 0 ]; then echo "fuzz: no fuzz targets in build/fuzz/fuzz"; exit 1; fi

format:
	@files=$$(find $(FORMAT_DIRS) -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.hpp' -o -name '*.cc' \) 2>/dev/null); \
	if [ -n "$$files" ]; then clang-format -i $$files; fi
