#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang in build-fuzz/ and runs them
# side by side, each for SECONDS (default 60), starting from a copy of its seed
# corpus. Prints, per target, the inputs run and whether it found anything,
# then "N passed, M failed" (a target that found something fails); exits
# non-zero when any target found a crash, a failed property or a hang.
#
#   scripts/fuzz.sh [SECONDS]
#   scripts/fuzz.sh build        (only builds; the test command builds early
#                                 and runs later)
#
# Findings go to build-fuzz/findings/<target>/, the full output of each run to
# build-fuzz/logs/<target>.log. To run one finding again:
#   build-fuzz/fuzz/<target> build-fuzz/findings/<target>/crash-...
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
if [ "$seconds" != build ] && { ! [[ "$seconds" =~ ^[0-9]+$ ]] || [ "$seconds" -eq 0 ]; }; then
  echo "usage: scripts/fuzz.sh [SECONDS|build]  (seconds per target, default 60)" >&2
  exit 2
fi

# clang++ and its libFuzzer and sanitizer runtimes, besides the usual tools.
scripts/setup-machine.sh fuzzing

targets=(memory_file_fuzzer line_settings_fuzzer typed_answers_fuzzer csv_file_fuzzer
  radio_replies_fuzzer)
declare -A max_len=([memory_file_fuzzer]=4096 [line_settings_fuzzer]=512 [typed_answers_fuzzer]=512
  [csv_file_fuzzer]=8192 [radio_replies_fuzzer]=1024)
folder=build-fuzz

cmake -S . -B "$folder" -DCMAKE_CXX_COMPILER=clang++ -DQUENMAR_FUZZ=ON -DQUENMAR_TESTS=OFF \
  -DQUENMAR_WERROR=ON >/dev/null
cmake --build "$folder" -j"$(nproc)" --target "${targets[@]}"
[ "$seconds" = build ] && exit 0

# Runs one target and writes its lines of the summary into
# $folder/logs/<target>.summary.
run_target() {
  local target=$1 corpus=$folder/corpus/$1 findings=$folder/findings/$1 log=$folder/logs/$1.log
  local status=0 start runs time_run line finding reason
  mkdir -p "$corpus" "$findings" "$(dirname "$log")"
  # The seeds join what earlier runs found; the committed seeds stay as they are.
  cp -n fuzz/corpus/"$target"/* "$corpus"/
  start=$(date +%s)
  "$folder/fuzz/$target" "$corpus" -max_total_time="$seconds" -max_len="${max_len[$target]}" \
    -rss_limit_mb=2048 -timeout=10 -print_final_stats=1 -artifact_prefix="$findings/" \
    >"$log" 2>&1 || status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  time_run=$(($(date +%s) - start))
  line="$target: ${runs:-?} inputs run in ${time_run} s"
  if [ "$status" -eq 0 ]; then
    echo "$line, nothing found"
  else
    finding=$(sed -n 's/.*Test unit written to \(.*\)$/\1/p' "$log" | tail -1)
    reason=$(grep -m1 -E '^property failed:|^SUMMARY:|ERROR: libFuzzer:' "$log" || true)
    reason=${reason:0:400}
    echo "$line, FOUND (exit $status): ${reason:-see $log}"
    if [ -n "$finding" ] && [ -f "$finding" ]; then
      echo "    input $finding:"
      od -An -tx1 -v "$finding" | head -20
    fi
    echo "    full output: $log"
  fi >"$folder/logs/$target.summary"
}

# The targets run side by side, each for the whole time.
mkdir -p "$folder/logs"
echo "== ${targets[*]}: ${seconds} s each, side by side"
for target in "${targets[@]}"; do
  run_target "$target" &
done
wait

# A target that ran clean is one pass, one that found something one failure.
echo "== fuzzing summary"
passed=0
failed=0
for target in "${targets[@]}"; do
  cat "$folder/logs/$target.summary"
  if grep -q ", FOUND (exit" "$folder/logs/$target.summary"; then
    failed=$((failed + 1))
  else
    passed=$((passed + 1))
  fi
done
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
