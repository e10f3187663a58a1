#!/usr/bin/env bash
# Measures what a share that stops answering does to the cart on air, on the real path: a
# JACK server on its dummy back end, Airloom through PortAudio's JACK host under Xvfb, real
# key presses through xdotool, and a FUSE file system that hangs on demand
# (scripts/hangfs.py) holding the carts. Deck 1 (Sequence) holds a 12-second cart, deck 2 a
# 20-second one whose file stops answering opens and reads for 15 s just before F1; the
# capture client (build/bench/airloom-firelatency) reports the silence inside deck 1's
# cart ("frames of it lost") and at the join to deck 2.
#
# Usage: scripts/measure-stall.sh [BUILD_DIR] [X_DISPLAY] [HANG_SECONDS]
# Needs jackd2, Xvfb, xdotool, sox, python3-fuse and fuse3 (scripts/install-deps.sh), a
# build with JACK's development files present, and /dev/fuse.
set -euo pipefail
build=$(realpath "${1:-build}")
display=${2:-:97}
hang=${3:-15}
here=$(dirname "$(realpath "$0")")
source "$here/measure-common.sh"

share=$work/share
mkdir "$work/backing" "$share"
trap 'fusermount3 -u "$share" 2>/dev/null || true; cleanup' EXIT
echo 0 >"$work/hang-until"
# Sweeps, so that no stretch of a cart repeats and each can be found in the capture.
sox -n -r 48000 -c 2 "$work/backing/local-12.wav" synth 12 sine 300-600
sox -n -r 48000 -c 2 "$work/backing/share-20.wav" synth 20 sine 900-400
/usr/bin/python3 "$here/hangfs.py" "$work/backing" "$share" "$work/hang-until" 2>"$work/hangfs.log" &
pids+=($!)
for _ in $(seq 50); do mountpoint -q "$share" && break; sleep 0.1; done
mountpoint -q "$share" || { echo "the FUSE share did not mount"; cat "$work/hangfs.log"; exit 1; }

start_jackd
export XDG_RUNTIME_DIR=$work/run
mkdir -m 700 "$work/run"
printf '[global]\ncallsign=TEST\n[cat 1]\nName=Share\nPath=%s\n[deck 1]\nMode=Seqnc\n' \
  "$share" >"$work/Vidav.ini"
start_xvfb "$display"
export DISPLAY=$display QT_QPA_PLATFORM=xcb
"$build/airloom" --settings "$work/Vidav.ini" --device system >"$work/airloom.log" 2>&1 &
pids+=($!)
sleep 8 # the title window gives way to the main window, centred under the pointer
xdotool mousemove 640 512
for load in local:F1 share:F2; do
  xdotool key F12 && sleep 0.3
  xdotool type "${load%:*}" && sleep 0.5
  xdotool key "ctrl+${load#*:}" && sleep 1
done
sleep 2 # measured and prepared

echo "== Deck 2's file stops answering for $hang s just before F1 (Sequence, decks 1 and 2)"
echo $(($(date +%s) + hang)) >"$work/hang-until"
sleep 0.5
"$build/bench/airloom-firelatency" --joins F1 $((12000 + 20000 + 2000)) \
  "$work/backing/local-12.wav" "$work/backing/share-20.wav" || true
[ -z "${AIRLOOM_SHOT:-}" ] || import -window root "$AIRLOOM_SHOT"
echo "== Airloom's own lines"
grep -v '^$' "$work/airloom.log" || true
