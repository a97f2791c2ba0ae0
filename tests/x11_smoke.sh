#!/usr/bin/env bash
# The demo binary in a real X server: it asks the question, opens an 800 x 600 window titled
# "kelvo", switches mode on F1, and exits 0 on Escape and on a close request.
# Usage: x11_smoke.sh KELVO-BINARY CLOSE-HELPER
set -u
kelvo=$1
closer=$2
for tool in Xvfb xdotool xwininfo; do
    command -v "$tool" >/dev/null || { echo "missing $tool (run tools/setup.sh)"; exit 1; }
done
workdir=$(mktemp -d)
# No test makes a sound: the demo plays silently on its own clock.
export SDL_AUDIODRIVER=dummy
xvfb_pid=""
demo_pid=""
cleanup() {
    [ -n "$demo_pid" ] && kill "$demo_pid" 2>/dev/null
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
    wait 2>/dev/null
    rm -rf "$workdir"
}
trap cleanup EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
# A step the rest depends on failed: show what the demo said and stop.
die() {
    echo "FAIL: $*"
    echo "--- demo output"; cat "$workdir"/out* 2>/dev/null
    exit 1
}

start_x() { # $1: screen size
    [ -n "$xvfb_pid" ] && { kill "$xvfb_pid"; wait "$xvfb_pid" 2>/dev/null; }
    rm -f "$workdir/display"
    Xvfb -displayfd 3 -screen 0 "$1x24" -nolisten tcp 3>"$workdir/display" 2>"$workdir/xvfb.log" &
    xvfb_pid=$!
    for _ in $(seq 100); do [ -s "$workdir/display" ] && break; sleep 0.1; done
    export DISPLAY=":$(head -n1 "$workdir/display")"
}

# Prints the id of the mapped top-level window with exactly this title, waiting up to 30 s.
wait_window() {
    for _ in $(seq 300); do
        for id in $(xwininfo -root -children 2>/dev/null | grep -F "\"$1\": (" | awk '{ print $1 }'); do
            if xwininfo -id "$id" 2>/dev/null | grep -q IsViewable; then
                sleep 0.3 # let the program reach its loop
                echo "$id"
                return 0
            fi
        done
        sleep 0.1
    done
    return 1
}

# Waits for a window to go away (its id no longer listed).
wait_gone() {
    for _ in $(seq 300); do
        xwininfo -root -children 2>/dev/null | grep -q "^ *$1 " || return 0
        sleep 0.1
    done
    return 1
}

geometry() { xwininfo -id "$1" | awk '/Width:/ { w = $2 } /Height:/ { h = $2 } END { print w "x" h }'; }

# Types a key as a keyboard would (XTEST), into the window given the focus first. The key is
# held for a quarter of a second, as a finger holds it: the loop reads the keys once per frame,
# a frame of the full picture takes tens of milliseconds on a software renderer, and a press and
# release that both arrive during one frame are never seen. A quarter second stays below the
# auto-repeat delay.
press() {
    xdotool windowfocus --sync "$1" 2>/dev/null
    xdotool keydown "$2" 2>/dev/null
    sleep 0.25
    xdotool keyup "$2" 2>/dev/null
}

# Presses a key until its effect shows ($3: a command that tests for it, tried for 5 s after each
# press). The window is mapped before the demo has loaded its images and music; a press and
# release that arrive while it loads reach its loop together, and the key is never seen down.
press_until() {
    for _ in 1 2 3 4 5; do
        press "$1" "$2"
        for _ in $(seq 50); do
            eval "$3" && return 0
            sleep 0.1
        done
    done
    return 1
}
listed() { xwininfo -root -children 2>/dev/null | grep -qF "$1"; }

wait_exit() { # $1: expected exit code
    for _ in $(seq 300); do
        kill -0 "$demo_pid" 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 "$demo_pid" 2>/dev/null; then
        fail "the demo did not exit"
        kill "$demo_pid"
    fi
    wait "$demo_pid"
    rc=$?
    demo_pid=""
    [ "$rc" = "$1" ] || fail "exit code $rc, expected $1"
}

echo "== a display without 800x600: fullscreen falls back to a window; F1 asks again; Escape ends"
start_x 1024x768
"$kelvo" >"$workdir/out1" 2>&1 &
demo_pid=$!
box=$(wait_window "Start FullScreen?") || die "no fullscreen question"
press "$box" Return
box=$(wait_window "QEZ") || die "no fallback question"
press "$box" Return
win=$(wait_window kelvo) || die "no kelvo window"
[ "$(geometry "$win")" = "800x600" ] || fail "client area $(geometry "$win"), expected 800x600"
press_until "$win" F1 'listed "\"QEZ\": ("' || die "F1 did not re-create the window"
box=$(wait_window "QEZ") || die "F1 did not re-create the window"
press "$box" Return
wait_gone "$win" || fail "the old window stayed"
win=$(wait_window kelvo) || die "no kelvo window after F1"
[ "$(geometry "$win")" = "800x600" ] || fail "client area after F1 $(geometry "$win")"
sleep 1
press "$win" Escape
wait_exit 0

echo "== an 800x600 display: fullscreen, F1 to windowed, closed by the window manager's request"
start_x 800x600
"$kelvo" >"$workdir/out2" 2>&1 &
demo_pid=$!
box=$(wait_window "Start FullScreen?") || die "no fullscreen question"
press "$box" Return
win=$(wait_window kelvo) || die "no fullscreen kelvo window"
[ "$(geometry "$win")" = "800x600" ] || fail "fullscreen size $(geometry "$win")"
xwininfo -root -children | grep -q '"QEZ"' && fail "the 800x600 mode was refused"
press_until "$win" F1 '! listed "$win "' || fail "F1 did not replace the fullscreen window"
win=$(wait_window kelvo) || die "no windowed kelvo window"
[ "$(geometry "$win")" = "800x600" ] || fail "windowed size $(geometry "$win")"
sleep 1
"$closer" "$win" || fail "could not send the close request"
wait_exit 0

if [ "$failures" -ne 0 ]; then
    echo "--- demo output"; cat "$workdir"/out* 2>/dev/null
    echo "$failures failed"
    exit 1
fi
echo "all passed"
