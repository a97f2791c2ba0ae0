# Shell helpers for the tests that drive the demo on an X server of their own; sourced, not run,
# after harness.sh's frame (sourced here).
. "$(dirname "${BASH_SOURCE[0]}")/../harness.sh"

# An Xvfb with one screen of $1 (WIDTHxHEIGHT), in x_pid and DISPLAY, in place of the one before.
# No auto-repeat: a key held across an F1 re-creation would otherwise switch again. No reset
# when the last client leaves: the polling tools come and go, and a demo starting during a
# reset would find no display.
start_x() {
    stop_x
    Xvfb -displayfd 3 -screen 0 "$1x24" -nolisten tcp -r -noreset 3>"$workdir/display" 2>"$workdir/xvfb.log" &
    x_pid=$!
    wait_for 30 test -s "$workdir/display" || die "Xvfb did not start"
    export DISPLAY=":$(head -n1 "$workdir/display")"
}
# Xorg with the dummy driver (x11/dummy_screen.conf): a screen in 1280 x 720 with real modes to
# change to, which Xvfb lacks. Fails, with the end of Xorg's log, when it does not start.
start_xorg() {
    stop_x
    mkdir -p "$workdir/xorg.conf.d"
    Xorg -config "$(dirname "${BASH_SOURCE[0]}")/dummy_screen.conf" -configdir "$workdir/xorg.conf.d" -noreset \
        -nolisten tcp -novtswitch -sharevts -logfile "$workdir/xorg.log" -displayfd 3 3>"$workdir/display" >/dev/null 2>&1 &
    x_pid=$!
    wait_for 30 test -s "$workdir/display" || { tail -n 5 "$workdir/xorg.log" 2>/dev/null; return 1; }
    export DISPLAY=":$(head -n1 "$workdir/display")"
}
stop_x() {
    [ -n "$x_pid" ] && { kill "$x_pid"; wait "$x_pid" 2>/dev/null; x_pid=""; }
    rm -f "$workdir/display"
}
# The screen's current mode, as xrandr gives it: WIDTHxHEIGHT.
screen_mode() { xrandr 2>/dev/null | awk '/ current / { print $8 "x" $10 }' | tr -d ,; }

# What the X tests show when they fail: the windows there and the end of each output file.
show_state() {
    echo "--- windows"; xwininfo -root -children 2>&1 | grep '"'
    echo "--- output"; tail -n 20 "$workdir"/out* 2>/dev/null
}

# Prints the id of the mapped top-level window with exactly this title, waiting up to 60 s;
# fails when none appears.
wait_window() {
    for _ in $(seq 600); do
        for id in $(xwininfo -root -children 2>/dev/null | grep -F "\"$1\": (" | awk '{ print $1 }'); do
            if xwininfo -id "$id" 2>/dev/null | grep -q IsViewable; then
                echo "$id"
                return 0
            fi
        done
        sleep 0.1
    done
    return 1
}

# A window id is gone; with a title, the window with that id and title. (Each message box has a
# display connection of its own, so the next box may get the id of the last one.)
gone() { ! xwininfo -root -children 2>/dev/null | grep -qF " $1 \"${2:-}"; }

# Holds a key down in a window (XTEST, as a keyboard does) until the command in the remaining
# arguments succeeds or $3 seconds pass, then lets it go. The loop reads the keys once per
# frame, so a press is only seen by a frame that starts while the key is down. A press that
# reaches the demo before it has taken in its new focus counts as held into the window and is
# never seen (the server has no auto-repeat here), so a key without effect after 10 s is let
# go and pressed again.
hold() { # window key bound command...
    local window=$1 key=$2 end=$((SECONDS + $3))
    shift 3
    xdotool windowfocus --sync "$window" 2>/dev/null
    while :; do
        xdotool keydown "$key" 2>/dev/null
        local left=$((end - SECONDS))
        wait_for $((left < 10 ? left : 10)) "$@"
        local seen=$?
        xdotool keyup "$key" 2>/dev/null
        [ "$seen" -eq 0 ] && return 0
        [ "$SECONDS" -ge "$end" ] && return 1
        sleep 0.5
    done
}

# Taps a key in a window (XTEST, down for about 6 ms: quicker than one frame) until the command
# in the remaining arguments succeeds or $3 seconds pass. A tap that reaches the demo before it
# has taken in its focus is lost, so one without effect after 10 s is tapped again.
tap() { # window key bound command...
    local window=$1 key=$2 end=$((SECONDS + $3))
    shift 3
    while :; do
        xdotool windowfocus --sync "$window" 2>/dev/null
        xdotool key "$key" 2>/dev/null
        local left=$((end - SECONDS))
        wait_for $((left < 10 ? left : 10)) "$@" && return 0
        [ "$SECONDS" -ge "$end" ] && return 1
    done
}

# Answers the message box with this caption with its default button (the box acts on the
# release of Return), or with the button whose mnemonic is key $2. A box that has just appeared
# may miss keys typed before it is ready, so the key is typed again while it stays up, but only
# every 10 s: typing it while the box is closing could answer the next one.
answer() { # caption [key]
    local box
    box=$(wait_window "$1") || return 1
    for _ in 1 2 3 4 5 6; do
        xdotool windowfocus --sync "$box" 2>/dev/null
        xdotool key "${2:-Return}" 2>/dev/null
        wait_for 10 gone "$box" "$1" && return 0
    done
    return 1
}

geometry() { xwininfo -id "$1" | awk '/Width:/ { w = $2 } /Height:/ { h = $2 } END { print w "x" h }'; }
has_size() { [ "$(geometry "$1")" = "$2" ]; } # window size, asked again at each call

# The picture's figures (see kelvo_x11_picture, named by $picture, against $workdir/start.png),
# in the variables bands, mean, white, outside and diff.
bands=- mean=- white=- outside=- diff=-
measure() { # window
    local line
    line=$("$picture" "$1" "$workdir/start.png") || return 1
    eval "$(echo "$line" | tr ' ' '\n' | grep -E '^[a-z]+=[0-9.]+$')"
}
# The band shows the picture: neither black nor white, with black bands around it.
shows_picture() { measure "$1" && [ "$bands" -le 8 ] && awk "BEGIN { exit !($mean > 8 && $mean < 200 && $white < 20) }"; }
# Far from the picture at clock 0, or close to it. Against the frame at 0 ms, frames within a
# few hundred milliseconds differ by about 2 to 5 on average, frames from 3 s on by 12 or more.
far_from_start() { measure "$1" && awk "BEGIN { exit !($diff > 10) }"; }
near_start() { measure "$1" && awk "BEGIN { exit !($diff < 6) }"; }
