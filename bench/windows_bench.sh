#!/usr/bin/env bash
# The Windows programs' frame time under Wine beside the Linux build's, on one X server (Xvfb)
# and the same Mesa (llvmpipe), and the F1 switch's time: bench_frame built for Linux
# (build/bench/bench_frame, drawing through SDL on X11) and for Windows (build-win64/ and, where
# 32-bit Wine runs, build-win32/bench_frame.exe), in turns, ROUNDS times each; prints each round
# and the medians with the ratios to Linux. Run from the repository root after make windows and
# make build: bash bench/windows_bench.sh [FRAMES] [ROUNDS]
set -u
frames=${1:-150}
rounds=${2:-3}
cd "$(dirname "$0")/.."
. tests/x11/windows.sh
need_tools Xvfb wine wineserver
export WINEPREFIX=$workdir/prefix WINEDEBUG=-all HOME=$workdir XDG_RUNTIME_DIR=$workdir/run
export WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe=d"
mkdir -p "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
extra_cleanup() {
    wineserver -k 2>/dev/null
    wineserver -w 2>/dev/null
}

programs=(linux)
[ -x build/bench/bench_frame ] || die "no build/bench/bench_frame (make build)"
[ -f build-win64/bench_frame.exe ] && programs+=(win64) || echo "no build-win64/bench_frame.exe (make windows)"
if [ -f build-win32/bench_frame.exe ] && /lib/ld-linux.so.2 --version >/dev/null 2>&1 && [ -x /usr/lib/wine/wine ]; then
    programs+=(win32)
else
    echo "the 32-bit program is left out: no 32-bit Wine here"
fi

start_x 1024x768
wine wineboot -i >/dev/null 2>&1 || die "the Wine prefix could not be made"
# Wine lets the window manager manage its windows, and on hiding or destroying a shown one waits
# up to 2 s for the manager to say it has withdrawn it; Xvfb has none, so every F1 would take
# 2 s more, which no Windows desktop costs. Unmanaged windows are not waited for.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 || die "could not set up Wine's X11 driver"

# One run: "FRAME-MS F1-MS" of program $1.
run() {
    local out
    case "$1" in
        linux) out=$(SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=dummy build/bench/bench_frame "$frames" 2>&1) ;;
        *) out=$(wine "build-$1/bench_frame.exe" "$frames" 2>&1 | tr -d '\r') ;;
    esac
    local frame f1
    [ -n "${renderer[$1]:-}" ] || renderer[$1]=$(echo "$out" | sed -n 's/^renderer: //p')
    frame=$(echo "$out" | awk '/^whole frame with swap:/ { print $5 }')
    f1=$(echo "$out" | awk '/^F1 switch to the first frame:/ { print $7 }')
    [ -n "$frame" ] && [ -n "$f1" ] || { echo "$1 gave no figures: $(echo "$out" | tail -n 3 | tr '\n' ' ')" >&2; return 1; }
    echo "$frame $f1"
}
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

echo "bench_frame, $frames frames at the clock where both overlays show, on one Xvfb"
declare -A frame_ms f1_ms renderer
for round in $(seq "$rounds"); do
    for program in "${programs[@]}"; do
        run "$program" >"$workdir/figures" || exit 1
        figures=$(cat "$workdir/figures")
        echo "round $round  $program  frame ${figures% *} ms  F1 ${figures#* } ms"
        frame_ms[$program]="${frame_ms[$program]:-} ${figures% *}"
        f1_ms[$program]="${f1_ms[$program]:-} ${figures#* }"
    done
done
linux_frame=$(echo "${frame_ms[linux]}" | tr ' ' '\n' | grep . | median)
linux_f1=$(echo "${f1_ms[linux]}" | tr ' ' '\n' | grep . | median)
for program in "${programs[@]}"; do
    echo "  $program draws with: ${renderer[$program]:-?}"
done
echo "medians of $rounds rounds:"
for program in "${programs[@]}"; do
    frame=$(echo "${frame_ms[$program]}" | tr ' ' '\n' | grep . | median)
    f1=$(echo "${f1_ms[$program]}" | tr ' ' '\n' | grep . | median)
    awk -v p="$program" -v f="$frame" -v s="$f1" -v lf="$linux_frame" -v ls="$linux_f1" \
        'BEGIN { printf "  %-6s frame %7.2f ms (%.2f x Linux)   F1 switch %7.1f ms (%.2f x Linux)\n", p, f, f / lf, s, s / ls }'
done
