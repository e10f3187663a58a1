#!/usr/bin/env bash
# Measures pre-listening beside a cart on air, where the listener is: build/airloom under
# Xvfb on a JACK dummy server, with the output and the preview output both "system". Deck 1
# plays a 440 Hz tone on air while the operator's keys (xdotool, Space in the cart list)
# start and stop a pre-listen of a 1 kHz tone PRESSES times. jack_rec records the client's
# own ports, Airloom:out_* and "Airloom preview":preview_*, for the whole run. Prints, for
# each capture, the frames of each tone heard, the silent frames (runs of two or more zero
# samples: a tone never has them) and the starts of sound; and the underruns the program
# reported.
#
# Usage: scripts/measure-prelisten.sh [BUILD_DIR] [X_DISPLAY] [PRESSES]
# Needs Xvfb, xdotool, sox, jackd2 and jack_rec (scripts/install-deps.sh).
set -euo pipefail
build=$(realpath "${1:-build}")
display=${2:-:98}
presses=${3:-100}
source "$(dirname "$0")/measure-common.sh"

export XDG_RUNTIME_DIR=$work/run QT_QPA_PLATFORM=xcb DISPLAY=$display
mkdir -m 700 "$work/run" "$work/carts"
printf '[global]\ncallsign=TEST\n[cat 1]\nName=Tones\nPath=%s/carts\n' "$work" >"$work/Vidav.ini"
seconds=$((presses * 6 / 10 + 20))
sox -n -r 48000 -c 2 "$work/carts/air.wav" synth "$seconds" sine 440 vol 0.5
sox -n -r 48000 -c 2 "$work/carts/cue.wav" synth 20 sine 1000 vol 0.5

start_xvfb "$display"
start_jackd
"$build/airloom" --settings "$work/Vidav.ini" --device system --preview-device system \
  >"$work/airloom.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do
  window=$(xdotool search --name '^Airloom$' 2>/dev/null | tail -1) && break
  sleep 0.1
done
sleep 5
# The list's rows, from the window's corner: air.wav, then cue.wav.
eval "$(xdotool getwindowgeometry --shell "$window")"
row() { xdotool mousemove $((X + 55)) $((Y + 110 + 13 * $1)) click 1; sleep 0.3; }
row 0
xdotool key ctrl+F1
sleep 1
xdotool key F1
sleep 1
row 1
jack_rec -f "$work/main.wav" -d $((presses * 6 / 10 + 3)) Airloom:out_0 Airloom:out_1 \
  >/dev/null 2>&1 &
pids+=($!)
jack_rec -f "$work/cue.wav" -d $((presses * 6 / 10 + 3)) "Airloom preview:preview_0" \
  "Airloom preview:preview_1" >/dev/null 2>&1 &
pids+=($!)
sleep 1
for _ in $(seq "$presses"); do
  xdotool key space
  sleep 0.3
  xdotool key space
  sleep 0.3
done
sleep 3
python3 - "$work/main.wav" "$work/cue.wav" <<'PY'
import array, sys, wave
for path, name in zip(sys.argv[1:], ("on air", "preview")):
    w = wave.open(path)
    a = array.array("h")
    a.frombytes(w.readframes(w.getnframes()))
    left = a[0::w.getnchannels()]
    rate = w.getframerate()
    # Each 256-frame block: its tone by zero crossings, or silence.
    tones = {"440 Hz": 0, "1 kHz": 0, "silence": 0, "other": 0}
    for i in range(0, len(left) - 256, 256):
        b = left[i:i + 256]
        if max(abs(x) for x in b) < 64:
            tones["silence"] += 256
            continue
        zc = sum(1 for j in range(1, 256) if (b[j - 1] < 0) != (b[j] < 0))
        hz = zc * rate / 2 / 256
        tones["440 Hz" if 380 < hz < 500 else "1 kHz" if 900 < hz < 1100 else "other"] += 256
    silent, run, starts, quiet = 0, 0, 0, True
    for x in left:
        run = run + 1 if x == 0 else 0
        silent += run >= 2 and (1 if run > 2 else 2)
    for i in range(0, len(left) - 64, 64):
        loud = max(abs(x) for x in left[i:i + 64]) >= 64
        starts += loud and quiet
        quiet = not loud
    print(f"{name}: {len(left)} frames; " +
          ", ".join(f"{k} {v}" for k, v in tones.items()) +
          f"; silent frames {silent}; starts of sound {starts}")
PY
grep -i "underrun\|pre-listen" "$work/airloom.log" | sort | uniq -c || true
