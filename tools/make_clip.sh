#!/usr/bin/env bash
# Makes the README's clip, data/pictures/clip.webp: five seconds of the demo's band (the rows
# between the letterbox bars, 800 x 150) from 97 s, at 20 frames a second, as an animated WebP
# that loops. kelvo_capture records the span losslessly with the demo's own code; the ffmpeg
# program crops the band and encodes the WebP with its bit-exact flags, so the same data gives
# the same bytes on every run.
# Run from anywhere after building (cmake -S . -B build && cmake --build build); BUILD names
# another build folder. Needs data/music.mp3 (its position is the clock) and the ffmpeg program.
set -eu
cd "$(dirname "$0")/.."
build=${BUILD:-build}
if [ ! -x "$build/offline/kelvo_capture" ]; then
    echo "make_clip: $build/offline/kelvo_capture is missing; build the project first" >&2
    exit 1
fi
if ! command -v ffmpeg >/dev/null; then
    echo "make_clip: the ffmpeg program is missing (apt-get install ffmpeg)" >&2
    exit 1
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/offline/kelvo_capture" --quiet --fps 20 --from 97 --to 102 "$work/clip.mkv"

mkdir -p data/pictures
ffmpeg -v error -y -i "$work/clip.mkv" -an -vf crop=800:150:0:225 \
    -c:v libwebp_anim -lossless 0 -quality 75 -compression_level 6 -loop 0 \
    -fflags +bitexact -flags +bitexact -threads 1 data/pictures/clip.webp
ls -l data/pictures/clip.webp
