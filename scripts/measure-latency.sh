#!/usr/bin/env bash
# Measures Airloom's output latency on the real path: a JACK server on its dummy back end
# (48 kHz, 256-frame periods, no real-time needed), Airloom through PortAudio's JACK host,
# and a JACK client that captures what it plays (build/bench/airloom-firelatency).
# Prints the latency PortAudio reports for several period settings (JACK, ALSA through its
# JACK plug-in, ALSA's null device), then the time from F1 to the first captured frame, then
# the silence at each join of a Sequence of three carts (WAV, VBR MP3 without a Xing header,
# MPEG program stream) and of a Loop of a 1-second cart, from every frame captured.
#
# Usage: scripts/measure-latency.sh [BUILD_DIR] [X_DISPLAY] [PRESSES]
# Needs jackd2, Xvfb and xdotool (scripts/install-deps.sh) and a build with JACK's
# development files present.
set -euo pipefail
build=$(realpath "${1:-build}")
display=${2:-:97}
presses=${3:-20}
source "$(dirname "$0")/measure-common.sh"

start_jackd

export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$work/run
mkdir -m 700 "$work/run"
# Decks 5 and 6 play in Sequence into deck 7 (Normal); deck 8 loops.
write_settings
printf '[deck %s]\nMode=%s\n' 5 Seqnc 6 Seqnc 8 Loop >>"$work/Vidav.ini"
carts=$work/carts
sox -n -r 48000 -c 2 "$carts/tone.wav" synth 2 sine 440
# Sweeps, so that no stretch of a cart repeats and each can be found in the capture.
sox -n -r 48000 -c 2 "$carts/seq-1.wav" synth 2 sine 300-600
sox -n -r 48000 -c 2 "$carts/loop.wav" synth 1 sine 600-900
sox -n -r 48000 -c 2 "$work/seq-2.wav" synth 2 sine 900-400
sox -n -r 48000 -c 2 "$work/seq-3.wav" synth 2 sine 400-800
ffmpeg -v error -i "$work/seq-2.wav" -c:a libmp3lame -q:a 4 -write_xing 0 "$carts/seq-2.mp3"
ffmpeg -v error -i "$work/seq-3.wav" -c:a mp2 -b:a 192k -f mpeg "$carts/seq-3.mpg"

# The start-up line of the output, for one set of options.
reported() {
  local line
  line=$(timeout 3 "$build/airloom" --settings "$work/Vidav.ini" "$@" 2>&1 |
    grep -m1 '^Audio output:' || true)
  echo "${line:-(no output line for $*)}"
}
echo "== Reported output latency"
reported --device system
for period in 128 256 512; do
  for periods in 2 3 4; do
    reported --device jack --period "$period" --periods "$periods"
  done
done
printf 'pcm.!default { type null }\n' >"$work/null.conf"
for period in 64 128 256; do
  ALSA_CONFIG_PATH=$work/null.conf reported --device default --period "$period"
done

echo "== Fire to first captured frame (JACK, deck 1, F1 through xdotool)"
start_xvfb "$display"
export DISPLAY=$display QT_QPA_PLATFORM=xcb
"$build/airloom" --settings "$work/Vidav.ini" --device system >"$work/airloom.log" 2>&1 &
pids+=($!)
sleep 8 # the title window gives way to the main window, centred under the pointer
# Find the cart with the search box, load it into deck 1.
xdotool mousemove 640 512 key F12 && sleep 0.3
xdotool type tone && sleep 0.5
xdotool key ctrl+F1 && sleep 1
"$build/bench/airloom-firelatency" "$presses"

echo "== Silence at the joins (JACK, every frame captured)"
# Finds each cart with the search box and loads it into its deck.
for load in seq-1:F5 seq-2:F6 seq-3:F7 loop:F8; do
  xdotool key F12 && sleep 0.3
  xdotool type "${load%:*}" && sleep 0.5
  xdotool key "ctrl+${load#*:}" && sleep 1
done
echo "Sequence, decks 5 to 7:"
"$build/bench/airloom-firelatency" --joins F5 9000 "$carts/seq-1.wav" "$carts/seq-2.mp3" \
  "$carts/seq-3.mpg"
echo "Loop, deck 8, stopped in its fourth pass:"
"$build/bench/airloom-firelatency" --joins F8 3500 "$carts/loop.wav"
