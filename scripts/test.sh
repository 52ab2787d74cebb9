#!/usr/bin/env bash
# Checks the formatting, builds quenmar-setup and runs the whole test suite:
# once as shipped, once under AddressSanitizer and UndefinedBehaviorSanitizer,
# a short fuzzing run, the Windows build's tests under wine, and the checks of
# what ships (scripts/package.sh). Every step runs, whatever the ones before
# it gave. Ends with one line of totals, "all: N passed, M failed", and a
# non-zero status when anything failed.
#
# The end-to-end tests spend most of their time waiting for the virtual radio
# and the screen. So while they run, the later builds and the fuzzing go on in
# the background, at a lower priority, so that the tests keep the cores when
# they need them. A step in the background shows its output, whole, when the
# tests come to need it.
set -uo pipefail
cd "$(dirname "$0")/.."

jobs=$(nproc)
passed=0
failed=0
counted=0
logs=$(mktemp -d)

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

# Counts one ended step's results from its log. A step that failed without a
# count of its own (a build that breaks, a missing tool) counts as one
# failure, so that it shows in the totals.
tally() {
  local title=$1 log=$2 status=$3 failed_before=$failed
  count "$log"
  if [ "$status" -ne 0 ] && [ "$failed" -eq "$failed_before" ]; then
    echo "== $title: failed with status $status"
    failed=$((failed + 1))
  fi
}

# Runs one step in the foreground, showing its output as it comes.
step() {
  local title=$1 status started=$SECONDS
  shift
  echo "== $title =="
  "$@" 2>&1 | tee "$logs/step.log"
  status=${PIPESTATUS[0]}
  echo "== $title: $((SECONDS - started)) s"
  tally "$title" "$logs/step.log" "$status"
}

# The files of a step in the background: its output, and once it has ended,
# its status and seconds.
log_of() {
  echo "$logs/${1//[^A-Za-z0-9]/_}.log"
}

# Starts a step in the background at a lower priority; with --after TITLE
# (one or more), once the steps of those titles have ended. `join` reports it.
start() {
  local after=()
  while [ "$1" = --after ]; do
    after+=("$(log_of "$2").end")
    shift 2
  done
  local log
  log=$(log_of "$1")
  shift
  (
    for end in "${after[@]}"; do
      until [ -e "$end" ]; do sleep 1; done
    done
    renice -n 10 -p "$BASHPID" >/dev/null
    started=$SECONDS
    "$@" >"$log" 2>&1
    echo "$? $((SECONDS - started))" >"$log.end"
  ) &
}

# Waits for a step started in the background to end, then shows its output
# and counts its results.
join() {
  local title=$1 log status seconds
  log=$(log_of "$title")
  until [ -e "$log.end" ]; do sleep 1; done
  read -r status seconds <"$log.end"
  echo "== $title =="
  cat "$log"
  echo "== $title: $seconds s (in the background)"
  tally "$title" "$log" "$status"
}

# The process ids of the children of process $1.
children_of() {
  local stat line fields
  for stat in /proc/[0-9]*/stat; do
    line=$(cat "$stat" 2>/dev/null) || continue
    read -r -a fields <<<"${line##*) }"
    [ "${fields[1]}" = "$1" ] && basename "$(dirname "$stat")"
  done
}

# Ends process $1 and everything it started.
stop_tree() {
  local child
  for child in $(children_of "$1"); do stop_tree "$child"; done
  kill "$1" 2>/dev/null
}

# Whatever still runs in the background when the command ends early (a
# signal, once the step in the foreground has ended) ends with it.
stop_background() {
  local pid
  for pid in $(jobs -p); do stop_tree "$pid"; done
  rm -rf "$logs"
}
trap stop_background EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# The options of the build under the sanitizers, and what they need at run
# time (the test discovery at the end of its build runs the test binary).
sanitize_options=(-DQUENMAR_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug)
export ASAN_OPTIONS=verify_asan_link_order=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

# The package's build compiles what the first build compiled, with the same
# flags: through ccache, with a cache of its own, it takes the same objects.
# Neither build's folder goes into the cache's keys.
export CCACHE_DIR=$PWD/build-ccache CCACHE_NOHASHDIR=true

build_tree() {
  local folder=$1
  shift
  cmake -S . -B "$folder" -DQUENMAR_WERROR=ON "$@" >/dev/null &&
    cmake --build "$folder" -j"$jobs"
}

# Twice as many tests run at once as there are cores; the end-to-end tests,
# the longest, start first.
tests() {
  (cd build && ctest -j"$((jobs * 2))" --output-on-failure)
}

# Under the sanitizers every start of the unit test binary costs a tenth of a
# second, so it runs once rather than once a test; the end-to-end tests run
# through CTest. One "N passed, M failed" line counts both.
sanitized_tests() {
  local unit=$logs/sanitized-unit.log e2e=$logs/sanitized-e2e.log ran unit_passed line
  local e2e_total=1 e2e_failed=1  # no CTest summary: one failure
  (cd build-sanitize/tests && ./quenmar-tests --gtest_brief=1) 2>&1 | tee "$unit"
  (cd build-sanitize && ctest -j"$((jobs * 2))" --output-on-failure -R '^e2e\.') 2>&1 | tee "$e2e"
  ran=$(sed -n 's/^\[==========\] \([0-9]*\) tests\{0,1\} from .* ran\..*/\1/p' "$unit")
  unit_passed=$(sed -n 's/^\[  PASSED  \] \([0-9]*\) tests\{0,1\}\..*/\1/p' "$unit")
  # No summary: the binary broke off, which counts as one failure.
  [ -n "$ran" ] && [ -n "$unit_passed" ] || ran=1 unit_passed=0
  line=$(grep -E 'tests failed out of' "$e2e" | tail -n 1)
  if [[ $line =~ ([0-9]+)\ tests\ failed\ out\ of\ ([0-9]+) ]]; then
    e2e_failed=${BASH_REMATCH[1]} e2e_total=${BASH_REMATCH[2]}
  fi
  echo "$((unit_passed + e2e_total - e2e_failed)) passed, $((ran - unit_passed + e2e_failed)) failed"
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

sanitized_title="build under AddressSanitizer and UndefinedBehaviorSanitizer"
packages_title="install rules, manual pages, Debian package and Windows zip"
step "tools needed" scripts/setup-machine.sh fuzzing windows packaging
step "formatting" formatting
step "build" build_tree build -DCMAKE_CXX_COMPILER_LAUNCHER=ccache
# In the background: first the build the next tests need, then the Windows
# build and the fuzzing build side by side, then the fuzzing, while the last
# tests, mostly waiting, leave the cores free.
start "$sanitized_title" build_tree build-sanitize "${sanitize_options[@]}"
start "build of the packages" env CMAKE_CXX_COMPILER_LAUNCHER=ccache scripts/package.sh build
start --after "$sanitized_title" "Windows build" scripts/windows.sh build
start --after "$sanitized_title" "build for fuzzing" scripts/fuzz.sh build
start --after "build for fuzzing" --after "Windows build" "fuzzing (short)" scripts/fuzz.sh 20
step "tests" tests
join "$sanitized_title"
step "tests under AddressSanitizer and UndefinedBehaviorSanitizer" sanitized_tests
join "Windows build"
join "build of the packages"
# The packages are checked while the Windows build's tests run; the Windows
# zip comes from the Windows build tested.
start "$packages_title" env QUENMAR_WIN_BUILD="$PWD/build-win" scripts/package.sh check
# The virtual radio is the one built first.
QUENMAR_RADIO_SIM=$PWD/build/quenmar-radio-sim step "Windows build under wine" scripts/windows.sh test
join "$packages_title"
join "build for fuzzing"
join "fuzzing (short)"
echo
echo "all: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
