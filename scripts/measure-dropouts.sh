#!/usr/bin/env bash
# Dropouts on the real path, as Airloom counts them and as a listener in the JACK graph hears
# them: Airloom plays a 440 Hz tone through PortAudio's JACK host into a JACK server on its
# dummy back end (48 kHz, 256-frame periods) while BUSY shell loops load the machine; jack_rec
# captures Airloom's left port for SECONDS. Prints Airloom's count over the capture (the
# stderr lines "N dropouts heard (X ms missed)"), the periods JACK reported late (its xruns),
# and what the capture holds: silent runs inside the tone, and breaks in the sine (a period
# repeated or skipped), with those that fall on a period's edge.
#
# Usage: scripts/measure-dropouts.sh [BUILD_DIR] [X_DISPLAY] [SECONDS] [BUSY]
# Needs jackd2 (with jack_rec), Xvfb, xdotool and sox (scripts/install-deps.sh).
set -euo pipefail
build=$(realpath "${1:-build}")
display=${2:-:97}
seconds=${3:-20}
busy=${4:-4}
source "$(dirname "$0")/measure-common.sh"

start_jackd
export XDG_RUNTIME_DIR=$work/run
mkdir -m 700 "$work/run"
write_settings
# Half of full scale: no sample reaches the ceiling, so every break in the sine is a fault.
sox -n -r 48000 -c 2 "$work/carts/tone.wav" synth $((seconds + 30)) sine 440 vol 0.5
start_xvfb "$display"
export DISPLAY=$display QT_QPA_PLATFORM=xcb
"$build/airloom" --settings "$work/Vidav.ini" --device system >/dev/null \
  2> >(stamp_lines >"$work/airloom.log") &
pids+=($!)
sleep 8 # the title window gives way to the main window, centred under the pointer
xdotool mousemove 640 512 key F12 && sleep 0.3
xdotool type tone && sleep 0.5
xdotool key ctrl+F1 && sleep 1
xdotool key F1 && sleep 1
for _ in $(seq "$busy"); do
  (while :; do :; done) &
  pids+=($!)
done
sleep 1
begin=$(date +%s.%N)
jack_rec -f "$work/capture.wav" -d "$seconds" -b 32 Airloom:out_0 >/dev/null
end=$(date +%s.%N)
echo "== $seconds s captured at 256-frame periods with $busy busy loops"
python3 - "$work/airloom.log" "$begin" "$end" "$work/capture.wav" <<'PY'
import array, math, re, sys, wave
log, begin, end, capture = sys.argv[1], float(sys.argv[2]), float(sys.argv[3]), sys.argv[4]
counted = missed = late = 0
for line in open(log):
    at = float(line.split()[0])
    if not begin + 1 <= at <= end + 0.5:  # each line reports the second before it
        continue
    if m := re.search(r"(\d+) dropouts heard \(([\d.]+) ms", line):
        counted += int(m.group(1))
        missed += float(m.group(2))
    if m := re.search(r"(\d+) periods late on the output device", line):
        late += int(m.group(1))
print(f"Airloom counted: {counted} dropouts, {missed:.1f} ms missed")
print(f"JACK reported: {late} periods late (xruns)")
w = wave.open(capture)
a = array.array("i")
a.frombytes(w.readframes(w.getnframes()))
full = 2.0**31
quiet = [abs(x) < full * 1e-4 for x in a]
runs, run = [], 0
for q in quiet:
    if q:
        run += 1
    else:
        if run >= 8:
            runs.append(run)
        run = 0
c = 2 * math.cos(2 * math.pi * 440 / 48000)
breaks, last = [], -(10**9)
for i in range(2, len(a)):
    if abs(a[i] - (c * a[i - 1] - a[i - 2])) > full * 0.01:
        if i - last > 64:
            breaks.append(i)
        last = i
edges = sum(1 for i in breaks if i % 256 in (0, 1, 255))
print(f"capture: {len(a)} frames, {len(runs)} silent runs ({sum(runs) / 48:.1f} ms), "
      f"{len(breaks)} breaks in the sine, {edges} of them on a period's edge")
PY
