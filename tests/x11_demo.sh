#!/usr/bin/env bash
# The demo binary with its own data in a real X server, driven as a user would: it asks the
# question, goes fullscreen without a second question on a display without 800 x 600, shows the
# picture between black bands, switches mode on F1, seeks with M and N,
# reaches its end with M held, and exits 0 at its end, on Escape (held or tapped quicker than a
# frame), on SIGINT and on a close request; a tap of F1 switches mode as a held F1 does. Keys are held until their effect shows (within a bound), not for a fixed time, so
# slow frames on a loaded machine only make it slower.
# Usage, from the repository root (the demo reads data/ there):
#   x11_demo.sh KELVO-BINARY CLOSE-HELPER PICTURE-HELPER FRAME-TOOL
set -u
kelvo=$1
closer=$2
picture=$3
frametool=$4
. "$(dirname "$0")/x11/windows.sh"
need_tools Xvfb xdotool xwininfo
[ -f data/music.mp3 ] || { echo "run from the repository root: no data/music.mp3"; exit 1; }
# No test makes a sound: the demo plays silently on its own clock, in real time.
export SDL_AUDIODRIVER=dummy

# The demo's frame at the start of the music, to tell where N has taken the picture.
"$frametool" 0 "$workdir/start.png" >/dev/null 2>&1 || die "the frame tool could not draw clock 0"

start_demo() { # $1: output file name
    "$kelvo" >"$workdir/$1" 2>&1 &
    demo_pid=$!
}

echo "== fullscreen on a display without 800x600 asks nothing, F1 to a window, N back to the start, M held to the end"
start_x 1024x768
start_demo out1
answer "Start FullScreen?" || die "no fullscreen question"
win=$(wait_window kelvo) || die "no fullscreen kelvo window"
xwininfo -root -children | grep -q '"QEZ"' && fail "fullscreen asked a question on a display without 800x600"
wait_for 30 has_size "$win" 1024x768 || fail "fullscreen covers $(geometry "$win"), not 1024x768"
hold "$win" F1 30 gone "$win" || die "F1 did not re-create the window"
win=$(wait_window kelvo) || die "no kelvo window after F1"
[ "$(geometry "$win")" = "800x600" ] || fail "client area after F1 $(geometry "$win"), expected 800x600"
wait_for 30 shows_picture "$win" || fail "no picture between black bands: bands=$bands mean=$mean white=$white"
echo "picture: bands=$bands mean=$mean white=$white"
hold "$win" m 60 far_from_start "$win" || fail "M did not move the picture on (diff=$diff)"
echo "after M: diff=$diff to the start"
hold "$win" n 60 near_start "$win" || fail "N did not bring the picture back to the start (diff=$diff)"
echo "after N: diff=$diff to the start"
# Played through, the music takes 142 s to the end; M held gets there in 20 to 40 s on a quiet
# machine, and in under 110 s here beside two busy processes and other builds.
began=$SECONDS
hold "$win" m 130 exited || fail "M held did not reach the end"
echo "M held to the end: $((SECONDS - began)) s"
[ $((SECONDS - began)) -lt 120 ] || fail "reaching the end with M took $((SECONDS - began)) s"
wait_exit 0

echo "== an 800x600 display: fullscreen, F1 to windowed, closed by the window manager's request"
start_x 800x600
start_demo out2
answer "Start FullScreen?" || die "no fullscreen question"
win=$(wait_window kelvo) || die "no fullscreen kelvo window"
[ "$(geometry "$win")" = "800x600" ] || fail "fullscreen size $(geometry "$win")"
xwininfo -root -children | grep -q '"QEZ"' && fail "the 800x600 mode was refused"
wait_for 30 shows_picture "$win" || fail "no picture in fullscreen"
tap "$win" F1 30 gone "$win" || fail "a tap of F1 did not replace the fullscreen window"
win=$(wait_window kelvo) || die "no windowed kelvo window"
[ "$(geometry "$win")" = "800x600" ] || fail "windowed size $(geometry "$win")"
# (The window with its frame does not fit this screen, so its picture cannot be read back.)
"$closer" "$win" || fail "could not send the close request"
wait_exit 0

echo "== SIGINT, Escape held and Escape tapped end the demo with exit code 0"
start_demo out3
answer "Start FullScreen?" || die "no fullscreen question"
win=$(wait_window kelvo) || die "no kelvo window"
wait_for 30 shows_picture "$win" || fail "no picture"
kill -INT "$demo_pid"
wait_exit 0
start_demo out4
answer "Start FullScreen?" || die "no fullscreen question"
win=$(wait_window kelvo) || die "no kelvo window"
wait_for 30 shows_picture "$win" || fail "no picture"
hold "$win" Escape 30 exited || fail "Escape did not end the demo"
wait_exit 0
start_demo out5
answer "Start FullScreen?" || die "no fullscreen question"
win=$(wait_window kelvo) || die "no kelvo window"
wait_for 30 shows_picture "$win" || fail "no picture"
tap "$win" Escape 30 exited || fail "a tap of Escape did not end the demo"
wait_exit 0

finish
