#!/usr/bin/env bash
# Builds the demo catalog of melodex-idd from the Wesnoth soundtrack (Debian package
# wesnoth-1.16-music, installed by tools/setup.sh): real recorded music to identify.
#   service/demo-catalog.sh BUILD_DIR OUT_DIR
# then: BUILD_DIR/service/melodex-idd --catalog OUT_DIR
set -euo pipefail
if [ $# -ne 2 ]; then
  echo "usage: $0 BUILD_DIR OUT_DIR" >&2
  exit 2
fi
build=$1
out=$2
music=/usr/share/games/wesnoth/1.16/data/core/music
if [ ! -d "$music" ]; then
  music=$(dpkg -L wesnoth-1.16-music 2>/dev/null | grep '/music$' | head -n1 || true)
fi
if [ -z "$music" ] || [ ! -d "$music" ]; then
  echo "demo-catalog: the Wesnoth music is not installed (run tools/setup.sh)" >&2
  exit 1
fi
exec "$build/tools/catalog/melodex-catalog" build "$music" -o "$out"
