#!/usr/bin/env bash
# Installs the Debian packages that kelvo needs to build and run; with `--test`, also what its
# tests need; with `--fuzz`, also clang for the fuzz target; with `--package`, what building the
# Debian package needs; with `--windows`, what `make windows` needs (the tests' Wine run, with
# i386 packages, comes with `--test`). Does nothing when they are all there;
# needs root (directly or through sudo) only when something is missing.
set -eu

packages=(
    build-essential cmake pkg-config
    libsdl2-dev libx11-dev libmpg123-dev
    libgl-dev libopengl-dev libglu1-mesa-dev libegl1 libegl-mesa0 libgl1-mesa-dri
    libpng-dev zlib1g-dev libcli11-dev
    libavcodec-dev libavformat-dev libavutil-dev libswscale-dev libswresample-dev
)
# What `make package` needs beyond the build: dpkg-shlibdeps and file, which CPack's DEB generator calls.
package_packages=(
    dpkg-dev file
)
test_packages=(
    libgtest-dev xvfb xfonts-base xdotool x11-utils procps
    desktop-file-utils appstream lintian man-db "${package_packages[@]}"
    g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev
)
# The Windows build: mingw-w64 for 32-bit x86 and zlib for it.
windows_packages=(
    g++-mingw-w64-i686-posix mingw-w64-i686-dev binutils-mingw-w64-i686 libz-mingw-w64-dev
)
# Its run under Wine: 32-bit Wine with i386 Mesa for its OpenGL and libpulse for its sound, and a
# PulseAudio server whose null sink is the sound device.
wine_packages=(
    wine wine32:i386 libgl1:i386 libglx-mesa0:i386 libgl1-mesa-dri:i386 libpulse0:i386
    pulseaudio pulseaudio-utils
)
# xrandr, for the window test's look at the screen's mode, and Xorg's dummy driver, whose screen
# has real modes to change to (Xvfb has one).
test_packages+=(x11-xserver-utils xserver-xorg-core xserver-xorg-video-dummy)
# Weston and its Xwayland, for the test of the demo on a Wayland compositor.
test_packages+=(weston xwayland)
# The web build (make web) and its tests in headless Chromium: emscripten, Chromium, and node with
# npm for the browser driver (nodesource's node brings its own npm).
web_packages=(emscripten chromium nodejs $(command -v npm >/dev/null || echo npm))
fuzz_packages=(
    clang libclang-rt-dev
)
for option in "$@"; do
    case "$option" in
        --test) packages+=("${test_packages[@]}" "${windows_packages[@]}" "${wine_packages[@]}" "${web_packages[@]}") ;;
        --web) packages+=("${web_packages[@]}") ;;
        --windows) packages+=("${windows_packages[@]}") ;;
        --fuzz) packages+=("${fuzz_packages[@]}") ;;
        --package) packages+=("${package_packages[@]}") ;;
        *) echo "usage: tools/setup.sh [--test] [--fuzz] [--package] [--windows] [--web]" >&2; exit 2 ;;
    esac
done

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then
    sudo=""
elif command -v sudo >/dev/null; then
    sudo="sudo"
else
    echo "kelvo needs these Debian packages: ${missing[*]}" >&2
    echo "Run tools/setup.sh as root, or install them with apt-get." >&2
    exit 1
fi
# i386 packages need the architecture added first (once; the update below reads its lists).
if printf '%s\n' "${missing[@]}" | grep -q ':i386$' && ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
fi
$sudo apt-get update -q
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
