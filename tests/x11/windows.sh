# Shell helpers for the tests that drive the demo under Xvfb; sourced, not run.

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

# Waits up to $1 seconds for the command in the other arguments to succeed.
wait_for() {
    local bound=$1
    shift
    local end=$((SECONDS + bound))
    until "$@"; do
        [ "$SECONDS" -ge "$end" ] && return 1
        sleep 0.1
    done
}

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

# The picture's figures (see kelvo_x11_picture, named by $picture, against $workdir/start.png),
# in the variables bands, mean, white and diff.
bands=- mean=- white=- diff=-
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
