#!/usr/bin/env bash
# Installs every Debian package Melodex needs to build, test and run (Debian 12).
# Idempotent and non-interactive; run as root (or with sudo available).
set -euo pipefail
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive

PACKAGES=(
  # build
  build-essential cmake ninja-build pkg-config git ccache
  # resources: llvm-rc compiles res/melodex.rc to a .res image
  llvm
  # platform layer: window, keys, audio, text, pictures, network
  libsdl2-dev libsdl2-ttf-dev libfreetype-dev libfontconfig-dev fonts-dejavu-core fonts-liberation
  libgif-dev libjpeg62-turbo-dev libpng-dev libcurl4-openssl-dev
  # the SMS outbox's JSON lines
  nlohmann-json3-dev
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev xvfb xauth
  # the emulator's window driven by real X key events and captured (xdotool, xwd), and a sound
  # server whose virtual microphone hears what is played into its null sink (SDL's capture)
  xdotool x11-apps pulseaudio pulseaudio-utils
  # the conformance suite: the probe built for Windows and run under Wine (64-bit only, no i386)
  mingw-w64 wine wine64
  # service: HTTP (Boost.Beast), access log (JSON), fingerprinting, audio files, resampling,
  # index and metadata stores
  curl libboost-dev nlohmann-json3-dev libfftw3-dev libsndfile1-dev libsoxr-dev libsqlite3-dev liblmdb-dev
  # the microphone simulator's pitch shift with the tempo kept
  librubberband-dev
  # fuzzing: clang's libFuzzer with AddressSanitizer and UndefinedBehaviorSanitizer (tools/fuzz.sh)
  clang libclang-rt-14-dev llvm
  # real music for the demo catalog, and tools for the microphone simulator and art generator
  wesnoth-1.16-music sox libsox-fmt-all python3 python3-pil python3-numpy
  # music that is not in the demo catalog: the benchmark's false-positive clips (melodex-bench --foreign)
  asc-music
  # the cluster: nginx balances the routers and each partition's replicas (tools/cluster.sh runs it
  # as the user, with its own configuration; no system service)
  nginx-light
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
echo "setup: all packages present"
