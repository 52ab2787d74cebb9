#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang in build-fuzz/ and runs each
# one after the other for SECONDS (default 60), starting from a copy of its seed
# corpus. Prints, per target, the inputs run and whether it found anything;
# exits non-zero when any target found a crash, a failed property or a hang.
#
#   scripts/fuzz.sh [SECONDS]
#
# Findings go to build-fuzz/findings/<target>/, the full output of each run to
# build-fuzz/logs/<target>.log. To run one finding again:
#   build-fuzz/fuzz/<target> build-fuzz/findings/<target>/crash-...
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
if ! [[ "$seconds" =~ ^[0-9]+$ ]] || [ "$seconds" -eq 0 ]; then
  echo "usage: scripts/fuzz.sh [SECONDS]  (seconds per target, default 60)" >&2
  exit 2
fi

# clang++ and its libFuzzer and sanitizer runtimes, besides the usual tools.
# The runtimes come in a package named after clang's major version: take the
# one that matches the clang installed.
scripts/setup-machine.sh clang
clang_major=$(clang++ -dumpversion | cut -d. -f1)
scripts/setup-machine.sh "libclang-rt-$clang_major-dev"

targets=(memory_file_fuzzer line_settings_fuzzer typed_answers_fuzzer)
declare -A max_len=([memory_file_fuzzer]=4096 [line_settings_fuzzer]=512 [typed_answers_fuzzer]=512)
folder=build-fuzz

cmake -S . -B "$folder" -DCMAKE_CXX_COMPILER=clang++ -DQUENMAR_FUZZ=ON -DQUENMAR_TESTS=OFF \
  -DQUENMAR_WERROR=ON >/dev/null
cmake --build "$folder" -j"$(nproc)" --target "${targets[@]}"

failed=0
summary=()
for target in "${targets[@]}"; do
  corpus=$folder/corpus/$target
  findings=$folder/findings/$target
  log=$folder/logs/$target.log
  mkdir -p "$corpus" "$findings" "$(dirname "$log")"
  # The seeds join what earlier runs found; the committed seeds stay as they are.
  cp -n fuzz/corpus/"$target"/* "$corpus"/
  echo "== $target: ${seconds} s"
  status=0
  start=$(date +%s)
  "$folder/fuzz/$target" "$corpus" -max_total_time="$seconds" -max_len="${max_len[$target]}" \
    -rss_limit_mb=2048 -timeout=10 -print_final_stats=1 -artifact_prefix="$findings/" \
    >"$log" 2>&1 || status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  time_run=$(($(date +%s) - start))
  line="$target: ${runs:-?} inputs run in ${time_run} s"
  if [ "$status" -eq 0 ]; then
    summary+=("$line, nothing found")
  else
    failed=1
    finding=$(sed -n 's/.*Test unit written to \(.*\)$/\1/p' "$log" | tail -1)
    reason=$(grep -m1 -E '^property failed:|^SUMMARY:|ERROR: libFuzzer:' "$log" || true)
    reason=${reason:0:400}
    summary+=("$line, FOUND (exit $status): ${reason:-see $log}")
    if [ -n "$finding" ] && [ -f "$finding" ]; then
      summary+=("    input $finding:" "$(od -An -tx1 -v "$finding" | head -20)")
    fi
    summary+=("    full output: $log")
  fi
done

echo "== fuzzing summary"
printf '%s\n' "${summary[@]}"
exit "$failed"
