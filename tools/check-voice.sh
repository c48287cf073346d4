#!/usr/bin/env bash
# The product speaks for itself: code, comments, tests, docs and file names say what the program
# does and why in its own terms, never by pointing at a planning document's numbered sections.
# Fails with every tracked line (or file name) that does.
set -euo pipefail
cd "$(dirname "$0")/.."

patterns=(
  '\bParts? [0-9]+(\.[0-9]+)?'       # a section number after the word, with or without a dot
  '\bPart[0-9]+\b'                   # test and helper names such as Part31Record
  '\bPart(One|Two|Three|Four|Five|Six|Seven|Eight)\b'
  'DESIGN(\.md| ?§)'
  '§'
  '\bthe spec\b'
  "\\bspec's\\b"
  '\bper spec\b'
  '\bspec\.md\b'
  'specificatio[n]'                  # bracketed, so that this line does not name it
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
# The capitalised noun mid-sentence ("the Part's order", "as the Parts use"), case-sensitive so
# that "part of" and "the parts" stay fine.
if git grep -n -I -E -e "\b(the|a|its|each|every|this|that|which|of) Parts?\b" -e "\bParts?'" \
    -- . ':(exclude)tools/check-voice.sh'; then
  status=1
fi
# File names: SpecImageSizes.h, part31_test.cpp, design_notes.md, issue5.txt (case-sensitive
# where a capital marks the word, so that Spectrogram.h or inspector.cpp stay fine).
if git ls-files | grep -E -e '(^|/)[^/]*(Spec[A-Z_.]|Part[0-9_]|Design[A-Z_.]|Issue[0-9_])' \
    -e '(^|/)(spec|parts?|design|issues?)[0-9_.-]'; then
  status=1
fi
if [ "$status" -ne 0 ]; then
  echo "check-voice: the lines above cite planning documents; say what the program does and why instead" >&2
  exit 1
fi
echo "check-voice: clean"
