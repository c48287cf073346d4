#!/usr/bin/env bash
# Builds the libFuzzer targets (tests/fuzz) with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer in build-fuzz/, and runs each on a copy of its seed corpus.
#   bash tools/fuzz.sh                  # every target, 10 minutes each (Ctrl-C stops)
#   bash tools/fuzz.sh --seconds 3600 fuzz_jpeg fuzz_gif
#   bash tools/fuzz.sh --ci             # every target for 25 s: what CI runs
# New inputs found are kept in build-fuzz/corpus/<target>; crashes in build-fuzz/crashes/.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=600
targets=()
while [ $# -gt 0 ]; do
  case "$1" in
    --ci) seconds=25; shift ;;
    --seconds) seconds="$2"; shift 2 ;;
    -h|--help) sed -n 2,7p "$0"; exit 0 ;;
    *) targets+=("$1"); shift ;;
  esac
done
all=(fuzz_tag_record fuzz_registry fuzz_gif fuzz_jpeg fuzz_reply fuzz_upload fuzz_res_image)
[ "${#targets[@]}" -gt 0 ] || targets=("${all[@]}")

bash tools/setup.sh >/dev/null
build=build-fuzz
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DMELODEX_SANITIZE=address -DMELODEX_FUZZ=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target "${targets[@]}"

# libvorbis leaks on some malformed Ogg streams; the service keeps that out of its own process
# (audio/DecoderChild.h), so leaks are not looked for in the upload decoder's fuzzing.
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
mkdir -p "$build/crashes"
failed=0
for t in "${targets[@]}"; do
  seeds="tests/fuzz/corpus/${t#fuzz_}"
  work="$build/corpus/$t"
  mkdir -p "$work"
  leaks=1
  [ "$t" = fuzz_upload ] && leaks=0
  echo "fuzz: $t for ${seconds} s"
  if ! ASAN_OPTIONS="detect_leaks=$leaks:abort_on_error=1:allocator_may_return_null=1" \
      "$build/tests/fuzz/$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=262144 \
      -artifact_prefix="$build/crashes/$t-" -print_final_stats=1 "$work" "$seeds" >"$build/$t.log" 2>&1; then
    echo "fuzz: $t FAILED (log: $build/$t.log)"
    tail -40 "$build/$t.log"
    failed=$((failed + 1))
  else
    grep -E "stat::number_of_executed_units|cov:" "$build/$t.log" | tail -2 | sed "s/^/fuzz: $t /"
  fi
done
passed=$(( ${#targets[@]} - failed ))
echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
