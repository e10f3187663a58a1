#!/usr/bin/env bash
# The output the station named, awaited: Airloom is started with --device system before its
# JACK server (a boot-order race), under Xvfb. The script prints how long Airloom took to say
# that the output is not there (stderr) and takes a screenshot of the status line; fires a cart
# (it plays silently meanwhile); starts the JACK server (dummy back end, 48 kHz, 256-frame
# periods) AIRLOOM_SERVER_DELAY seconds (default 10) after Airloom, and prints the time from
# the server's start to the first sound a JACK capture client (build/bench/airloom-firelatency)
# hears from Airloom, then how long Airloom takes to quit through its exit button.
#
# Usage: scripts/measure-output-wait.sh [BUILD_DIR] [X_DISPLAY]
# Needs jackd2, Xvfb, xdotool, sox and ffmpeg (scripts/install-deps.sh). The JACK server's name
# is AIRLOOM_JACK_SERVER, else one made up: a studio's running server is left alone.
set -euo pipefail
build=$(realpath "${1:-build}")
display=${2:-:97}
delay=${AIRLOOM_SERVER_DELAY:-10}
source "$(dirname "$0")/measure-common.sh"
shots=${AIRLOOM_SHOTS:-$(mktemp -d /tmp/airloom-wait-shots.XXXXXX)}
mkdir -p "$shots"
export JACK_DEFAULT_SERVER=${AIRLOOM_JACK_SERVER:-airloom-measure-$$}
export XDG_RUNTIME_DIR=$work/run
mkdir -m 700 "$work/run"
write_settings
sox -n -r 48000 -c 2 "$work/carts/tone.wav" synth 60 sine 440
now() { date +%s.%N; }
ms() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.0f", (b - a) * 1000 }'; }
shoot() { ffmpeg -loglevel error -f x11grab -video_size 1280x1024 -i "$display" -frames:v 1 -y "$shots/$1.png"; }
# The stamp of the first stderr line matching $1, waiting up to $2 s.
stampOf() {
  for _ in $(seq $(($2 * 20))); do
    local line
    line=$(grep -m1 -- "$1" "$work/airloom.log" || true)
    [ -n "$line" ] && { echo "${line%% *}"; return 0; }
    sleep 0.05
  done
  return 1
}

start_xvfb "$display"
export DISPLAY=$display QT_QPA_PLATFORM=xcb
started=$(now)
"$build/airloom" --settings "$work/Vidav.ini" --device system >/dev/null \
  2> >(stamp_lines >"$work/airloom.log") &
airloom=$!
pids+=("$airloom")
told=$(stampOf 'is not there' 10) || { cat "$work/airloom.log"; exit 1; }
echo "'not there' on stderr $(ms "$started" "$told") ms after the start:"
grep -m1 'is not there' "$work/airloom.log" | cut -d' ' -f2-
# The title window gives way to the main window, whose status line says it in red.
timeout 20 xdotool search --sync --onlyvisible --name '^Airloom 32$' >/dev/null
sleep 0.5
shoot awaited-status-line
xdotool mousemove 640 512 key F12 && sleep 0.3
xdotool type tone && sleep 0.5
xdotool key ctrl+F1 && sleep 0.5
xdotool key F1 # the cart plays, silently, until the output is there
sleep "$(awk -v d="$delay" -v s="$started" -v n="$(now)" 'BEGIN { w = d - (n - s); print (w > 0 ? w : 0) }')"
serverStart=$(now)
start_jackd
"$build/bench/airloom-firelatency" --first-sound 40 >"$work/capture.log" 2>&1 &
capture=$!
echo "JACK server started $(ms "$started" "$serverStart") ms after Airloom"
failed=0
if wait "$capture"; then
  heard=$(awk '/first sound at/ { print $4 }' "$work/capture.log")
  echo "first sound $(ms "$serverStart" "$heard") ms after the server's start"
else
  cat "$work/capture.log"
  failed=1
fi
shoot back
# Quit through the exit button (the sixth of the row, 540 px right of the main window's left
# edge) and its question.
eval "$(xdotool search --sync --onlyvisible --name '^Airloom 32$' getwindowgeometry --shell | head -n 4)"
xdotool mousemove $((X + 540)) $((Y + 28)) click 1 && sleep 0.5
asked=$(now)
xdotool key Return
for _ in $(seq 100); do kill -0 "$airloom" 2>/dev/null || break; sleep 0.02; done
if kill -0 "$airloom" 2>/dev/null; then
  echo "Airloom still runs 2 s after the exit was confirmed"
  failed=1
else
  echo "quit $(ms "$asked" "$(now)") ms after the exit was confirmed"
fi
echo "== stderr of Airloom"
cut -d' ' -f2- "$work/airloom.log"
echo "screenshots: $shots"
exit $failed
