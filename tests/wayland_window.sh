#!/usr/bin/env bash
# The demo on a Wayland compositor, Weston, as a desktop user sees it: natively (SDL's wayland
# driver) in a window, with its app id the desktop entry's id and keys taken through the
# compositor's seat, and fullscreen on an output that is not 4:3, where it covers the output with
# the whole picture scaled, 4:3 kept, black at the sides; F1 there and back, and Escape ending it
# with exit 0. Then the same fullscreen through Weston's Xwayland with the demo's default X11
# driver. Weston runs on its X11 back end inside an Xvfb of its own, so its output is an X window
# that the picture helper reads, and xdotool's keys in that window reach the focused client.
# Usage, from the repository root (the demo reads data/ there):
#   wayland_window.sh KELVO-BINARY PICTURE-HELPER FRAME-TOOL APP-ID
set -u
kelvo=$1
picture=$2
frametool=$3
app_id=$4
. "$(dirname "$0")/x11/windows.sh"
need_tools Xvfb weston Xwayland xdotool xwininfo
[ -f data/music.mp3 ] || { echo "run from the repository root: no data/music.mp3"; exit 1; }
export SDL_AUDIODRIVER=dummy
# The compositor's runtime folder and socket name are this run's own, so that runs side by side
# never meet.
export XDG_RUNTIME_DIR="$workdir/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"
socket="kelvo-test-$$"
weston_pid=""
# Weston ends after the demo and before its X server.
extra_cleanup() {
    [ -n "$demo_pid" ] && kill "$demo_pid" 2>/dev/null
    [ -n "$weston_pid" ] && { kill "$weston_pid" 2>/dev/null; wait "$weston_pid" 2>/dev/null; }
}
show_state() {
    echo "--- weston log"; tail -n 20 "$workdir/weston.log" 2>/dev/null
    echo "--- demo output"; tail -n 20 "$workdir"/out* 2>/dev/null
}
# Ends the demo with Escape and checks that it exits 0.
escape_ends() { # what
    hold "$output" Escape 60 exited || fail "$1: Escape did not end the demo"
    wait_exit 0 10
}
# Taps a key in Weston's output (a press that takes less than a frame) until the command in the
# remaining arguments succeeds, every 30 s at most: a tap that reaches a window being made is
# lost, and tapping F1 again too soon would switch twice.
tap_output() { # key tries command...
    local key=$1 tries=$2
    shift 2
    for _ in $(seq "$tries"); do
        xdotool key "$key" 2>/dev/null
        wait_for 30 "$@" && return 0
    done
    return 1
}

"$frametool" 0 "$workdir/start.png" >/dev/null 2>&1 || die "the frame tool could not draw clock 0"

# Weston's background is pure green, which the demo's picture near clock 0 does not show, so the
# picture helper finds the demo's window on it. No panel, no animations, no screen blanking, no
# input method popping up over the picture.
background=00ff00
cat >"$workdir/weston.ini" <<EOF
[core]
idle-time=0
[shell]
background-color=0xff$background
panel-position=none
locking=false
animation=none
close-animation=none
startup-animation=none
focus-animation=none
[input-method]
path=
EOF
start_x 1280x720
# An output of 1280 x 720, 16:9, so that a picture with 4:3 kept has black bars at its sides.
weston --backend=x11-backend.so --use-pixman --width=1280 --height=720 --xwayland --socket="$socket" \
    --config="$workdir/weston.ini" --log="$workdir/weston.log" >/dev/null 2>&1 &
weston_pid=$!
output=$(wait_window "Weston Compositor - screen0") || die "no Weston output window"
only_background() { "$picture" --on "$background" "$output" 2>&1 | grep -q "nothing but its background"; }
wait_for 60 only_background || die "Weston's shell did not draw its background"
wait_for 30 test -S "$XDG_RUNTIME_DIR/$socket" || die "no Wayland socket $socket"
xwayland=$(sed -n 's/.*xserver listening on display \(:[0-9]*\).*/\1/p' "$workdir/weston.log" | head -n1)
# Weston draws the pointer's cursor into its output: it is put in the output's bottom-right
# corner, where it covers a few pixels that a window of 800 x 600 never reaches, and it stays
# there. The keys go to Weston's window, and from there to the focused client.
xdotool mousemove --window "$output" 1279 719
xdotool windowfocus --sync "$output"

# The figures of what the output shows (see measure in x11/windows.sh), with the demo's window
# found on the background; "at" is where it was found.
at=-
measure_output() {
    local line
    line=$("$picture" --on "$background" "$output" "$workdir/start.png" 2>/dev/null) || return 1
    at=$(echo "$line" | sed -n 's/^at=\([0-9x+]*\) .*/\1/p')
    eval "$(echo "$line" | tr ' ' '\n' | grep -E '^[a-z]+=[0-9.]+$')"
}
# The whole picture near the frame at clock 0 (N held brings it there) in the area $1, black
# bands above and below it and black around it; the bound on diff is that of an unscaled window,
# widened for the scaling's blur.
shows_start() { measure_output && [ "$at" = "$1" ] && [ "$bands" -le 8 ] && [ "$outside" -le 8 ] && awk "BEGIN { exit !($diff < 8) }"; }
# The output shows something other than the background, in the area $1 or anywhere but there.
shows_at() { measure_output && [ "$at" = "$1" ]; }
shows_not_at() { measure_output && [ "$at" != "$1" ]; }
windowed=800x600
whole=1280x720+0+0
# The demo in a window of 800 x 600 somewhere on the output.
in_window() { measure_output && [ "${at%%+*}" = "$windowed" ]; }

echo "== native Wayland, windowed: the picture, keys through Weston's seat, the app id"
# Without a decoration plugin libdecor draws no title bar, so the window is the picture alone,
# whatever plugins the machine has.
mkdir "$workdir/no-plugins"
env -u DISPLAY WAYLAND_DISPLAY="$socket" SDL_VIDEODRIVER=wayland LIBDECOR_PLUGIN_DIR="$workdir/no-plugins" \
    WAYLAND_DEBUG=client "$kelvo" --windowed >"$workdir/out1" 2>"$workdir/wayland1" &
demo_pid=$!
wait_for 60 in_window || die "no 800 x 600 window on Weston's output (at=$at)"
place="$at"
hold "$output" n 90 shows_start "$place" ||
    fail "windowed: not the picture at clock 0 with N held (at=$at bands=$bands outside=$outside diff=$diff)"
echo "windowed: at=$at bands=$bands outside=$outside mean=$mean diff=$diff"
grep -q 'wl_keyboard@[0-9]*\.key(' "$workdir/wayland1" || fail "windowed: no key reached the demo"
grep -qF "xdg_toplevel@" "$workdir/wayland1" || die "the demo made no xdg toplevel"
ids=$(grep -o 'xdg_toplevel@[0-9]*\.set_app_id("[^"]*")' "$workdir/wayland1" | sed 's/.*("\(.*\)")/\1/' | sort -u)
[ "$ids" = "$app_id" ] || fail "windowed: app id \"$ids\", not \"$app_id\""
escape_ends windowed
rm -f "$workdir/wayland1"

echo "== native Wayland, fullscreen on 1280 x 720: 4:3 kept, F1 there and back"
env -u DISPLAY WAYLAND_DISPLAY="$socket" SDL_VIDEODRIVER=wayland "$kelvo" --fullscreen >"$workdir/out2" 2>&1 &
demo_pid=$!
wait_for 60 shows_at "$whole" || die "fullscreen: the output is not covered (at=$at)"
hold "$output" n 90 shows_start "$whole" ||
    fail "fullscreen: not the whole picture scaled with 4:3 kept (at=$at bands=$bands outside=$outside diff=$diff)"
echo "fullscreen: at=$at bands=$bands outside=$outside mean=$mean diff=$diff"
tap_output F1 2 in_window || fail "fullscreen: F1 did not go to a window (at=$at)"
tap_output F1 2 shows_at "$whole" || fail "windowed: F1 did not go back to fullscreen (at=$at)"
hold "$output" n 90 shows_start "$whole" ||
    fail "fullscreen after F1 twice: not the whole picture (at=$at bands=$bands outside=$outside diff=$diff)"
echo "fullscreen after F1 twice: at=$at bands=$bands outside=$outside mean=$mean diff=$diff"
escape_ends "native fullscreen"

echo "== Xwayland, fullscreen on 1280 x 720: 4:3 kept, F1 there and back"
[ -n "$xwayland" ] || die "Weston started no Xwayland"
env -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER DISPLAY="$xwayland" "$kelvo" --fullscreen >"$workdir/out3" 2>&1 &
demo_pid=$!
wait_for 90 shows_at "$whole" || die "Xwayland fullscreen: the output is not covered (at=$at)"
hold "$output" n 90 shows_start "$whole" ||
    fail "Xwayland fullscreen: not the whole picture scaled with 4:3 kept (at=$at bands=$bands outside=$outside diff=$diff)"
echo "Xwayland fullscreen: at=$at bands=$bands outside=$outside mean=$mean diff=$diff"
# Windowed, Weston frames the X window with its own title bar: the output shows the background.
tap_output F1 2 shows_not_at "$whole" || fail "Xwayland fullscreen: F1 did not go to a window"
tap_output F1 2 shows_at "$whole" || fail "Xwayland windowed: F1 did not go back to fullscreen (at=$at)"
hold "$output" n 90 shows_start "$whole" ||
    fail "Xwayland fullscreen after F1 twice: not the whole picture (at=$at bands=$bands outside=$outside diff=$diff)"
echo "Xwayland fullscreen after F1 twice: at=$at bands=$bands outside=$outside mean=$mean diff=$diff"
escape_ends "Xwayland fullscreen"

finish
