#!/usr/bin/env bash
# The demo binary run headless on damaged, missing or odd data files and with no display: each
# case checks the line on standard error that names the file (or the display), the demo's own
# standard output, and what the demo does: runs on until asked to end (then exits 0 through the
# close path), or exits 1 at once when there is no display. A sanitizer report fails any case.
# Usage: bad_data.sh KELVO-BINARY DATA-FOLDER
set -u
kelvo=$(realpath "$1")
data=$(realpath "$2")
. "$(dirname "$0")/harness.sh"
# Some cases take the read rights away from files of the folder; give them back for its removal.
extra_cleanup() { chmod -R u+rwx "$workdir" 2>/dev/null; }
export SDL_AUDIODRIVER=dummy

# An IHDR of 20000 x 16 pixels, RGB, with its CRC: a header the loader refuses as too large,
# before libpng reads it (so libpng says nothing).
wide_png() {
    printf '\211PNG\r\n\032\n'
    printf '\000\000\000\015\111\110\104\122\000\000\116\040\000\000\000\020\010\002\000\000\000\174\134\330\347'
}

# A PCM WAV header with a second of silence behind it, as if a WAV had been renamed.
wav_file() {
    printf 'RIFF\044\161\002\000WAVEfmt \020\000\000\000\001\000\001\000\104\254\000\000\210\130\001\000\002\000\020\000data\000\161\002\000'
    head -c 160000 /dev/zero
}

# Changes the CRC of the first IDAT chunk: the data no longer matches it.
damage_idat() {
    local offset length
    offset=$(grep -obaF IDAT "$1" | head -n1 | cut -d: -f1)
    length=$(od -An -tu1 -j $((offset - 4)) -N4 "$1" | awk '{ print (($1 * 256 + $2) * 256 + $3) * 256 + $4 }')
    printf '\125\125\125\125' | dd of="$1" bs=1 seek=$((offset + 4 + length)) conv=notrunc status=none
}

missing_line() { echo "kelvo: data/music.mp3: $1; without the music the picture stands still at 0 s; press Escape to quit"; }

# Runs one case. $1 name, $2 set-up run inside the copy of the data folder, $3 the expected
# stderr line (a fixed string; "" for none), $4 expected stdout (none | notfound),
# $5 runs | fails, $6 video: offscreen | nodisplay | baddisplay, $7 another line stderr must hold
# (!TEXT: no line may begin with TEXT).
check() {
    local name=$1 setup=$2 line=$3 stdout=$4 outcome=$5 video=$6 also=${7:-}
    local dir="$workdir/case$((++case_number))"
    mkdir -p "$dir"
    cp -r "$data" "$dir/data"
    (cd "$dir/data" && eval "$setup") || { fail "$name: set-up failed"; return; }
    local envs=()
    case "$video" in
        offscreen) envs=(SDL_VIDEODRIVER=offscreen) ;;
        nodisplay) envs=(-u SDL_VIDEODRIVER -u DISPLAY -u WAYLAND_DISPLAY) ;;
        baddisplay) envs=(-u SDL_VIDEODRIVER -u WAYLAND_DISPLAY DISPLAY=:1999) ;;
    esac
    : >"$dir/err"
    (cd "$dir" && exec env "${envs[@]}" "$kelvo") >"$dir/out" 2>"$dir/err" &
    demo_pid=$!
    # Wait for the line, or for the demo to end by itself, up to 60 s.
    for _ in $(seq 600); do
        [ -n "$line" ] && grep -qxF -- "$line" "$dir/err" && break
        kill -0 "$demo_pid" 2>/dev/null || break
        [ -z "$line" ] && grep -q "Start FullScreen?" "$dir/err" && break
        sleep 0.1
    done
    if [ "$outcome" = runs ]; then
        if kill -0 "$demo_pid" 2>/dev/null; then
            kill -TERM "$demo_pid"
        else
            fail "$name: the demo ended by itself"
        fi
    fi
    for _ in $(seq 600); do kill -0 "$demo_pid" 2>/dev/null || break; sleep 0.1; done
    kill -0 "$demo_pid" 2>/dev/null && { fail "$name: the demo did not end"; kill -KILL "$demo_pid"; }
    wait "$demo_pid"
    local rc=$?
    demo_pid=""
    local want_rc=0
    [ "$outcome" = fails ] && want_rc=1
    [ "$rc" = "$want_rc" ] || fail "$name: exit status $rc, expected $want_rc"
    if [ -n "$line" ]; then
        grep -qxF -- "$line" "$dir/err" || fail "$name: no line \"$line\""
        [ "$(grep -c '^kelvo: ' "$dir/err")" = 1 ] || fail "$name: not exactly one kelvo: line"
    else
        grep -q '^kelvo: ' "$dir/err" && fail "$name: unexpected kelvo: line"
    fi
    case "$also" in
        "") ;;
        !*) awk -v text="${also#!}" 'index($0, text) == 1 { found = 1 } END { exit !found }' "$dir/err" &&
            fail "$name: a line beginning \"${also#!}\"" ;;
        *) grep -qxF -- "$also" "$dir/err" || fail "$name: no line \"$also\"" ;;
    esac
    case "$stdout" in
        none) [ -s "$dir/out" ] && fail "$name: unexpected standard output" ;;
        notfound) [ "$(cat "$dir/out")" = "$(printf 'Error!\nFile Not Found')" ] || fail "$name: standard output is not Error! / File Not Found" ;;
    esac
    if grep -qE 'AddressSanitizer|LeakSanitizer|runtime error:' "$dir/err"; then
        fail "$name: sanitizer report"
    fi
    if [ "$failures" -ne "${failures_before:-0}" ]; then
        echo "--- stdout"; cat "$dir/out"; echo "--- stderr"; cat "$dir/err"
    fi
    failures_before=$failures
    rm -rf "$dir"
}
case_number=0

# name | set-up in data/ | expected line | stdout | outcome | video | another line
while IFS='|' read -r -u 3 name setup line stdout outcome video also; do
    [ -z "$name" ] && continue
    if [ "$setup" = "chmod 000 music.mp3" ] && [ "$(id -u)" = 0 ]; then
        echo "== $name: skipped (root reads any file)"
        continue
    fi
    echo "== $name ($SECONDS s)"
    check "$name" "$setup" "$line" "$stdout" "$outcome" "$video" "$also"
done 3<<EOF
healthy data|true||none|runs|offscreen
music missing|rm music.mp3|$(missing_line missing)|notfound|runs|offscreen
music permission denied|chmod 000 music.mp3|$(missing_line "permission denied")|notfound|runs|offscreen
music a folder|rm music.mp3 && mkdir music.mp3|$(missing_line "a folder, not a file")|none|runs|offscreen
music a pipe|rm music.mp3 && mkfifo music.mp3|$(missing_line "a pipe, not a file")|notfound|runs|offscreen
music empty|: > music.mp3|$(missing_line empty)|none|runs|offscreen
music too large|truncate -s 300M music.mp3|$(missing_line "too large (300 MiB; at most 256 MiB is read)")|none|runs|offscreen
music garbage|head -c 100000 /dev/zero > music.mp3|$(missing_line "not an MP3 the decoder can read (no MPEG audio found: Failed to find valid MPEG data within limit on resync. (code 28))")|none|runs|offscreen
music a renamed WAV|wav_file > music.mp3|$(missing_line "not an MP3 the decoder can read (no MPEG audio found: Failed to find valid MPEG data within limit on resync. (code 28))")|none|runs|offscreen
music a device|rm music.mp3 && ln -s /dev/zero music.mp3|$(missing_line "a device, not a file")|notfound|runs|offscreen
background a pipe|rm bg.png && mkfifo bg.png|kelvo: data/bg.png: a pipe, not a file; the background is drawn without its image|none|runs|offscreen
background missing|rm bg.png|kelvo: data/bg.png: missing; the background is drawn without its image|none|runs|offscreen
background a folder|rm bg.png && mkdir bg.png|kelvo: data/bg.png: a folder, not a file; the background is drawn without its image|none|runs|offscreen
lens light empty|: > fg.png|kelvo: data/fg.png: empty; the lens light is drawn without its image|none|runs|offscreen
lens light not a PNG|cp music.mp3 fg.png|kelvo: data/fg.png: not a PNG; the lens light is drawn without its image|none|runs|offscreen
wordmark damaged|damage_idat kelvo.png|kelvo: data/kelvo.png: damaged (libpng: IDAT: CRC error); the wordmark is drawn without its image|none|runs|offscreen|libpng error: IDAT: CRC error
wordmark cut short|head -c 3000 kelvo.png > cut && mv cut kelvo.png|kelvo: data/kelvo.png: damaged (libpng: Read Error); the wordmark is drawn without its image|none|runs|offscreen
background too large|wide_png > bg.png|kelvo: data/bg.png: too large (libpng: Image width exceeds user limit in IHDR; at most 16384 pixels a side); the background is drawn without its image|none|runs|offscreen|!libpng
no display named|true|kelvo: no display to open (DISPLAY and WAYLAND_DISPLAY are not set); SDL_VIDEODRIVER=offscreen runs the demo without one|none|fails|nodisplay
a display that is not there|true|kelvo: cannot open the display ":1999"; SDL_VIDEODRIVER=offscreen runs the demo without one|none|fails|baddisplay
EOF

# Standard streams closed at start: descriptors 0 to 2 are held on /dev/null before anything else
# is opened, so that no file or connection takes their numbers and the demo's lines. A standard
# output closed by its reader costs the lines, not the exit status.
echo "== standard streams closed at start"
dir="$workdir/closed"
mkdir -p "$dir" && cp -r "$data" "$dir/data" && rm "$dir/data/music.mp3"
(cd "$dir" && exec env SDL_VIDEODRIVER=offscreen "$kelvo" <&- >&- 2>&-) &
demo_pid=$!
held() { [ "$(readlink "/proc/$demo_pid/fd/0"):$(readlink "/proc/$demo_pid/fd/1"):$(readlink "/proc/$demo_pid/fd/2")" = /dev/null:/dev/null:/dev/null ]; }
wait_for 30 held || fail "closed streams: descriptors 0-2 are $(ls -l "/proc/$demo_pid/fd" 2>&1 | awk '$9 ~ /^[012]$/ { print $9, $11 }' | tr '\n' ' ')"
# Its GL driver loaded, the demo has its window and its signal handlers.
wait_for 30 grep -q libLLVM "/proc/$demo_pid/maps" || fail "closed streams: no GL driver loaded"
held || fail "closed streams: descriptors 0-2 no longer /dev/null"
kill -TERM "$demo_pid"
wait_exit 0 30

echo "== standard output a pipe its reader closed"
mkfifo "$dir/pipe"
(cd "$dir" && exec env SDL_VIDEODRIVER=offscreen "$kelvo" >"$dir/pipe" 2>"$dir/err") &
demo_pid=$!
exec 5<"$dir/pipe"
exec 5<&-
wait_for 30 grep -qF "$(missing_line missing)" "$dir/err" || fail "closed pipe: no line for the missing music"
kill -TERM "$demo_pid"
wait_exit 0 30
grep -qE 'AddressSanitizer|LeakSanitizer|runtime error:' "$dir/err" && { fail "closed pipe: sanitizer report"; cat "$dir/err"; }

# Where a creation fails, the layer's line comes before the failure's own message.
echo "== no display: the line comes before the creation error"
dir="$workdir/order"
mkdir -p "$dir" && cp -r "$data" "$dir/data"
(cd "$dir" && env -u SDL_VIDEODRIVER -u DISPLAY -u WAYLAND_DISPLAY "$kelvo") >/dev/null 2>"$dir/err"
order=$(grep -nE '^kelvo: no display|^ERROR: Window Creation Error\.$' "$dir/err" | cut -d: -f2 | tr '\n' ' ')
[ "$order" = "kelvo ERROR " ] || { fail "no display: lines in the order \"$order\""; cat "$dir/err"; }

# SDL also tries Wayland's default display, and the Wayland client library says why it could not
# ("error: XDG_RUNTIME_DIR is invalid or not set in the environment."): the demo's own line comes
# first all the same, with the library's only after it, and only where a Wayland display was named.
# $1 name, $2 the first line, $3 whether the library's line may follow, the rest the environment.
first_line() {
    local name=$1 want=$2 library=$3
    shift 3
    (cd "$dir" && env -u SDL_VIDEODRIVER -u DISPLAY -u WAYLAND_DISPLAY -u XDG_RUNTIME_DIR "$@" "$kelvo" --windowed) \
        >/dev/null 2>"$dir/err"
    [ "$(head -n1 "$dir/err")" = "$want" ] || { fail "$name: the first line is not the demo's"; cat "$dir/err"; }
    if [ "$library" = no ] && grep -q '^error: ' "$dir/err"; then
        fail "$name: the library's line is there"
        cat "$dir/err"
    fi
}
echo "== no display: the demo's line first, whatever a library says"
mkdir -p "$dir/runtime" && chmod 700 "$dir/runtime"
nowhere="kelvo: no display to open (DISPLAY and WAYLAND_DISPLAY are not set); SDL_VIDEODRIVER=offscreen runs the demo without one"
first_line "no XDG_RUNTIME_DIR" "$nowhere" no
first_line "an XDG_RUNTIME_DIR with no display in it" "$nowhere" no XDG_RUNTIME_DIR="$dir/runtime"
first_line "a Wayland display named, no XDG_RUNTIME_DIR" \
    "kelvo: cannot open the display \"wayland-1999\"; SDL_VIDEODRIVER=offscreen runs the demo without one" yes \
    WAYLAND_DISPLAY=wayland-1999
first_line "an X display and a Wayland display named, no XDG_RUNTIME_DIR" \
    "kelvo: cannot open the display \":1999\" nor the Wayland display \"wayland-1999\"; SDL_VIDEODRIVER=offscreen runs the demo without one" \
    yes DISPLAY=:1999 WAYLAND_DISPLAY=wayland-1999
first_line "the Wayland driver asked for, no XDG_RUNTIME_DIR" "kelvo: no video (wayland not available)" yes \
    SDL_VIDEODRIVER=wayland

finish
