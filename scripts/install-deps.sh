#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing Airloom need.
# Safe to run again: apt-get skips what is already installed.
set -euo pipefail

packages=(
  # build
  build-essential cmake ninja-build pkg-config clang-format
  # windows and controls
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev libqt6svg6 qt6-qpa-plugins libgl-dev
  # decoding and output
  libavformat-dev libavcodec-dev libavutil-dev libswresample-dev portaudio19-dev libasound2-dev
  libasound2-plugins
  # JACK: the server (its package gives the audio group real-time priority) and the client
  # library (a lost JACK output is reopened through it; the fire-latency benchmark captures
  # with it)
  jackd2 libjack-jackd2-dev
  # loudness levelling (EBU R128)
  libebur128-dev
  # studio control: OSC (liblo; oscsend and oscdump for the measuring scripts) and MIDI on
  # ALSA's sequencer or JACK (RtMidi)
  liblo-dev liblo-tools librtmidi-dev
  # tests and benchmarks
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  xvfb xauth xdotool
  ffmpeg lame sox
  # (scripts/measure-pipewire.sh needs PipeWire, which is not installed here: pipewire-alsa
  # would make PipeWire every program's default ALSA device; that script says how to install
  # it without that)
  # a share that stops answering on demand (scripts/hangfs.py, scripts/measure-stall.sh)
  python3-fuse fuse3
  clang libclang-rt-14-dev
  # the Debian package and its checks
  dpkg-dev fakeroot lintian desktop-file-utils appstream
  # font stand-ins
  fonts-dejavu fonts-liberation fonts-liberation2 fonts-comic-neue
)

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The per-machine settings folder (Vidav.ini, dtb/cats.db), shared by the studio's users
# through the audio group; setgid keeps new files in that group.
settings_dir=/var/lib/airloom
if [ ! -d "$settings_dir" ]; then
  $sudo install -d -m 2775 -o root -g audio "$settings_dir"
fi
