#!/usr/bin/env bash
# Checks the formatting, builds quenmar-setup and runs the whole test suite:
# once as shipped, once under AddressSanitizer and UndefinedBehaviorSanitizer,
# a short fuzzing run, the Windows build's checks under wine, and the checks
# of what ships (scripts/package.sh). Every step runs, whatever the ones
# before it gave. Ends with one line of totals, "all: N passed, M failed",
# and a non-zero status when anything failed.
#
# The steps run in the order written below. The end-to-end tests spend most
# of their time waiting for the virtual radio and the screen, so the builds
# the later steps need go on in the background meanwhile, at a lower
# priority: `background` starts one and `finished` waits for it, then shows
# its output and counts its results.
set -uo pipefail
cd "$(dirname "$0")/.."

jobs=$(nproc)
passed=0
failed=0
logs=$(mktemp -d)

# Adds one ended step's results to the totals. Every step ends its output
# with CTest's summary ("... tests failed out of N") or with a line "N passed,
# M failed"; a step that failed without one (a build that breaks, a missing
# tool) counts as one failure.
count() {
  local title=$1 log=$2 status=$3 line failed_before=$failed
  line=$(grep -E 'tests failed out of [0-9]+$|^[0-9]+ passed, [0-9]+ failed$' "$log" | tail -n 1)
  if [[ $line =~ ([0-9]+)\ tests\ failed\ out\ of\ ([0-9]+) ]]; then
    passed=$((passed + BASH_REMATCH[2] - BASH_REMATCH[1]))
    failed=$((failed + BASH_REMATCH[1]))
  elif [[ $line =~ ^([0-9]+)\ passed,\ ([0-9]+)\ failed ]]; then
    passed=$((passed + BASH_REMATCH[1]))
    failed=$((failed + BASH_REMATCH[2]))
  fi
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
  count "$title" "$logs/step.log" "$status"
}

# Starts a step in the background, at a lower priority, in a process group of
# its own (so that an early end of this command ends all of it); its output
# goes to a log. Sets `started` to its process id, which `finished` takes.
declare -A title_of=() log_of=()
background() {
  local title=$1 log
  log=$logs/background$((${#log_of[@]} + 1)).log
  shift
  set -m
  (
    renice -n 10 -p "$BASHPID" >/dev/null
    begun=$SECONDS
    "$@"
    status=$?
    echo "== $title: $((SECONDS - begun)) s (in the background)"
    exit "$status"
  ) >"$log" 2>&1 &
  started=$!
  set +m
  title_of[$started]=$title
  log_of[$started]=$log
}

# Waits for the step in the background with process id $1 to end, then shows
# its output and counts its results.
finished() {
  local pid=$1 status
  wait "$pid"
  status=$?
  echo "== ${title_of[$pid]} =="
  cat "${log_of[$pid]}"
  count "${title_of[$pid]}" "${log_of[$pid]}" "$status"
  unset "title_of[$pid]"
}

# Whatever still runs in the background when the command ends early (a
# signal, once the step in the foreground has ended) ends with it.
stop_background() {
  local pid
  for pid in "${!title_of[@]}"; do kill -TERM -- "-$pid" 2>/dev/null; done
  rm -rf "$logs"
}
trap stop_background EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# The options of the build under the sanitizers, and what it needs at run time.
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
# the longest, start first (their COST). Under the sanitizers the unit tests
# are one test, the whole binary at once.
tests_in() {
  (cd "$1" && ctest -j"$((jobs * 2))" --output-on-failure)
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

# The fuzzing build, then a short run of every target.
fuzzing() {
  scripts/fuzz.sh build && scripts/fuzz.sh 20
}

step "tools needed" scripts/setup-machine.sh fuzzing windows packaging
step "formatting" formatting
# The first build takes the Debian package's flags, so that the package's
# build finds every object of the program in the cache.
step "build" build_tree build -DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DQUENMAR_DEBIAN_FLAGS=ON

background "build under AddressSanitizer and UndefinedBehaviorSanitizer" \
  build_tree build-sanitize "${sanitize_options[@]}"
sanitized_build=$started
background "build of the packages" env CMAKE_CXX_COMPILER_LAUNCHER=ccache scripts/package.sh build
packages_build=$started
step "tests" tests_in build

finished "$sanitized_build"
background "Windows build" scripts/windows.sh build
windows_build=$started
background "fuzzing (short)" fuzzing
fuzz=$started
step "tests under AddressSanitizer and UndefinedBehaviorSanitizer" tests_in build-sanitize

finished "$windows_build"
finished "$packages_build"
# The packages are checked while the Windows build's checks run; the Windows
# zip comes from the Windows build checked, the virtual radio from the first
# build.
background "install rules, manual pages, Debian package and Windows zip" \
  env QUENMAR_WIN_BUILD="$PWD/build-win" scripts/package.sh check
packages_check=$started
QUENMAR_RADIO_SIM=$PWD/build/quenmar-radio-sim step "Windows build under wine" scripts/windows.sh test

finished "$packages_check"
finished "$fuzz"
echo
echo "all: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
