#!/usr/bin/env bash
# Makes data/music.mp3, the demo's music track: builds and runs the project's own generator
# (tools/make_music.cpp), which renders the piece to a WAV file and checks its levels, then
# encodes that with lame (Debian package `lame`, not installed by tools/setup.sh: only this
# script needs it). The MP3 is committed; run this only to change the music.
#
# VBR quality 4 keeps the file at about 3 MB for the 155-s track; --resample 44.1 stops lame
# from lowering the rate by itself.
set -eu
cd "$(dirname "$0")/.."
command -v lame >/dev/null || { echo "make_music.sh needs lame (apt-get install lame)" >&2; exit 1; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "${JOBS:-2}" --target make_music
./build/tools/make_music "$tmp/music.wav"
mkdir -p data
lame --quiet -V 4 --resample 44.1 --tt "kelvo" "$tmp/music.wav" data/music.mp3
ls -l data/music.mp3
