#!/usr/bin/env bash
# Measures the studio controls against the keyboard on the real output path: a JACK server on
# its dummy back end, Airloom through PortAudio's JACK host with its MIDI ports on JACK and
# its OSC server on, and a JACK client that captures what it plays
# (build/bench/airloom-firelatency --remote). Deck 1 is fired by F1 (xdotool), by a note on
# the JACK MIDI input and by an OSC message, in turn, PRESSES times each, and each is timed
# to the first captured frame. Then the idle CPU with both controls on and nothing arriving
# (scripts/measure-idle-cpu.sh, which measures the program as it is without them).
#
# Usage: scripts/measure-remote-latency.sh [BUILD_DIR] [X_DISPLAY] [PRESSES] [OSC_PORT]
# Needs jackd2, Xvfb, xdotool and liblo-tools (scripts/install-deps.sh).
set -euo pipefail
build=$(realpath "${1:-build}")
display=${2:-:97}
presses=${3:-20}
port=${4:-9123}
source "$(dirname "$0")/measure-common.sh"

start_jackd
start_xvfb "$display"
export DISPLAY=$display QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR=$work/run
mkdir -m 700 "$work/run" "$work/carts"
sox -n -r 48000 -c 2 "$work/carts/tone.wav" synth 2 sine 440
cat >"$work/Vidav.ini" <<INI
[global]
callsign=TEST
[cat 1]
Name=Tones
Path=$work/carts
[remote]
OscPort=$port
[midi]
Enabled=1
Api=jack
INI

"$build/airloom" --settings "$work/Vidav.ini" --device system >"$work/airloom.log" 2>&1 &
app=$!
pids+=("$app")
sleep 8 # the title window gives way to the main window
oscsend localhost "$port" /airloom/deck/1/load is 1 tone.wav
sleep 1
xdotool mousemove 640 512 # the main window, centred under the pointer, takes the keys

echo "== Fire to first captured frame: F1, MIDI note, OSC message, interleaved"
"$build/bench/airloom-firelatency" --remote "$port" "$presses"

kill "$app"
wait "$app" 2>/dev/null || true

# CPU (user + system) and wake-ups (context switches of every thread) of the program over
# 10 s with nothing playing and nothing arriving, after the start-up has settled.
idle() {
  "$build/airloom" --settings "$1" --device system >>"$work/idle.log" 2>&1 &
  local pid=$!
  pids+=("$pid")
  sleep 10
  local t0 w0 t1 w1
  t0=$(awk '{print $14 + $15}' "/proc/$pid/stat")
  w0=$(cat /proc/"$pid"/task/*/status | awk '/ctxt_switches/ {s += $2} END {print s}')
  sleep 10
  t1=$(awk '{print $14 + $15}' "/proc/$pid/stat")
  w1=$(cat /proc/"$pid"/task/*/status | awk '/ctxt_switches/ {s += $2} END {print s}')
  kill "$pid"
  wait "$pid" 2>/dev/null || true
  awk -v t="$((t1 - t0))" -v hz="$(getconf CLK_TCK)" -v w="$((w1 - w0))" -v what="$2" \
    'BEGIN {printf "%s: CPU %.2f %% of one core, %.0f wake-ups a second\n", what, 100 * t / hz / 10, w / 10}'
}
echo "== Idle, nothing playing, nothing arriving (JACK output)"
sed '/^\[remote\]/,$d' "$work/Vidav.ini" >"$work/plain.ini"
idle "$work/plain.ini" "without MIDI and OSC"
idle "$work/Vidav.ini" "with MIDI and OSC on"
grep -E '^(MIDI|OSC):' "$work/airloom.log" "$work/idle.log" || true
