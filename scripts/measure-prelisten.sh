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
# The main window follows the title window: the one over 500 pixels wide.
window=
for _ in $(seq 300); do
  for id in $(xdotool search --name '^Airloom' 2>/dev/null); do
    eval "$(xdotool getwindowgeometry --shell "$id")"
    [ "$WIDTH" -gt 500 ] && window=$id
  done
  [ -n "$window" ] && break
  sleep 0.1
done
sleep 2
# The list's rows, from the window's corner: air.wav, then cue.wav.
eval "$(xdotool getwindowgeometry --shell "$window")"
row() { xdotool mousemove $((X + 55)) $((Y + 110 + 13 * $1)) click 1; sleep 0.3; }
row 0
xdotool key ctrl+F1
sleep 1
xdotool key F1
sleep 1
row 1
# Longer than the presses take on a busy machine; each recorder ends by itself.
record=$((presses * 8 / 10 + 5))
jack_rec -f "$work/main.wav" -d "$record" Airloom:out_0 Airloom:out_1 >/dev/null 2>&1 &
recorders=($!)
jack_rec -f "$work/cue.wav" -d "$record" "Airloom preview:preview_0" \
  "Airloom preview:preview_1" >/dev/null 2>&1 &
recorders+=($!)
pids+=("${recorders[@]}")
sleep 1
for _ in $(seq "$presses"); do
  xdotool key space
  sleep 0.3
  xdotool key space
  sleep 0.3
done
wait "${recorders[@]}"
python3 - "$work/main.wav" "$work/cue.wav" <<'PY'
import array, math, sys, wave
for path, name in zip(sys.argv[1:], ("on air", "preview")):
    w = wave.open(path)
    a = array.array("h")
    a.frombytes(w.readframes(w.getnframes()))
    left = a[0::w.getnchannels()]
    rate = w.getframerate()
    # Each 256-frame block: silence, or the tone whose power (Goertzel) is the larger; a
    # block holding over 1 % of the other tone's power is counted as mixed.
    tones = {"440 Hz": 0, "1 kHz": 0, "silence": 0, "mixed": 0}
    def power(b, hz):
        c = 2 * math.cos(2 * math.pi * hz / rate)
        s1 = s2 = 0.0
        for x in b:
            s1, s2 = x + c * s1 - s2, s1
        return s1 * s1 + s2 * s2 - c * s1 * s2
    for i in range(0, len(left) - 256, 256):
        b = left[i:i + 256]
        if max(abs(x) for x in b) < 64:
            tones["silence"] += 256
            continue
        low, high = power(b, 440), power(b, 1000)
        tone = "440 Hz" if low > high else "1 kHz"
        tones["mixed" if min(low, high) > 0.01 * max(low, high) else tone] += 256
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
