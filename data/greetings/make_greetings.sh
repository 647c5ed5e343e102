#!/bin/sh
# Regenerates the supplied greetings: speech from espeak-ng, shaped and converted by sox to
# the greeting format (PCM WAV, 16 kHz, mono, 16 bits). Needs the Debian packages
# espeak-ng and sox. The results are committed; the build only copies them.
set -eu
cd "$(dirname "$0")"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

speak() { # file voice speed text
    espeak-ng -v "$2" -s "$3" -w "$tmp/raw.wav" "$4"
    # Trim the silence espeak leaves, soften the edges, level to -3 dBFS, leave a short
    # pause at the end before the caller speaks.
    sox "$tmp/raw.wav" "$tmp/trim.wav" \
        silence 1 0.02 0.5% reverse silence 1 0.02 0.5% reverse
    sox "$tmp/trim.wav" -r 16000 -c 1 -b 16 -e signed-integer "$1" \
        highpass 120 lowpass 6500 norm -3 fade t 0.02 -0 0.05 pad 0.15 0.35
}

speak greeting1.wav en-us+f3 155 "Hello. I can't take your call right now. Please leave a message after the tone."
speak greeting2.wav en-gb+m3 150 "Hi, thanks for calling. Leave your name and a short message, and I will call you back."
speak greeting3.wav en-us+f2 150 "You have reached my voice mail. Please speak after the tone. Thank you."

# The beep: 0.4 s of 1 kHz with soft edges.
sox -n -r 16000 -c 1 -b 16 -e signed-integer beep.wav synth 0.4 sine 1000 vol 0.4 fade t 0.02 0.4 0.04
