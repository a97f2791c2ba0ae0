#!/usr/bin/env bash
# Signals to the demo under a real X server (Xvfb): Ctrl+C or SIGTERM while the start question
# is up ends the demo at once with status 0, leaving no box and no process behind; SIGHUP and
# Ctrl+C while the demo runs tear it down as a close request does (status 0, window gone), and
# with the demo's own data a whole run prints nothing at all. With the X server stopped, SIGTERM
# still ends the demo, by the signal, within about 5 s, at the start question as in the loop.
# Usage: x11_signals.sh KELVO-BINARY DATA-FOLDER
set -u
kelvo=$(realpath "$1")
data=$(realpath "$2")
. "$(dirname "$0")/x11/windows.sh"
need_tools Xvfb xdotool xwininfo setsid ps
export SDL_AUDIODRIVER=dummy
# The demo leads a process group of its own (see start_demo), all of which ends with the test.
demo_group=1
# The demo reads data/ from its working directory.
mkdir "$workdir/run" && ln -s "$data" "$workdir/run/data"
cd "$workdir/run" || exit 1
start_x 1024x768

window_listed() { xwininfo -root -children 2>/dev/null | grep -qF "\"$1\": ("; }

press() {
    xdotool windowfocus --sync "$1" 2>/dev/null
    xdotool keydown "$2" 2>/dev/null
    sleep 0.25
    xdotool keyup "$2" 2>/dev/null
}

# The demo in a process group of its own, as a shell runs a foreground job: Ctrl+C in a
# terminal signals the whole group.
start_demo() { # $1: output file
    setsid "$kelvo" >"$1" 2>&1 &
    demo_pid=$!
}

# Expects the demo to be gone within $2 tenths of a second with status $1, and nothing of its
# process group left.
expect_exit() { # $1: status, $2: tenths of a second, $3: case name
    local start=$(date +%s%N)
    for _ in $(seq "$2"); do
        kill -0 "$demo_pid" 2>/dev/null || break
        sleep 0.1
    done
    echo "   ended after $((($(date +%s%N) - start) / 1000000)) ms"
    if kill -0 "$demo_pid" 2>/dev/null; then
        fail "$3: the demo did not end within $(($2 / 10)) s"
        kill -KILL -- "-$demo_pid" 2>/dev/null
    fi
    wait "$demo_pid"
    local rc=$?
    [ "$rc" = "$1" ] || fail "$3: exit status $rc, expected $1"
    sleep 0.3
    local left
    left=$(ps -e -o pgid=,pid=,comm= | awk -v g="$demo_pid" '$1 == g')
    [ -z "$left" ] || { fail "$3: processes left behind: $left"; kill -KILL -- "-$demo_pid" 2>/dev/null; }
    demo_pid=""
}

# Sanitizer builds report on standard error; any report fails the case.
expect_clean_output() { # $1: output file, $2: case name
    if grep -qE 'AddressSanitizer|LeakSanitizer|runtime error:' "$1"; then
        fail "$2: sanitizer report"
        cat "$1"
    fi
}

# name | signal | sent to (group: as Ctrl+C does; process: the demo alone)
while IFS='|' read -r -u 3 name signal target; do
    echo "== $name"
    out="$workdir/out-${signal}-${target}"
    start_demo "$out"
    box=$(wait_window "Start FullScreen?") || { fail "$name: no start question"; cat "$out"; kill -KILL -- "-$demo_pid"; wait "$demo_pid"; demo_pid=""; continue; }
    sleep 0.3
    if [ "$target" = group ]; then kill -"$signal" -- "-$demo_pid"; else kill -"$signal" "$demo_pid"; fi
    expect_exit 0 20 "$name"
    window_listed "Start FullScreen?" && fail "$name: the question stayed on screen"
    window_listed kelvo && fail "$name: a kelvo window was made"
    expect_clean_output "$out" "$name"
done 3<<'EOF'
Ctrl+C during the start question|INT|group
SIGTERM to the demo alone during the start question|TERM|process
SIGHUP to the demo alone during the start question|HUP|process
EOF

# name | signal | sent to
while IFS='|' read -r -u 3 name signal target; do
    echo "== $name"
    out="$workdir/run-${signal}-${target}"
    start_demo "$out"
    box=$(wait_window "Start FullScreen?") || { fail "$name: no start question"; kill -KILL -- "-$demo_pid"; wait "$demo_pid"; demo_pid=""; continue; }
    press "$box" Return
    # Fullscreen, emulated on this display without an 800x600 mode.
    wait_window kelvo >/dev/null || fail "$name: no kelvo window"
    sleep 1
    if [ "$target" = group ]; then kill -"$signal" -- "-$demo_pid"; else kill -"$signal" "$demo_pid"; fi
    expect_exit 0 100 "$name"
    window_listed kelvo && fail "$name: the kelvo window stayed"
    [ -s "$out" ] && { fail "$name: the demo printed something with healthy data and a display"; cat "$out"; }
done 3<<'EOF'
SIGHUP while the demo runs|HUP|process
Ctrl+C while the demo runs|INT|group
EOF

# A display that stopped answering (its server stopped): the demo cannot take the request up, so
# the signal ends it by itself 5 s later, also while the start question is up.
# name | the demo is at: question | loop
while IFS='|' read -r -u 3 name at; do
    echo "== $name"
    out="$workdir/stalled-$at"
    start_demo "$out"
    box=$(wait_window "Start FullScreen?") || { fail "$name: no start question"; kill -KILL -- "-$demo_pid"; wait "$demo_pid"; demo_pid=""; continue; }
    if [ "$at" = loop ]; then
        press "$box" Return
        wait_window kelvo >/dev/null || fail "$name: no kelvo window"
        sleep 1
    else
        sleep 0.3
    fi
    kill -STOP "$x_pid"
    kill -TERM "$demo_pid"
    expect_exit 143 80 "$name"
    kill -CONT "$x_pid"
    expect_clean_output "$out" "$name"
done 3<<'EOF'
SIGTERM during the start question on a stalled display|question
SIGTERM while the demo runs on a stalled display|loop
EOF

# Standard error closed and a data file missing: the demo's line about it must not land in the
# X connection (which would take descriptor 2 and jam), so SIGTERM still ends it.
echo "== SIGTERM with standard error closed and the music missing"
mkdir -p "$workdir/nomusic/data"
for f in bg.png fg.png kelvo.png; do ln -s "$data/$f" "$workdir/nomusic/data/$f"; done
(cd "$workdir/nomusic" && exec setsid "$kelvo" --windowed >"$workdir/nomusic/out" 2>&-) &
demo_pid=$!
if wait_window kelvo >/dev/null; then
    sleep 1
    kill -TERM "$demo_pid"
    expect_exit 0 100 "standard error closed"
else
    fail "standard error closed: no kelvo window"
    kill -KILL -- "-$demo_pid"; wait "$demo_pid"; demo_pid=""
fi

finish
