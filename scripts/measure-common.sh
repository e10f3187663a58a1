# Sourced by the measuring scripts: a temporary work folder, removed on exit with every
# process started through start_bg, and the JACK dummy server they measure on.

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# Starts Xvfb on display $1 and waits a moment for it.
start_xvfb() {
  Xvfb "$1" -screen 0 1280x1024x24 >/dev/null 2>&1 &
  pids+=($!)
  sleep 1
}

# Starts a JACK server of our own name (AIRLOOM_JACK_SERVER, else one made up) on its dummy
# back end (48 kHz, 256-frame periods), so that a studio's running server is left alone, and
# waits until it answers. Sets jackd_pid.
start_jackd() {
  export JACK_DEFAULT_SERVER=${AIRLOOM_JACK_SERVER:-airloom-measure-$$}
  jackd -n "$JACK_DEFAULT_SERVER" -r -d dummy -r 48000 -p 256 >"$work/jackd.log" 2>&1 &
  jackd_pid=$!
  pids+=("$jackd_pid")
  for _ in $(seq 50); do jack_lsp >/dev/null 2>&1 && break; sleep 0.1; done
}

# The station's settings for a measure: call letters TEST and category 1, "Tones", whose
# folder $work/carts is made here. Callers add their decks' modes to $work/Vidav.ini.
write_settings() {
  mkdir -p "$work/carts"
  printf '[global]\ncallsign=TEST\n[cat 1]\nName=Tones\nPath=%s/carts\n' "$work" >"$work/Vidav.ini"
}

# Copies its input to its output, each line stamped with the time it arrived.
stamp_lines() {
  python3 -u -c 'import sys, time
for line in sys.stdin: print(f"{time.time():.3f} {line}", end="", flush=True)'
}
