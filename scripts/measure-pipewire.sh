#!/usr/bin/env bash
# Airloom on a PipeWire desktop's sound server, measured on a headless PipeWire of the
# script's own: pipewire, wireplumber and pipewire-pulse under a private session D-Bus and
# runtime folder, a null sink ("Null Sink"), and an ALSA configuration of its own
# (ALSA_CONFIG_PATH), so the machine's ALSA defaults and any running sound server are left
# alone. For each path into it (the default ALSA device, --device pipewire, --device pulse,
# and pw-jack with --device jack) it prints, from a JACK client under pw-jack on the sink's
# monitor ports (build/bench/airloom-firelatency):
# - the latency the program reports, the time from F1 to the first captured frame, and the
#   silence put in at the joins of a Sequence of three carts;
# - a server stop and start: how long until the program says "back", and whether F1 then
#   plays within 1 s;
# - PIPEWIRE_LATENCY=1024/48000, and then clock.force-quantum 1024, with the default
#   settings: what the program said, presses heard, and the Sequence heard sample for sample;
# - the sink destroyed and created again 6 s later: what the program said, how long after the
#   sink's return it was back, and whether F1 then plays.
#
# Usage: scripts/measure-pipewire.sh [BUILD_DIR] [X_DISPLAY] [PRESSES]
# AIRLOOM_PW_PATHS (e.g. "pipewire|pw-jack") picks paths by name.
# Needs what scripts/install-deps.sh installs, and PipeWire (see below), which that script
# does not install: pipewire-alsa puts links into /etc/alsa/conf.d that hand every program's
# default ALSA device to PipeWire.
set -euo pipefail
build=$(realpath "${1:-build}")
display=${2:-:97}
presses=${3:-10}

need=()
for tool in pipewire wireplumber pipewire-pulse pw-jack pw-cli dbus-run-session; do
  command -v "$tool" >/dev/null || need+=("$tool")
done
pwalsa=/usr/share/alsa/alsa.conf.d
[ -f "$pwalsa/50-pipewire.conf" ] || need+=("pipewire-alsa")
if [ ${#need[@]} -gt 0 ]; then
  cat >&2 <<EOF
Missing: ${need[*]}. Install PipeWire without its ALSA defaults, as root:
  apt-get install --no-install-recommends \\
    -o 'DPkg::Options::=--path-exclude=/etc/alsa/conf.d/*pipewire*' \\
    pipewire pipewire-bin wireplumber pipewire-pulse pipewire-alsa pipewire-jack dbus
(never on a CI machine with the conf.d links: they make PipeWire every program's default).
EOF
  exit 2
fi
# A session bus of our own, so the session manager talks to no desktop's.
if [ -z "${AIRLOOM_PW_SESSION:-}" ]; then
  AIRLOOM_PW_SESSION=1 exec dbus-run-session -- "$0" "$@" 2> >(grep -v 'fd limit' >&2)
fi
source "$(dirname "$0")/measure-common.sh"

export XDG_RUNTIME_DIR=$work/run XDG_CONFIG_HOME=$work/config XDG_STATE_HOME=$work/state
export HOME=$work/home ALSA_CONFIG_PATH=$work/asound.conf
mkdir -m 700 "$XDG_RUNTIME_DIR" "$XDG_CONFIG_HOME" "$XDG_STATE_HOME" "$HOME"
printf '</usr/share/alsa/alsa.conf>\n<%s/50-pipewire.conf>\n<%s/99-pipewire-default.conf>\n' \
  "$pwalsa" "$pwalsa" >"$ALSA_CONFIG_PATH"
export AIRLOOM_CAPTURE="Null Sink:monitor_FL,Null Sink:monitor_FR"
capture() { pw-jack "$build/bench/airloom-firelatency" "$@" || true; }

server=()
createSink() {
  pw-cli create-node adapter '{ factory.name=support.null-audio-sink node.name=airloom-sink
    node.description="Null Sink" media.class=Audio/Sink object.linger=true
    audio.position=[FL FR] }' >/dev/null
  for _ in $(seq 50); do pw-jack jack_lsp 2>/dev/null | grep -q 'Null Sink:monitor_FR' && return 0; sleep 0.1; done
  echo "the null sink did not appear" >&2
  return 1
}
startServer() {
  server=()
  pipewire >>"$work/pipewire.log" 2>&1 &
  server+=($!)
  started=$(date +%s.%N)
  for _ in $(seq 50); do [ -S "$XDG_RUNTIME_DIR/pipewire-0" ] && break; sleep 0.1; done
  wireplumber >>"$work/pipewire.log" 2>&1 &
  server+=($!)
  pipewire-pulse >>"$work/pipewire.log" 2>&1 &
  server+=($!)
  pids+=("${server[@]}")
  sleep 1
  createSink
}
stopServer() {
  kill "${server[@]}" 2>/dev/null || true
  wait "${server[@]}" 2>/dev/null || true
}
sinkId() {
  pw-cli ls Node | awk '/^\tid /{gsub(",","",$2); id=$2} /node.name = "airloom-sink"/{print id}'
}

startServer
start_xvfb "$display"
export DISPLAY=$display QT_QPA_PLATFORM=xcb
write_settings
printf '[deck %s]\nMode=%s\n' 5 Seqnc 6 Seqnc >>"$work/Vidav.ini"
carts=$work/carts
sox -n -r 48000 -c 2 "$carts/tone.wav" synth 2 sine 440
sox -n -r 48000 -c 2 "$carts/seq-1.wav" synth 2 sine 300-600
sox -n -r 48000 -c 2 "$carts/seq-2.wav" synth 2 sine 900-400
sox -n -r 48000 -c 2 "$carts/seq-3.wav" synth 2 sine 400-800

app=
log=
# Starts the program ($1: a label; then the command) and loads its decks.
launch() {
  log=$work/airloom-$1.log
  shift
  "$@" --settings "$work/Vidav.ini" >/dev/null 2> >(stamp_lines >"$log") &
  app=$!
  pids+=("$app")
  # The title window gives way to the main window, centred under the pointer.
  sleep "${settle:-8}"
  xdotool mousemove 640 512
  for load in tone:F1 seq-1:F5 seq-2:F6 seq-3:F7; do
    xdotool key F12 && sleep 0.3
    xdotool type "${load%:*}" && sleep 0.5
    xdotool key "ctrl+${load#*:}" && sleep 0.8
  done
}
quit() {
  kill "$app" 2>/dev/null || true
  wait "$app" 2>/dev/null || true
}
said() { cut -d' ' -f2- "$log" | grep -E "$1" | sed 's/^/    /' || true; }
# Waits up to $2 s for a line matching $1 after line $3; prints its stamp.
stampOf() {
  for _ in $(seq $(($2 * 20))); do
    local line
    line=$(tail -n "+$(($3 + 1))" "$log" | grep -m1 -- "$1" || true)
    if [ -n "$line" ]; then echo "${line%% *}"; return 0; fi
    sleep 0.05
  done
  return 1
}
lines() { wc -l <"$log"; }
# F1 pressed $1 times, timed to the first captured frame, and the presses not heard.
presses() {
  capture "$1" | awk '/no sound/ { n++ } /to first captured frame over/ { s = $0 }
    END { printf "    %s; %d of the presses not heard\n", s ? s : "nothing heard", n }'
}
# One press of F1, timed to the first captured frame.
firstPress() { capture 1 | grep -E '^round|no sound' | sed 's/^/    /'; }
sequence() { capture --joins F5 9000 "$carts/seq-1.wav" "$carts/seq-2.wav" "$carts/seq-3.wav" | grep -v '^JACK' | sed 's/^/    /'; }

paths=("default ALSA device|"
  "pipewire|--device pipewire"
  "pulse|--device pulse"
  "pw-jack|--device jack")
for path in "${paths[@]}"; do
  name=${path%%|*}
  [[ $name =~ ^(${AIRLOOM_PW_PATHS:-.*})$ ]] || continue
  read -r -a opts <<<"${path#*|}"
  run=("$build/airloom" "${opts[@]}")
  [ "$name" = pw-jack ] && run=(pw-jack "${run[@]}")
  label=${name// /-}
  echo "==== $name"
  launch "$label" "${run[@]}"
  said '^Audio output:'
  echo "  fire to first captured frame:"
  presses "$presses"
  echo "  Sequence of three carts:"
  sequence

  echo "  server stopped and started again 2 s later:"
  before=$(lines)
  stopServer
  sleep 2
  startServer
  if back=$(stampOf 'Audio output back' 30 "$before"); then
    awk -v a="$started" -v b="$back" 'BEGIN { printf "    back %.1f s after the server\n", b - a }'
    pressed=$(date +%s.%N)
    firstPress
    awk -v a="$back" -v b="$pressed" 'BEGIN { printf "    F1 pressed %.2f s after \"back\"\n", b - a }'
  else
    echo "    no \"back\" within 30 s"
  fi

  echo "  sink destroyed, created again 6 s later:"
  before=$(lines)
  pw-cli destroy "$(sinkId)" >/dev/null
  sleep 6
  returned=$(date +%s.%N)
  createSink
  sleep 2
  tail -n "+$((before + 1))" "$log" | cut -d' ' -f2- | grep -E 'lost|back' | sed 's/^/    said: /' || echo "    said nothing"
  if ! tail -n "+$((before + 1))" "$log" | grep -q 'lost'; then
    firstPress
  elif back=$(stampOf 'Audio output back' 20 "$before"); then
    awk -v a="$returned" -v b="$back" 'BEGIN { printf "    back %.1f s after the sink was created\n", b - a }'
    firstPress
  fi
  quit

  for quantum in PIPEWIRE_LATENCY clock.force-quantum; do
    echo "  $quantum 1024, default settings:"
    if [ $quantum = clock.force-quantum ]; then
      pw-metadata -n settings 0 clock.force-quantum 1024 >/dev/null
      settle=12 launch "$label-force" "${run[@]}"
    else
      launch "$label-1024" env PIPEWIRE_LATENCY=1024/48000 "${run[@]}"
    fi
    said '^Audio output'
    presses "$presses"
    sequence
    quit
    pw-metadata -n settings 0 clock.force-quantum 0 >/dev/null
  done
done
