#!/usr/bin/env bash
# The demo's window on a real X server (Xvfb), as the desktop sees it: its X11 class is the
# desktop entry's id and it has the demo's icon; resized, it shows the whole picture scaled with
# 4:3 kept and black around it, while the demo goes on drawing 800 x 600; fullscreen on a
# screen in 800 x 600 covers it, and F1 there and back keeps the screen's mode; on a screen
# without 800 x 600 among its modes it covers the screen with the picture scaled and asks
# nothing; on an X server
# with a real mode list and no window manager (Xorg's dummy driver), fullscreen covers its
# 1280 x 720 screen with the picture scaled, 4:3 kept, and its mode never changes.
# Usage, from the repository root (the demo reads data/ there):
#   x11_window.sh KELVO-BINARY PICTURE-HELPER FRAME-TOOL APP-ID
set -u
kelvo=$1
picture=$2
frametool=$3
app_id=$4
. "$(dirname "$0")/x11/windows.sh"
need_tools Xvfb Xorg xdotool xwininfo xprop xrandr
export SDL_AUDIODRIVER=dummy
# The picture near the frame at clock 0 (N held brings it there), with black bands and black
# around it; the bound on diff is that of an unscaled window, widened for the scaling's blur.
whole_near_start() { measure "$1" && [ "$bands" -le 8 ] && [ "$outside" -le 8 ] && awk "BEGIN { exit !($diff < 8) }"; }

"$frametool" 0 "$workdir/start.png" >/dev/null 2>&1 || die "the frame tool could not draw clock 0"

# Starts the demo fullscreen (output in $workdir/$1) and expects its window ($win) to cover the
# screen of size $2 with the whole picture scaled, 4:3 kept.
start_fullscreen() { # output screen-size
    "$kelvo" --fullscreen >"$workdir/$1" 2>&1 &
    demo_pid=$!
    win=$(wait_window kelvo) || die "no fullscreen kelvo window on the $2 screen"
    wait_for 30 has_size "$win" "$2" || fail "fullscreen covers $(geometry "$win"), not $2"
    hold "$win" n 60 whole_near_start "$win" ||
        fail "fullscreen $2: not the whole picture scaled with 4:3 kept (bands=$bands outside=$outside diff=$diff)"
    echo "fullscreen $2: bands=$bands outside=$outside mean=$mean diff=$diff"
}

echo "== the window's class and icon, and the picture scaled to the window's size"
start_x 1600x1200
"$kelvo" --windowed >"$workdir/out1" 2>&1 &
demo_pid=$!
win=$(wait_window kelvo) || die "no kelvo window"
class=$(xprop -id "$win" WM_CLASS)
[ "$class" = "WM_CLASS(STRING) = \"$app_id\", \"$app_id\"" ] || fail "class: $class"
# _NET_WM_ICON holds width, height and the pixels as ARGB cardinals: the 64-pixel icon, a
# picture of many colours with its corners rounded off (transparent).
xprop -id "$win" -f _NET_WM_ICON 32c '=$0+\n' _NET_WM_ICON | sed 's/^[^=]*=//' | tr ',' '\n' | tr -d ' ' >"$workdir/icon"
[ "$(head -n2 "$workdir/icon" | tr '\n' x)" = "64x64x" ] || fail "no 64 x 64 icon: $(head -c 80 "$workdir/icon")"
colours=$(sed -n '3,$p' "$workdir/icon" | sort -u | wc -l)
[ "$colours" -gt 100 ] || fail "the icon has $colours colours, not a picture"
[ $(($(sed -n 3p "$workdir/icon") >> 24)) = 0 ] || fail "the icon's corner is not transparent: $(sed -n 3p "$workdir/icon")"
for size in 1200x900 400x300 1000x600 600x600; do
    xdotool windowsize "$win" "${size%x*}" "${size#*x}"
    wait_for 30 has_size "$win" "$size" || { fail "the window did not take $size"; continue; }
    hold "$win" n 60 whole_near_start "$win" ||
        fail "$size: not the whole picture scaled (bands=$bands outside=$outside diff=$diff)"
    echo "$size: bands=$bands outside=$outside mean=$mean diff=$diff"
done
hold "$win" Escape 30 exited || fail "Escape did not end the demo"
wait_exit 0

echo "== fullscreen on a screen in 800x600, F1 there and back: the screen's mode stays"
start_x 800x600
before=$(screen_mode)
"$kelvo" --fullscreen >"$workdir/out2" 2>&1 &
demo_pid=$!
win=$(wait_window kelvo) || die "no fullscreen kelvo window"
[ "$(geometry "$win")" = "800x600" ] || fail "fullscreen size $(geometry "$win")"
wait_for 30 whole_near_start "$win" || hold "$win" n 60 whole_near_start "$win" || fail "no picture in fullscreen (diff=$diff)"
[ "$(screen_mode)" = "$before" ] || fail "the mode changed to $(screen_mode) from $before"
tap "$win" F1 30 gone "$win" || fail "F1 did not leave fullscreen"
win=$(wait_window kelvo) || die "no windowed kelvo window"
tap "$win" F1 30 gone "$win" || fail "F1 did not go back to fullscreen"
win=$(wait_window kelvo) || die "no kelvo window after F1 twice"
[ "$(geometry "$win")" = "800x600" ] || fail "fullscreen size after F1 twice $(geometry "$win")"
hold "$win" Escape 30 exited || fail "Escape did not end the demo"
wait_exit 0
[ "$(screen_mode)" = "$before" ] || fail "the mode after the demo is $(screen_mode), not $before"

echo "== fullscreen on a 1280x1024 screen without 800x600 among its modes: covered, nothing asked"
start_x 1280x1024
before=$(screen_mode)
start_fullscreen out4 1280x1024
xwininfo -root -children | grep -q '"QEZ"' && fail "fullscreen asked a question on a display without 800x600"
[ "$(screen_mode)" = "$before" ] || fail "the mode changed to $(screen_mode) from $before"
hold "$win" Escape 30 exited || fail "Escape did not end the demo"
wait_exit 0

echo "== fullscreen on a 1280x720 screen that has 800x600 among its modes, no window manager"
if ! start_xorg; then
    # Xorg leaves the devices and the console to root; a user's run says so instead of failing.
    if [ "$(id -u)" = 0 ]; then fail "Xorg with the dummy driver did not start"; else echo "skipped: Xorg does not start for a user here"; fi
else
    before=$(screen_mode)
    [ "$before" = "1280x720" ] || fail "the dummy screen starts in $before"
    xrandr | grep -q "^ *800x600 " || fail "the dummy screen lists no 800x600"
    start_fullscreen out3 1280x720
    [ "$(screen_mode)" = "$before" ] || fail "fullscreen changed the mode to $(screen_mode)"
    tap "$win" F1 30 gone "$win" || fail "F1 did not leave fullscreen"
    win=$(wait_window kelvo) || die "no windowed kelvo window on the dummy screen"
    [ "$(geometry "$win")" = "800x600" ] || fail "windowed size $(geometry "$win")"
    [ "$(screen_mode)" = "$before" ] || fail "the mode is $(screen_mode) after F1"
    tap "$win" F1 30 gone "$win" || fail "F1 did not go back to fullscreen"
    win=$(wait_window kelvo) || die "no kelvo window after F1 twice"
    wait_for 30 has_size "$win" 1280x720 || fail "fullscreen again covers $(geometry "$win")"
    [ "$(screen_mode)" = "$before" ] || fail "fullscreen again changed the mode to $(screen_mode)"
    hold "$win" Escape 30 exited || fail "Escape did not end the demo"
    wait_exit 0
    [ "$(screen_mode)" = "$before" ] || fail "the mode after the demo is $(screen_mode), not $before"
fi

finish
