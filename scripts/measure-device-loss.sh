#!/usr/bin/env bash
# Device loss and return on the real path: Airloom plays through PortAudio's JACK host into a
# JACK server on its dummy back end (48 kHz, 256-frame periods), under Xvfb. For each signal
# given, a cart is fired and the server is killed with that signal mid-cart; the script
# prints how long Airloom took to say so ("Audio output lost" on stderr, each line stamped as
# it arrives), takes a screenshot of the warning 1 s after the kill, presses F1 (deck 1
# plays on the silent stand-in: the warning holds no key) and takes another, starts the
# server again, prints how long until "Audio output back", and checks with
# a JACK capture client (build/bench/airloom-firelatency) that a fired cart is heard again.
#
# Usage: scripts/measure-device-loss.sh [BUILD_DIR] [X_DISPLAY] [SIGNAL...]
# Signals default to TERM KILL. The screenshots go to $AIRLOOM_SHOTS (default: a new folder
# under /tmp, printed). Needs jackd2, Xvfb, xdotool, sox and ffmpeg (scripts/install-deps.sh).
set -euo pipefail
build=$(realpath "${1:-build}")
display=${2:-:97}
signals=(TERM KILL)
# Seconds a return is awaited after the server is up again (the attempts back off to 10 s).
returnWait=${AIRLOOM_RETURN_WAIT:-30}
if [ $# -gt 2 ]; then signals=("${@:3}"); fi
work=$(mktemp -d)
shots=${AIRLOOM_SHOTS:-$(mktemp -d /tmp/airloom-loss-shots.XXXXXX)}
mkdir -p "$shots"
pids=()
jack=
cleanup() {
  for pid in "${pids[@]}" $jack; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  [ -n "${AIRLOOM_KEEP:-}" ] || rm -rf "$work"
}
trap cleanup EXIT

# A server of our own name (AIRLOOM_JACK_SERVER, else one made up), so that a studio's
# running JACK server is left alone: this one is killed.
export JACK_DEFAULT_SERVER=${AIRLOOM_JACK_SERVER:-airloom-loss-$$}
startJack() {
  jackd -n "$JACK_DEFAULT_SERVER" -r -d dummy -r 48000 -p 256 >>"$work/jackd.log" 2>&1 &
  jack=$!
  for _ in $(seq 100); do jack_lsp >/dev/null 2>&1 && return 0; sleep 0.05; done
  echo "the JACK server did not start" >&2
  exit 1
}
now() { date +%s.%N; }
# Waits up to $3 s for a new log line (after line $2) matching $1; prints its stamp.
stampOf() {
  for _ in $(seq $(($3 * 20))); do
    local line
    line=$(tail -n "+$(($2 + 1))" "$work/airloom.log" | grep -m1 -- "$1" || true)
    if [ -n "$line" ]; then
      echo "${line%% *}"
      return 0
    fi
    sleep 0.05
  done
  return 1
}
lines() { wc -l <"$work/airloom.log"; }
shoot() { ffmpeg -loglevel error -f x11grab -video_size 1280x1024 -i "$display" -frames:v 1 -y "$shots/$1.png"; }
ms() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.0f", (b - a) * 1000 }'; }

startJack
export XDG_RUNTIME_DIR=$work/run
mkdir -m 700 "$work/run"
printf '[global]\ncallsign=TEST\n[cat 1]\nName=Tones\nPath=%s/carts\n' "$work" >"$work/Vidav.ini"
mkdir "$work/carts"
sox -n -r 48000 -c 2 "$work/carts/tone.wav" synth 60 sine 440

Xvfb "$display" -screen 0 1280x1024x24 >/dev/null 2>&1 &
pids+=($!)
sleep 1
export DISPLAY=$display QT_QPA_PLATFORM=xcb
# Each stderr line with the time it arrived.
stamp='import sys, time
for line in sys.stdin: print(f"{time.time():.3f} {line}", end="", flush=True)'
"$build/airloom" --settings "$work/Vidav.ini" --device system >/dev/null \
  2> >(python3 -u -c "$stamp" >"$work/airloom.log") &
pids+=($!)
sleep 8 # the title window gives way to the main window, centred under the pointer
grep -m1 'Audio output:' "$work/airloom.log" || { cat "$work/airloom.log"; exit 1; }
# Find the cart with the search box, load it into deck 1.
xdotool mousemove 640 512 key F12 && sleep 0.3
xdotool type tone && sleep 0.5
xdotool key ctrl+F1 && sleep 1

failed=0
for signal in "${signals[@]}"; do
  echo "== SIG$signal to the JACK server mid-cart"
  "$build/bench/airloom-firelatency" 1 | tail -n 1
  xdotool key F1 && sleep 1.5 # the cart plays
  before=$(lines)
  killed=$(now)
  kill "-$signal" "$jack"
  wait "$jack" 2>/dev/null || true
  sleep 1
  shoot "lost-$signal-1s"
  if lost=$(stampOf 'Audio output lost' "$before" 20); then
    echo "warning shown $(ms "$killed" "$lost") ms after the kill:"
    tail -n "+$((before + 1))" "$work/airloom.log" | grep -m1 'Audio output lost' | cut -d' ' -f2-
  else
    echo "no warning within 20 s"
    failed=1
    continue
  fi
  xdotool key F1 && sleep 0.5 # no box holds the keys: the deck plays on the stand-in
  shoot "lost-$signal-f1"
  xdotool key F11
  sleep 2
  startJack
  started=$(now)
  if back=$(stampOf 'Audio output back' "$before" "$returnWait"); then
    echo "sound back $(ms "$started" "$back") ms after the server was up again"
  else
    echo "no return within $returnWait s of the server's restart"
    failed=1
    continue
  fi
  shoot "back-$signal"
  "$build/bench/airloom-firelatency" 3 | tail -n 1 || failed=1
done
echo "== stderr of Airloom"
cut -d' ' -f2- "$work/airloom.log"
echo "screenshots: $shots"
exit $failed
