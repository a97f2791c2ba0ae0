#!/usr/bin/env bash
# A Windows program under Wine, on an X server (Xvfb) of its own, with a PulseAudio server of its
# own whose null sink gives Wine's waveOut a device with no sound card:
# - the program is of the machine type asked for (x86 or x86-64): a program that Wine cannot run
#   may end at once with exit code 0 and say nothing;
# - the sound layer's check program on the real device, on none (silent, one line on standard
#   error), and its renders of the test tracks (joined files changing channels and rate among
#   them, and files that are easy to lose a part of) and the music against the Linux build's
#   (every stretch within 1 ms); a layer II part between two MP3s named in the demo's line;
# - with the images and no music, answered No: a window "kelvo" of 800 x 600 whose picture is the
#   Linux frame tool's frame at 0, "Error!" and "File Not Found" on standard output, Escape ends
#   it with exit code 0;
# - with the music, answered Yes: the fallback question "QEZ", the music playing into PulseAudio
#   and the picture moving with it, N brings it back, M moves it on, F1 goes through the fallback
#   again, M held reaches the end and the demo exits 0 by itself;
# - the close request exits 0; "QEZ" answered No shows "Program Will Now Close." and exits 1;
# - on an X server without GLX the window layer's creation failure box ("ERROR"), exit 1;
# - with a stand-in opengl32.dll (tests/windows/gl_standin.c) failing SetPixelFormat,
#   wglCreateContext or wglMakeCurrent, their "ERROR" boxes and exit 1; failing the teardown's release and delete,
#   their two "SHUTDOWN ERROR" boxes, the teardown going on to exit 0;
# - the music under load: while busy loops keep the machine's cores busy, the sound layer's queue
#   on waveOut never runs dry (the device's own word), and the null sink's recording is measured;
# - in a Wine virtual desktop that offers 800 x 600 (the display-mode change as Windows makes
#   it), driven from inside Wine by the window probe (tests/windows/win_probe.cpp): Yes gives an
#   800 x 600 desktop with a WS_POPUP window covering it, F1 gives the desktop's own mode back with
#   the 800 x 600 window and F1 again goes back, and Escape, the close request and the end at 142 s
#   each leave the desktop in its own mode; WM_SYSCOMMAND with SC_SCREENSAVE and SC_MONITORPOWER
#   never reaches DefWindowProcA (seen in Wine's relay trace), where SC_MINIMIZE does.
# Every step waits for its effect (within a bound) rather than for a fixed time.
# Usage, from the repository root: wine_demo.sh x86|x86-64 KELVO.EXE SOUND-CHECK.EXE PROBE.EXE
#   LINUX-SOUND-CHECK CLOSE-HELPER PICTURE-HELPER MATCH-HELPER FRAME-TOOL
set -u
[ $# -eq 9 ] || { echo "usage: wine_demo.sh x86|x86-64 KELVO.EXE SOUND-CHECK.EXE PROBE.EXE LINUX-SOUND-CHECK CLOSE PICTURE MATCH FRAME-TOOL"; exit 2; }
machine=$1
shift
# Absolute paths: the demo runs in folders of its own.
for program in "$@"; do
    [ -f "$program" ] || { echo "missing $program"; exit 1; }
done
exe=$(realpath "$1")
soundcheck=$(realpath "$2")
probe_exe=$(realpath "$3")
linuxcheck=$(realpath "$4")
closer=$(realpath "$5")
picture=$(realpath "$6")
matcher=$(realpath "$7")
frametool=$(realpath "$8")
. "$(dirname "$0")/x11/windows.sh"
need_tools Xvfb xdotool xwininfo wine wineserver pulseaudio pactl parec x86_64-w64-mingw32-objdump x86_64-w64-mingw32-gcc
[ -f data/music.mp3 ] || { echo "run from the repository root: no data/music.mp3"; exit 1; }
case "$machine" in
    x86) format=pei-i386 ;;
    x86-64) format=pei-x86-64 ;;
    *) echo "wine_demo.sh: no machine type $machine"; exit 2 ;;
esac
for program in "$exe" "$soundcheck" "$probe_exe"; do
    x86_64-w64-mingw32-objdump -f "$program" | grep -q "file format $format\$" ||
        die "$program is not an $machine program: $(x86_64-w64-mingw32-objdump -f "$program" | grep -o 'file format .*')"
done
echo "the $machine programs: $(basename "$exe"), $(basename "$soundcheck"), $(basename "$probe_exe")"
# Wine and PulseAudio keep their state under the test's folder, never the user's.
export WINEPREFIX=$workdir/prefix WINEDEBUG=-all HOME=$workdir XDG_RUNTIME_DIR=$workdir/run
# No Mono, Gecko or menu entries: their installers would ask with boxes of their own.
export WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe=d"
export PULSE_SERVER=unix:$workdir/pulse.sock
# Between waveOut and the sound server, Wine's own sound path keeps only a few milliseconds by
# default, which a busy machine runs dry whatever the program queues; the server is asked to keep
# 200 ms for its clients.
export PULSE_LATENCY_MSEC=200
mkdir -p "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
# Wine's own server, and every Windows process it runs, end before the X and sound servers.
extra_cleanup() {
    [ -n "$demo_pid" ] && kill "$demo_pid" 2>/dev/null
    [ -n "$busy_pids" ] && kill $busy_pids 2>/dev/null
    [ -n "$record_pid" ] && kill "$record_pid" 2>/dev/null
    wineserver -k 2>/dev/null
    wineserver -w 2>/dev/null
}
busy_pids="" record_pid=""
# The window probe, inside this Wine session: prints what it found, or fails.
probe() { wine "$probe_exe" "$@" 2>/dev/null | tr -d '\r'; }
# The display's mode and the demo's window, as the probe sees them: "mode WxH window ...".
probe_state() { probe state | tr '\n' ' ' | sed 's/ $//'; }
state_is() { state=$(probe_state); [[ "$state" == $1 ]]; }
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
# A program that did not run prints nothing, and may still exit 0.
[ "$(grep -c '^ok: ' "$workdir/out-device")" -ge 8 ] && ! grep -q '^FAILED' "$workdir/out-device" ||
    fail "the sound check on the device did not make its checks"
# With no sound server to be had, Wine has no waveOut device: the silent output, and one line.
PULSE_SERVER=unix:$workdir/no-server wine "$soundcheck" silent data/music.mp3 >"$workdir/out-silent" 2>"$workdir/err-silent" \
    || fail "the sound check with no device: $(cat "$workdir/out-silent")"
grep -q "^sound: no audio device (.*); the music is silent" "$workdir/err-silent" || fail "no line on standard error without a device"
echo "no device: $(grep -c '^ok' "$workdir/out-silent") checks, and: $(grep '^sound:' "$workdir/err-silent")"
# Files joined end to end that are easy to lose a part of: a second file with no info frame,
# bytes between that begin like a frame header, and a layer II file between two layer III ones.
cat tests/data/stereo44_tag.mp3 tests/data/stereo44_notag.mp3 >"$workdir/tag_then_plain.mp3"
{ cat tests/data/stereo44_tag.mp3; printf '\377\373\220\000\001\002\003\004\005\006\007\010\011\012\013'
  cat tests/data/vbr44.mp3; } >"$workdir/stray_between.mp3"
# 38 silent MPEG-1 layer II frames (44.1 kHz stereo, 128 kbit/s, 417 bytes each): a second.
layer_two() { for _ in $(seq 38); do printf '\377\375\200\000'; head -c 413 /dev/zero; done; }
{ cat tests/data/stereo44_tag.mp3; layer_two; cat tests/data/vbr44.mp3; } >"$workdir/layer2_between.mp3"
{ layer_two; cat tests/data/stereo44_tag.mp3; } >"$workdir/layer2_first.mp3"
for track in tests/data/stereo44_tag.mp3 tests/data/stereo48.mp3 tests/data/mono22.mp3 tests/data/vbr44.mp3 \
    tests/data/joined44.mp3 tests/data/mono_then_stereo.mp3 tests/data/rate44_then_22.mp3 \
    "$workdir/tag_then_plain.mp3" "$workdir/stray_between.mp3" "$workdir/layer2_between.mp3" "$workdir/layer2_first.mp3" \
    data/music.mp3; do
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

echo "== a joined file with a layer II part: the demo names it and plays on"
mkdir -p "$workdir/layer2/data"
cp data/bg.png data/fg.png data/kelvo.png "$workdir/layer2/data/"
cp "$workdir/layer2_between.mp3" "$workdir/layer2/data/music.mp3"
start_demo out-layer2 "$workdir/layer2"
answer "Start FullScreen?" n || die "no start question"
win=$(wait_window kelvo) || die "no kelvo window"
# The music starts after the window is shown.
music_line() { line=$(tr -d '\r' <"$workdir/out-layer2" | grep '^kelvo: data/music.mp3: '); [ -n "$line" ]; }
wait_for 60 music_line
[ "$line" = "kelvo: data/music.mp3: damaged at 0:03 (MPEG layer 2 audio, not MP3); the music goes on with the next file" ] ||
    fail "the layer II part: '$line'"
echo "$line"
"$closer" "$win" || fail "could not send the close request"
wait_exit 0

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

echo "== the failure boxes: fullscreen refused and windowed declined, then no GLX on the display"
start_demo out4
answer "Start FullScreen?" || die "no start question"
line=$(probe box QEZ 60) || fail "no fallback question: $line"
probe press QEZ no 10 >/dev/null || fail "could not answer the fallback question No"
line=$(probe box ERROR 30)
[ "$line" = "box ERROR: Program Will Now Close." ] || fail "declining windowed mode: '$line'"
echo "declined: $line"
probe press ERROR ok 10 >/dev/null || fail "could not close the box"
wait_exit 1
# Without GLX, Wine's GL has no pixel format to offer: the creation fails at ChoosePixelFormat
# (or, on another Wine, at the context), with the box of that step.
wineserver -k 2>/dev/null
wineserver -w 2>/dev/null
stop_x
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -r -noreset -extension GLX 3>"$workdir/display" 2>"$workdir/xvfb.log" &
x_pid=$!
wait_for 30 test -s "$workdir/display" || die "Xvfb without GLX did not start"
export DISPLAY=":$(head -n1 "$workdir/display")"
start_demo out5
line=$(probe press "Start FullScreen?" no 60) || fail "no start question without GLX: $line"
line=$(probe box ERROR 60)
case "$line" in
    "box ERROR: Can't Find A Suitable PixelFormat." | "box ERROR: Can't Set The PixelFormat." | \
    "box ERROR: Can't Create A GL Rendering Context." | "box ERROR: Can't Activate The GL Rendering Context.")
        echo "without GLX: $line" ;;
    *) fail "without GLX: '$line', expected the box of a GL step" ;;
esac
probe press ERROR ok 10 >/dev/null || fail "could not close the box"
wait_exit 1
wineserver -k 2>/dev/null
wineserver -w 2>/dev/null
start_x 1024x768

echo "== the failure boxes of a GL driver that fails: a stand-in opengl32.dll beside the program"
# Failing calls answered No to the start question, then the boxes, in order, and the exit code.
gl_fails() { # calls-to-fail exit-code box... ("CAPTION: TEXT"; the last one closes the program)
    local calls=$1 code=$2
    shift 2
    mkdir -p "$workdir/standin/data"
    cp "$workdir/gl/opengl32.dll" "$exe" "$workdir/standin/"
    cp data/bg.png data/fg.png data/kelvo.png "$workdir/standin/data/"
    (cd "$workdir/standin" && WINEDLLOVERRIDES="$WINEDLLOVERRIDES;opengl32=n,b" KELVO_GL_FAIL=$calls exec wine kelvo.exe) \
        >"$workdir/out-gl-$calls" 2>&1 &
    demo_pid=$!
    probe press "Start FullScreen?" no 60 >/dev/null || { fail "$calls: no start question"; return; }
    if [ "$calls" = wglReleaseCurrent,wglDeleteContext ]; then
        wait_for 60 state_is "$windowed" || fail "$calls: no window: '$state'"
        probe keydown escape >/dev/null || fail "could not press Escape"
    fi
    local box seen=""
    for box in "$@"; do
        line=$(probe box "${box%%: *}" 60)
        [ "$line" = "box $box" ] || fail "$calls: '$line', expected the box '$box'"
        seen="$seen; ${line#box }"
        probe press "${box%%: *}" ok 10 >/dev/null || fail "could not close the box"
    done
    wait_exit "$code"
    echo "$calls failing:${seen#;}"
}
if [ "$machine" = x86-64 ]; then
    windowed="mode 1024x768 window overlapped 0 0 * * client 800 600 visible shown"
    wine_gl=$(ls /usr/lib/*/wine/x86_64-windows/opengl32.dll 2>/dev/null | head -n 1)
    if [ -z "$wine_gl" ] || ! bash "$(dirname "$0")/windows/gl_standin.sh" "$wine_gl" "$workdir/gl" >"$workdir/gl.log" 2>&1; then
        fail "the stand-in opengl32.dll was not built: $(tail -n 3 "$workdir/gl.log" 2>/dev/null)"
    else
        gl_fails wglSetPixelFormat 1 "ERROR: Can't Set The PixelFormat."
        gl_fails wglCreateContext 1 "ERROR: Can't Create A GL Rendering Context."
        # The teardown before the box releases a context that never became current, which Wine's
        # wglMakeCurrent(NULL, NULL) refuses: its box comes first, and the teardown goes on.
        gl_fails wglMakeCurrent 1 "SHUTDOWN ERROR: Release Of DC And RC Failed." "ERROR: Can't Activate The GL Rendering Context."
        gl_fails wglReleaseCurrent,wglDeleteContext 0 "SHUTDOWN ERROR: Release Of DC And RC Failed." \
            "SHUTDOWN ERROR: Release Rendering Context Failed."
    fi
else
    echo "the stand-in opengl32.dll is built for x86-64 only: these boxes are checked on the 64-bit program"
fi

echo "== the music under load: the layer's queue never runs dry"
# Three busy loops on this machine's cores while the sound check plays 8 s on waveOut, and the
# sound server's null sink is recorded.
parec -d kelvo_null.monitor --format=s16le --rate=44100 --channels=2 --raw >"$workdir/recording.raw" 2>"$workdir/parec.log" &
record_pid=$!
for _ in 1 2 3; do
    sh -c 'while :; do :; done' &
    busy_pids="$busy_pids $!"
done
wine "$soundcheck" play data/music.mp3 8 >"$workdir/out-load" 2>&1
played=$?
kill "$record_pid" $busy_pids 2>/dev/null
wait "$record_pid" $busy_pids 2>/dev/null
record_pid="" busy_pids=""
if [ "$played" -eq 0 ] && grep -q "^ok: the queue never ran dry" "$workdir/out-load"; then
    echo "under load: $(grep -h '^ok: ' "$workdir/out-load" | sed -n '3,$p' | sed 's/^ok: //' | tr '\n' ';' | sed 's/;$//; s/;/; /g')"
else
    fail "under load: $(tr -d '\r' <"$workdir/out-load" | tr '\n' ' ')"
fi
# What reached the sound server, for the record: Wine's own path between waveOut and the server
# may drop out on a busy machine whatever the program queues.
"$linuxcheck" gaps "$workdir/recording.raw" | sed 's/^[A-Za-z]*: /recorded from the sound server: /'

echo "== the display-mode change in a virtual desktop of 1024 x 768"
wineserver -k 2>/dev/null
wineserver -w 2>/dev/null
start_x 1280x1024
wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1 &&
    wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null 2>&1 ||
    die "could not set up the virtual desktop"
wait_for 60 state_is "mode 1024x768 window none" || die "no virtual desktop of 1024 x 768: $state"
fullscreen="mode 800x600 window popup 0 0 800 600 client 800 600 visible shown"
windowed="mode 1024x768 window overlapped 0 0 * * client 800 600 visible shown"
# The desktop's X window shows the demo's picture where it covers the desktop.
desktop_shows_picture() { local id; id=$(wait_window "Default - Wine desktop") && [ "$(geometry "$id")" = 800x600 ] && shows_picture "$id"; }
for ending in Escape close end; do
    start_demo out-vd-$ending
    probe press "Start FullScreen?" yes 60 >/dev/null || die "no start question in the virtual desktop"
    wait_for 60 state_is "$fullscreen" || fail "Yes ($ending): '$state', expected '$fullscreen'"
    if [ "$ending" = Escape ]; then
        wait_for 60 desktop_shows_picture || fail "the 800 x 600 desktop does not show the picture: bands=$bands mean=$mean"
        probe keydown f1 >/dev/null && probe keyup f1 >/dev/null || fail "could not press F1"
        wait_for 60 state_is "$windowed" || fail "F1: '$state', expected '$windowed'"
        probe keydown f1 >/dev/null && probe keyup f1 >/dev/null || fail "could not press F1"
        wait_for 60 state_is "$fullscreen" || fail "F1 again: '$state', expected '$fullscreen'"
        probe keydown escape >/dev/null || fail "could not press Escape"
    elif [ "$ending" = close ]; then
        probe close >/dev/null || fail "could not send the close request"
    else
        probe keydown m >/dev/null || fail "could not hold M"
    fi
    wait_exit 0 200
    wait_for 60 state_is "mode 1024x768 window none" || fail "after the end by $ending: '$state', expected the desktop's own mode"
    echo "ended by $ending: $state"
done

echo "== screen saver and monitor power-down requests are swallowed"
# Wine's relay trace of DefWindowProcA: every message the window procedure passes on to it.
wine reg add 'HKCU\Software\Wine\Debug' /v RelayInclude /d 'user32.DefWindowProcA' /f >/dev/null 2>&1 || fail "no relay set-up"
export WINEDEBUG=+relay
start_demo out-sys
export WINEDEBUG=-all
probe press "Start FullScreen?" no 60 >/dev/null || die "no start question"
wait_for 60 state_is "$windowed" || fail "windowed: '$state'"
for code in f140 f170 f020; do
    line=$(probe syscommand $code)
    [ "$line" = "result 0" ] || fail "WM_SYSCOMMAND $code: '$line'"
done
wait_for 30 state_is "mode 1024x768 window overlapped * client 0 0 visible iconic" || fail "SC_MINIMIZE did not minimise: '$state'"
probe close >/dev/null || fail "could not send the close request"
wait_exit 0
grep -qa "msg=WM_SYSCOMMAND,wp=0000f140" "$workdir/out-sys" || fail "SC_SCREENSAVE did not reach the window procedure"
grep -qa "msg=WM_SYSCOMMAND,wp=0000f170" "$workdir/out-sys" || fail "SC_MONITORPOWER did not reach the window procedure"
grep -qaE "DefWindowProcA\([0-9a-f]+,00000112,0000f020," "$workdir/out-sys" || fail "SC_MINIMIZE did not go on to DefWindowProcA"
if grep -qaE "DefWindowProcA\([0-9a-f]+,00000112,0000f1[47]0," "$workdir/out-sys"; then
    fail "a screen-saver or power-down request went on to DefWindowProcA"
else
    echo "SC_SCREENSAVE and SC_MONITORPOWER end in the window procedure; SC_MINIMIZE goes on to DefWindowProcA"
fi

finish
