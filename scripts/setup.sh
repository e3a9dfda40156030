#!/usr/bin/env bash
# Installs every Debian package that building, testing, the renderer, the Windows cross build,
# the benchmarks and the fuzz targets need. Safe to run again: it only calls apt-get when a
# package is missing. Needs root (or sudo) on Debian 12.
#
#   scripts/setup.sh [all|demo]
#     all   everything (the default; `make test` and the other make targets)
#     demo  only what `make demo` needs: the Linux module, quillstreak-info and the renderer,
#           built without the test suites (no cross toolchain, Wine, clang, ffmpeg, GoogleTest)
set -euo pipefail

packages=(
  # Build system and compilers
  cmake ninja-build make g++ pkg-config file
  clang clang-14 libclang-rt-14-dev clang-format
  # Libraries
  libgtest-dev googletest libbenchmark-dev libpng-dev nlohmann-json3-dev libcli11-dev
  # The renderer's contact sheet labels, its video and GIF output, and the guide's HTML page;
  # GNU parallel for the render farm recipe of the renderer's guide (and its test)
  libfreetype-dev fonts-dejavu-core ffmpeg cmark-gfm parallel
  # Windows cross build and running its tests
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine64
  # The release files (make package, make reproduce): the installer, a reproducible zip,
  # Authenticode signing and the test certificates of its tests
  nsis strip-nondeterminism osslsigncode openssl git
)

# The demo's share of the list above: compiler and build tools, the renderer's libraries (libpng,
# nlohmann-json, CLI11, FreeType) and the font of the contact sheet's labels.
demo_packages=(
  cmake ninja-build make g++
  libpng-dev nlohmann-json3-dev libcli11-dev libfreetype-dev fonts-dejavu-core
)

case "${1:-all}" in
  all) ;;
  demo)
    # A demo package missing from the full list would not be installed by `make test`.
    for pkg in "${demo_packages[@]}"; do
      if [[ " ${packages[*]} " != *" $pkg "* ]]; then
        echo "setup: demo package $pkg is not in the full list" >&2
        exit 1
      fi
    done
    packages=("${demo_packages[@]}")
    ;;
  *)
    echo "usage: scripts/setup.sh [all|demo]" >&2
    exit 2
    ;;
esac

missing=()
for pkg in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null || true)
  if [ "$status" != "install ok installed" ]; then
    missing+=("$pkg")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all ${#packages[@]} packages are installed"
  exit 0
fi

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1; then
    sudo_cmd=(sudo)
  else
    echo "setup: missing packages (${missing[*]}) and not root; run as root or install sudo" >&2
    exit 1
  fi
fi

echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q
# No recommends: wine64 and ffmpeg would otherwise pull in a desktop's worth of fonts and
# libraries.
"${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
  "${missing[@]}"
