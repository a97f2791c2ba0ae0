#!/usr/bin/env bash
# Writes the small MP3 files the sound tests decode (tests/data/*.mp3) and the MP3 fuzz target's
# seeds (tests/fuzz/mp3_seeds). The sound is made here
# (a few seconds of tones that change every quarter second, different on the two channels, so
# that a sample read from the wrong place or channel shows), then encoded with lame.
# Needs python3 and lame (apt-get install lame). The output is committed; run this only to
# change the fixtures.
set -eu
cd "$(dirname "$0")/.."
out=tests/data
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$out"

synth() { # rate channels seconds file
    python3 - "$@" <<'PY'
import math, struct, sys, wave
rate, channels, seconds, path = int(sys.argv[1]), int(sys.argv[2]), float(sys.argv[3]), sys.argv[4]
frames = int(rate * seconds)
with wave.open(path, "wb") as w:
    w.setnchannels(channels)
    w.setsampwidth(2)
    w.setframerate(rate)
    data = bytearray()
    for i in range(frames):
        t = i / rate
        step = int(t * 4)                      # a new pair of tones every 250 ms
        f1 = 220.0 * 2 ** ((step * 5 % 24) / 12)
        f2 = 330.0 * 2 ** ((step * 7 % 19) / 12)
        fade = min(1.0, t * 20, (seconds - t) * 20)
        left = 0.45 * math.sin(2 * math.pi * f1 * t) + 0.15 * math.sin(2 * math.pi * 3 * f1 * t)
        right = 0.45 * math.sin(2 * math.pi * f2 * t) + 0.1 * math.sin(2 * math.pi * 5 * f1 * t)
        for v in ([left, right] if channels == 2 else [(left + right) / 2])[:channels]:
            data += struct.pack("<h", int(round(32767 * fade * v)))
    w.writeframes(bytes(data))
PY
}

# MPEG-1 layer II frames of silence (44.1 kHz stereo, 128 kbit/s: every bit allocation 0), for
# a part that a layer III decoder cannot play. No encoder needed.
layer2() { # file seconds
    python3 - "$@" <<'PY'
import sys
path, seconds = sys.argv[1], float(sys.argv[2])
frames = int(seconds * 44100 / 1152)
with open(path, "wb") as f:
    for i in range(frames):
        f.write(bytes([0xFF, 0xFD, 0x80, 0x00]) + bytes(413))  # 417 bytes, unpadded
PY
}

synth 44100 2 3 "$tmp/s44.wav"
synth 48000 2 3 "$tmp/s48.wav"
synth 22050 1 3 "$tmp/m22.wav"
synth 44100 1 2 "$tmp/m44.wav"
synth 22050 2 2 "$tmp/s22.wav"

# lame lowers the rate by itself at low bitrates: --resample keeps the rate that was asked for.
lame --quiet -b 96 --resample 44.1 "$tmp/s44.wav" "$out/stereo44_tag.mp3"        # CBR with an encoder tag
lame --quiet -b 96 --resample 44.1 -t "$tmp/s44.wav" "$out/stereo44_notag.mp3"   # no tag: no gapless data
lame --quiet -V 5 --resample 44.1 "$tmp/s44.wav" "$out/vbr44.mp3"
lame --quiet -b 96 --resample 48 "$tmp/s48.wav" "$out/stereo48.mp3"
lame --quiet -b 48 --resample 22.05 "$tmp/m22.wav" "$out/mono22.mp3"
lame --quiet -b 64 --resample 44.1 "$tmp/m44.wav" "$out/mono44.mp3"
lame --quiet -b 64 --resample 22.05 "$tmp/s22.wav" "$out/stereo22.mp3"

# Files joined end to end, as `cat` joins them: each part keeps its own info frame (with its own
# length, delay and padding), and the format may change at the join.
cat "$out/stereo44_tag.mp3" "$out/vbr44.mp3" >"$out/joined44.mp3"            # same format, two info frames
cat "$out/mono44.mp3" "$out/stereo44_tag.mp3" >"$out/mono_then_stereo.mp3"   # the channel count changes
cat "$out/stereo44_tag.mp3" "$out/stereo22.mp3" >"$out/rate44_then_22.mp3"   # the sample rate changes

# The fuzz target's seeds of the same kinds, small enough for its bound on input size (8 KiB):
# parts of a fifth of a second.
seeds=tests/fuzz/mp3_seeds
mkdir -p "$seeds"
synth 44100 2 0.2 "$tmp/short_s44.wav"
synth 44100 1 0.2 "$tmp/short_m44.wav"
synth 22050 2 0.2 "$tmp/short_s22.wav"
lame --quiet -b 96 --resample 44.1 "$tmp/short_s44.wav" "$tmp/short_s44.mp3"
lame --quiet -V 5 --resample 44.1 "$tmp/short_s44.wav" "$tmp/short_vbr44.mp3"
lame --quiet -b 64 --resample 44.1 "$tmp/short_m44.wav" "$tmp/short_m44.mp3"
lame --quiet -b 64 --resample 22.05 "$tmp/short_s22.wav" "$tmp/short_s22.mp3"
cp "$tmp/short_s44.mp3" "$seeds/stereo44.mp3"
cat "$tmp/short_s44.mp3" "$tmp/short_vbr44.mp3" >"$seeds/joined44.mp3"
cat "$tmp/short_m44.mp3" "$tmp/short_s44.mp3" >"$seeds/mono_then_stereo.mp3"
cat "$tmp/short_s44.mp3" "$tmp/short_s22.mp3" >"$seeds/rate44_then_22.mp3"
cat "$tmp/short_s22.mp3" "$tmp/short_m44.mp3" "$tmp/short_s44.mp3" >"$seeds/three_formats.mp3"
# Joins where the second file is easy to lose (the sound tests make the same from the files
# above): the first file cut short (its last frame's header claims bytes that lie in the second
# file), stray bytes that begin like a frame header, a second file of the same format without an
# info frame after one with it (cut short, and whole), and a part in MPEG layer II between two
# layer III files.
cut_last() { head -c "$(($(stat -c %s "$1") - $2))" "$1"; }
stray() { printf '\377\373\220\000stray bytes'; }  # FF FB 90 00 and 11 more
lame --quiet -b 96 --resample 44.1 -t "$tmp/short_s44.wav" "$tmp/short_plain44.mp3"
layer2 "$tmp/short_layer2.mp2" 0.1
cut_last "$tmp/short_s44.mp3" 200 | cat - "$tmp/short_vbr44.mp3" >"$seeds/cut_then_vbr.mp3"
{ cat "$tmp/short_s44.mp3"; stray; cat "$tmp/short_vbr44.mp3"; } >"$seeds/stray_then_vbr.mp3"
cat "$tmp/short_s44.mp3" "$tmp/short_plain44.mp3" >"$seeds/tagged_then_plain.mp3"
cut_last "$tmp/short_s44.mp3" 200 | cat - "$tmp/short_plain44.mp3" >"$seeds/cut_then_plain.mp3"
cat "$tmp/short_s44.mp3" "$tmp/short_layer2.mp2" "$tmp/short_vbr44.mp3" >"$seeds/layer2_between.mp3"
ls -l "$seeds"
ls -l "$out"/*.mp3
