#!/usr/bin/env bash
# Measures the whole program's CPU use and wakeups with nothing playing: build/airloom under
# Xvfb with a temporary Vidav.ini and a category of carts, first on the silent output (no
# sound device), then on a JACK server's dummy back end (--device system). For each output
# it measures three idle states: after start-up, after a cart has played to its end (the
# player left open), and after a cart was stopped by its deck's key; then, for comparison,
# a cart playing. Each line gives the CPU time (user + system, from /proc/PID/stat and, to
# the nanosecond, schedstat) as a share of one core, and the voluntary context switches per
# second of each thread, which is how often it woke. With "preview", the JACK server is
# measured once more with a pre-listen output open (--preview-device into a JACK client of
# its own, a jack_rec) and nothing pre-listened.
#
# Usage: scripts/measure-idle-cpu.sh [BUILD_DIR] [X_DISPLAY] [SECONDS] [preview]
# Needs Xvfb, xdotool, sox and jackd2 (scripts/install-deps.sh).
set -euo pipefail
build=$(realpath "${1:-build}")
display=${2:-:98}
seconds=${3:-30}
preview=${4:-}
source "$(dirname "$0")/measure-common.sh"

export XDG_RUNTIME_DIR=$work/run QT_QPA_PLATFORM=xcb DISPLAY=$display
mkdir -m 700 "$work/run"
write_settings
sox -n -r 48000 -c 2 "$work/carts/tone.wav" synth 2 sine 440
sox -n -r 48000 -c 2 "$work/carts/bed.wav" synth 60 sine 330
for n in 1 2 3 4 5 6; do cp "$work/carts/tone.wav" "$work/carts/spot $n.wav"; done

start_xvfb "$display"

# A process's threads as "TID COMM VOLUNTARY_SWITCHES" lines (a thread that ends while
# it is read is left out), and its CPU time.
threads() {
  local task comm count
  for task in /proc/"$1"/task/*; do
    comm=$(tr -c '[:alnum:]-\n' '_' <"$task/comm") || continue
    count=$(awk '/^voluntary_ctxt_switches/ {print $2}' "$task/status") || continue
    [ -n "$comm" ] && [ -n "$count" ] && echo "${task##*/} $comm $count"
  done 2>/dev/null
}
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
cpu_ns() {
  local sum=0 task
  for task in /proc/"$1"/task/*; do
    sum=$((sum + $(cut -d' ' -f1 "$task/schedstat" 2>/dev/null || echo 0)))
  done
  echo "$sum"
}

# Measures pid for the given seconds and prints one block of figures under label.
measure() {
  local pid=$1 label=$2 ticks0 ns0 t0 ticks1 ns1 t1
  threads "$pid" >"$work/before.$pid"
  ticks0=$(cpu_ticks "$pid") ns0=$(cpu_ns "$pid") t0=$(date +%s%N)
  sleep "$seconds"
  threads "$pid" >"$work/after.$pid"
  ticks1=$(cpu_ticks "$pid") ns1=$(cpu_ns "$pid") t1=$(date +%s%N)
  awk -v label="$label" -v ticks=$((ticks1 - ticks0)) -v hz="$(getconf CLK_TCK)" \
    -v ns=$((ns1 - ns0)) -v wall=$((t1 - t0)) '
    FNR == NR { before[$1] = $3; next }
    {
      # A thread started since counts from 0.
      rate = ($3 - ($1 in before ? before[$1] : 0)) / (wall / 1e9)
      byname[$2] += rate
      total += rate
    }
    END {
      printf "%-40s CPU %5.2f %% of one core (stat), %6.3f %% (schedstat); %6.1f wakeups/s\n",
        label, 100 * ticks / hz / (wall / 1e9), 100 * ns / wall, total
      for (name in byname) printf "    %-16s %7.1f wakeups/s\n", name, byname[name]
    }' "$work/before.$pid" "$work/after.$pid"
}

# Loads tone.wav into deck 1 and bed.wav into deck 2 through the search box, which keeps
# the focus (and its blinking text cursor) as it does for an operator.
load_decks() {
  xdotool mousemove 640 512 key F12 && sleep 0.3
  xdotool type tone && sleep 0.5
  xdotool key ctrl+F1 && sleep 0.5
  xdotool key F12 && sleep 0.3
  xdotool type bed && sleep 0.5
  xdotool key ctrl+F2 && sleep 0.5
}

# Runs one output through the idle states; the rest of the arguments go to airloom.
run() {
  local output=$1 pid
  shift
  "$build/airloom" --settings "$work/Vidav.ini" "$@" >"$work/airloom.log" 2>&1 &
  pid=$!
  pids+=("$pid")
  sleep 8 # the title window gives way to the main window
  # The no-sound-card warning, when there is one, is answered first.
  if grep -q '^No audio output device' "$work/airloom.log"; then
    xdotool key Return && sleep 0.5
  fi
  echo "== $output: $(grep -m1 -e '^Audio output:' -e '^No audio output' "$work/airloom.log")"
  grep -m1 '^Pre-listen output' "$work/airloom.log" || true
  sleep 2
  # The JACK server, when there is one, is measured alongside, for reference.
  if [ -n "${jackd_pid:-}" ]; then
    measure "$jackd_pid" "the JACK server meanwhile" >"$work/server" &
  fi
  measure "$pid" "idle after start-up"
  if [ -n "${jackd_pid:-}" ]; then
    wait $!
    cat "$work/server"
  fi
  load_decks
  xdotool key F1 && sleep 4 # the 2-second cart plays to its end
  measure "$pid" "idle after a cart played to its end"
  xdotool key F1 && sleep 1 && xdotool key F1 && sleep 1 # fired, then stopped by its key
  measure "$pid" "idle after a cart was stopped"
  xdotool key F2 && sleep 1
  measure "$pid" "playing (for comparison)"
  xdotool key F2 && sleep 0.5
  kill "$pid"
  wait "$pid" 2>/dev/null || true
}

# The silent output: no JACK server of this name, and no sound card.
export JACK_DEFAULT_SERVER=airloom-idle-none-$$
run "silent output"

start_jackd
run "JACK dummy server" --device system
if [ "$preview" = preview ]; then
  # The preview's own JACK client, there before the program lists the devices.
  jack_rec -f "$work/preview.wav" -d 100000 system:capture_1 system:capture_2 >/dev/null 2>&1 &
  pids+=($!)
  for _ in $(seq 50); do jack_lsp | grep -q '^jackrec:' && break; sleep 0.1; done
  run "JACK dummy server, pre-listen output open" --device system --preview-device jackrec
fi
