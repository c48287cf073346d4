#!/usr/bin/env bash
# Runs the conformance probe twice — against our platform, and its Windows build under Wine in a
# fresh prefix on a private Xvfb display — then compares the two runs (compare.py).
#   run_conformance.sh PROBE PROBE_EXE OUT_DIR
# OUT_DIR receives ours/ and wine/ (probe.txt, shapes.ppm, text.ppm) and report.txt. Exits 0
# when every observation is equal or an expected difference.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"

# The files and registry both runs start from. Sizes and names are what the observations list.
lay_out_files() {
  local root="$1"
  mkdir -p "$root/MelodexProbe/sub"
  printf 'bbb' > "$root/MelodexProbe/b.dat"
  : > "$root/MelodexProbe/a.dat"
  printf 'CCCCC' > "$root/MelodexProbe/C.DAT"
  printf '0123456789' > "$root/MelodexProbe/1234567890long.dat"
  printf 'note\r\n' > "$root/MelodexProbe/note.txt"
  # One modification time for every file, so that nothing depends on the order of creation.
  touch -d '2024-01-02 03:04:05' "$root/MelodexProbe"/* "$root/MelodexProbe"
}

# The Wine half, run again by this script inside xvfb-run: --wine REGISTRY PROBE_EXE OUT_DIR.
if [ "${1:-}" = "--wine" ]; then
  registry="$2" probe_exe="$3" out="$4"
  wineboot -i > /dev/null 2>&1
  wineserver -w
  # Windows are placed where the program puts them, with no window manager in between.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f > /dev/null
  wine reg import "$registry" > /dev/null 2>&1
  # The same font files as ours reads, installed into the prefix.
  cp /usr/share/fonts/truetype/liberation/LiberationSans-*.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
  wineserver -w
  lay_out_files "$WINEPREFIX/drive_c"
  mkdir -p "$WINEPREFIX/drive_c/run"
  cp "$probe_exe" "$WINEPREFIX/drive_c/run/probe.exe"
  # The working folder is on drive C:, so that "\MelodexProbe" is C:\MelodexProbe.
  (cd "$WINEPREFIX/drive_c/run" && wine probe.exe)
  wineserver -w
  cp "$WINEPREFIX/drive_c/run/"{probe.txt,shapes.ppm,text.ppm} "$out/"
  exit 0
fi

probe="$(realpath "$1")"
probe_exe="$(realpath "$2")"
out="$3"

for tool in wine wineboot wineserver xvfb-run; do
  command -v "$tool" > /dev/null || { echo "conformance: $tool is missing (bash tools/setup.sh installs it)" >&2; exit 2; }
done

rm -rf "$out"
mkdir -p "$out/ours" "$out/wine"
out="$(realpath "$out")"

registry="$out/registry.reg"
printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Melodex]\r\n"ownerID"="12345"\r\n"count"=dword:0000002a\r\n@="default text"\r\n"blob"=hex:01,02,03\r\n\r\n' > "$registry"

# Ours: headless, on a root of its own.
lay_out_files "$out/ours/root"
cp "$registry" "$out/ours/root/registry.reg"
(cd "$out/ours" && env -u DISPLAY timeout 120 "$probe" --headless --root "$out/ours/root") \
  || { echo "conformance: the probe failed on our platform" >&2; exit 1; }

# Wine: a prefix made for this run, in a temporary folder removed at the end.
prefix="$(mktemp -d "${TMPDIR:-/tmp}/melodex-wine.XXXXXX")"
cleanup() {
  WINEPREFIX="$prefix" wineserver -k 2> /dev/null || true
  rm -rf "$prefix"
}
trap cleanup EXIT
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
# A fixed locale and time zone: the C run-time's code page and the file times do not follow the host.
export LANG=C.UTF-8 LC_ALL=C.UTF-8 TZ=UTC
timeout 300 xvfb-run -a -s "-screen 0 640x480x24 -nolisten tcp" bash "$0" --wine "$registry" "$probe_exe" "$out/wine" \
  || { echo "conformance: the probe failed under Wine" >&2; exit 1; }

/usr/bin/python3 "$here/compare.py" --expected "$here/expected_differences.txt" "$out/ours" "$out/wine" | tee "$out/report.txt"
exit "${PIPESTATUS[0]}"
