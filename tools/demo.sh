#!/usr/bin/env bash
# The main job, on a fresh Debian 12 machine with nothing but this clone: installs the packages,
# builds, builds the demo catalog once (the Wesnoth soundtrack, a line per track), starts the
# identification service melodex-idd on loopback and runs the Melodex client against it.
#   bash tools/demo.sh              # the phone's window when there is a display, else headless
#   bash tools/demo.sh --headless   # always headless
# With a window, the phone's microphone is the host's; a host without one hears a simulated
# recording of a demo song instead. Headless, the client identifies a simulated recording
# through its own screens (tools/demo.script), snapping each screen into out/demo/screens/.
# The service stops when the client ends, Ctrl-C included.
set -euo pipefail
cd "$(dirname "$0")/.."

headless=0
if [ "${1:-}" = "--headless" ] || [ -z "${DISPLAY:-}" ]; then headless=1; fi
say() { printf 'demo: %s\n' "$*"; }

bash tools/setup.sh
say "building the client, the service and their tools"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target melodex melodex-idd melodex-catalog melodex-micsim

out="$PWD/out/demo"
catalog="$out/catalog"
mkdir -p "$out"
if ! build/tools/catalog/melodex-catalog info "$catalog" >/dev/null 2>&1; then
  say "building the demo catalog from the Wesnoth soundtrack (once: later runs reuse $catalog)"
  rm -rf "$catalog.partial"
  # Piped, the catalog tool writes a line per track instead of redrawing one.
  bash service/demo-catalog.sh build "$catalog.partial" 2>&1 | sed -u -E 's|^([0-9]+/[0-9]+) .*/|\1 |; s/^/catalog: /'
  # A catalog that would not open (an older index layout) is replaced, not moved into.
  rm -rf "$catalog"
  mv "$catalog.partial" "$catalog"
fi

# melodex-idd on a free loopback port. The client's endpoint is the build constant
# http://localhost:8470/servlet/ZorbelId; the emulated phone's network sends it here.
port="${MELODEX_PORT:-$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')}"
build/service/melodex-idd --catalog "$catalog" --host 127.0.0.1 --port "$port" --access-log "$out/access.log" &
idd=$!
# The service answers what it is answering and ends; one that has not ended in 5 s is killed.
stop_service() {
  kill "$idd" 2>/dev/null || return 0
  for _ in $(seq 50); do
    kill -0 "$idd" 2>/dev/null || break
    sleep 0.1
  done
  kill -9 "$idd" 2>/dev/null || true
  wait "$idd" 2>/dev/null || true
}
trap stop_service EXIT
trap 'exit 130' INT TERM
for _ in $(seq 100); do
  curl -s -o /dev/null "http://127.0.0.1:$port/" && break
  kill -0 "$idd" 2>/dev/null || { say "melodex-idd did not start"; exit 1; }
  sleep 0.1
done
say "melodex-idd serves $(build/tools/catalog/melodex-catalog info "$catalog" | awk '/ tracks, / && !shown++') on 127.0.0.1:$port"

# A simulated recording: 11 s of a random demo song from a passage with music in it, as a phone
# held in a room would hear it (reverberation, background noise at 10 dB SNR).
music=$(bash service/demo-catalog.sh --music)
for _ in $(seq 20); do
  track=$(ls "$music"/*.ogg | shuf -n 1)
  length=$(soxi -D "$track" | cut -d. -f1)
  [ "$length" -ge 60 ] || continue
  at=$(( 20 + RANDOM % (length - 45) ))
  loudness=$(sox "$track" -n trim "$at" 11 stat 2>&1 | awk '/RMS +amplitude/ {print $3}')
  awk -v l="$loudness" 'BEGIN { exit !(l > 0.03) }' && break
done
build/tools/micsim/melodex-micsim "$track" --at "$at" --snr 10 --reverb --format wav -o "$out/recording.wav"
tag() { soxi -a "$track" | awk -v key="$1" 'index($0, key "=") == 1 && !found { print substr($0, length(key) + 2); found = 1 }'; }
song="$(tag TITLE) by $(tag ARTIST) ($(basename "$track") from $at s)"

root="${MELODEX_ROOT:-$out/device}"
mkdir -p "$root"
phone=(build/melodex --root "$root" --net-map "localhost:8470=127.0.0.1:$port")

# The newest result in the phone's history: artist and title from its .dat file (UTF-16LE album,
# artist and title, each ended by a zero unit, then the 8-bit link fields).
newest_result() {
  python3 - "$root/Application Data/Melodex" <<'PY'
import glob, os, re, sys
files = [f for f in glob.glob(os.path.join(sys.argv[1], '*.dat')) if re.fullmatch(r'\d+\.dat', os.path.basename(f))]
if not files:
    sys.exit(1)
newest = max(files, key=lambda f: int(os.path.basename(f)[:-4]))
data = open(newest, 'rb').read()
texts, at = [], 0
for _ in range(3):
    end = at
    while end + 1 < len(data) and data[end:end + 2] != b'\0\0':
        end += 2
    texts.append(data[at:end].decode('utf-16-le', 'replace'))
    at = end + 2
album, artist, title = texts
print('%s — %s (%s), result %s in %s' % (artist, title, album, os.path.basename(newest)[:-4], newest))
PY
}

if [ "$headless" = 0 ]; then
  say "the phone's window: Return on ID song! identifies what its microphone hears."
  say "keys: arrows; Return = action; Escape = Back; F1/F2 = soft keys; digits on the SMS screen; closing the window switches the phone off"
  say "the microphone is this host's; a host without one hears a simulated recording of $song"
  "${phone[@]}" --mic-fallback "$out/recording.wav" || true
  if result=$(newest_result); then say "the phone's newest result: $result"; fi
else
  say "headless: the phone hears a simulated recording of $song"
  rm -rf "$out/screens"
  mkdir -p "$out/screens"
  "${phone[@]}" --mic "$out/recording.wav" --script tools/demo.script | tr -d '\r' | sed -u 's/^/phone: /' ||
    say "the phone's script stopped early"
  if result=$(newest_result); then
    say "the client identified: $result"
  else
    say "the client named no song"
  fi
  say "snapshots of every screen it passed, in order:"
  ls "$out"/screens/*.png | sed 's/^/  /'
fi
