#!/usr/bin/env bash
# Makes the README's pictures in data/pictures/ from the committed data: kelvo_frame draws the
# demo's frame at six moments, frame_strip stacks the band between the letterbox bars of each.
#   moments.png  the six bands at half size, two to a row
#   frame.png    the band of one moment at full size
# Run from anywhere after building (cmake -S . -B build && cmake --build build); BUILD names
# another build folder. The frames need data/music.mp3, whose position is the demo's clock.
set -eu
cd "$(dirname "$0")/.."
build=${BUILD:-build}
for tool in offline/kelvo_frame tools/frame_strip; do
    if [ ! -x "$build/$tool" ]; then
        echo "make_pictures: $build/$tool is missing; build the project first" >&2
        exit 1
    fi
done

# Moments in ms, chosen across the demo for both overlays: the lens light (4 s, 76 s), the
# panorama alone (32 s), the wordmark (48 s, 124 s) and both together (100 s).
moments=(4000 32000 48000 76000 100000 124000)
wide=100000

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
requests=()
frames=()
for m in "${moments[@]}"; do
    requests+=("$m" "$work/$m.png")
    frames+=("$work/$m.png")
done
"$build/offline/kelvo_frame" "${requests[@]}"

mkdir -p data/pictures
"$build/tools/frame_strip" 2 2 data/pictures/moments.png "${frames[@]}"
"$build/tools/frame_strip" 1 1 data/pictures/frame.png "$work/$wide.png"
ls -l data/pictures
