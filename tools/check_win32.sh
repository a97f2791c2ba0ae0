#!/usr/bin/env bash
# Checks the app against the real Win32 headers with Debian's mingw-w64 cross compiler:
# 1. every source of app/, render/, audio/ and texload/ compiles as Win32 code, against mingw's
#    windows.h, GL and GLU headers (our own windows.h stays off the include path; libpng's
#    and zlib's headers are copied from the host into a folder of their own);
# 2. app/ and render/ link into a Windows executable against opengl32, glu32 and gdi32, with
#    tools/win32/standins.cpp in place of the loader and the music;
# 3. every constant of platform/win32_api/win32_api.h that those sources use has the value of
#    the real header.
# Run from anywhere: bash tools/check_win32.sh [WORK-FOLDER]. Exit 0 when all three hold.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
cxx=x86_64-w64-mingw32-g++-posix
command -v "$cxx" >/dev/null || cxx=x86_64-w64-mingw32-g++
command -v "$cxx" >/dev/null || { echo "check-win32: no mingw-w64 compiler (run tools/setup.sh --windows --win32-headers)"; exit 1; }
work=${1:-$(mktemp -d)}
mkdir -p "$work/include" "$work/obj"
[ -n "${1:-}" ] || trap 'rm -rf "$work"' EXIT

# libpng's and zlib's headers only: the host's library folders would bring Linux headers along.
for header in png.h pngconf.h pnglibconf.h zlib.h zconf.h; do
    cp -L "/usr/include/$header" "$work/include/" || { echo "check-win32: no host $header (libpng-dev, zlib1g-dev)"; exit 1; }
done
# The sound library's header is the project's own (there is no other); the Win32 one is not used.
flags=(-std=c++17 -Wall -Wextra -I"$root" -I"$root/platform/sound/include" -I"$work/include")

failed=0
objects=()
for source in app/*.cpp render/*.cpp audio/*.cpp texload/*.cpp; do
    object="$work/obj/$(echo "$source" | tr / _).o"
    if ! "$cxx" "${flags[@]}" -c "$source" -o "$object" 2>"$work/errors"; then
        echo "check-win32: $source does not compile as Win32 code:"
        sed -n 1,20p "$work/errors"
        failed=1
    elif [ -s "$work/errors" ]; then
        echo "check-win32: $source compiles as Win32 code with warnings:"
        cat "$work/errors"
        failed=1
    fi
    case "$source" in app/* | render/*) objects+=("$object") ;; esac
done
[ "$failed" -eq 0 ] || exit 1

if ! "$cxx" "${flags[@]}" -mwindows -static -o "$work/kelvo.exe" "${objects[@]}" tools/win32/standins.cpp \
        -lglu32 -lopengl32 -lgdi32 2>"$work/errors"; then
    echo "check-win32: app/ and render/ do not link into a Windows executable:"
    sed -n 1,20p "$work/errors"
    exit 1
fi

# The constants: our header's values, printed by a host program, become static_asserts that the
# cross compiler checks against the real header. Resource ids are compared as numbers.
names=$(grep -oE '^#define +[A-Z][A-Z0-9_]* +[^ ]' platform/win32_api/win32_api.h | awk '{ print $2 }' |
    while read -r name; do grep -qw "$name" app/*.cpp app/*.h render/* audio/* texload/* && echo "$name"; done)
[ -n "$names" ] || { echo "check-win32: found no Win32 constants in the app"; exit 1; }
{
    echo '#include <windows.h>'
    echo '#include <cstdio>'
    echo '#undef MAKEINTRESOURCEA'
    echo '#define MAKEINTRESOURCEA(i) (i)'
    echo 'int main() {'
    for name in $names; do
        echo "    std::printf(\"static_assert((long long)($name) == %lldLL, \\\"$name is %lld in platform/win32_api/win32_api.h\\\");\\n\", (long long)($name), (long long)($name));"
    done
    echo '}'
} >"$work/ours.cpp"
c++ -std=c++17 -I"$root" -I"$root/platform/linux/include" "$work/ours.cpp" -o "$work/ours" || exit 1
{
    echo '#include <windows.h>'
    echo '#undef MAKEINTRESOURCEA'
    echo '#define MAKEINTRESOURCEA(i) (i)'
    "$work/ours"
} >"$work/constants.cpp"
if ! "$cxx" -std=c++17 -fsyntax-only "$work/constants.cpp" 2>"$work/errors"; then
    echo "check-win32: constants of platform/win32_api/win32_api.h differ from the real header:"
    grep -oE "static assertion failed: [^\"]*\"?[^\"]*" "$work/errors" | sed 's/^static assertion failed: /  /'
    exit 1
fi
echo "check-win32: $(ls app/*.cpp render/*.cpp audio/*.cpp texload/*.cpp | wc -l) sources compile as Win32 code," \
    "app/ and render/ link into kelvo.exe, $(echo "$names" | wc -w) constants agree with the real windows.h"
