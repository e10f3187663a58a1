#!/usr/bin/env bash
# Measures pre-listening beside a cart on air, where the listener is: build/airloom under
# Xvfb on a JACK dummy server, the output "system" and the preview output a JACK client of
# its own, a recorder (jack_rec, "jackrec", fed silence by the server's capture ports) that
# keeps what the preview plays for the whole run. Deck 1 plays a 440 Hz tone on air while
# Space in the cart list (xdotool, through build/bench/airloom-firelatency capturing
# "Airloom preview") starts and stops a pre-listen of a 1 kHz tone PRESSES times. A second
# jack_rec records Airloom:out_* meanwhile. Prints the time from each Space to the first
# preview frame (median and worst) against the preview's period and latency; for each
# capture, the frames of each tone, the silent frames (runs of two or more zero samples: a
# tone never has them) and the starts of sound; the underruns each output reported; and the
# line that refuses the on-air output as the preview output.
#
# Usage: scripts/measure-prelisten.sh [BUILD_DIR] [X_DISPLAY] [PRESSES]
# Needs Xvfb, xdotool, sox, jackd2 and jack_rec (scripts/install-deps.sh) and a build with
# JACK's development files present.
set -euo pipefail
build=$(realpath "${1:-build}")
display=${2:-:98}
presses=${3:-100}
source "$(dirname "$0")/measure-common.sh"

export XDG_RUNTIME_DIR=$work/run QT_QPA_PLATFORM=xcb DISPLAY=$display
mkdir -m 700 "$work/run"
write_settings
# Longer than the presses take on a busy machine: the cart on air outlasts its capture.
record=$((presses + 10))
sox -n -r 48000 -c 2 "$work/carts/air.wav" synth $((2 * record + 30)) sine 440 vol 0.5
sox -n -r 48000 -c 2 "$work/carts/cue.wav" synth 20 sine 1000 vol 0.5

start_xvfb "$display"
start_jackd
# The preview's output is there before the program lists the devices.
jack_rec -f "$work/cue.wav" -d $((record + 40)) system:capture_1 system:capture_2 \
  >/dev/null 2>&1 &
recorders=($!)
pids+=("${recorders[@]}")
for _ in $(seq 50); do jack_lsp | grep -q '^jackrec:' && break; sleep 0.1; done
echo "== The output on air named as the preview output"
timeout 5 "$build/airloom" --settings "$work/Vidav.ini" --device system \
  --preview-device system 2>&1 | grep '^Pre-listen output' || true
"$build/airloom" --settings "$work/Vidav.ini" --device system --preview-device jackrec \
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
grep -e '^Audio output:' -e '^Pre-listen output' "$work/airloom.log"
# The list's rows, inside the window (a window manager's frame does not move them): air.wav,
# then cue.wav.
row() { xdotool mousemove --window "$window" 55 $((110 + 13 * $1)) click 1; sleep 0.3; }
row 0
xdotool key ctrl+F1
sleep 1
xdotool key F1
sleep 1
row 1
jack_rec -f "$work/main.wav" -d "$record" Airloom:out_0 Airloom:out_1 >/dev/null 2>&1 &
recorders+=($!)
pids+=("${recorders[-1]}")
sleep 1
echo "== Space to the first preview frame"
AIRLOOM_KEY=space AIRLOOM_CAPTURE="Airloom preview:preview_0,Airloom preview:preview_1" \
  "$build/bench/airloom-firelatency" "$presses" | tail -n 2
wait "${recorders[@]}"
echo "== What each output played"
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
echo "== Underruns and dropouts reported (on air, then the preview's)"
grep -c '^Audio underruns' "$work/airloom.log" || true
grep -c '^Pre-listen output: [0-9]' "$work/airloom.log" || true
grep -e '^Audio underruns' -e '^Pre-listen output: [0-9]' "$work/airloom.log" | tail -n 4 || true
