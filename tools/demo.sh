#!/usr/bin/env bash
# The main job, on a fresh machine: sets up, builds, builds the demo catalog from real recorded
# music (the Wesnoth soundtrack), starts the identification service melodex-idd, identifies a
# song held near a simulated phone, then runs the Melodex client — in a window when a display is
# available, otherwise headless through tools/demo.script (snapshots in out/demo/).
#   bash tools/demo.sh              # window if $DISPLAY is set, else headless
#   bash tools/demo.sh --headless   # always headless
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"

out="$PWD/out/demo"
mkdir -p "$out"
if [ ! -f "$out/catalog/CURRENT" ] || ! build/tools/catalog/melodex-catalog info "$out/catalog" >/dev/null 2>&1; then
  rm -rf "$out/catalog"
  bash service/demo-catalog.sh build "$out/catalog"
fi

port="${MELODEX_PORT:-8470}"
build/service/melodex-idd --catalog "$out/catalog" --port "$port" --access-log "$out/access.log" &
idd=$!
trap 'kill $idd 2>/dev/null; wait $idd 2>/dev/null || true' EXIT
for _ in $(seq 50); do
  curl -s -o /dev/null "http://127.0.0.1:$port/" && break
  sleep 0.2
done

# A phone held near a speaker: 11 s of a song from the catalog, with room reverberation and
# background noise at 10 dB SNR, in the client's 180096-byte request layout.
music=/usr/share/games/wesnoth/1.16/data/core/music
track=$(ls "$music"/*.ogg | shuf -n 1)
build/tools/micsim/melodex-micsim "$track" --at 30 --snr 10 --reverb -o "$out/clip.bin"
echo "demo: playing $(basename "$track") at 30 s near the phone; asking melodex-idd …"
curl -s --data-binary @"$out/clip.bin" -A "WindowsMobile-Melodex-0.9" \
  "http://127.0.0.1:$port/servlet/ZorbelId?id=1003&ownerIdentifier=5183" -o "$out/reply.bin"
# The reply: a zero-terminated string, three bytes, then the tag text.
python3 - "$out/reply.bin" <<'PY'
import re, sys
data = open(sys.argv[1], 'rb').read()
text = data[data.index(b'\0') + 4:].decode('cp1252')
tags = dict(re.findall(r'<([A-Z_]+)>(.*?)</\1>', text, re.S))
if not tags:
    print("demo: no match")
else:
    print("demo: identified: %s — %s (%s)" % (tags.get('ARTIST'), tags.get('TRACK_TITLE'), tags.get('ALBUM')))
    print("demo: text message: %s" % tags.get('SMS_MESSAGE'))
PY

root="${MELODEX_ROOT:-$out/device}"
mkdir -p "$root"
if [ -n "${DISPLAY:-}" ] && [ "${1:-}" != "--headless" ]; then
  build/melodex --root "$root"
else
  build/melodex --root "$root" --headless --script tools/demo.script
fi
