#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Kestrine need,
# and only those that are missing. Safe to run again: it says so when nothing is missing.
set -euo pipefail

packages=(
    g++            # the compiler
    make
    cmake          # the build
    ninja-build
    pkg-config
    qt6-base-dev   # Qt 6 Widgets, Core, Gui, Network and Test
    qt6-qpa-plugins # the X11 and Wayland platform plugins for a real window
    libgl-dev      # Qt's CMake files look for the OpenGL headers
    ffmpeg         # the encoder the program drives, and ffprobe for the tests
    fonts-dejavu-core # a sans-serif font for the forms, also headless
    fonts-dejavu-extra # its condensed cut, which keeps the forms' texts inside their places
    qt6-svg-dev    # the forms' pictures and skin are SVG files drawn at run time
    libgtest-dev   # GoogleTest for the unit tests
    clang-format   # the format check that runs with the tests
    clang          # make fuzz: libFuzzer targets
    libclang-rt-14-dev # the sanitizer and fuzzer runtimes for clang
    xvfb           # a virtual display for screenshots
    xauth
    libx11-dev     # make bench: watches a virtual display (xvfb) for the program's window
)

missing=()
for p in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
    [[ "$status" == "install ok installed" ]] || missing+=("$p")
done

if [[ ${#missing[@]} -eq 0 ]]; then
    echo "deps: everything needed is installed"
    exit 0
fi

echo "deps: installing ${missing[*]}"
sudo=""
if [[ $(id -u) -ne 0 ]]; then
    if command -v sudo >/dev/null 2>&1; then
        sudo="sudo"
    else
        echo "deps: these packages are missing and this is not root and there is no sudo: ${missing[*]}" >&2
        exit 1
    fi
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
echo "deps: done"
