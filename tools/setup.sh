#!/usr/bin/env bash
# Installs the Debian packages that kelvo needs to build and run, and with each option what one
# more command needs:
#   --test      the test suite (make test), the web build's tests included (--web)
#   --web       the web build and its browsers (make web)
#   --windows   the Windows build, both programs (make windows)
#   --win32-headers  the check of the app's sources against the real Win32 headers (make check-windows)
#   --wine      the 64-bit Windows program's run under Wine, amd64 packages only (make check-windows)
#   --wine32    the 32-bit program's run as well: 32-bit Wine, with the i386 architecture and
#               packages, where they can be had (make check-windows tries it)
#   --fuzz      clang for the fuzz targets (make fuzz)
#   --package   building the Debian package (make package)
# Does nothing when they are all there; needs root (directly or through sudo) only when something
# is missing.
#
# A package index that fails to download (a mirror mid-sync, a stale proxy) does not stop it:
# `apt-get update` is tried three times, then the lists already here are used, with one line
# naming the index that failed. Exit status: 0 when everything is installed, 1 when it cannot be
# tried (no root, no sudo), 2 for a wrong option, 3 when apt-get refuses the install: one line
# then names the packages that could not be installed and apt's reason.
set -eu -o pipefail

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
# The test suite: GoogleTest, Xvfb and the X11 tools the window tests drive it with, the install
# and package checks, a PulseAudio server for the test that takes the sound device away, xrandr
# and Xorg's dummy driver (whose screen has real modes, which Xvfb lacks), Weston and Xwayland.
test_packages=(
    libgtest-dev xvfb xfonts-base xdotool x11-utils procps
    desktop-file-utils appstream lintian man-db "${package_packages[@]}"
    pulseaudio pulseaudio-utils
    x11-xserver-utils xserver-xorg-core xserver-xorg-video-dummy
    weston xwayland
)
# The Windows build: mingw-w64 for 32-bit x86 and for x86-64, their zlib, and icotool for the
# programs' icon (made from the demo's images by a tool built for this machine with libpng).
windows_packages=(
    g++-mingw-w64-i686-posix mingw-w64-i686-dev binutils-mingw-w64-i686
    g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev binutils-mingw-w64-x86-64
    libz-mingw-w64-dev icoutils
)
# The app's sources compiled against the real Win32 headers: mingw-w64 for x86-64.
win32_header_packages=(
    g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev
)
# The 64-bit program's run under Wine: 64-bit Wine from the amd64 packages alone (nothing 32-bit,
# no i386 architecture), with the host's Mesa and libpulse; a PulseAudio server whose null sink is
# the sound device; icoutils to read the programs' resources back.
wine_packages=(
    wine wine64 libwine
    pulseaudio pulseaudio-utils icoutils
)
# The 32-bit program's run as well: 32-bit Wine with i386 Mesa for its OpenGL and libpulse for its
# sound.
wine32_packages=(
    wine32:i386 libgl1:i386 libglx-mesa0:i386 libgl1-mesa-dri:i386 libpulse0:i386
)
# The web build (make web) and its tests in Chromium and Firefox: emscripten, Chromium, Firefox
# ESR, and node with npm for the browser driver and Lighthouse (nodesource's node brings its own npm).
web_packages=(emscripten chromium firefox-esr nodejs $(command -v npm >/dev/null || echo npm))
fuzz_packages=(
    clang libclang-rt-dev
)
for option in "$@"; do
    case "$option" in
        --test) packages+=("${test_packages[@]}" "${web_packages[@]}") ;;
        --web) packages+=("${web_packages[@]}") ;;
        --windows) packages+=("${windows_packages[@]}") ;;
        --win32-headers) packages+=("${win32_header_packages[@]}") ;;
        --wine) packages+=("${wine_packages[@]}") ;;
        --wine32) packages+=("${wine_packages[@]}" "${wine32_packages[@]}") ;;
        --fuzz) packages+=("${fuzz_packages[@]}") ;;
        --package) packages+=("${package_packages[@]}") ;;
        *) echo "usage: tools/setup.sh [--test] [--web] [--windows] [--win32-headers] [--wine] [--wine32] [--fuzz] [--package]" >&2; exit 2 ;;
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
log=$(mktemp)
trap 'rm -f "$log"' EXIT
# apt's error lines ("E: ..."), without the prefix, joined into one.
apt_errors() {
    sed -n 's/^E: //p' "$log" | tr '\n' ' ' | sed 's/ *$//; s/  */ /g'
}

# i386 packages need the architecture added first (once; the update below reads its lists). When
# their install fails it is taken away again, so that a broken i386 index does not go on failing
# every later update for nothing.
added_i386=false
if printf '%s\n' "${missing[@]}" | grep -q ':i386$' && ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
    added_i386=true
fi

tries=3
delay=${KELVO_SETUP_RETRY_SECONDS:-5}
for try in $(seq "$tries"); do
    if $sudo apt-get update -q 2>&1 | tee "$log"; then
        break
    fi
    if [ "$try" -eq "$tries" ]; then
        # apt names each index it could not fetch on an "Err:" line (source, suite, component and
        # index after the address), the reason on the line below it.
        failed=$(awk '/^Err:/ { $1 = ""; $2 = ""; sub(/^ +/, ""); name = $0; getline
                                sub(/^ +/, ""); sub(/ *\[IP: [^]]*\]$/, ""); print name " (" $0 ")" }' "$log" |
            sort -u | tr '\n' ';' | sed 's/;$//; s/;/; /g')
        [ -n "$failed" ] || failed=$(apt_errors)
        echo "setup: apt-get update failed $tries times, going on with the package lists already here; failed: ${failed:-no reason given}" >&2
    else
        sleep "$delay"
    fi
done

if ! DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}" 2>&1 | tee "$log"; then
    reason=$(apt_errors)
    # apt refuses the whole set for one package; a dry run of each alone names the ones at fault.
    refused=()
    for p in "${missing[@]}"; do
        $sudo apt-get install -s -q --no-install-recommends "$p" >/dev/null 2>&1 || refused+=("$p")
    done
    [ ${#refused[@]} -gt 0 ] || refused=("${missing[@]}")
    if $added_i386 && ! dpkg-query -W -f='${Architecture}\n' 2>/dev/null | grep -qx i386; then
        $sudo dpkg --remove-architecture i386 || true
    fi
    echo "setup: could not install ${refused[*]}: ${reason:-apt-get gave no reason}" >&2
    exit 3
fi
