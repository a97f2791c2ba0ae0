#!/usr/bin/env bash
# Checks the Windows build (make windows): build-windows/kelvo.exe is a 32-bit x86 GUI program
# that imports only Windows' own DLLs, and under Wine it behaves as the Linux build does
# (tests/wine_demo.sh, with the Linux build's frame tool and helpers, built in build/ here when
# missing). Wine is installed first (tools/setup.sh --wine); when apt cannot install it, the Wine
# run is skipped, said in one line that is also kept in build-windows/wine-skipped.txt, and the
# other checks decide. Run from anywhere: bash tools/check_windows.sh. Exit 0 when everything holds.
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

[ -f build/CMakeCache.txt ] || cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null || exit 1
cmake --build build -j 2 --target kelvo_sound_check kelvo_x11_close kelvo_x11_picture kelvo_x11_match kelvo_frame >/dev/null || {
    echo "check-windows: the Linux tools the Wine run needs do not build"
    exit 1
}
bash tests/wine_demo.sh "$exe" build-windows/kelvo_sound_check.exe build/tests/kelvo_sound_check \
    build/tests/kelvo_x11_close build/tests/kelvo_x11_picture build/tests/kelvo_x11_match build/offline/kelvo_frame
