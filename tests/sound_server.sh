#!/usr/bin/env bash
# The demo binary on a real sound server that goes away mid-run and comes back: a private
# PulseAudio server with a null sink (no sound card needed), killed while the music plays and
# started again. The demo says once that the music is silent, runs its clock on in real time,
# and says where the music plays on from once the server is back; a suspended sink says nothing.
# Usage: sound_server.sh KELVO-BINARY DATA-FOLDER
set -u
kelvo=$(realpath "$1")
data=$(realpath "$2")
. "$(dirname "$0")/harness.sh"
need_tools pulseaudio pactl
show_state() {
    echo "--- demo stderr"; cat "$workdir/err" 2>/dev/null
    echo "--- server log"; tail -n 20 "$workdir/pa.log" 2>/dev/null
}

# The server and its clients find each other only through this folder.
export HOME="$workdir" XDG_RUNTIME_DIR="$workdir" PULSE_RUNTIME_PATH="$workdir/runtime"
export PULSE_STATE_PATH="$workdir/state" PULSE_SERVER="unix:$workdir/native"
mkdir -p "$workdir/runtime" "$workdir/state"

start_server() {
    rm -f "$workdir/native"
    pulseaudio -n --daemonize=no --exit-idle-time=-1 --disable-shm=yes --use-pid-file=no \
        -L "module-null-sink sink_name=kelvo_test" \
        -L "module-native-protocol-unix socket=$workdir/native auth-anonymous=1" >>"$workdir/pa.log" 2>&1 &
    pulse_pid=$!
    wait_for 30 pactl info >/dev/null 2>&1 || die "the sound server did not start"
}
playing() { [ -n "$(pactl list short sink-inputs 2>/dev/null)" ]; }
said() { grep -qF -- "$1" "$workdir/err"; }

start_server
mkdir -p "$workdir/run" && cp -r "$data" "$workdir/run/data"
(cd "$workdir/run" && exec env SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=pulseaudio "$kelvo" --windowed) \
    >"$workdir/out" 2>"$workdir/err" &
demo_pid=$!
wait_for 60 playing || die "the demo's music never reached the server"
began=$SECONDS
sleep 3

echo "== the server goes away"
kill -KILL "$pulse_pid"
wait "$pulse_pid" 2>/dev/null
pulse_pid=""
wait_for 10 said "sound: the audio output went away at " || die "no line when the server went away"
lost_after=$((SECONDS - began))
# Long enough that a clock that stood still meanwhile would be seen to lag below.
sleep 5
kill -0 "$demo_pid" 2>/dev/null || die "the demo ended when the server went away"

echo "== the server comes back"
start_server
wait_for 20 said "sound: the audio output is back; the music plays on from " || die "no line when the server came back"
back_after=$((SECONDS - began))
wait_for 10 playing || fail "the music did not reach the server again"
# M:SS after "at" or "from" in the line that holds $1, in seconds.
seconds_in() { grep -F "$1" "$workdir/err" | sed -E 's/.* (at|from) ([0-9]+):([0-9]+)( .*)?$/\2 \3/' | awk '{ print $1 * 60 + $2 }'; }
lost=$(seconds_in "went away at")
position=$(seconds_in "is back;")
echo "lost at ${lost:-?} s of music, $lost_after s after it began playing; back at ${position:-?} s, $back_after s after"
# The clock ran on in real time while the server was gone: between the two lines the music moved
# on by the time between them, give or take their whole seconds and the polling here.
outage=$((back_after - lost_after))
[ -n "$lost" ] && [ -n "$position" ] && [ $((position - lost)) -ge $((outage - 2)) ] &&
    [ $((position - lost)) -le $((outage + 2)) ] ||
    fail "the music moved from $lost s to $position s in about $outage s away"

echo "== a suspended sink says nothing"
pactl suspend-sink kelvo_test 1
sleep 2
pactl suspend-sink kelvo_test 0
sleep 1
kill -0 "$demo_pid" 2>/dev/null || die "the demo ended"
kill -TERM "$demo_pid"
wait_exit 0 30
[ "$(grep -c '^sound: ' "$workdir/err")" = 2 ] || fail "not exactly two sound: lines"
grep -q '^kelvo: ' "$workdir/err" && fail "unexpected kelvo: line"
grep -qE 'AddressSanitizer|LeakSanitizer|runtime error:' "$workdir/err" && fail "sanitizer report"
[ -s "$workdir/out" ] && fail "unexpected standard output"
finish
