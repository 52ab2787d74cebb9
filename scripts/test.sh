#!/usr/bin/env bash
# Checks the formatting, builds quenmar-setup and runs the whole test suite:
# once as shipped, once under AddressSanitizer and UndefinedBehaviorSanitizer,
# a short fuzzing run, the Windows build's tests under wine, and the checks of
# what ships (scripts/package.sh). Every step runs, whatever the
# ones before it gave. Ends with one line of totals, "all: N passed, M failed",
# and a non-zero status when anything failed.
set -uo pipefail
cd "$(dirname "$0")/.."

jobs=$(nproc)
passed=0
failed=0
counted=0
step_log=$(mktemp)
trap 'rm -f "$step_log"' EXIT

# Adds up the counts in one step's output: CTest's summary line, a
# "N passed, M failed" line, or the fuzzing summary's one line a target.
# Leaves in `counted` how many results it found.
count() {
  local line
  counted=0
  line=$(grep -E 'tests passed, [0-9]+ tests failed out of|^[0-9]+ passed, [0-9]+ failed' "$1" | tail -n 1)
  if [[ $line =~ ([0-9]+)\ tests\ failed\ out\ of\ ([0-9]+) ]]; then
    failed=$((failed + BASH_REMATCH[1]))
    passed=$((passed + BASH_REMATCH[2] - BASH_REMATCH[1]))
    counted=${BASH_REMATCH[2]}
  elif [[ $line =~ ^([0-9]+)\ passed,\ ([0-9]+)\ failed ]]; then
    passed=$((passed + BASH_REMATCH[1]))
    failed=$((failed + BASH_REMATCH[2]))
    counted=$((BASH_REMATCH[1] + BASH_REMATCH[2]))
  fi
  # A fuzzing target that found something is a failure, one that ran clean
  # a pass.
  local clean finding
  clean=$(grep -cE '^[a-z_]+_fuzzer: .* inputs run in .*, nothing found$' "$1")
  finding=$(grep -cE '^[a-z_]+_fuzzer: .* inputs run in .*, FOUND' "$1")
  passed=$((passed + clean))
  failed=$((failed + finding))
  counted=$((counted + clean + finding))
}

# Runs one step, showing its output, and counts its results. A step that
# fails without a count of its own (a build that breaks, a missing tool)
# counts as one failure, so that it shows in the totals.
step() {
  local title=$1 status failed_before=$failed started=$SECONDS
  shift
  echo "== $title =="
  "$@" 2>&1 | tee "$step_log"
  status=${PIPESTATUS[0]}
  echo "== $title: $((SECONDS - started)) s"
  count "$step_log"
  if [ "$status" -ne 0 ] && [ "$failed" -eq "$failed_before" ]; then
    echo "== $title: failed with status $status"
    failed=$((failed + 1))
  fi
}

# The end-to-end tests spend most of their time waiting for the virtual
# radio and the screen, so twice as many run at once as there are cores.
suite() {
  local folder=$1
  shift
  cmake -S . -B "$folder" -DQUENMAR_WERROR=ON "$@" >/dev/null &&
    cmake --build "$folder" -j"$jobs" &&
    (cd "$folder" && ctest -j"$((jobs * 2))" --output-on-failure)
}

sanitized_suite() {
  ASAN_OPTIONS=verify_asan_link_order=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    suite build-sanitize -DQUENMAR_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
}

# Every C++ file as .clang-format lays it out: clang-format names the ones
# that are not, and the step fails.
formatting() {
  if git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror; then
    echo "1 passed, 0 failed"
  else
    echo "0 passed, 1 failed"
  fi
}

step "tools needed" scripts/setup-machine.sh
step "formatting" formatting
step "tests" suite build
step "tests under AddressSanitizer and UndefinedBehaviorSanitizer" sanitized_suite
step "fuzzing (short)" scripts/fuzz.sh 20
# The Windows steps take the virtual radio and the Windows build made before
# them instead of building their own.
QUENMAR_RADIO_SIM=$PWD/build/quenmar-radio-sim step "Windows build under wine" scripts/windows.sh
QUENMAR_WIN_BUILD=$PWD/build-win \
  step "install rules, manual pages, Debian package and Windows zip" scripts/package.sh
echo
echo "all: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
