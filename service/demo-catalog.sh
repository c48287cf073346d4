#!/usr/bin/env bash
# The demo catalog of melodex-idd: the Wesnoth soundtrack (Debian package wesnoth-1.16-music,
# installed by tools/setup.sh), real recorded music to identify.
#   service/demo-catalog.sh BUILD_DIR OUT_DIR   # builds it; then BUILD_DIR/service/melodex-idd --catalog OUT_DIR
#   service/demo-catalog.sh --music             # prints the folder of the music it is built from
set -euo pipefail
music=/usr/share/games/wesnoth/1.16/data/core/music
if [ ! -d "$music" ]; then
  music=$(dpkg -L wesnoth-1.16-music 2>/dev/null | grep '/music$' | head -n1 || true)
fi
if [ -z "$music" ] || [ ! -d "$music" ]; then
  echo "demo-catalog: the Wesnoth music is not installed (run tools/setup.sh)" >&2
  exit 1
fi
if [ "${1:-}" = "--music" ]; then
  echo "$music"
  exit 0
fi
if [ $# -ne 2 ]; then
  echo "usage: $0 BUILD_DIR OUT_DIR | --music" >&2
  exit 2
fi
exec "$1/tools/catalog/melodex-catalog" build "$music" -o "$2"
