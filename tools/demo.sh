#!/usr/bin/env bash
# Sets up the machine, builds Melodex and runs it: in a window when a display is available,
# otherwise headless through tools/demo.script (snapshots go to out/demo/).
#   bash tools/demo.sh              # window if $DISPLAY is set, else headless
#   bash tools/demo.sh --headless   # always headless
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"
root="${MELODEX_ROOT:-$PWD/out/demo/device}"
mkdir -p out/demo "$root"
if [ -n "${DISPLAY:-}" ] && [ "${1:-}" != "--headless" ]; then
  exec ./build/melodex --root "$root" "$@"
fi
exec ./build/melodex --root "$root" --headless --script tools/demo.script
