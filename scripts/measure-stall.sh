#!/usr/bin/env bash
# Measures what a share that stops answering does to the cart on air, on the real path: a
# JACK server on its dummy back end, Airloom through PortAudio's JACK host under Xvfb, real
# key presses through xdotool, and a FUSE file system that hangs on demand
# (scripts/hangfs.py) holding the carts. Deck 1 (Sequence) holds a 12-second cart, deck 2 a
# 20-second one whose file stops answering opens and reads for 15 s just before F1; the
# capture client (build/bench/airloom-firelatency) reports the silence inside deck 1's
# cart ("frames of it lost") and at the join to deck 2. Meanwhile an OSC client asks the
# program for its status every 20 ms and waits for each answer, which the UI thread sends:
# the longest wait is the longest the UI thread was held, also while a file of the share
# that is not a sound file is loaded again onto deck 5 during the hang. Then a third cart is loaded onto
# deck 3 while every file descriptor of the program is in use (prlimit), which are freed
# 1.5 s later; F3 must play it whole.
#
# Usage: scripts/measure-stall.sh [BUILD_DIR] [X_DISPLAY] [HANG_SECONDS] [OSC_PORT]
# Needs jackd2, Xvfb, xdotool, sox, python3-fuse, fuse3 and prlimit (util-linux) (scripts/install-deps.sh), a
# build with JACK's development files present, and /dev/fuse.
set -euo pipefail
build=$(realpath "${1:-build}")
display=${2:-:97}
hang=${3:-15}
port=${4:-9087}
here=$(dirname "$(realpath "$0")")
source "$here/measure-common.sh"

share=$work/share
mkdir "$work/backing" "$share"
trap 'fusermount3 -u "$share" 2>/dev/null || true; cleanup' EXIT
echo 0 >"$work/hang-until"
# Sweeps, so that no stretch of a cart repeats and each can be found in the capture.
sox -n -r 48000 -c 2 "$work/backing/local-12.wav" synth 12 sine 300-600
sox -n -r 48000 -c 2 "$work/backing/share-20.wav" synth 20 sine 900-400
sox -n -r 48000 -c 2 "$work/backing/fd-8.wav" synth 8 sine 200-800
echo "not a sound" >"$work/backing/share-junk.wav"
/usr/bin/python3 "$here/hangfs.py" "$work/backing" "$share" "$work/hang-until" 2>"$work/hangfs.log" &
pids+=($!)
for _ in $(seq 50); do mountpoint -q "$share" && break; sleep 0.1; done
mountpoint -q "$share" || { echo "the FUSE share did not mount"; cat "$work/hangfs.log"; exit 1; }

start_jackd
export XDG_RUNTIME_DIR=$work/run
mkdir -m 700 "$work/run"
printf '[global]\ncallsign=TEST\n[cat 1]\nName=Share\nPath=%s\n[deck 1]\nMode=Seqnc\n' \
  "$share" >"$work/Vidav.ini"
printf '[remote]\nOscPort=%s\n' "$port" >>"$work/Vidav.ini"
start_xvfb "$display"
export DISPLAY=$display QT_QPA_PLATFORM=xcb
"$build/airloom" --settings "$work/Vidav.ini" --device system >"$work/airloom.log" 2>&1 &
airloom=$!
pids+=("$airloom")
sleep 8 # the title window gives way to the main window, centred under the pointer
xdotool mousemove 640 512
for load in local:F1 share-2:F2 share-j:F4; do
  xdotool key F12 && sleep 0.3
  xdotool type "${load%:*}" && sleep 0.5
  xdotool key "ctrl+${load#*:}" && sleep 1
done
sleep 2 # measured and prepared

# The UI thread's answers to OSC status requests, one at a time, until the stop file.
cat >"$work/probe.py" <<'PROBE'
import os, socket, statistics, sys, time
port, stop = int(sys.argv[1]), sys.argv[2]
sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
sock.settimeout(60)
waits = []
while not os.path.exists(stop):
    sent = time.monotonic()
    sock.sendto(b"/airloom/status\0,\0\0\0", ("127.0.0.1", port))
    try:
        sock.recv(4096)
    except socket.timeout:
        print("the UI thread did not answer for 60 s")
        break
    waits.append((time.monotonic() - sent) * 1000)
    time.sleep(0.02)
print(f"UI thread (OSC status round trip, {len(waits)} requests): median "
      f"{statistics.median(waits):.1f} ms, longest {max(waits):.1f} ms")
PROBE
/usr/bin/python3 "$work/probe.py" "$port" "$work/probe-stop" >"$work/probe.log" 2>&1 &
probe=$!
pids+=("$probe")

echo "== Deck 2's file stops answering for $hang s just before F1 (Sequence, decks 1 and 2)"
echo $(($(date +%s) + hang)) >"$work/hang-until"
sleep 0.5
(sleep 3 && xdotool key F12 && sleep 0.3 && xdotool type share-j && sleep 0.5 &&
  xdotool key ctrl+F5) &
"$build/bench/airloom-firelatency" --joins F1 $((12000 + 20000 + 2000)) \
  "$work/backing/local-12.wav" "$work/backing/share-20.wav" || true
[ -z "${AIRLOOM_SHOT:-}" ] || import -window root "$AIRLOOM_SHOT"
touch "$work/probe-stop"
wait "$probe" || true
cat "$work/probe.log"
echo "== Airloom's own lines so far"
grep -v '^$' "$work/airloom.log" || true
: >"$work/airloom.log"

echo "== Deck 3 loaded while every file descriptor is in use, freed 1.5 s later; then F3"
limit=$(prlimit --pid "$airloom" --nofile --output SOFT --noheadings)
prlimit --pid "$airloom" --nofile="$(ls "/proc/$airloom/fd" | wc -l):"
xdotool key F12 && sleep 0.3
xdotool type fd && sleep 0.5
xdotool key ctrl+F3
sleep 1.5
prlimit --pid "$airloom" --nofile="$limit:"
sleep 10 # the measurement's retries: after 1, 2 and 4 s
[ -z "${AIRLOOM_SHOT:-}" ] || import -window root "${AIRLOOM_SHOT%.png}-fd.png"
"$build/bench/airloom-firelatency" --joins F3 10000 "$work/backing/fd-8.wav" || true
echo "== Airloom's own lines"
grep -v '^$' "$work/airloom.log" || true
