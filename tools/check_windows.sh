#!/usr/bin/env bash
# Checks the Windows build (make windows): build-windows/kelvo.exe is a 32-bit x86 GUI program
# that imports only Windows' own DLLs, and under Wine it behaves as the Linux build does
# (tests/wine_demo.sh, with the Linux build's frame tool and helpers, built in build/ here when
# missing). Wine is installed first (tools/setup.sh --wine); when apt cannot install it, or the
# kernel cannot run 32-bit programs, the Wine run is skipped, said in one line that is also kept in
# build-windows/wine-skipped.txt, and the other checks decide; a Wine run that starts and fails
# fails. Run from anywhere: bash tools/check_windows.sh. Exit 0 when everything holds.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
exe=build-windows/kelvo.exe
[ -f "$exe" ] && [ -f build-windows/kelvo_sound_check.exe ] || { echo "check-windows: no $exe (make windows)"; exit 1; }
objdump=i686-w64-mingw32-objdump
command -v "$objdump" >/dev/null || objdump=objdump

header=$("$objdump" -p "$exe")
echo "$header" | grep -q "file format pei-i386" || { echo "check-windows: $exe is not a 32-bit x86 program"; exit 1; }
echo "$header" | grep -qE "^Subsystem[[:space:]]+00000002" || { echo "check-windows: $exe is not a GUI program"; exit 1; }
imports=$(echo "$header" | awk '/DLL Name:/ { print tolower($3) }' | sort -u)
foreign=""
for dll in $imports; do
    case "$dll" in
        kernel32.dll | user32.dll | gdi32.dll | opengl32.dll | glu32.dll | winmm.dll | msacm32.dll | msvcrt.dll | advapi32.dll) ;;
        *) foreign="$foreign $dll" ;;
    esac
done
[ -n "$imports" ] || { echo "check-windows: $exe imports nothing readable"; exit 1; }
[ -z "$foreign" ] || { echo "check-windows: $exe needs DLLs that Windows does not bring:$foreign"; exit 1; }
echo "check-windows: $exe imports only Windows' own DLLs:" $imports

# The zip holds the program, its data, the licences and a README written for Windows users: one
# that names kelvo.exe and says nothing of the Linux build's set-up.
zip=$(ls build-windows/kelvo-*-win32.zip 2>/dev/null | head -n 1)
[ -n "$zip" ] || { echo "check-windows: no zip in build-windows (make windows)"; exit 1; }
unpacked=$(mktemp -d)
(cd "$unpacked" && cmake -E tar xf "$root/$zip") || { rm -rf "$unpacked"; echo "check-windows: $zip does not unpack"; exit 1; }
folder=$(basename "$zip" .zip)
zip_problems=""
for name in kelvo.exe README.txt LICENSE.txt LICENSE-libpng.txt LICENSE-zlib.txt \
    data/bg.png data/fg.png data/kelvo.png data/music.mp3; do
    [ -s "$unpacked/$folder/$name" ] || zip_problems="$zip_problems; no $name"
done
readme=$unpacked/$folder/README.txt
if [ -f "$readme" ]; then
    grep -q "kelvo\.exe" "$readme" || zip_problems="$zip_problems; README.txt does not name kelvo.exe"
    grep -qiE "apt-get|apt install|Makefile|make (run|test|windows)|tools/setup|cmake|Debian" "$readme" &&
        zip_problems="$zip_problems; README.txt speaks of the Linux build: $(grep -oiE "apt-get|apt install|Makefile|make (run|test|windows)|tools/setup|cmake|Debian" "$readme" | sort -u | tr '\n' ' ')"
    grep -q $'\r$' "$readme" || zip_problems="$zip_problems; README.txt has no Windows line ends"
fi
rm -rf "$unpacked"
[ -z "$zip_problems" ] || { echo "check-windows: $zip:${zip_problems#;}"; exit 1; }
echo "check-windows: $zip holds kelvo.exe, its data, the licences and a README for Windows users"

skipped=build-windows/wine-skipped.txt
rm -f "$skipped"
setup_log=$(mktemp)
bash tools/setup.sh --wine 2>"$setup_log"
setup_status=$?
cat "$setup_log" >&2
if [ "$setup_status" -eq 3 ]; then
    # apt refused the packages (a broken index, held packages): nothing of ours was tried.
    why=$(grep '^setup: could not install' "$setup_log" | tail -n 1 | sed 's/^setup: //')
    rm -f "$setup_log"
    echo "check-windows: the Wine run was skipped: the Wine packages could not be installed ($why)" | tee "$skipped"
    exit 0
fi
rm -f "$setup_log"
[ "$setup_status" -eq 0 ] || { echo "check-windows: tools/setup.sh --wine failed (status $setup_status)"; exit 1; }
# 32-bit Wine needs a kernel that runs 32-bit x86 programs; one built without that support (some
# virtual machines) refuses even the i386 loader, so no Wine run can start there.
if ! /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
    echo "check-windows: the Wine run was skipped: this machine's kernel does not run 32-bit x86 programs (the i386 loader /lib/ld-linux.so.2 does not start)" | tee "$skipped"
    exit 0
fi

[ -f build/CMakeCache.txt ] || cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null || exit 1
cmake --build build -j 2 --target kelvo_sound_check kelvo_x11_close kelvo_x11_picture kelvo_x11_match kelvo_frame >/dev/null || {
    echo "check-windows: the Linux tools the Wine run needs do not build"
    exit 1
}
bash tests/wine_demo.sh "$exe" build-windows/kelvo_sound_check.exe build/tests/kelvo_sound_check \
    build/tests/kelvo_x11_close build/tests/kelvo_x11_picture build/tests/kelvo_x11_match build/offline/kelvo_frame
