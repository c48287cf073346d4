#!/usr/bin/env bash
# Sets up the machine, builds everything with warnings as errors, and runs every test.
#   bash tools/test.sh                      # the normal build, in build/
#   bash tools/test.sh --sanitize address   # AddressSanitizer + UndefinedBehaviorSanitizer, in build-address/
#   bash tools/test.sh --sanitize thread    # ThreadSanitizer, in build-thread/
set -euo pipefail
cd "$(dirname "$0")/.."

sanitize=""
filter=()
while [ $# -gt 0 ]; do
  case "$1" in
    --sanitize) sanitize="$2"; shift 2 ;;
    -R|-L|-E) filter+=("$1" "$2"); shift 2 ;;
    *) echo "usage: $0 [--sanitize address|thread] [-R regex]" >&2; exit 2 ;;
  esac
done

bash tools/setup.sh
build="build${sanitize:+-$sanitize}"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMELODEX_WERROR=ON -DMELODEX_SANITIZE="$sanitize"
cmake --build "$build" -j"$(nproc)"
export ASAN_OPTIONS="detect_leaks=0:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$PWD/tools/tsan.supp"
ctest --test-dir "$build" -j"$(nproc)" --output-on-failure --timeout 300 "${filter[@]}"
