#!/usr/bin/env bash
# Builds quenmar-setup and runs the whole test suite: once as shipped, once
# under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup-machine.sh
jobs=$(nproc)

run_suite() {
  local folder=$1
  shift
  cmake -S . -B "$folder" -DQUENMAR_WERROR=ON "$@" >/dev/null
  cmake --build "$folder" -j"$jobs"
  (cd "$folder" && ctest -j"$jobs" --output-on-failure)
}

echo "== tests =="
run_suite build
echo "== tests under AddressSanitizer and UndefinedBehaviorSanitizer =="
ASAN_OPTIONS=verify_asan_link_order=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  run_suite build-sanitize -DQUENMAR_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
echo "== fuzzing (short) =="
scripts/fuzz.sh 20
echo "== Windows build under wine =="
scripts/windows.sh
