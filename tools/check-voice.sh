#!/usr/bin/env bash
# The product speaks for itself: code, comments, tests, docs and file names say what the program
# does and why in its own terms, never by pointing at a planning document's numbered sections.
# Fails with every tracked line (or file name) that does.
set -euo pipefail
cd "$(dirname "$0")/.."

patterns=(
  '\bParts? [0-9]+(\.[0-9]+)?'       # "Part 3.1", "Parts 5.1-5.3"
  '\bPart[0-9]+\b'                   # test and helper names such as Part31Record
  '\bPart(One|Two|Three|Four|Five|Six|Seven|Eight)\b'
  'DESIGN(\.md| ?§)'
  '§'
  '\bthe spec\b'
  "\\bspec's\\b"
  '\bper spec\b'
  '\bspec\.md\b'
  'specification'
  '\bissues? #?[0-9]+\b'
  '\bsteps? [0-9]+\b'
  'shared/'
  'left to the implementer'
  'edge cases? worth testing'
)

args=()
for p in "${patterns[@]}"; do args+=(-e "$p"); done

status=0
if git grep -n -I -i -E "${args[@]}" -- . ':(exclude)tools/check-voice.sh'; then
  status=1
fi
if git ls-files | grep -i -E -e 'spec|\bparts?[0-9]|design|issue'; then
  status=1
fi
if [ "$status" -ne 0 ]; then
  echo "check-voice: the lines above cite the working papers; say what the program does instead" >&2
  exit 1
fi
echo "check-voice: clean"
