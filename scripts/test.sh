#!/usr/bin/env bash
# Builds quenmar-setup and runs the whole test suite: once as shipped, once
# under AddressSanitizer and UndefinedBehaviorSanitizer, a short fuzzing run,
# and the Windows build's tests under wine. Ends with one line of totals.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup-machine.sh
jobs=$(nproc)
passed=0
failed=0

# Adds up the "N passed, M failed" or CTest summary lines of one step's output.
count() {
  local line
  line=$(grep -E 'tests passed, [0-9]+ tests failed out of|^[0-9]+ passed, [0-9]+ failed' "$1" | tail -n 1)
  if [[ $line =~ ([0-9]+)\ tests\ failed\ out\ of\ ([0-9]+) ]]; then
    failed=$((failed + BASH_REMATCH[1]))
    passed=$((passed + BASH_REMATCH[2] - BASH_REMATCH[1]))
  elif [[ $line =~ ^([0-9]+)\ passed,\ ([0-9]+)\ failed ]]; then
    passed=$((passed + BASH_REMATCH[1]))
    failed=$((failed + BASH_REMATCH[2]))
  fi
}

step_log=$(mktemp)
trap 'rm -f "$step_log"' EXIT

run_suite() {
  local folder=$1
  shift
  cmake -S . -B "$folder" -DQUENMAR_WERROR=ON "$@" >/dev/null
  cmake --build "$folder" -j"$jobs"
  (cd "$folder" && ctest -j"$jobs" --output-on-failure) | tee "$step_log"
  count "$step_log"
}

echo "== tests =="
run_suite build
echo "== tests under AddressSanitizer and UndefinedBehaviorSanitizer =="
ASAN_OPTIONS=verify_asan_link_order=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  run_suite build-sanitize -DQUENMAR_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
echo "== fuzzing (short) =="
scripts/fuzz.sh 20
echo "== Windows build under wine =="
scripts/windows.sh | tee "$step_log"
count "$step_log"
echo "== install rules, manual pages, Debian package and Windows zip =="
scripts/package.sh | tee "$step_log"
count "$step_log"
echo
echo "all: $passed passed, $failed failed"
