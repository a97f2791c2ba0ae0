#!/usr/bin/env bash
# Checks the Windows build (make windows), both programs: build-win32/kelvo.exe is a 32-bit x86
# and build-win64/kelvo.exe an x86-64 GUI program, each importing only Windows' own DLLs, carrying
# the demo's icon, a version record and its application manifest, and shipped in a zip with its
# data, the licences and a README for Windows users. Then each runs under Wine as the Linux build
# does (tests/wine_demo.sh, with the Linux build's frame tool and helpers, built in build/ here
# when missing):
# - the 64-bit program under 64-bit Wine from the amd64 packages alone (tools/setup.sh --wine),
#   on every machine; skipped only when apt refuses those packages;
# - the 32-bit program under 32-bit Wine (tools/setup.sh --wine32), where the i386 packages can
#   be installed and the kernel runs 32-bit programs.
# A skipped run is said in one line, also kept in build-win32/wine-skipped.txt or
# build-win64/wine-skipped.txt; a Wine run that starts and fails fails.
# Run from anywhere: bash tools/check_windows.sh. Exit 0 when everything holds.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
objdump=x86_64-w64-mingw32-objdump
command -v "$objdump" >/dev/null || { echo "check-windows: no $objdump (tools/setup.sh --windows)"; exit 1; }
command -v wrestool >/dev/null && command -v icotool >/dev/null || { echo "check-windows: no wrestool or icotool (tools/setup.sh --windows)"; exit 1; }

# The program's format, machine type, subsystem and imports. $1: win32 or win64.
check_program() {
    local kind=$1 exe=build-$1/kelvo.exe format
    [ "$kind" = win32 ] && format=pei-i386 || format=pei-x86-64
    local header
    header=$("$objdump" -p "$exe")
    echo "$header" | grep -q "file format $format\$" || { echo "check-windows: $exe is not a $format program"; return 1; }
    echo "$header" | grep -qE "^Subsystem[[:space:]]+00000002" || { echo "check-windows: $exe is not a GUI program"; return 1; }
    local imports foreign=""
    imports=$(echo "$header" | awk '/DLL Name:/ { print tolower($3) }' | sort -u)
    for dll in $imports; do
        case "$dll" in
            kernel32.dll | user32.dll | gdi32.dll | opengl32.dll | glu32.dll | winmm.dll | msacm32.dll | msvcrt.dll | advapi32.dll) ;;
            *) foreign="$foreign $dll" ;;
        esac
    done
    [ -n "$imports" ] || { echo "check-windows: $exe imports nothing readable"; return 1; }
    [ -z "$foreign" ] || { echo "check-windows: $exe needs DLLs that Windows does not bring:$foreign"; return 1; }
    echo "check-windows: $exe is a $format GUI program that imports only Windows' own DLLs:" $imports
}

# The resources read back from the program: the icon in the sizes Windows shows, the version
# record, and the manifest (supported Windows versions, DPI awareness, common controls 6, no
# elevation, the program's own machine type).
check_resources() {
    local kind=$1 exe=build-$1/kelvo.exe work problems=""
    work=$(mktemp -d)
    wrestool -x -t 14 "$exe" >"$work/kelvo.ico" 2>/dev/null
    local sizes
    sizes=$(icotool -l "$work/kelvo.ico" 2>/dev/null | sed -n 's/.*--width=\([0-9]*\).*/\1/p' | sort -n | tr '\n' ' ')
    for size in 16 24 32 48 64 256; do
        [[ " $sizes" == *" $size "* ]] || problems="$problems; no ${size}-pixel icon (has: ${sizes:-none})"
    done
    wrestool -x -R -t 16 "$exe" >"$work/version" 2>/dev/null
    local strings
    strings=$(strings -el "$work/version" | tr '\n' '|')
    for field in "ProductName|kelvo" "FileVersion|$version" "ProductVersion|$version" "OriginalFilename|kelvo.exe" \
        "FileDescription|kelvo, a real-time audiovisual demo" "LegalCopyright|Copyright (c) 2026 The kelvo developers; MIT licence"; do
        [[ "|$strings" == *"|$field|"* ]] || problems="$problems; the version record lacks ${field%%|*} \"${field#*|}\""
    done
    wrestool -x -R -t 24 -n 1 "$exe" >"$work/manifest" 2>/dev/null
    local arch
    [ "$kind" = win32 ] && arch=x86 || arch=amd64
    if ! python3 -c 'import sys, xml.dom.minidom; xml.dom.minidom.parse(sys.argv[1])' "$work/manifest" 2>/dev/null; then
        problems="$problems; no well-formed manifest"
    else
        for id in 35138b9a-5d96-4fbd-8e2d-a2440225f93a 4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38 \
            1f676c76-80e1-4239-95bb-83d0f6d0da78 8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a; do
            grep -q "supportedOS Id=\"{$id}\"" "$work/manifest" || problems="$problems; the manifest does not name Windows {$id}"
        done
        grep -q '<dpiAware[^>]*>true/pm</dpiAware>' "$work/manifest" || problems="$problems; the manifest declares no DPI awareness"
        grep -q '<dpiAwareness[^>]*>PerMonitorV2' "$work/manifest" || problems="$problems; the manifest declares no per-monitor DPI awareness"
        grep -q 'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"' "$work/manifest" || problems="$problems; the manifest asks for no common controls 6"
        grep -q 'requestedExecutionLevel level="asInvoker"' "$work/manifest" || problems="$problems; the manifest asks for no plain execution level"
        grep -q "name=\"kelvo\" version=\"$version.0\" processorArchitecture=\"$arch\"" "$work/manifest" ||
            problems="$problems; the manifest's identity is not kelvo $version for $arch"
    fi
    rm -rf "$work"
    [ -z "$problems" ] || { echo "check-windows: $exe:${problems#;}"; return 1; }
    echo "check-windows: $exe carries its icon (${sizes% }), version record ($version) and manifest ($arch)"
}

# The zip holds the program, its data, the licences and a README written for Windows users: one
# that names kelvo.exe and says nothing of the Linux build's set-up.
check_zip() {
    local kind=$1 zip
    zip=build-$kind/kelvo-$version-$kind.zip
    [ -f "$zip" ] || { echo "check-windows: no $zip (make windows)"; return 1; }
    local unpacked folder zip_problems=""
    unpacked=$(mktemp -d)
    (cd "$unpacked" && cmake -E tar xf "$root/$zip") || { rm -rf "$unpacked"; echo "check-windows: $zip does not unpack"; return 1; }
    folder=$(basename "$zip" .zip)
    for name in kelvo.exe README.txt LICENSE.txt LICENSE-libpng.txt LICENSE-zlib.txt \
        data/bg.png data/fg.png data/kelvo.png data/music.mp3; do
        [ -s "$unpacked/$folder/$name" ] || zip_problems="$zip_problems; no $name"
    done
    cmp -s "$unpacked/$folder/kelvo.exe" "build-$kind/kelvo.exe" || zip_problems="$zip_problems; its kelvo.exe is not build-$kind's"
    local readme=$unpacked/$folder/README.txt
    if [ -f "$readme" ]; then
        grep -q "kelvo\.exe" "$readme" || zip_problems="$zip_problems; README.txt does not name kelvo.exe"
        grep -q "win32" "$readme" && grep -q "win64" "$readme" || zip_problems="$zip_problems; README.txt does not say which of the two programs to pick"
        grep -qiE "apt-get|apt install|Makefile|make (run|test|windows)|tools/setup|cmake|Debian" "$readme" &&
            zip_problems="$zip_problems; README.txt speaks of the Linux build: $(grep -oiE "apt-get|apt install|Makefile|make (run|test|windows)|tools/setup|cmake|Debian" "$readme" | sort -u | tr '\n' ' ')"
        grep -q $'\r$' "$readme" || zip_problems="$zip_problems; README.txt has no Windows line ends"
    fi
    rm -rf "$unpacked"
    [ -z "$zip_problems" ] || { echo "check-windows: $zip:${zip_problems#;}"; return 1; }
    echo "check-windows: $zip holds kelvo.exe, its data, the licences and a README for Windows users"
}

version=$(sed -n 's/^project(kelvo VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
status=0
for kind in win32 win64; do
    [ -f "build-$kind/kelvo.exe" ] && [ -f "build-$kind/kelvo_sound_check.exe" ] && [ -f "build-$kind/kelvo_win_probe.exe" ] ||
        { echo "check-windows: no build-$kind/kelvo.exe and its test programs (make windows)"; exit 1; }
    rm -f "build-$kind/wine-skipped.txt"
    check_program "$kind" || status=1
    check_resources "$kind" || status=1
    check_zip "$kind" || status=1
done
[ "$status" -eq 0 ] || exit 1

# Installs the Wine packages of option $1; on a refusal by apt says why in one line and returns 3.
install_wine() {
    local log status
    log=$(mktemp)
    bash tools/setup.sh "$1" 2>"$log"
    status=$?
    cat "$log" >&2
    why=$(grep '^setup: could not install' "$log" | tail -n 1 | sed 's/^setup: //')
    rm -f "$log"
    return "$status"
}
skip() { # kind why
    echo "check-windows: the Wine run of build-$1/kelvo.exe was skipped: $2" | tee "build-$1/wine-skipped.txt"
}

[ -f build/CMakeCache.txt ] || cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null || exit 1
linux_tools=(kelvo_sound_check kelvo_x11_close kelvo_x11_picture kelvo_x11_match kelvo_frame)
run_wine() { # kind machine
    cmake --build build -j 2 --target "${linux_tools[@]}" >/dev/null || {
        echo "check-windows: the Linux tools the Wine run needs do not build"
        return 1
    }
    echo "== build-$1/kelvo.exe under Wine ($2)"
    bash tests/wine_demo.sh "$2" "build-$1/kelvo.exe" "build-$1/kelvo_sound_check.exe" "build-$1/kelvo_win_probe.exe" \
        build/tests/kelvo_sound_check build/tests/kelvo_x11_close build/tests/kelvo_x11_picture build/tests/kelvo_x11_match \
        build/offline/kelvo_frame
}

# The 64-bit program: 64-bit Wine runs on any x86-64 machine.
install_wine --wine
case $? in
    0) run_wine win64 x86-64 || status=1 ;;
    3) skip win64 "the 64-bit Wine packages could not be installed ($why)" ;;
    *) echo "check-windows: tools/setup.sh --wine failed"; exit 1 ;;
esac

# The 32-bit program, where 32-bit Wine can be had and run.
install_wine --wine32
case $? in
    0)
        # 32-bit Wine needs a kernel that runs 32-bit x86 programs; one built without that support
        # (some virtual machines) refuses even the i386 loader, so no 32-bit Wine run can start.
        if ! /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
            skip win32 "this machine's kernel does not run 32-bit x86 programs (the i386 loader /lib/ld-linux.so.2 does not start)"
        else
            run_wine win32 x86 || status=1
        fi ;;
    3) skip win32 "the 32-bit Wine packages could not be installed ($why)" ;;
    *) echo "check-windows: tools/setup.sh --wine32 failed"; exit 1 ;;
esac
exit "$status"
