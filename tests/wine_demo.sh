#!/usr/bin/env bash
# The Windows build under Wine, on an X server (Xvfb) of its own, with a PulseAudio server of its
# own whose null sink gives Wine's waveOut a device with no sound card:
# - the sound layer's check program on the real device, on none (silent, one line on standard
#   error), and its renders of the test tracks and
#   the music against the Linux build's (every stretch within 1 ms);
# - with the images and no music, answered No: a window "kelvo" of 800 x 600 whose picture is the
#   Linux frame tool's frame at 0, "Error!" and "File Not Found" on standard output, Escape ends
#   it with exit code 0;
# - with the music, answered Yes: the fallback question "QEZ", the music playing into PulseAudio
#   and the picture moving with it, N brings it back, M moves it on, F1 goes through the fallback again, M held reaches
#   the end and the demo exits 0 by itself;
# - the close request exits 0.
# Every step waits for its effect (within a bound) rather than for a fixed time.
# Usage, from the repository root: wine_demo.sh KELVO.EXE SOUND-CHECK.EXE LINUX-SOUND-CHECK
#   CLOSE-HELPER PICTURE-HELPER MATCH-HELPER FRAME-TOOL
set -u
[ $# -eq 7 ] || { echo "usage: wine_demo.sh KELVO.EXE SOUND-CHECK.EXE LINUX-SOUND-CHECK CLOSE PICTURE MATCH FRAME-TOOL"; exit 2; }
# Absolute paths: the demo runs in folders of its own.
for program in "$@"; do
    [ -f "$program" ] || { echo "missing $program"; exit 1; }
done
exe=$(realpath "$1")
soundcheck=$(realpath "$2")
linuxcheck=$(realpath "$3")
closer=$(realpath "$4")
picture=$(realpath "$5")
matcher=$(realpath "$6")
frametool=$(realpath "$7")
. "$(dirname "$0")/x11/windows.sh"
need_tools Xvfb xdotool xwininfo wine wineserver pulseaudio pactl
[ -f data/music.mp3 ] || { echo "run from the repository root: no data/music.mp3"; exit 1; }
# Wine and PulseAudio keep their state under the test's folder, never the user's.
export WINEPREFIX=$workdir/prefix WINEDEBUG=-all HOME=$workdir XDG_RUNTIME_DIR=$workdir/run
# No Mono, Gecko or menu entries: their installers would ask with boxes of their own.
export WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe=d"
export PULSE_SERVER=unix:$workdir/pulse.sock
mkdir -p "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
# Wine's own server, and every Windows process it runs, end before the X and sound servers.
extra_cleanup() {
    [ -n "$demo_pid" ] && kill "$demo_pid" 2>/dev/null
    wineserver -k 2>/dev/null
    wineserver -w 2>/dev/null
}
start_demo() { # $1: output file name, $2: the folder it runs in (the one that holds data/)
    (cd "${2:-.}" && exec wine "$exe") >"$workdir/$1" 2>&1 &
    demo_pid=$!
}
# The two builds draw with llvmpipe for two instruction sets (i386 and x86-64), which may round a
# blend by one step either way; a channel more than 1 apart is a different picture.
matches_frame() { "$matcher" "$1" "$workdir/start.png" 1 >"$workdir/match" 2>&1; }
# The Windows program plays into the null sink now.
plays_into_sink() { [ -n "$(pactl list short sink-inputs 2>/dev/null)" ]; }

"$frametool" 0 "$workdir/start.png" >/dev/null 2>&1 || die "the frame tool could not draw clock 0"

pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no --disable-shm=yes \
    -L "module-native-protocol-unix socket=$workdir/pulse.sock auth-anonymous=1" \
    -L "module-null-sink sink_name=kelvo_null" >"$workdir/pulse.log" 2>&1 &
pulse_pid=$!
wait_for 30 pactl info >/dev/null 2>&1 || die "PulseAudio did not start: $(tail -n 3 "$workdir/pulse.log")"
# The screen has no 800 x 600 mode, so that fullscreen falls back through "QEZ".
start_x 1024x768
began=$SECONDS
wine wineboot -i >"$workdir/out-wineboot" 2>&1 || die "the Wine prefix could not be made"
echo "Wine prefix made in $((SECONDS - began)) s"

echo "== the sound layer on waveOut, and its decoder against the Linux one"
wine "$soundcheck" device data/music.mp3 >"$workdir/out-device" 2>&1 || fail "the sound check on the device"
cat "$workdir/out-device"
# With no sound server to be had, Wine has no waveOut device: the silent output, and one line.
PULSE_SERVER=unix:$workdir/no-server wine "$soundcheck" silent data/music.mp3 >"$workdir/out-silent" 2>"$workdir/err-silent" \
    || fail "the sound check with no device: $(cat "$workdir/out-silent")"
grep -q "^sound: no audio device (.*); the music is silent" "$workdir/err-silent" || fail "no line on standard error without a device"
echo "no device: $(grep -c '^ok' "$workdir/out-silent") checks, and: $(grep '^sound:' "$workdir/err-silent")"
for track in tests/data/stereo44_tag.mp3 tests/data/stereo48.mp3 tests/data/mono22.mp3 tests/data/vbr44.mp3 data/music.mp3; do
    "$linuxcheck" render "$track" "$workdir/linux.raw" >"$workdir/linux.positions" || die "the Linux render of $track"
    wine "$soundcheck" render "$track" "$workdir/windows.raw" >"$workdir/windows.positions" 2>&1 \
        || { fail "the Windows render of $track: $(cat "$workdir/windows.positions")"; continue; }
    tr -d '\r' <"$workdir/windows.positions" | cmp -s - "$workdir/linux.positions" \
        || fail "$track: positions differ: $(tr '\n' ' ' <"$workdir/windows.positions") against $(tr '\n' ' ' <"$workdir/linux.positions")"
    if "$linuxcheck" compare "$workdir/linux.raw" "$workdir/windows.raw" >"$workdir/compare"; then
        echo "$track: the same positions, every stretch within 1 ms ($(grep -c '^ok' "$workdir/compare") checks)"
    else
        fail "$track: the two decoders disagree"
        cat "$workdir/compare"
    fi
done

echo "== the images without the music, answered No: the Linux frame at 0, then Escape"
mkdir -p "$workdir/nomusic/data"
cp data/bg.png data/fg.png data/kelvo.png "$workdir/nomusic/data/"
start_demo out1 "$workdir/nomusic"
answer "Start FullScreen?" n || die "no start question"
win=$(wait_window kelvo) || die "no kelvo window"
[ "$(geometry "$win")" = "800x600" ] || fail "client area $(geometry "$win"), expected 800x600"
wait_for 60 matches_frame "$win" || fail "the picture is not the Linux frame at 0: $(cat "$workdir/match")"
echo "against the Linux frame at 0: $(cat "$workdir/match")"
hold "$win" Escape 30 exited || fail "Escape did not end the demo"
wait_exit 0
tr -d '\r' <"$workdir/out1" | grep -qx "Error!" || fail "no \"Error!\" on standard output without the music"
tr -d '\r' <"$workdir/out1" | grep -qx "File Not Found" || fail "no \"File Not Found\" on standard output"

echo "== the music, answered Yes: the fallback, M, N, F1 through the fallback, M held to the end"
start_demo out2
answer "Start FullScreen?" || die "no start question"
answer "QEZ" || die "no fallback question on a display without 800x600"
win=$(wait_window kelvo) || die "no kelvo window"
[ "$(geometry "$win")" = "800x600" ] || fail "client area $(geometry "$win"), expected 800x600"
wait_for 60 shows_picture "$win" || fail "no picture between black bands: bands=$bands mean=$mean white=$white"
wait_for 30 plays_into_sink || fail "the music does not play into the sound server"
wait_for 60 far_from_start "$win" || fail "the picture does not move on with the music (diff=$diff)"
echo "with the music playing: diff=$diff to the start"
hold "$win" n 60 near_start "$win" || fail "N did not bring the picture back to the start (diff=$diff)"
echo "after N: diff=$diff to the start"
hold "$win" m 60 far_from_start "$win" || fail "M did not move the picture on (diff=$diff)"
echo "after M: diff=$diff to the start"
hold "$win" F1 30 gone "$win" || die "F1 did not re-create the window"
answer "QEZ" || die "F1 did not ask again"
win=$(wait_window kelvo) || die "no kelvo window after F1"
[ "$(geometry "$win")" = "800x600" ] || fail "client area after F1 $(geometry "$win")"
wait_for 60 shows_picture "$win" || fail "no picture after F1"
began=$SECONDS
hold "$win" m 200 exited || fail "M held did not reach the end"
echo "M held to the end: $((SECONDS - began)) s"
wait_exit 0

echo "== the close request"
start_demo out3
answer "Start FullScreen?" n || die "no start question"
win=$(wait_window kelvo) || die "no kelvo window"
wait_for 60 shows_picture "$win" || fail "no picture"
"$closer" "$win" || fail "could not send the close request"
wait_exit 0

finish
